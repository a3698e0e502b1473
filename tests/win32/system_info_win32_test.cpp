// System information under Wine: version resources of real files and the
// user, owner and organisation names.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "utils/file_helpers.h"
#include "utils/ini_registry.h"
#include "utils/system_info.h"
#include "utils_test_support.h"

namespace {

using namespace varnel;
using varnel_test::ScratchFolder;

// This binary sits in <root>\build\win32\tests.
std::string SourceRoot() { return ExeFolder(true) + "..\\..\\..\\"; }

// The text after `keyword` up to the end of its line in the resource script.
std::string ResourceField(const std::string& script, const std::string& keyword) {
  std::size_t at = script.find(keyword);
  if (at == std::string::npos) return std::string();
  std::size_t end = script.find_first_of("\r\n", at);
  std::string value = script.substr(at + keyword.size(), end - at - keyword.size());
  std::string clean;
  for (char c : value)
    if (c != ' ' && c != '"') clean += c;
  return clean;
}

TEST(VersionResource, StubVersionAsItsResourceScriptSaysIt) {
  std::string script = ReadFilePart(SourceRoot() + "src\\res\\stub.rc");
  ASSERT_FALSE(script.empty());
  std::string fileVersion = ResourceField(script, "FILEVERSION");  // "1,0,0,1"
  for (char& c : fileVersion)
    if (c == ',') c = '.';
  std::string productVersion = ResourceField(script, "VALUE \"ProductVersion\",");
  for (char& c : productVersion)
    if (c == ',') c = '.';
  ASSERT_EQ(std::count(fileVersion.begin(), fileVersion.end(), '.'), 3) << fileVersion;
  ASSERT_FALSE(productVersion.empty());
  std::string stub = SourceRoot() + "dist\\Stub.exe";
  EXPECT_EQ(GetExeVersion(stub), fileVersion);
  EXPECT_EQ(GetProductVersion(stub), productVersion);
}

TEST(VersionResource, FilesWithoutVersionGiveEmptyText) {
  ScratchFolder scratch("version");
  std::string text = scratch.path + "plain.exe";
  WriteFileText(text, "MZ not really a program");
  for (const std::string& path : {text, scratch.path + "missing.exe", scratch.path}) {
    EXPECT_EQ(GetExeVersion(path), "") << path;
    EXPECT_EQ(GetProductVersion(path), "") << path;
  }
  // The test program itself carries no version resource.
  EXPECT_EQ(GetExeVersion(), "");
}

TEST(WindowsVersion, OneRecordAndConsistentTests) {
  const WindowsVersionRecord& v = GetWindowsVersion();
  EXPECT_EQ(&v, &GetWindowsVersion());
  EXPECT_TRUE(IsWindowsNT());
  WindowsRelease r = GetWindowsName();
  EXPECT_EQ(r.versionText, std::to_string(v.major) + "." + std::to_string(v.minor));
  EXPECT_EQ(GetWindowsFlag(), r.flag);
  EXPECT_EQ(IsWindowsXP(), r.versionText == "5.1");
}

class OwnerNames : public ::testing::Test {
 protected:
  const char* key = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  std::string savedOwner = ReadRegistryString(std::string("HKLM\\") + key, "RegisteredOwner", "\x01", false);
  std::string savedOrg = ReadRegistryString(std::string("HKLM\\") + key, "RegisteredOrganization", "\x01", false);
  void Set(const char* name, const std::string& value) {
    HKEY k;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE, &k), 0);
    if (value == "\x01")
      RegDeleteValueA(k, name);
    else
      RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
    RegCloseKey(k);
  }
  void TearDown() override {
    Set("RegisteredOwner", savedOwner);
    Set("RegisteredOrganization", savedOrg);
  }
};

TEST_F(OwnerNames, RegistryValuesTrimmedOwnerDefaultsToUser) {
  std::string user = GetLoggedUserName();
  ASSERT_FALSE(user.empty());
  EXPECT_FALSE(GetComputerNameText().empty());
  EXPECT_FALSE(GetUserDomainName().empty());

  Set("RegisteredOwner", "  Jane Doe ");
  Set("RegisteredOrganization", " Dravenic Ltd  ");
  EXPECT_EQ(GetRegisteredOwner(), "Jane Doe");
  EXPECT_EQ(GetRegisteredOrganization(), "Dravenic Ltd");
  Set("RegisteredOwner", "\x01");  // removed
  Set("RegisteredOrganization", "\x01");
  EXPECT_EQ(GetRegisteredOwner(), user);
  EXPECT_EQ(GetRegisteredOrganization(), "");
}

}  // namespace
