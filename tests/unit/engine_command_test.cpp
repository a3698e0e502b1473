#include "package/engine_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using varnel::BuildEngineCommand;
using varnel::EngineLaunchInput;
using varnel::RemoveSwitch;

EngineLaunchInput Input(const std::string& entry, const std::string& args) {
  EngineLaunchInput in;
  in.tempFolder = "C:\\T\\SETUP_77";
  in.engineEntry = entry;
  in.extraArgs = args;
  in.threadTag = "_42";
  in.stubPath = "C:\\Down Loads\\setup.exe";
  return in;
}

TEST(EngineCommand, BuildsFromEntryArgumentsAndContext) {
  struct Case {
    const char* entry;
    const char* args;
    bool agent;
    const char* expected;
  } cases[] = {
      {"Engine.exe*", "/S", false,
       "\"C:\\T\\SETUP_77\\Engine.exe\" /S /TH_ID=_42 /OriginExe=\"C:\\Down Loads\\setup.exe\""},
      {"Engine.exe*", "", false,
       "\"C:\\T\\SETUP_77\\Engine.exe\" /TH_ID=_42 /OriginExe=\"C:\\Down Loads\\setup.exe\""},
      // Extra text after "*" follows the stub's own arguments, one blank between.
      {"Engine.exe* /B ", "/A", false,
       "\"C:\\T\\SETUP_77\\Engine.exe\" /A /B /TH_ID=_42 /OriginExe=\"C:\\Down Loads\\setup.exe\""},
      {"Engine.exe* /B", "", false,
       "\"C:\\T\\SETUP_77\\Engine.exe\" /B /TH_ID=_42 /OriginExe=\"C:\\Down Loads\\setup.exe\""},
      // An origin given by the caller is passed on and not doubled.
      {"Engine.exe*", "/OriginExe=\"D:\\setup.exe\" /Q", false,
       "\"C:\\T\\SETUP_77\\Engine.exe\" /OriginExe=\"D:\\setup.exe\" /Q /TH_ID=_42"},
      // Span switches disappear, the following switch stays.
      {"Engine.exe*", "/SpanCdLvl=2 /SpanDiskFName1=D:\\setup.exe.001 /X", false,
       "\"C:\\T\\SETUP_77\\Engine.exe\" /X /TH_ID=_42 /OriginExe=\"C:\\Down Loads\\setup.exe\""},
      {"Engine.exe*", "", true,
       "\"C:\\T\\SETUP_77\\Engine.exe\" /TH_ID=_42 /OriginExe=\"C:\\Down Loads\\setup.exe\" "
       "/AutoUpdateProg"},
  };
  for (const Case& c : cases) {
    EngineLaunchInput in = Input(c.entry, c.args);
    in.isUpdateAgent = c.agent;
    EXPECT_EQ(BuildEngineCommand(in), c.expected) << c.entry << " | " << c.args;
  }
}

TEST(EngineCommand, TempFolderGetsExactlyOneBackslash) {
  EngineLaunchInput in = Input("Engine.exe*", "");
  in.tempFolder = "C:\\T\\SETUP_77\\\\";
  EXPECT_EQ(BuildEngineCommand(in).rfind("\"C:\\T\\SETUP_77\\Engine.exe\" ", 0), 0u);
}

TEST(EngineCommand, RemoveSwitchKeepsTheRest) {
  EXPECT_EQ(RemoveSwitch("a /X=1 /Y", "/X="), "a /Y");
  EXPECT_EQ(RemoveSwitch("a /Y /X=1", "/X="), "a /Y ");
  EXPECT_EQ(RemoveSwitch("a /Y", "/X="), "a /Y");
  // Only the first occurrence goes.
  EXPECT_EQ(RemoveSwitch("/X=1 /X=2", "/X="), "/X=2");
}

TEST(EngineCommand, EnginePathWithBlanksIsQuoted) {
  // Unquoted, Windows would first try to start "C:\Users\John.exe".
  EngineLaunchInput in = Input("Engine.exe* /B", "/S");
  in.tempFolder = "C:\\Users\\John Smith\\AppData\\Local\\Temp\\SETUP_1";
  EXPECT_EQ(BuildEngineCommand(in),
            "\"C:\\Users\\John Smith\\AppData\\Local\\Temp\\SETUP_1\\Engine.exe\" /S /B /TH_ID=_42 "
            "/OriginExe=\"C:\\Down Loads\\setup.exe\"");
}

TEST(EngineCommand, OnlyAnAgentRemovesShortcutsAndOnlyLnkFiles) {
  using varnel::ShortcutSetting;
  using varnel::ShortcutsToRemove;
  using List = std::vector<std::string>;
  const ShortcutSetting startUp{"C:\\Menu\\Startup\\Check.lnk", true};
  const ShortcutSetting check{"C:\\Menu\\Check for updates.LNK ", true};
  // A plain setup trusts no settings file beside it (a Downloads folder).
  EXPECT_EQ(ShortcutsToRemove(false, startUp, check), List{});
  EXPECT_EQ(ShortcutsToRemove(true, startUp, check),
            (List{"C:\\Menu\\Startup\\Check.lnk", "C:\\Menu\\Check for updates.LNK"}));
  // Anything but a shortcut stays, whatever the settings name.
  EXPECT_EQ(ShortcutsToRemove(true, {"C:\\Windows\\win.ini", true}, {"C:\\data\\x.lnk.txt", true}), List{});
  EXPECT_EQ(ShortcutsToRemove(true, {"C:\\a.lnk", false}, {".lnk", true}), List{});
}

}  // namespace
