// Macros in settings texts: names in angle brackets such as "<InstallDir>"
// or "<Date=6>" replaced by what they stand for on this machine. The text
// rules live here; the values come from a MacroSource, which the Win32 side
// fills from the system and tests fill from tables.
#pragma once
#include <string>

#include "folders/folder_rules.h"

namespace varnel {

// What a macro can stand for. Folders are given without trailing backslash.
enum class MacroValue {
  LoggedUserName,
  UserName,
  CompanyName,
  ComputerName,
  CurrentDomainName,
  InstallDir,
  SharedDir,
  AuxiliaryDir,
  WindowsDir,
  SystemDir,
  System16Dir,
  StartMenuRegistryDir,
  ProgramFilesDir,
  CommonFilesDir,
  FontDir,
  ExeDir,
  OriginDir,
  TempDir,
  UserDir,
  UserAppDataDir,
  UserLocalAppDataDir,
  MyDocumentsDir,
  UserStartMenuDir,
  UserStartProgramMenuDir,
  UserDesktopDir,
  DocumentsAndSettingsDir,
  AllUsersDir,
  AllUsersAppDataDir,
  AllUsersDocumentsDir,
  AllUsersStartMenuDir,
  AllUsersStartProgramMenuDir,
  AllUsersDesktopDir,
};

// Local date and time, and the locale's conventions for printing them.
struct MacroClock {
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  std::string dateSeparator = "/";
  std::string timeSeparator = ":";
  std::string monthNames[12];
};

class MacroSource {
 public:
  virtual ~MacroSource() = default;
  // Asked only for macros that occur in the text.
  virtual std::string Value(MacroValue which) = 0;
  virtual MacroClock Now() = 0;
  // The folder that relative paths are taken against.
  virtual std::string CurrentDirectory() = 0;
  virtual LeadByteTest LeadBytes() { return nullptr; }
};

// Expands text (see the rules in macro_expansion.cpp). suffix follows a
// folder value unless the macro ends the text, is followed by a blank or,
// in a delimited list, by the list's separator. expandFolders enables the
// folder macros, expandRelative the step that makes paths with "\.." or
// "..\" absolute. Names not in the tables stay as they are.
std::string ExpandMacrosWith(MacroSource& source, const std::string& text, const std::string& suffix,
                             bool expandFolders, bool expandRelative);

// path made absolute against currentDirectory, with "." and ".." segments
// resolved (never above the drive root or a network share) and runs of "\"
// made one; "/" counts as "\".
std::string AbsolutePathOf(const std::string& path, const std::string& currentDirectory, LeadByteTest isLead);

}  // namespace varnel
