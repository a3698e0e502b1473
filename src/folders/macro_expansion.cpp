// Order of work in ExpandMacrosWith:
//  1. the first "<Date=" that has a ">" after it, then the name macros;
//  2. with folders: the folder macros in the order of kFolderMacros, the
//     "<InstallDir>" prefixes dropped when a folder macro before them already
//     gave a folder, and runs of "\" collapsed when anything was expanded;
//  3. with relative expansion: paths holding "\.." or "..\" made absolute.
#include "folders/macro_expansion.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "utils/civil_days.h"
#include "utils/text_format.h"
#include "utils/text_rules.h"

namespace varnel {
namespace {

using MV = MacroValue;

struct NameMacro {
  const char* name;
  MV value;
};

// First group: no suffix.
constexpr NameMacro kNameMacros[] = {
    {"<LoggedUserName>", MV::LoggedUserName}, {"<UserName>", MV::UserName},
    {"<CompanyName>", MV::CompanyName},       {"<ComputerName>", MV::ComputerName},
    {"<CurrentDomainName>", MV::CurrentDomainName},
};
constexpr const char* kZeroMacros[] = {"<LastExecutableExitCode>", "<ReqFreeDiskSpaceMB>"};
constexpr const char* kEmptyMacros[] = {
    "<EnteredUserName>", "<EnteredCompanyName>", "<EnteredSerialNum>", "<EnteredStartProgramMenu>",
    "<VendorCompanyName>", "<ProjectName>", "<ProgramDescriptiveName>", "<ProgramVersion>", "<SelectedLanguage>",
};

// How a folder macro's value is taken.
enum class Take {
  Folder,      // the whole folder, followed by the suffix
  Drive,       // its first three characters ("C:\")
  Disk,        // its first two characters ("C:")
  EmptyFolder, // no folder is configured: empty text, still followed by the suffix
};

struct FolderMacro {
  const char* name;
  MV value;
  Take take;
};

// Before the "<InstallDir>" deletion step.
constexpr FolderMacro kEarlyFolderMacros[] = {
    {"<Application Folder>", MV::InstallDir, Take::Folder},
    {"<Common Folder>", MV::SharedDir, Take::Folder},
    {"<Auxiliary Folder>", MV::AuxiliaryDir, Take::Folder},
    {"<Windows Directory>", MV::WindowsDir, Take::Folder},
    {"<System Directory>", MV::SystemDir, Take::Folder},
    {"<System16 Directory>", MV::System16Dir, Take::Folder},
};
constexpr const char* kInstallDirMacros[] = {"<InstallDir>", "<InstallCommonDir>", "<InstallAuxDir>"};
// After it.
constexpr FolderMacro kFolderMacros[] = {
    {"<InstallDir>", MV::InstallDir, Take::Folder},
    {"<InstallCommonDir>", MV::SharedDir, Take::Folder},
    {"<InstallAuxDir>", MV::AuxiliaryDir, Take::Folder},
    {"<WinDir>", MV::WindowsDir, Take::Folder},
    {"<WinSysDir>", MV::SystemDir, Take::Folder},
    {"<WinSys32Dir>", MV::SystemDir, Take::Folder},
    {"<WinSys16Dir>", MV::System16Dir, Take::Folder},
    {"<InstallDrive>", MV::InstallDir, Take::Drive},
    {"<WinDrive>", MV::WindowsDir, Take::Drive},
    {"<WinSysDrive>", MV::SystemDir, Take::Drive},
    {"<OriginDrive>", MV::OriginDir, Take::Drive},
    {"<InstallDisk>", MV::InstallDir, Take::Disk},
    {"<WinDisk>", MV::WindowsDir, Take::Disk},
    {"<WinSysDisk>", MV::SystemDir, Take::Disk},
    {"<OriginDisk>", MV::OriginDir, Take::Disk},
    {"<StartMenuDir>", MV::StartMenuRegistryDir, Take::Folder},
    {"<ProgramFilesDir>", MV::ProgramFilesDir, Take::Folder},
    {"<CommonFilesDir>", MV::CommonFilesDir, Take::Folder},
    {"<FontDir>", MV::FontDir, Take::Folder},
    {"<SrcDir>", MV::ExeDir, Take::Folder},
    {"<OriginDir>", MV::OriginDir, Take::Folder},
    {"<TempDir>", MV::TempDir, Take::Folder},
    {"<ServiceDir>", MV::ExeDir, Take::Folder},
    {"<UserDir>", MV::UserDir, Take::Folder},
    {"<UserAppDataDir>", MV::UserAppDataDir, Take::Folder},
    {"<UserLocalAppDataDir>", MV::UserLocalAppDataDir, Take::Folder},
    {"<MyDocumentsDir>", MV::MyDocumentsDir, Take::Folder},
    {"<UserStartMenuDir>", MV::UserStartMenuDir, Take::Folder},
    {"<UserStartProgramMenuDir>", MV::UserStartProgramMenuDir, Take::Folder},
    {"<UserDesktopDir>", MV::UserDesktopDir, Take::Folder},
    {"<DocumentsAndSettingsDir>", MV::DocumentsAndSettingsDir, Take::Folder},
    {"<AllUsersDir>", MV::AllUsersDir, Take::Folder},
    {"<AllUsersAppDataDir>", MV::AllUsersAppDataDir, Take::Folder},
    {"<AllUsersDocumentsDir>", MV::AllUsersDocumentsDir, Take::Folder},
    {"<AllUsersStartMenuDir>", MV::AllUsersStartMenuDir, Take::Folder},
    {"<AllUsersStartProgramMenuDir>", MV::AllUsersStartProgramMenuDir, Take::Folder},
    {"<AllUsersDesktopDir>", MV::AllUsersDesktopDir, Take::Folder},
};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsLeadAt(LeadByteTest isLead, const std::string& text, std::size_t i) {
  return isLead && i + 1 < text.size() && isLead(static_cast<unsigned char>(text[i]));
}

// First and last character equal (the text is read as a delimited list).
bool LooksLikeList(const std::string& text) { return text.size() >= 2 && text.front() == text.back(); }

// Whether a folder value is followed by the suffix, decided from the
// macro's first occurrence.
bool TakesSuffix(const std::string& text, std::size_t at, std::size_t length) {
  const std::size_t after = at + length;
  if (after >= text.size() || text[after] == ' ') return false;
  const char separator = text.front();
  const bool list = LooksLikeList(text) && separator != '<' && !IsAsciiLetter(separator);
  return !(list && text[after] == separator);
}

std::string TwoDigits(int value) {
  char buffer[16];
  FormatText(buffer, sizeof buffer, "%02d", value % 100);
  return buffer;
}

std::string FourDigits(int value) {
  char buffer[16];
  FormatText(buffer, sizeof buffer, "%04d", value);
  return buffer;
}

// The text of a "<Date=" code; false for an unknown code.
bool DateText(char code, const MacroClock& c, std::string& out) {
  const std::string d = TwoDigits(c.day), m = TwoDigits(c.month), yy = TwoDigits(c.year), yyyy = FourDigits(c.year);
  // Codes "1".."6": day, month and year in the code's order, joined by "-".
  const std::string* const orders[6][3] = {{&d, &m, &yy},   {&m, &d, &yy},   {&yy, &m, &d},
                                           {&d, &m, &yyyy}, {&m, &d, &yyyy}, {&yyyy, &m, &d}};
  switch (code) {
    case '#':
      out = d;
      out += c.dateSeparator;
      if (c.month >= 1 && c.month <= 12) out += c.monthNames[c.month - 1];
      out += c.dateSeparator;
      out += yyyy;
      return true;
    case '0': {
      const std::int64_t seconds = (DaysFromCivil(c.year, c.month, c.day) - DaysFromCivil(2000, 1, 1)) * 86400 +
                                   c.hour * 3600 + c.minute * 60 + c.second;
      // Whole days, the fraction dropped (toward zero), by unsigned division.
      const std::uint64_t magnitude = seconds < 0 ? 0 - static_cast<std::uint64_t>(seconds)
                                                  : static_cast<std::uint64_t>(seconds);
      const std::int64_t days = static_cast<std::int64_t>(magnitude / 86400);
      out = DecimalText(seconds < 0 ? -days : days);
      return true;
    }
    case '1': case '2': case '3': case '4': case '5': case '6':
    case '7': {
      const std::string* const* parts = orders[code == '7' ? 5 : code - '1'];
      out = *parts[0];
      out += '-';
      out += *parts[1];
      out += '-';
      out += *parts[2];
      if (code == '7') {
        out += ' ';
        out += TwoDigits(c.hour);
        out += c.timeSeparator;
        out += TwoDigits(c.minute);
        out += c.timeSeparator;
        out += TwoDigits(c.second);
      }
      return true;
    }
    default: return false;
  }
}

std::string ExpandFirstDate(const std::string& text, MacroSource& source) {
  const std::size_t at = FindAsciiNoCase(text, "<Date=");
  if (at == std::string::npos || text.find('>', at) == std::string::npos) return text;
  std::string value;
  // A known code is never ">" itself, so a ">" stands somewhere after it.
  if (!DateText(text[at + 6], source.Now(), value)) return text;
  value.insert(0, text, 0, at);
  value.append(text, at + 8, std::string::npos);
  return value;
}

class Expander {
 public:
  Expander(MacroSource& source, const std::string& suffix) : source_(source), suffix_(suffix) {}

  // Every occurrence of name by value; folders get the suffix by the rule.
  void Replace(std::string& text, const char* name, const std::string& value, bool folder) {
    const std::size_t at = FindAsciiNoCase(text, name);
    if (at == std::string::npos) return;
    if (folder && TakesSuffix(text, at, std::strlen(name))) {
      std::string withSuffix = value;
      withSuffix += suffix_;
      text = ReplaceAllNoCase(text, name, withSuffix);
    } else {
      text = ReplaceAllNoCase(text, name, value);
    }
  }

  void ReplaceFolder(std::string& text, const FolderMacro& macro) {
    if (FindAsciiNoCase(text, macro.name) == std::string::npos) return;
    std::string value = WithTrailingBackslash(source_.Value(macro.value), false, source_.LeadBytes());
    switch (macro.take) {
      case Take::Drive: Replace(text, macro.name, value.substr(0, 3), false); return;
      case Take::Disk: Replace(text, macro.name, value.substr(0, 2), false); return;
      default: Replace(text, macro.name, value, true); return;
    }
  }

 private:
  MacroSource& source_;
  const std::string& suffix_;
};

// Runs of "\" made one, except a run at the start (kept as two, a network
// path) and a run right after a list separator.
std::string CollapseBackslashes(const std::string& text, LeadByteTest isLead) {
  const bool list = LooksLikeList(text);
  std::string out;
  out.reserve(text.size());
  bool afterSeparator = false;
  for (std::size_t i = 0; i < text.size();) {
    if (IsLeadAt(isLead, text, i)) {
      out.append(text, i, 2);
      i += 2;
      afterSeparator = false;
      continue;
    }
    if (text[i] != '\\') {
      afterSeparator = list && text[i] == text.front();
      out += text[i++];
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && text[end] == '\\') ++end;
    if (i == 0)
      out.append(end - i >= 2 ? 2 : 1, '\\');
    else if (afterSeparator)
      out.append(text, i, end - i);
    else
      out += '\\';
    afterSeparator = false;
    i = end;
  }
  return out;
}

bool HoldsParentStep(const std::string& text) {
  return text.find("\\..") != std::string::npos || text.find("..\\") != std::string::npos;
}

// Splits on "\" (a "\" that is the second byte of a double-byte character
// does not split).
std::vector<std::string> SplitPath(const std::string& path, LeadByteTest isLead) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsLeadAt(isLead, path, i)) {
      parts.back().append(path, i, 2);
      ++i;
    } else if (path[i] == '\\') {
      parts.emplace_back();
    } else {
      parts.back() += path[i];
    }
  }
  return parts;
}

// "\\server\share" of a network path, "C:" of a drive path, "" otherwise.
std::string RootOf(const std::string& path, LeadByteTest isLead) {
  if (path.compare(0, 2, "\\\\") == 0) {
    const std::vector<std::string> parts = SplitPath(path.substr(2), isLead);
    std::string root = "\\\\";
    root += parts[0];
    if (parts.size() > 1) {
      root += '\\';
      root += parts[1];
    }
    return root;
  }
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  return std::string();
}

}  // namespace

std::string AbsolutePathOf(const std::string& pathIn, const std::string& currentDirectory, LeadByteTest isLead) {
  std::string path = pathIn;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsLeadAt(isLead, path, i))
      ++i;
    else if (path[i] == '/')
      path[i] = '\\';
  }
  const std::string cwd = WithTrailingBackslash(currentDirectory, false, isLead);
  std::string full;
  const bool drive = path.size() >= 2 && path[1] == ':';
  if (path.compare(0, 2, "\\\\") == 0 || (drive && path.size() >= 3 && path[2] == '\\')) {
    full = path;
  } else if (drive) {  // "C:name": relative to the current folder when that is on the same drive
    const std::string disk = path.substr(0, 2);
    full = UpperAscii(RootOf(cwd, isLead)) == UpperAscii(disk) ? cwd : disk;
    full += '\\';
    full.append(path, 2, std::string::npos);
  } else if (!path.empty() && path[0] == '\\') {
    full = RootOf(cwd, isLead);
    full += path;
  } else {
    full = cwd;
    full += '\\';
    full += path;
  }

  const std::string root = RootOf(full, isLead);
  std::vector<std::string> kept;
  const std::vector<std::string> parts = SplitPath(full.substr(root.size()), isLead);
  for (const std::string& part : parts) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(part);
  }
  std::string out = root;
  for (const std::string& part : kept) {
    out += '\\';
    out += part;
  }
  if (kept.empty() || parts.back().empty()) out += "\\";
  return out;
}

std::string ExpandMacrosWith(MacroSource& source, const std::string& text, const std::string& suffix,
                             bool expandFolders, bool expandRelative) {
  std::string result = text;
  if (text.find('<') != std::string::npos) {
    Expander expander(source, suffix);
    result = ExpandFirstDate(result, source);
    for (const NameMacro& m : kNameMacros)
      if (FindAsciiNoCase(result, m.name) != std::string::npos)
        expander.Replace(result, m.name, source.Value(m.value), false);
    for (const char* name : kZeroMacros) expander.Replace(result, name, "0", false);
    for (const char* name : kEmptyMacros) expander.Replace(result, name, std::string(), false);

    const std::string base = result;
    if (expandFolders) {
      expander.Replace(result, "<UnInstallExePath>", std::string(), false);
      if (FindAsciiNoCase(result, "<RunTimeDir_") != std::string::npos) {
        for (int n = 1; n <= 8; ++n) {
          char name[] = "<RunTimeDir_0>";
          name[12] = static_cast<char>('0' + n);
          expander.Replace(result, name, std::string(), true);
        }
      }
      for (const FolderMacro& m : kEarlyFolderMacros) expander.ReplaceFolder(result, m);
      // A folder already given makes the installation-folder prefix redundant.
      for (const char* name : kInstallDirMacros)
        if (result != base) result = ReplaceAllNoCase(result, name, std::string());
      result = ReplaceAllNoCase(result, "<AbsoluteDir>", std::string());
      for (const FolderMacro& m : kFolderMacros) expander.ReplaceFolder(result, m);
      if (result != base) result = CollapseBackslashes(result, source.LeadBytes());
    }
  }
  if (expandRelative && HoldsParentStep(result)) {
    const std::string cwd = source.CurrentDirectory();
    const LeadByteTest isLead = source.LeadBytes();
    const bool list = LooksLikeList(result) && (result[0] == ',' || result[0] == '|');
    if (!list) return AbsolutePathOf(result, cwd, isLead);
    const char separator = result[0];
    std::string out(1, separator);
    std::size_t start = 1;
    for (std::size_t end = result.find(separator, start); end != std::string::npos;
         start = end + 1, end = result.find(separator, start)) {
      const std::string item = result.substr(start, end - start);
      out += HoldsParentStep(item) ? AbsolutePathOf(item, cwd, isLead) : item;
      out += separator;
    }
    return out;
  }
  return result;
}

}  // namespace varnel
