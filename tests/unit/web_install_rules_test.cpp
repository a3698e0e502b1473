// The web installer's platform-free rules: the local name of the served
// setup file and its expected size.
#include "package/web_install_rules.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(ServedFileName, LastElementOnlyAndNothingTheFileSystemWouldBend) {
  const struct {
    const char* served;
    const char* local;  // "" when refused
  } cases[] = {
      {"setup.exe", "setup.exe"},
      {"v2/setup.exe", "setup.exe"},
      {"..\\..\\Windows\\setup.exe", "setup.exe"},
      {"../", ""},
      {"..", ""},
      {"", ""},
      {"C:setup.exe", ""},
      {"setup.exe:stream", ""},
      {"setup.exe.", ""},
      {"set?up.exe", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ServedFileName(c.served), c.local) << c.served;
}

TEST(SetupFileBytes, DigitsOnlyElseUnknown) {
  EXPECT_EQ(SetupFileBytes("104857600"), 104857600u);
  EXPECT_EQ(SetupFileBytes(""), 0u);
  EXPECT_EQ(SetupFileBytes("12 MB"), 0u);
  EXPECT_EQ(SetupFileBytes("99999999999999999999999"), 0u);
}

}  // namespace
}  // namespace varnel
