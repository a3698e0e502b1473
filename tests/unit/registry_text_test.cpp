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

namespace varnel {
namespace {

TEST(IniText, SetsOneValueAndKeepsEverythingElse) {
  const std::string file = "; settings\r\n[OriginalSetup]\r\nVersionOriginal=1\r\n Stamp = 7\r\n\r\n[MsgBox]\r\nFontSize=9\r\n";
  const struct {
    const char* what;
    std::string text, section, key, value, expected;
  } cases[] = {
      {"an existing key, any case and blanks", file, "originalsetup", "stamp", "8",
       "; settings\r\n[OriginalSetup]\r\nVersionOriginal=1\r\nstamp=8\r\n\r\n[MsgBox]\r\nFontSize=9\r\n"},
      {"a new key after the section's last line", file, "OriginalSetup", "Probe", "",
       "; settings\r\n[OriginalSetup]\r\nVersionOriginal=1\r\n Stamp = 7\r\nProbe=\r\n\r\n[MsgBox]\r\nFontSize=9\r\n"},
      {"a key in the last section", file, "MsgBox", "FontSize", "12",
       "; settings\r\n[OriginalSetup]\r\nVersionOriginal=1\r\n Stamp = 7\r\n\r\n[MsgBox]\r\nFontSize=12\r\n"},
      {"a new section", file, "UnInstall", "StartUpLink", "C:\\x.lnk",
       file + "[UnInstall]\r\nStartUpLink=C:\\x.lnk\r\n"},
      {"an empty file", "", "A", "k", "v", "[A]\r\nk=v\r\n"},
      {"no line end at the end", "[A]\nk=1", "A", "j", "2", "[A]\nk=1\r\nj=2\r\n"},
      {"the same name in another section stays", "[B]\r\nk=1\r\n[A]\r\n", "A", "k", "2",
       "[B]\r\nk=1\r\n[A]\r\nk=2\r\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IniTextWithValue(c.text, c.section, c.key, c.value), c.expected) << c.what;
}

TEST(IniText, ReadsValuesAsTheSystemReaderDoes) {
  const std::string file =
      "top=0\r\n[A]\r\n ; k=comment\r\n Key = spaced value \r\nQ=\"quoted\"\r\nS='single'\r\nHalf=\"open\r\n"
      "Bare\r\n[b]\r\nkey=from b\r\n[a]\r\nLater=2\r\nkey=not first\n";
  const struct {
    const char *section, *key;
    bool found;
    const char* value;
  } cases[] = {
      {"a", "KEY", true, "spaced value"}, {"A", "Q", true, "quoted"},      {"A", "S", true, "single"},
      {"A", "Half", true, "\"open"},      {"A", "Bare", true, ""},         {"A", "Later", true, "2"},
      {"B", "key", true, "from b"},       {"A", "; k", false, ""},         {"A", "top", false, ""},
      {"C", "key", false, ""},            {"A", "Missing", false, ""},
  };
  for (const auto& c : cases) {
    bool found = !c.found;
    EXPECT_EQ(IniValue(file, c.section, c.key, found), c.value) << c.section << "/" << c.key;
    EXPECT_EQ(found, c.found) << c.section << "/" << c.key;
  }
}

}  // namespace
}  // namespace varnel
