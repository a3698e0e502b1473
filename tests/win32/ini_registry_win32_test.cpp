// INI files and the registry under Wine: values written by the system's own
// tools read back as text; bad input gives the default.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/debug_stream.h"
#include "utils/debug_channel.h"
#include "utils/file_helpers.h"
#include "utils/ini_registry.h"
#include "utils_test_support.h"

namespace {

using namespace varnel;
using varnel_test::ScratchFolder;

std::vector<std::string> g_trace;
void Collect(const std::string& piece) { g_trace.push_back(piece); }

class IniFile : public ::testing::Test {
 protected:
  ScratchFolder scratch{"ini"};
  std::string file = scratch.path + "App.original";
  void SetUp() override {
    WriteFileText(file,
                  "[Update]\r\n"
                  "URL=http://127.0.0.1/upd\r\n"
                  "Empty=\r\n"
                  "Count=42\r\n"
                  "Word=forty\r\n"
                  "Spaced =  padded value  \r\n");
  }
};

TEST_F(IniFile, ReadsWhatTheFileHolds) {
  EXPECT_EQ(ReadIniString(file, "Update", "URL", "d"), "http://127.0.0.1/upd");
  EXPECT_EQ(ReadIniString(file, "update", "url", "d"), "http://127.0.0.1/upd");
  EXPECT_EQ(ReadIniString(file, "Update", "Spaced", "d"), "padded value");
  EXPECT_EQ(ReadIniInteger(file, "Update", "Count", -1), 42);
}

TEST_F(IniFile, MissingEmptyOrBadGiveTheDefault) {
  struct Case {
    std::string file, section, key;
  } cases[] = {
      {file, "Update", "Empty"},    // empty value reads as the default
      {file, "Update", "Missing"},  // absent key
      {file, "Nope", "URL"},        // absent section
      {file, "", "URL"},            // no section given
      {file, "Update", ""},         // no key given
      {scratch.path + "missing.ini", "Update", "URL"},
      {scratch.path, "Update", "URL"},  // a folder, not a file
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadIniString(c.file, c.section, c.key, "dflt"), "dflt") << c.file << " [" << c.section << "] " << c.key;
  EXPECT_EQ(ReadIniInteger(file, "Update", "Word", 7), 7);
  EXPECT_EQ(ReadIniInteger(file, "Update", "Missing", -3), -3);
}

TEST_F(IniFile, OversizedValueIsWholeAndLoggedOnce) {
  std::string big(12000, 'v');
  ASSERT_TRUE(WriteIniString(file, "Big", "Value", big));
  g_trace.clear();
  SetDebugSink(Collect);
  std::string read = ReadIniString(file, "Big", "Value", "");
  InitDebugStream();
  EXPECT_EQ(read, big);
  std::string trace;
  for (const std::string& p : g_trace) trace += p;
  EXPECT_EQ(trace, "ReadIniString SizeError=12000\r\n");
}

TEST_F(IniFile, WritesOneValueAndKeepsTheRest) {
  EXPECT_TRUE(WriteIniString(file, "Agent", "Name", "App"));
  EXPECT_TRUE(WriteIniInteger(file, "Agent", "Time", -46000000000LL));
  EXPECT_TRUE(WriteIniString(file, "Agent", "Blank", ""));
  EXPECT_EQ(ReadIniString(file, "Agent", "Name", ""), "App");
  EXPECT_EQ(ReadIniInteger(file, "Agent", "Time", 0), -46000000000LL);
  std::string text = ReadFilePart(file);
  EXPECT_NE(text.find("Blank=\r\n"), std::string::npos) << text;  // written, not deleted

  std::string before = ReadFilePart(file);
  EXPECT_FALSE(WriteIniString(file, "", "Key", "v"));
  EXPECT_FALSE(WriteIniString(file, "Agent", "", "v"));
  EXPECT_FALSE(WriteIniString("", "Agent", "Key", "v"));
  EXPECT_EQ(ReadFilePart(file), before);
}

TEST_F(IniFile, EveryWriteIsReadBackAtOnce) {
  // Writes follow each other faster than a file's write time changes: each
  // value read right after its write is that value, not a cached older one.
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(WriteIniInteger(file, "Agent", "Count", i));
    ASSERT_TRUE(WriteIniInteger(file, "Agent", "Other", i * 2));
    ASSERT_EQ(ReadIniInteger(file, "Agent", "Count", -1), i);
    ASSERT_EQ(ReadIniInteger(file, "Agent", "Other", -1), i * 2);
  }
}

TEST_F(IniFile, ValuesBeyondTheAnsiCodePage) {
  const std::string path = "C:\\\xD0\xA3\xD1\x81\xD1\x82 \xE5\xAE\x89\xE8\xA3\x85 \xCE\x95\xCE\xBB\\App.exe";
  ASSERT_TRUE(WriteIniString(file, "Agent", "Path", path));
  EXPECT_EQ(ReadIniString(file, "Agent", "Path", ""), path);
  EXPECT_EQ(ReadIniString(file, "Update", "URL", ""), "http://127.0.0.1/upd");  // the rest stays
  // The file is one the system's own reader takes too.
  const std::string bytes = ReadFilePart(file);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  wchar_t wide[MAX_PATH] = {};
  GetPrivateProfileStringW(L"Agent", L"Path", L"", wide, MAX_PATH, std::wstring(file.begin(), file.end()).c_str());
  EXPECT_STREQ(wide, L"C:\\\x0423\x0441\x0442 \x5B89\x88C5 \x0395\x03BB\\App.exe");
  // Written again with ASCII alone, it keeps its values.
  ASSERT_TRUE(WriteIniInteger(file, "Agent", "Count", 3));
  EXPECT_EQ(ReadIniString(file, "Agent", "Path", ""), path);
  EXPECT_EQ(ReadIniInteger(file, "Agent", "Count", 0), 3);
}

TEST_F(IniFile, ReadsFilesInEveryEncodingOtherToolsWrite) {
  const std::string value = "\xC3\xBC" "ber \xE5\xAE\x89";  // "über 安"
  const std::wstring wide = L"[A]\r\nk=\x00FC" L"ber \x5B89\r\n";
  std::string utf16le("\xFF\xFE", 2), utf16be("\xFE\xFF", 2);
  for (wchar_t c : wide) {
    utf16le += static_cast<char>(c & 0xFF);
    utf16le += static_cast<char>(c >> 8);
    utf16be += static_cast<char>(c >> 8);
    utf16be += static_cast<char>(c & 0xFF);
  }
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"UTF-16 LE", utf16le},
      {"UTF-16 BE", utf16be},
      {"UTF-8 with its mark", "\xEF\xBB\xBF[A]\r\nk=" + value + "\r\n"},
      {"UTF-8 without a mark", "[A]\r\nk=" + value + "\r\n"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteFileText(file, c.bytes)) << c.what;
    EXPECT_EQ(ReadIniString(file, "A", "k", ""), value) << c.what;
  }
}

// Registry values seeded by Wine's own reg.exe.
class Registry : public ::testing::Test {
 protected:
  static constexpr const char* kKey = "Software\\Dravenic\\VarnelUtilsTest";
  static void Reg(const std::string& arguments) {
    std::string command = "reg.exe " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &si, &pi))
        << command;
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0) << command;
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_EQ(code, 0u) << command;
  }
  static void SetUpTestSuite() {
    std::string k = std::string("HKCU\\") + kKey;
    Reg("add " + k + " /v Text /t REG_SZ /d \"hello world\" /f");
    Reg("add " + k + " /v Number /t REG_DWORD /d 4294967295 /f");
    Reg("add " + k + " /v Multi /t REG_MULTI_SZ /d A\\0B /f");
    Reg("add " + k + " /v Expand /t REG_EXPAND_SZ /d %TEMP%\\x /f");
    Reg("add " + k + " /v Binary /t REG_BINARY /d 41420043 /f");
    Reg("add HKLM\\" + std::string(kKey) + " /v Machine /t REG_SZ /d local /f");
    // Bigger than the read buffer takes.
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
    std::string big(20000, 'b');
    RegSetValueExA(key, "Big", 0, REG_SZ, reinterpret_cast<const BYTE*>(big.c_str()),
                   static_cast<DWORD>(big.size() + 1));
    RegCloseKey(key);
  }
  static void TearDownTestSuite() {
    Reg(std::string("delete HKCU\\") + kKey + " /f");
    Reg(std::string("delete HKLM\\") + kKey + " /f");
  }
};

TEST_F(Registry, ValuesOfEveryTypeReadAsText) {
  std::string k = std::string("HKCU\\") + kKey;
  EXPECT_EQ(ReadRegistryString(k, "Text", "d", false), "hello world");
  EXPECT_EQ(ReadRegistryString(k, "Number", "d", false), "4294967295");
  EXPECT_EQ(ReadRegistryString(k, "Multi", "d", false), "A<0>B");
  EXPECT_EQ(ReadRegistryString(k, "Expand", "d", false), "%TEMP%\\x");
  EXPECT_EQ(ReadRegistryString(k, "Binary", "d", false), "AB");
  EXPECT_EQ(ReadRegistryString(k, "Text", "d", true), "hello world");  // 64-bit view asked
}

TEST_F(Registry, PathSyntaxPicksTheRoot) {
  EXPECT_EQ(ReadRegistryString(std::string("hkey_current_user\\") + kKey, "Text", "d", false), "hello world");
  EXPECT_EQ(ReadRegistryString(kKey, "Text", "d", false), "hello world");  // no root: current user
  EXPECT_EQ(ReadRegistryString(std::string("HKXX\\") + kKey, "Text", "d", false), "hello world");
  EXPECT_EQ(ReadRegistryString(std::string("HKLM\\") + kKey, "Machine", "d", false), "local");
  EXPECT_EQ(ReadRegistryString(std::string("hkey_local_machine\\") + kKey, "Machine", "d", false), "local");
  EXPECT_EQ(ReadRegistryString(std::string("HKCU\\") + kKey, "Machine", "d", false), "d");
}

TEST_F(Registry, AbsentOrOversizedGiveTheDefault) {
  std::string k = std::string("HKCU\\") + kKey;
  EXPECT_EQ(ReadRegistryString(k, "Missing", "dflt", false), "dflt");
  EXPECT_EQ(ReadRegistryString(k + "\\NoSuchKey", "Text", "dflt", false), "dflt");
  EXPECT_EQ(ReadRegistryString(k, "Big", "dflt", false), "dflt");
  EXPECT_EQ(ReadRegistryString("", "Nothing", "dflt", false), "dflt");
}

}  // namespace
