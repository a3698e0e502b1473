// System information: version resources of files, the Windows version and
// release, and the user, owner, organisation, computer and domain names.
#pragma once
#include <cstdint>
#include <string>

#include "utils/windows_release.h"

namespace varnel {

#ifdef _WIN32
struct WindowsVersionRecord {
  std::uint32_t major = 0, minor = 0, build = 0, platformId = 0;
  std::string servicePack;
};

// "%d.%d.%d.%d" of the file version; empty without version information.
// An empty path means the running executable.
std::string GetExeVersion(const std::string& path = std::string());
// The "ProductVersion" string of the first translation, "," made ".".
std::string GetProductVersion(const std::string& path = std::string());

// Read once; versions 6.3 and later take their numbers from kernel32.dll's
// product version, because the system under-reports them.
const WindowsVersionRecord& GetWindowsVersion();
bool IsWindowsNT();
bool IsWindowsXP();
bool IsWindows8OrLater();
bool Is64BitWindows();
bool IsServerWindows();
WindowsRelease GetWindowsName();
std::uint32_t GetWindowsFlag();

std::string GetLoggedUserName();
std::string GetComputerNameText();
std::string GetRegisteredOwner();
std::string GetRegisteredOrganization();
std::string GetUserDomainName();
#endif

}  // namespace varnel
