#include "utils/windows_release.h"

#include <gtest/gtest.h>

namespace {

using varnel::ClassifyWindows;

TEST(WindowsRelease, NameAndFlagFromVersion) {
  struct Case {
    unsigned platform, major, minor, build;
    bool is64, server;
    const char* name;
    unsigned flag;
  } cases[] = {
      {0, 3, 10, 0, false, false, "32S", 0},
      {1, 4, 0, 950, false, false, "95", 1},
      {1, 4, 10, 1998, false, false, "98", 2},
      {1, 4, 10, 3000, false, false, "ME", 4},  // reported as 4.10 build 3000
      {1, 4, 90, 3000, false, false, "ME", 4},
      {1, 5, 0, 0, false, false, "9x", 1},
      {2, 4, 0, 1381, false, false, "NT", 8},
      {2, 5, 0, 2195, false, false, "2000", 16},
      {2, 5, 1, 2600, false, false, "XP", 32},
      {2, 5, 2, 3790, false, false, "2003", 64},
      {2, 5, 2, 3790, true, false, "XP.64", 256},
      {2, 5, 2, 3790, true, true, "XP.64", 256},  // 64-bit Server 2003
      {2, 6, 0, 6000, false, false, "Vista", 128},
      {2, 6, 0, 6000, true, false, "Vista.64", 512},
      {2, 6, 0, 6001, false, true, "2008", 4096},
      {2, 6, 0, 6001, true, true, "2008.64", 8192},
      {2, 6, 1, 7601, false, false, "7", 1024},
      {2, 6, 1, 7601, true, false, "7.64", 2048},
      {2, 6, 1, 7601, true, true, "2008R2.64", 0x4000},
      {2, 6, 1, 7601, false, true, "7", 1024},  // no 32-bit 2008 R2
      {2, 6, 2, 9200, false, false, "8", 0x8000},
      {2, 6, 2, 9200, true, false, "8.64", 0x10000},
      {2, 6, 2, 9200, true, true, "2012.64", 0x20000},
      {2, 6, 3, 9600, false, false, "8.1", 0x40000},
      {2, 6, 3, 9600, true, false, "8.1.64", 0x80000},
      {2, 6, 3, 9600, true, true, "2012R2.64", 0x100000},
      {2, 10, 0, 19045, false, false, "10", 0x200000},
      {2, 10, 0, 19045, true, false, "10.64", 0x400000},
      {2, 7, 0, 1, false, false, "NTx", 8},
      {2, 7, 0, 1, true, true, "NTx", 8},
  };
  for (const auto& c : cases) {
    auto r = ClassifyWindows(c.platform, c.major, c.minor, c.build, "  Service Pack 1 ", c.is64, c.server);
    EXPECT_EQ(r.name, c.name) << c.major << "." << c.minor << " 64=" << c.is64 << " server=" << c.server;
    EXPECT_EQ(r.flag, c.flag) << r.name;
    EXPECT_EQ(r.servicePack, "Service Pack 1");
    EXPECT_EQ(r.build, c.build);
  }
  EXPECT_EQ(ClassifyWindows(2, 10, 0, 1, "", false, false).versionText, "10.0");
}

}  // namespace
