#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "utils/file_helpers.h"
#include "utils/ini_registry.h"
#include "utils/system_info.h"
#include "utils/text_format.h"
#include "utils/text_rules.h"
#include "utils/wide_text_win32.h"

namespace varnel {
namespace {

constexpr DWORD kMinVersionBuffer = 16384;

struct SystemInfoState {
  bool versionRead = false;
  WindowsVersionRecord version;
  int is64 = -1;  // -1 not yet computed
  int isXP = -1;
};

SystemInfoState& Info() {
  static SystemInfoState state;
  return state;
}

// The version-information functions, taken from the system folder's
// version.dll. The library is not imported: the loader would take an
// imported version.dll from the setup file's own folder (a Downloads
// folder, say) before any code of ours could narrow the search.
struct VersionLibrary {
  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  SizeFn infoSize = nullptr;
  InfoFn info = nullptr;
  QueryFn query = nullptr;

  VersionLibrary() {
    wchar_t system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    // Kept loaded for the rest of the process.
    HMODULE h = LoadLibraryW((std::wstring(system, n) + L"\\version.dll").c_str());
    if (!h) return;
    // The file by its wide name; the values (version numbers, ASCII) are
    // read with the ANSI query, which converts from the wide block.
    infoSize = reinterpret_cast<SizeFn>(reinterpret_cast<void*>(GetProcAddress(h, "GetFileVersionInfoSizeW")));
    info = reinterpret_cast<InfoFn>(reinterpret_cast<void*>(GetProcAddress(h, "GetFileVersionInfoW")));
    query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(h, "VerQueryValueA")));
    if (!infoSize || !info || !query) infoSize = nullptr;
  }
};

const VersionLibrary& Versions() {
  static const VersionLibrary library;
  return library;
}

BOOL QueryVersionValue(LPCVOID block, LPCSTR subBlock, LPVOID* value, PUINT length) {
  return Versions().query ? Versions().query(block, subBlock, value, length) : FALSE;
}

// The version-information block of a file; empty when it has none.
std::vector<char> VersionBlock(const std::string& pathIn) {
  const VersionLibrary& lib = Versions();
  if (!lib.infoSize) return {};
  std::string path = pathIn.empty() ? ExePath(false) : pathIn;
  DWORD handle = 0;
  const std::wstring widePath = Wide(path);
  DWORD size = lib.infoSize(widePath.c_str(), &handle);
  if (size == 0) return {};
  std::vector<char> block(size < kMinVersionBuffer ? kMinVersionBuffer : size);
  if (!lib.info(widePath.c_str(), 0, static_cast<DWORD>(block.size()), block.data())) return {};
  return block;
}

template <typename Fn>
auto LookupProc(const char* module, const char* name) {
  HMODULE h = GetModuleHandleA(module);
  return h ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(h, name))) : nullptr;
}

}  // namespace

std::string GetExeVersion(const std::string& path) {
  std::vector<char> block = VersionBlock(path);
  if (block.empty()) return std::string();
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!QueryVersionValue(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO))
    return std::string();
  char text[64];
  FormatText(text, sizeof text, "%d.%d.%d.%d", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
  return text;
}

std::string GetProductVersion(const std::string& path) {
  std::vector<char> block = VersionBlock(path);
  if (block.empty()) return std::string();
  WORD* translation = nullptr;
  UINT length = 0;
  if (!QueryVersionValue(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                      &length) ||
      !translation || length < 4)
    return std::string();
  char subBlock[64];
  FormatText(subBlock, sizeof subBlock, "\\StringFileInfo\\%.4x%.4x\\%s", translation[0], translation[1],
                "ProductVersion");
  char* value = nullptr;
  if (!QueryVersionValue(block.data(), subBlock, reinterpret_cast<void**>(&value), &length) || !value ||
      length == 0)
    return std::string();
  std::string text = BufferText(value, length);
  for (char& c : text)
    if (c == ',') c = '.';
  return text;
}

const WindowsVersionRecord& GetWindowsVersion() {
  SystemInfoState& s = Info();
  if (s.versionRead) return s.version;
  s.versionRead = true;
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return s.version;
#pragma GCC diagnostic pop
  s.version.major = info.dwMajorVersion;
  s.version.minor = info.dwMinorVersion;
  s.version.build = info.dwBuildNumber;
  s.version.platformId = info.dwPlatformId;
  s.version.servicePack = BufferText(info.szCSDVersion, sizeof info.szCSDVersion);
  if (info.dwMajorVersion >= 6 && info.dwMinorVersion >= 3) {
    // Without a manifest naming newer systems, 8.1 and later report 6.3 (or
    // less); kernel32's own product version tells the truth.
    wchar_t system[MAX_PATH];
    UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      std::string product = GetProductVersion(Utf8(system, n) + "\\kernel32.dll");
      unsigned long parts[3] = {};
      const char* at = product.c_str();
      int read = 0;
      for (; read < 3; ++read) {
        char* end = nullptr;
        if (*at < '0' || *at > '9') break;
        parts[read] = std::strtoul(at, &end, 10);
        at = end;
        if (read < 2 && *at++ != '.') break;
      }
      if (read == 3) {
        s.version.major = parts[0];
        s.version.minor = parts[1];
        s.version.build = parts[2];
      }
    }
  }
  return s.version;
}

bool IsWindowsNT() { return GetWindowsVersion().platformId == VER_PLATFORM_WIN32_NT; }

bool IsWindowsXP() {
  SystemInfoState& s = Info();
  if (s.isXP < 0) {
    const WindowsVersionRecord& v = GetWindowsVersion();
    s.isXP = IsWindowsNT() && v.major == 5 && v.minor == 1;
  }
  return s.isXP != 0;
}

bool IsWindows8OrLater() {
  const WindowsVersionRecord& v = GetWindowsVersion();
  // "major.minor" read as a number: 6.2 and above (6.10 would read as 6.1).
  double fraction = v.minor;
  while (fraction >= 1) fraction /= 10;
  const double number = v.major + fraction;
  return IsWindowsNT() && number >= 6.2 - 1e-9;
}

bool Is64BitWindows() {
  SystemInfoState& s = Info();
  if (s.is64 >= 0) return s.is64 != 0;
#ifdef _WIN64
  // A 64-bit program runs on 64-bit Windows only (it is not a WOW64 process).
  s.is64 = 1;
  return true;
#endif
  s.is64 = 0;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  if (!LookupProc<FARPROC>("kernel32.dll", "GetNativeSystemInfo")) return false;
  auto isWow64 = LookupProc<IsWow64ProcessFn>("kernel32.dll", "IsWow64Process");
  BOOL wow64 = FALSE;
  if (!isWow64 || !isWow64(GetCurrentProcess(), &wow64) || !wow64) return false;
  if (!LookupProc<FARPROC>("kernel32.dll", "Wow64DisableWow64FsRedirection") ||
      !LookupProc<FARPROC>("kernel32.dll", "Wow64RevertWow64FsRedirection") ||
      !LookupProc<FARPROC>("kernel32.dll", "GetSystemWow64DirectoryA"))
    return false;
  HMODULE advapi = LoadLibraryW(L"advapi32.dll");
  bool hasDeleteKeyEx = advapi && GetProcAddress(advapi, "RegDeleteKeyExA");
  if (advapi) FreeLibrary(advapi);
  s.is64 = hasDeleteKeyEx;
  return s.is64 != 0;
}

bool IsServerWindows() {
  if (GetSystemMetrics(SM_SERVERR2) != 0) return true;
  OSVERSIONINFOEXA info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return false;
#pragma GCC diagnostic pop
  return info.wProductType == VER_NT_DOMAIN_CONTROLLER || info.wProductType == VER_NT_SERVER;
}

WindowsRelease GetWindowsName() {
  const WindowsVersionRecord& v = GetWindowsVersion();
  return ClassifyWindows(v.platformId, v.major, v.minor, v.build, v.servicePack, Is64BitWindows(),
                         IsServerWindows());
}

std::uint32_t GetWindowsFlag() { return GetWindowsName().flag; }

std::string GetLoggedUserName() {
  wchar_t buffer[257];
  DWORD size = 257;
  if (!GetUserNameW(buffer, &size)) return std::string();
  return TrimText(Utf8(buffer));
}

std::string GetComputerNameText() {
  wchar_t buffer[257];
  DWORD size = 257;
  if (!GetComputerNameW(buffer, &size)) return std::string();
  return TrimText(Utf8(buffer));
}

namespace {
std::string VersionKey() {
  std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  if (IsWindowsNT()) key.replace(key.find("Windows\\"), 7, "Windows NT");
  return key;
}
}  // namespace

std::string GetRegisteredOwner() {
  return TrimText(ReadRegistryString(VersionKey(), "RegisteredOwner", GetLoggedUserName(), Is64BitWindows()));
}

std::string GetRegisteredOrganization() {
  return TrimText(ReadRegistryString(VersionKey(), "RegisteredOrganization", "", Is64BitWindows()));
}

std::string GetUserDomainName() {
  const std::wstring user = Wide(GetLoggedUserName());
  DWORD sidSize = 0, domainSize = 0;
  SID_NAME_USE use;
  LookupAccountNameW(nullptr, user.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
  if (sidSize == 0) return std::string();
  std::vector<char> sid(sidSize);
  std::vector<wchar_t> domain(domainSize + 1, L'\0');
  DWORD domainLength = static_cast<DWORD>(domain.size());
  if (!LookupAccountNameW(nullptr, user.c_str(), sid.data(), &sidSize, domain.data(), &domainLength, &use))
    return std::string();
  return Utf8(domain.data());
}

}  // namespace varnel
