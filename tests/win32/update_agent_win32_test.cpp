// The update agent against the real thing under Wine: test mode from the
// registry, the settings through the system's INI functions, and
// DownloadFileAU from a folder (the cases that show no box; the boxes are
// read from outside the process in the end-to-end scenario).
#include "update/update_agent.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "package/package_reader.h"
#include "package/package_writer.h"
#include "update/test_mode.h"
#include "utils/file_helpers.h"
#include "utils_test_support.h"

namespace {

using namespace varnel;
using varnel_test::Exists;
using varnel_test::ScratchFolder;

const char* const kTestModeSubkey = "Software\\Dravenic\\Varnel\\AutoUpdate";

void SetTestModeValues(const std::string& mode, const std::string& date, const std::string& url) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestModeSubkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (const auto& [name, value] : {std::pair<const char*, std::string>{"TestMode", mode},
                                    {"TestModeDate", date},
                                    {"TestModeURL", url}})
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

std::string DateText(int daysFromToday) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME ft;
  SystemTimeToFileTime(&now, &ft);
  ULARGE_INTEGER v{{ft.dwLowDateTime, ft.dwHighDateTime}};
  v.QuadPart += static_cast<LONGLONG>(daysFromToday) * 864000000000LL;
  ft = {v.LowPart, v.HighPart};
  SYSTEMTIME t;
  FileTimeToSystemTime(&ft, &t);
  return AgentDateText({t.wYear, t.wMonth, t.wDay});
}

std::uint32_t g_ticks = 0;
std::uint32_t FakeTicks() { return g_ticks; }

class TestModeRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTestModeClock(FakeTicks);
    ResetTestModeForTesting();
  }
  void TearDown() override {
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestModeSubkey);
    SetTestModeClock(nullptr);
    ResetTestModeForTesting();
  }
};

TEST_F(TestModeRegistry, OnlyTodayWithTheValueOne) {
  const std::string today = DateText(0);
  struct Case {
    std::string mode, date;
    bool on;
  };
  std::string lowerMonth = today;
  for (std::size_t i = 3; i < 6; ++i) lowerMonth[i] = static_cast<char>(lowerMonth[i] - 'A' + 'a');
  const Case cases[] = {
      {"1", today, true},
      {"1", DateText(-1), false},
      {"1", DateText(1), false},
      {"1", today.substr(today[0] == '0' ? 1 : 0), today[0] != '0'},  // "6-DEC-2026" never matches
      {"1", lowerMonth, false},
      {"0", today, false},
      {"yes", today, false},
  };
  for (const Case& c : cases) {
    SetTestModeValues(c.mode, c.date, "C:\\TestFolder");
    EXPECT_EQ(CheckTestMode(true), c.on) << c.mode << " " << c.date;
    EXPECT_EQ(TestFolder(), "C:\\TestFolder");
  }
}

TEST_F(TestModeRegistry, UnforcedCallsReadAfterThirtySecondsOfQuiet) {
  SetTestModeValues("1", DateText(0), "C:\\T");
  g_ticks = 1000;
  EXPECT_TRUE(CheckTestMode(true));
  SetTestModeValues("0", DateText(0), "C:\\T");
  g_ticks = 31000;  // exactly 30 s later: not yet
  EXPECT_TRUE(CheckTestMode(false));
  g_ticks = 61000;  // 30 s after the previous call, which also counts
  EXPECT_TRUE(CheckTestMode(false));
  g_ticks = 91001;
  EXPECT_FALSE(CheckTestMode(false));
  SetTestModeValues("1", DateText(0), "C:\\T");
  g_ticks = 91002;
  EXPECT_FALSE(CheckTestMode(false));
  EXPECT_TRUE(CheckTestMode(true));  // a forced call reads at once
  RegDeleteKeyA(HKEY_CURRENT_USER, kTestModeSubkey);
  EXPECT_FALSE(CheckTestMode(true));  // no values: off
}

// A package file with an update block: the agent's own package or a setup
// fetched from the update folder.
std::string WritePackage(const std::string& path, const std::string& updateUrl, const std::string& token,
                         std::uint64_t seed) {
  BuildOptions o;
  o.stub = std::string(0x200, '\0');
  o.stub[0] = 'M';
  o.stub[1] = 'Z';
  o.stub[0x100] = 'P';
  o.stub[0x101] = 'E';
  o.update.url = updateUrl;
  o.update.infoFile = "App.info";
  o.update.agentFile = "AppAgent.exe";
  o.updateTokenValue = token;
  o.seed = seed;
  o.engine = {"Engine.exe", "engine bytes"};
  std::vector<BuiltFile> built;
  std::string error;
  EXPECT_TRUE(BuildSetup(o, built, error)) << error;
  EXPECT_TRUE(WriteFileText(path, built.at(0).bytes));
  return built.at(0).bytes;
}

class AgentFetch : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryA(agent.c_str(), nullptr);
    CreateDirectoryA(updates.c_str(), nullptr);
    Agent(updates);
    ResetTestModeForTesting();
  }
  void TearDown() override {
    RemoveAgentDownloadFolder();
    ReleaseProcessReader();
    InitUpdateAgent(ExeFolder(true));
  }
  // The agent's own package names `url` as its update URL.
  void Agent(const std::string& url) {
    WritePackage(scratch.path + "own.exe", url, "TOKEN-1", 1);
    InitProcessReader(scratch.path + "own.exe");
    InitUpdateAgent(agent);
  }
  std::string Read(const std::string& path) { return ReadFilePart(path); }

  ScratchFolder scratch{"agent_fetch"};
  std::string agent = scratch.path + "agent\\";
  std::string updates = scratch.path + "updates";
  std::string errorText;
};

TEST_F(AgentFetch, InfoFromAFolderReplacesTheOldOneOnlyWhenFetched) {
  const std::string info = "[NewSetup]\r\nVersionNew=5\r\n";
  WriteFileText(updates + "\\App.info", info);
  EXPECT_TRUE(DownloadFileAU(updates, agent + "App.info", kFetchInfo, errorText));
  EXPECT_EQ(errorText, "");
  EXPECT_EQ(Read(agent + "App.info"), info);
  EXPECT_EQ(UpdateAgentSettings().VersionNew(), 5);
  EXPECT_FALSE(Exists(agent + "App.info.fetching"));

  // Missing, empty or oversized in the update folder: the last good .info stays.
  DeleteFileA((updates + "\\App.info").c_str());
  EXPECT_FALSE(DownloadFileAU(updates, agent + "App.info", kFetchInfo, errorText));
  WriteFileText(updates + "\\App.info", "");
  EXPECT_FALSE(DownloadFileAU(updates, agent + "App.info", kFetchInfo, errorText));
  WriteFileText(updates + "\\App.info", std::string(kMaxInfoFileBytes + 1, ';'));
  EXPECT_FALSE(DownloadFileAU(updates, agent + "App.info", kFetchInfo, errorText));
  EXPECT_NE(errorText.find("too large"), std::string::npos) << errorText;
  EXPECT_EQ(Read(agent + "App.info"), info);
}

TEST_F(AgentFetch, UpdateWithTheAgentsTokenTakesItsCheckedName) {
  const std::string setup = WritePackage(updates + "\\Setup.exe", "x", "TOKEN-1", 2);
  EXPECT_TRUE(DownloadFileAU(updates, "..\\..\\Setup.exe", kFetchUpdate, errorText));
  EXPECT_EQ(errorText, "");
  // Into the agent's private download folder, never among its files.
  EXPECT_EQ(AgentDownloadFolder(), agent + "X_AppAgent.downloads\\");
  EXPECT_EQ(Read(AgentDownloadFolder() + "Setup.exe"), setup);
  EXPECT_FALSE(Exists(agent + "Setup.exe"));
  EXPECT_FALSE(Exists(AgentDownloadFolder() + "Setup.exe.fetching"));
  EXPECT_FALSE(Exists(scratch.path + "Setup.exe"));
  EXPECT_EQ(AgentFetchName("..\\..\\Setup.exe"), "Setup.exe");

  // The agent's own files are never a fetch target.
  for (const char* own : {"AppAgent.exe", "X_AppAgent.exe", "App.original", "sub/App.info", "NUL", ".."}) {
    EXPECT_FALSE(DownloadFileAU(updates, own, kFetchUpdate, errorText)) << own;
    EXPECT_NE(errorText.find("Refused file name"), std::string::npos) << own;
  }
}

TEST_F(AgentFetch, AnHttpAgentNeverLooksIntoAFolderNamedByTheInfo) {
  WriteFileText(updates + "\\App.info", "[NewSetup]\r\nVersionNew=5\r\n");
  Agent("http://127.0.0.1:9/updates");
  EXPECT_FALSE(DownloadFileAU(updates, agent + "App.info", kFetchInfo, errorText));
  EXPECT_FALSE(Exists(agent + "App.info"));
}

TEST_F(AgentFetch, TestModeTakesTheTestFolder) {
  const std::string test = scratch.path + "test";
  CreateDirectoryA(test.c_str(), nullptr);
  WriteFileText(test + "\\App.info", "[NewSetup]\r\nStamp=9\r\n");
  SetTestModeValues("1", DateText(0), test);
  ASSERT_TRUE(CheckTestMode(true));
  // The folder given is ignored, even an HTTP agent reads the test folder.
  Agent("http://127.0.0.1:9/updates");
  EXPECT_TRUE(DownloadFileAU("http://127.0.0.1:9/updates", "App.info", kFetchInfo, errorText));
  EXPECT_EQ(UpdateAgentSettings().InfoStamp(), 9);
  // Missing in the test folder: nothing is downloaded and no error text.
  DeleteFileA((test + "\\App.info").c_str());
  EXPECT_FALSE(DownloadFileAU("http://127.0.0.1:9/updates", "App.info", kFetchInfo, errorText));
  EXPECT_EQ(errorText, "");
  RegDeleteKeyA(HKEY_CURRENT_USER, kTestModeSubkey);
  CheckTestMode(true);
}

TEST_F(AgentFetch, SettingsThroughTheSystemsIniFiles) {
  AgentSettings& settings = UpdateAgentSettings();
  EXPECT_EQ(settings.Files().original, agent + "App.original");
  EXPECT_EQ(settings.FontName(), "Tahoma");
  settings.SetProbeSecondsLast(3973708800);
  char shadow[64] = {};
  GetPrivateProfileStringA("OriginalSetup", "__ProbeSecondsLast", "", shadow, sizeof shadow,
                           (agent + "App.original").c_str());
  EXPECT_STREQ(shadow, "01-DEC-2025 00:00:00");
  EXPECT_EQ(settings.ProbeSecondsLast(), 3973708800);
  WritePrivateProfileStringA("OriginalSetup", "ProbeSecondsInterval", "abc", (agent + "App.original").c_str());
  EXPECT_EQ(settings.ProbeSecondsInterval(), 0);
  SetSettingOverride(kOverrideConfirmInstall, 1);
  EXPECT_EQ(SettingOverrideList(), "|255|255|1|255|255|255|255|255|");
  EXPECT_TRUE(settings.RequestConfirmationBeforeInstall());
  ReadSettingOverrideList("|255|255|255|255|255|255|255|255|");
  EXPECT_FALSE(settings.RequestConfirmationBeforeInstall());
}

}  // namespace
