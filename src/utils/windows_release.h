// The short name and flag of a Windows release, from its version numbers.
#pragma once
#include <cstdint>
#include <string>

namespace varnel {

struct WindowsRelease {
  std::string versionText;   // major "." minor
  std::string name;          // "XP", "7.64", "2008R2.64", "10" ...
  std::string servicePack;   // trimmed
  std::uint32_t build = 0;
  std::uint32_t flag = 0;    // one bit per release
};

// platformId: 0 Win32s, 1 the 9x family, 2 the NT family.
WindowsRelease ClassifyWindows(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                               std::uint32_t build, const std::string& servicePack, bool is64Bit, bool isServer);

}  // namespace varnel
