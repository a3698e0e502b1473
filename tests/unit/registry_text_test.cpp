#include "utils/registry_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using namespace varnel;

TEST(RegistryPath, RootNamesAndDefaults) {
  struct Case {
    const char* path;
    RegistryRoot root;
    const char* subkey;
  } cases[] = {
      {"HKLM\\Software\\X", RegistryRoot::LocalMachine, "Software\\X"},
      {"hkey_local_machine\\Software\\X", RegistryRoot::LocalMachine, "Software\\X"},
      {"  HKCR\\.txt  ", RegistryRoot::ClassesRoot, ".txt"},
      {"HKEY_USERS\\.DEFAULT", RegistryRoot::Users, ".DEFAULT"},
      {"HKU\\S", RegistryRoot::Users, "S"},
      {"HKCC\\S", RegistryRoot::CurrentConfig, "S"},
      {"HKDD\\S", RegistryRoot::DynData, "S"},
      {"HKCU\\Software\\Dravenic\\Varnel", RegistryRoot::CurrentUser, "Software\\Dravenic\\Varnel"},
      {"Software\\Dravenic", RegistryRoot::CurrentUser, "Software\\Dravenic"},
      {"HKXY\\Software", RegistryRoot::CurrentUser, "Software"},  // unknown root name
      {"HKLM", RegistryRoot::LocalMachine, ""},
      {"", RegistryRoot::CurrentUser, ""},
  };
  for (const Case& c : cases) {
    RegistryPath p = ParseRegistryPath(c.path);
    EXPECT_EQ(p.root, c.root) << c.path;
    EXPECT_EQ(p.subkey, c.subkey) << c.path;
  }
}

std::string Text(std::uint32_t type, const std::string& bytes) {
  return RegistryValueText(type, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(RegistryValue, EveryTypeBecomesText) {
  EXPECT_EQ(Text(kRegDword, std::string("\xff\xff\xff\xff", 4)), "4294967295");
  EXPECT_EQ(Text(kRegDword, std::string("\x2a\0\0\0", 4)), "42");
  EXPECT_EQ(Text(kRegMultiSz, std::string("A\0B\0\0", 5)), "A<0>B");
  EXPECT_EQ(Text(kRegMultiSz, std::string("A\0", 2)), "A");  // too short to be a list
  EXPECT_EQ(Text(kRegSz, std::string("hello\0junk", 10)), "hello");
  EXPECT_EQ(Text(kRegSz, std::string("no zero")), "no zero");
  EXPECT_EQ(Text(3 /* binary */, std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(Text(kRegDword, std::string("\x01\0", 2)), std::string("\x01", 1));  // odd-sized DWORD
  EXPECT_EQ(Text(kRegSz, std::string()), "");
}

TEST(TextToInt64, ConvertsOrFallsBack) {
  EXPECT_EQ(TextToInt64("123", -1), 123);
  EXPECT_EQ(TextToInt64(" -45 ", -1), -45);
  EXPECT_EQ(TextToInt64("$1F", -1), 31);
  EXPECT_EQ(TextToInt64("0x10", -1), 16);
  EXPECT_EQ(TextToInt64("9223372036854775807", -1), INT64_MAX);
  EXPECT_EQ(TextToInt64("-9223372036854775808", -1), INT64_MIN);
  for (const char* bad : {"", "abc", "12x", "9223372036854775808", "-", "$", "1 2"})
    EXPECT_EQ(TextToInt64(bad, -7), -7) << bad;
}

}  // namespace
