// The folders of Windows and of the current user, the origin of the setup
// run, and the macro expansion that names them in settings texts.
// Functions with an addBackslash flag return the path without a trailing
// backslash, or with exactly one when the flag is set.
#pragma once
#include <string>

#include "folders/folder_rules.h"
#include "folders/macro_expansion.h"

namespace varnel {

#ifdef _WIN32
// Folders and texts from Windows are UTF-8 (utils/wide_text_win32.h): a
// "\" byte in them is always the character itself.
std::string GetWindowsFolder(bool addBackslash);
std::string GetSystemFolder(bool addBackslash);
// Without trailing backslash.
std::string GetSystem16Folder();
std::string GetFontsFolder();
// As stored in the registry (no fallback, no backslash rule).
std::string GetRegistryFolder(RegistryFolder which);
std::string GetUserFolder(UserFolder which, bool addBackslash);

// The "/OriginExe=" value of this process's command line. Start-up hands it
// over, as the command-line rules sit above this subsystem; empty means the
// running executable.
void SetOriginExeSwitch(const std::string& value);
// The setup file the user started: the switch's value, else the running
// executable. Fixed at its first use.
std::string GetOriginExe();
// Its folder, without trailing backslash; the executable folder when empty.
std::string GetOriginFolder();

// The installation, shared and auxiliary folders that "<InstallDir>",
// "<InstallCommonDir>" and "<InstallAuxDir>" stand for; stored unchanged.
void SetInstallDirs(const std::string& installDir, const std::string& sharedDir, const std::string& auxDir);
// ExpandMacrosWith on this machine's values, the local clock and locale and
// the process's current folder.
std::string ExpandMacros(const std::string& text, const std::string& suffix, bool expandFolders,
                         bool expandRelative);
#endif

}  // namespace varnel
