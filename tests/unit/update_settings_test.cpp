// The agent's settings files: typed readers with their defaults, the
// writers with their shadow keys, the overrides and the time base.
#include "update/update_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "map_ini_store.h"

namespace {

using namespace varnel;

class Settings : public ::testing::Test {
 protected:
  void Info(const char* section, const char* key, const char* value) { store.Write(files.info, section, key, value); }
  void Original(const char* section, const char* key, const char* value) {
    store.Write(files.original, section, key, value);
  }
  std::string Stored(const char* key) { return store.values[{files.original, "OriginalSetup", key}]; }
  MapStore store;
  AgentFiles files{"C:\\Agent\\", "C:\\Agent\\App.info", "C:\\Agent\\App.original"};
  SettingOverrides overrides;
  AgentSettings settings{store, files, overrides};
};

TEST_F(Settings, EmptyFilesGiveEveryDefault) {
  EXPECT_EQ(settings.ProbeSecondsInterval(), 0);
  EXPECT_EQ(settings.ReAskSecondsLast(), 0);
  EXPECT_EQ(settings.VersionOriginal(), 0);
  EXPECT_EQ(settings.OriginalProgramName(), "");
  EXPECT_EQ(settings.BtnText(), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  EXPECT_EQ(settings.ErrorTitle(), "Error");
  EXPECT_EQ(settings.ConfirmTitle(), "Confirm");
  EXPECT_EQ(settings.AttentionTitle(), "Attention");
  EXPECT_EQ(settings.CharSet(), 0);
  EXPECT_EQ(settings.FontName(), "Tahoma");
  EXPECT_EQ(settings.FontSize(), 8);
  EXPECT_EQ(settings.SizeOfUpdateFile(), 0);
  EXPECT_FALSE(settings.RequestConfirmationBeforeDownload());
  EXPECT_FALSE(settings.AutoInform());
  EXPECT_EQ(settings.AutoInformW(), 360);
  EXPECT_EQ(settings.AutoInformH(), 360);
  EXPECT_EQ(settings.ShutDownMethod(), "");
}

TEST_F(Settings, AutoUpdateTextsHaveTheirBuiltInDefaults) {
  const std::map<std::string, std::string> defaults = {
      {"s2", ""},
      {"s3", "File Download Aborted!"},
      {"s4", "File not Found!"},
      {"s5", "Unable to Download File!"},
      {"s21", ""},
      {"s31", "Downloading INFO File..."},
      {"s32", "Downloading UPDATE File..."},
      {"s33", "Downloading INFORM File..."},
      {"s34", "New Version"},
      {"s35", "Download"},
  };
  for (const auto& [key, text] : defaults) EXPECT_EQ(settings.AutoUpdateText(key.c_str()), text) << key;
  Original("AutoUpdate", "s4", "Datei fehlt!");
  EXPECT_EQ(settings.AutoUpdateText("s4"), "Datei fehlt!");
}

TEST_F(Settings, NumbersAndYesNoAreReadAsText) {
  struct Case {
    const char* value;
    std::int64_t number;  // ProbeSecondsInterval
    bool yes;             // RequestConfirmationBeforeInstall
  };
  const Case cases[] = {
      {"abc", 0, false}, {"yes", 0, false}, {"1", 1, true},  {" 1", 1, false},
      {"-1", -1, false}, {"2", 2, false},   {"9999999999", 9999999999, false},
      // Decimal only, as the agent writes them; beyond 64 bits: not a number.
      {"0x10", 0, false}, {"$10", 0, false}, {"1e3", 0, false},
      {"9223372036854775807", INT64_MAX, false}, {"9223372036854775808", 0, false},
  };
  for (const Case& c : cases) {
    Original("OriginalSetup", "ProbeSecondsInterval", c.value);
    Info("NewSetup", "RequestConfirmationBeforeInstall", c.value);
    EXPECT_EQ(settings.ProbeSecondsInterval(), c.number) << c.value;
    EXPECT_EQ(settings.RequestConfirmationBeforeInstall(), c.yes) << c.value;
  }
  // Versions, stamps and sizes are used as signed 32-bit numbers.
  Info("NewSetup", "VersionNew", "4294967295");
  EXPECT_EQ(settings.VersionNew(), -1);
  Info("General", "AutoInform", "2");
  EXPECT_FALSE(settings.AutoInform());
  Info("General", "AutoInform", "1");
  EXPECT_TRUE(settings.AutoInform());
}

TEST_F(Settings, OverrideDecidesUntilSetBackTo255) {
  Info("NewSetup", "RequestConfirmationBeforeInstall", "1");
  EXPECT_TRUE(settings.RequestConfirmationBeforeInstall());
  overrides.Set(kOverrideConfirmInstall, 0);
  EXPECT_FALSE(settings.RequestConfirmationBeforeInstall());
  overrides.Set(kOverrideConfirmInstall, 255);
  EXPECT_TRUE(settings.RequestConfirmationBeforeInstall());
  // Only 1 means yes.
  Info("NewSetup", "BackgroundUpdate", "0");
  overrides.Set(kOverrideBackgroundUpdate, 2);
  EXPECT_FALSE(settings.BackgroundUpdate());
  overrides.Set(kOverrideBackgroundUpdate, 1);
  EXPECT_TRUE(settings.BackgroundUpdate());
}

TEST_F(Settings, TimesAreWrittenWithTheirShadowKeys) {
  settings.SetProbeSecondsLast(3973708800);
  EXPECT_EQ(Stored("ProbeSecondsLast"), "3973708800");
  EXPECT_EQ(Stored("__ProbeSecondsLast"), "01-DEC-2025 00:00:00");
  settings.SetReAskSecondsLast(3973708800 + 13 * 3600 + 5 * 60);
  EXPECT_EQ(Stored("__ReAskSecondsLast"), "01-DEC-2025 13:05:00");
  EXPECT_EQ(settings.ReAskSecondsLast(), 3973755900);
  settings.SetVersionOriginal(7);
  EXPECT_EQ(settings.VersionOriginal(), 7);
  EXPECT_EQ(Stored("__VersionOriginal"), "");
}

TEST(TimeBase, SecondsSince30December1899LocalTime) {
  struct Case {
    LocalDateTime time;
    std::int64_t seconds;
    const char* text;
  };
  const Case cases[] = {
      {{1899, 12, 30}, 0, "30-DEC-1899 00:00:00"},
      {{1900, 3, 1, 12}, 61 * 86400 + 43200, "01-MAR-1900 12:00:00"},
      {{2025, 12, 1}, 3973708800, "01-DEC-2025 00:00:00"},
      {{2024, 2, 29, 23, 59, 59}, 45351LL * 86400 + 86399, "29-FEB-2024 23:59:59"},
      {{2026, 12, 6, 8, 7, 6}, 46362LL * 86400 + 8 * 3600 + 7 * 60 + 6, "06-DEC-2026 08:07:06"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SecondsSince1899(c.time), c.seconds) << c.text;
    EXPECT_EQ(AgentTimestampText(c.seconds), c.text);
  }
  // Rounded to the nearest second.
  EXPECT_EQ(SecondsSince1899({2025, 12, 1, 0, 0, 0, 499}), 3973708800);
  EXPECT_EQ(SecondsSince1899({2025, 12, 1, 0, 0, 0, 500}), 3973708801);
  EXPECT_EQ(AgentDateText({2026, 12, 6}), "06-DEC-2026");
}

TEST(OverrideList, WrittenAndReadBack) {
  SettingOverrides o;
  EXPECT_EQ(OverrideListText(o), "|255|255|255|255|255|255|255|255|");
  o.Set(kOverrideAskBeforeCheck, 1);
  o.Set(kOverrideConfirmInstallForce, 0);
  SettingOverrides back;
  ParseOverrideList(OverrideListText(o), back);
  EXPECT_EQ(back.value, o.value);

  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      // Missing and non-numeric fields leave their override as it was.
      {"|1|0|", "|1|0|255|255|255|255|255|255|"},
      {"|x|0||7|", "|255|0|255|7|255|255|255|255|"},
      {"|1|2|3|4|5|6|7|8|9|", "|1|2|3|4|5|6|7|8|"},
      {"|1|2|3", "|1|2|3|255|255|255|255|255|"},
      // An override is a byte: the low byte, as the agent commands take it.
      {"|256|-1|0|511|", "|0|255|0|255|255|255|255|255|"},
      // Decimal only.
      {"|0x1|$1| 1 |", "|255|255|1|255|255|255|255|255|"},
      {"", "|255|255|255|255|255|255|255|255|"},
  };
  for (const Case& c : cases) {
    SettingOverrides parsed;
    ParseOverrideList(c.text, parsed);
    EXPECT_EQ(OverrideListText(parsed), c.expected) << c.text;
  }
}

}  // namespace
