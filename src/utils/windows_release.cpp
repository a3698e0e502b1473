#include "utils/windows_release.h"

#include "utils/text_format.h"
#include "utils/text_rules.h"

namespace varnel {
namespace {

struct ReleaseEntry {
  const char* version;
  const char* name;
  std::uint32_t flag;
};

// The NT tables: a later match replaces an earlier one.
constexpr ReleaseEntry kNtReleases[] = {
    {"4.0", "NT", 8},       {"5.0", "2000", 16},       {"5.1", "XP", 32},        {"5.2", "2003", 64},
    {"6.0", "Vista", 128},  {"6.1", "7", 1024},        {"6.2", "8", 0x8000},     {"6.3", "8.1", 0x40000},
    {"10.0", "10", 0x200000},
};
constexpr ReleaseEntry kNt64Releases[] = {
    {"5.2", "XP.64", 256},      {"6.0", "Vista.64", 512}, {"6.1", "7.64", 2048},
    {"6.2", "8.64", 0x10000},   {"6.3", "8.1.64", 0x80000}, {"10.0", "10.64", 0x400000},
};
constexpr ReleaseEntry kServer64Releases[] = {
    {"6.0", "2008.64", 8192}, {"6.1", "2008R2.64", 0x4000}, {"6.2", "2012.64", 0x20000},
    {"6.3", "2012R2.64", 0x100000},
};
constexpr ReleaseEntry kServer32Releases[] = {{"6.0", "2008", 4096}};

template <std::size_t N>
bool Apply(const ReleaseEntry (&table)[N], WindowsRelease& r) {
  for (const ReleaseEntry& e : table) {
    if (r.versionText == e.version) {
      r.name = e.name;
      r.flag = e.flag;
      return true;
    }
  }
  return false;
}

}  // namespace

WindowsRelease ClassifyWindows(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                               std::uint32_t build, const std::string& servicePack, bool is64Bit, bool isServer) {
  WindowsRelease r;
  r.versionText = DecimalText(major);
  r.versionText += '.';
  AppendDecimal(r.versionText, minor);
  r.servicePack = TrimText(servicePack);
  r.build = build;
  switch (platformId) {
    case 0:
      r.name = "32S";
      r.flag = 0;
      break;
    case 1: {
      std::string v = (r.versionText == "4.10" && build == 3000) ? "4.90" : r.versionText;
      if (v == "4.0") {
        r.name = "95", r.flag = 1;
      } else if (v == "4.10") {
        r.name = "98", r.flag = 2;
      } else if (v == "4.90") {
        r.name = "ME", r.flag = 4;
      } else {
        r.name = "9x", r.flag = 1;
      }
      break;
    }
    case 2:
      if (!Apply(kNtReleases, r)) {
        r.name = "NTx";
        r.flag = 8;
      }
      if (is64Bit) Apply(kNt64Releases, r);
      if (isServer) {
        if (is64Bit)
          Apply(kServer64Releases, r);
        else
          Apply(kServer32Releases, r);
      }
      break;
    default:
      break;
  }
  return r;
}

}  // namespace varnel
