#include "folders/system_folders.h"

#include <windows.h>

#include "utils/file_helpers.h"
#include "utils/ini_registry.h"
#include "utils/system_helpers.h"
#include "utils/system_info.h"
#include "utils/text_rules.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

constexpr DWORD kShellPathBuffer = 1025;
constexpr UINT kFolderBuffer = 261;

struct FolderState {
  std::string installDir, sharedDir, auxDir;
};

FolderState& State() {
  static FolderState state;
  return state;
}

}  // namespace

namespace {

// The folder that GetWindowsDirectoryW or GetSystemDirectoryW gives, in UTF-8.
std::string FolderFrom(UINT(WINAPI* query)(LPWSTR, UINT)) {
  wchar_t buffer[kFolderBuffer];
  const UINT n = query(buffer, kFolderBuffer);
  return n == 0 || n >= kFolderBuffer ? std::string() : Utf8(buffer, n);
}

std::string WindowsFolderAsGiven() { return FolderFrom(GetWindowsDirectoryW); }

std::string SystemFolderAsGiven() { return FolderFrom(GetSystemDirectoryW); }

std::string CString(const wchar_t* text) {
  std::size_t n = 0;
  while (n < kShellPathBuffer && text[n]) ++n;
  return Utf8(text, n);
}

class WindowsFolderSystem : public FolderSystem {
 public:
  std::string FolderPathQuery(int id) override {
    using Fn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    HMODULE module = nullptr;
    auto query = reinterpret_cast<Fn>(reinterpret_cast<void*>(LoadAndResolve("SHFolder.dll", "SHGetFolderPathW", module)));
    LibraryHandle library(reinterpret_cast<UINT_PTR>(module) < 33 ? nullptr : module);
    wchar_t path[kShellPathBuffer] = {};
    if (!query || query(nullptr, id, nullptr, 0, path) != 0) return std::string();
    return CString(path);
  }
  std::string SpecialFolderQuery(int id) override {
    using Fn = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);
    HMODULE module = nullptr;
    auto query =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(LoadAndResolve("shell32.dll", "SHGetSpecialFolderPathW", module)));
    LibraryHandle library(reinterpret_cast<UINT_PTR>(module) < 33 ? nullptr : module);
    wchar_t path[kShellPathBuffer] = {};
    if (!query || !query(nullptr, path, id, FALSE)) return std::string();
    return CString(path);
  }
  std::string WindowsFolder() override { return WindowsFolderAsGiven(); }
  std::string SystemFolder() override { return SystemFolderAsGiven(); }
  std::string RegistryFolderValue(RegistryFolder which) override { return GetRegistryFolder(which); }
  std::string UserName() override { return GetRegisteredOwner(); }
  bool DirectoryExists(const std::string& path) override {
    const DWORD a = GetFileAttributesW(Wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }
};

std::string LocaleText(LCTYPE type, const char* fallback) {
  wchar_t buffer[128];
  const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128);
  return n > 1 ? Utf8(buffer, n - 1) : std::string(fallback);
}

class WindowsMacroSource : public MacroSource {
 public:
  std::string Value(MacroValue which) override {
    const FolderState& s = State();
    switch (which) {
      case MacroValue::LoggedUserName: return GetLoggedUserName();
      case MacroValue::UserName: return GetRegisteredOwner();
      case MacroValue::CompanyName: return GetRegisteredOrganization();
      case MacroValue::ComputerName: return GetComputerNameText();
      case MacroValue::CurrentDomainName: return GetUserDomainName();
      case MacroValue::InstallDir: return s.installDir;
      case MacroValue::SharedDir: return s.sharedDir;
      case MacroValue::AuxiliaryDir: return s.auxDir;
      case MacroValue::WindowsDir: return GetWindowsFolder(false);
      case MacroValue::SystemDir: return GetSystemFolder(false);
      case MacroValue::System16Dir: return GetSystem16Folder();
      case MacroValue::StartMenuRegistryDir: return GetRegistryFolder(RegistryFolder::StartMenu);
      case MacroValue::ProgramFilesDir: return GetRegistryFolder(RegistryFolder::ProgramFiles);
      case MacroValue::CommonFilesDir: return GetRegistryFolder(RegistryFolder::CommonFiles);
      case MacroValue::FontDir: return GetFontsFolder();
      case MacroValue::ExeDir: return ExeFolder(false);
      case MacroValue::OriginDir: return GetOriginFolder();
      case MacroValue::TempDir: return TempFolder(false);
      default: break;
    }
    // The user folder macros, UserDir to AllUsersDesktopDir in their order.
    static constexpr UserFolder kUserFolders[] = {
        UserFolder::User,          UserFolder::UserAppData,       UserFolder::UserLocalAppData,
        UserFolder::MyDocuments,   UserFolder::UserStartMenu,     UserFolder::UserPrograms,
        UserFolder::UserDesktop,   UserFolder::DocumentsAndSettings, UserFolder::AllUsers,
        UserFolder::AllUsersAppData, UserFolder::AllUsersDocuments, UserFolder::AllUsersStartMenu,
        UserFolder::AllUsersPrograms, UserFolder::AllUsersDesktop,
    };
    const std::size_t index = static_cast<std::size_t>(which) - static_cast<std::size_t>(MacroValue::UserDir);
    if (index < sizeof kUserFolders / sizeof kUserFolders[0]) return GetUserFolder(kUserFolders[index], false);
    return std::string();
  }
  MacroClock Now() override {
    SYSTEMTIME t;
    GetLocalTime(&t);
    MacroClock c;
    c.year = t.wYear;
    c.month = t.wMonth;
    c.day = t.wDay;
    c.hour = t.wHour;
    c.minute = t.wMinute;
    c.second = t.wSecond;
    c.dateSeparator = LocaleText(LOCALE_SDATE, "/");
    c.timeSeparator = LocaleText(LOCALE_STIME, ":");
    for (int i = 0; i < 12; ++i) c.monthNames[i] = LocaleText(LOCALE_SMONTHNAME1 + i, "");
    return c;
  }
  std::string CurrentDirectory() override {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = GetCurrentDirectoryW(MAX_PATH * 2, buffer);
    return n == 0 || n >= MAX_PATH * 2 ? std::string() : Utf8(buffer, n);
  }
};

}  // namespace

std::string GetWindowsFolder(bool addBackslash) {
  return WithTrailingBackslash(WindowsFolderAsGiven(), addBackslash, nullptr);
}

std::string GetSystemFolder(bool addBackslash) {
  return WithTrailingBackslash(SystemFolderAsGiven(), addBackslash, nullptr);
}

std::string GetSystem16Folder() {
  WindowsFolderSystem system;
  return System16FolderFrom(system);
}

std::string GetFontsFolder() {
  WindowsFolderSystem system;
  return FontsFolderFrom(system);
}

std::string GetRegistryFolder(RegistryFolder which) {
  static const char kExplorerFolders[] =
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  static const char kVersionKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  // In the order of RegistryFolder: Fonts, ProgramFiles, CommonFiles, StartMenu.
  static const struct {
    const char* key;
    const char* name;
  } kValues[] = {{kExplorerFolders, "Fonts"},
                 {kVersionKey, "ProgramFilesDir"},
                 {kVersionKey, "CommonFilesDir"},
                 {kExplorerFolders, "Start Menu"}};
  const auto index = static_cast<std::size_t>(which);
  if (index >= sizeof kValues / sizeof kValues[0]) return std::string();
  // The registry's default view for this process: no 64-bit view asked for.
  // The value comes as UTF-8 (read by its wide name).
  return ReadRegistryString(kValues[index].key, kValues[index].name, "", false);
}

std::string GetUserFolder(UserFolder which, bool addBackslash) {
  WindowsFolderSystem system;
  return WithTrailingBackslash(UserFolderFrom(system, which), addBackslash, nullptr);
}

void SetInstallDirs(const std::string& installDir, const std::string& sharedDir, const std::string& auxDir) {
  FolderState& s = State();
  s.installDir = installDir;
  s.sharedDir = sharedDir;
  s.auxDir = auxDir;
}

std::string ExpandMacros(const std::string& text, const std::string& suffix, bool expandFolders,
                         bool expandRelative) {
  WindowsMacroSource source;
  return ExpandMacrosWith(source, text, suffix, expandFolders, expandRelative);
}

}  // namespace varnel
