// Text rules of the utilities: agent log lines and paths, exception report
// lines, line-break normalisation, the self-deletion script.
#include <gtest/gtest.h>

#include <string>

#include "utils/agent_log.h"
#include "utils/debug_channel.h"
#include "utils/exception_report.h"
#include "utils/message_pump.h"
#include "utils/self_delete_script.h"
#include "utils/text_rules.h"

namespace {

using namespace varnel;

TEST(AgentLogLine, FormatsDateTimeThreadTagAndMessage) {
  AgentLogTime t{2026, 3, 7, 9, 5, 4};
  EXPECT_EQ(FormatAgentLogLine(t, 42, "   ", "PerformAutoUpdate() - START"),
            "07/03/26 09:05:04    42   PerformAutoUpdate() - START");
  // A six-digit thread id is written whole; the tag sits right after it.
  EXPECT_EQ(FormatAgentLogLine(t, 123456, " X ", "m"), "07/03/26 09:05:04 123456 X m");
  AgentLogTime local{1999, 12, 31, 23, 59, 58, ".", "."};
  EXPECT_EQ(FormatAgentLogLine(local, 7, "   ", ""), "31.12.99 23.59.58     7   ");
}

TEST(AgentLogPath, PlainAndTransientCopyShareOneFile) {
  struct Case {
    const char* exe;
    const char* log;
  } cases[] = {
      {"C:\\Prog\\App.AutoUpdate.exe", "C:\\Prog\\X_App.AutoUpdate.log"},
      {"C:\\Prog\\X_App.AutoUpdate.exe", "C:\\Prog\\X_App.AutoUpdate.log"},
      {"C:\\Prog\\x_app.exe", "C:\\Prog\\X_x_app.log"},  // the prefix test regards case
      {"C:\\Prog.d\\Agent", "C:\\Prog.d\\X_Agent.log"},   // no extension: one is added
      {"C:\\X_.exe", "C:\\X_.log"},
  };
  for (const Case& c : cases) EXPECT_EQ(AgentLogPathFor(c.exe), c.log) << c.exe;
}

TEST(ExceptionReport, LabelsAndSkipsEmptyTexts) {
  EXPECT_EQ(ExceptionReportLine("Utils.GetExeVersion()", "", "", "boom"),
            " ---  [ Method = Utils.GetExeVersion() ]  [ ErrMsg = boom ] ");
  EXPECT_EQ(ExceptionReportLine("M", "R", "S", "E"),
            " ---  [ Method = M ]  [ Remark = R ]  [ SX = S ]  [ ErrMsg = E ] ");
  EXPECT_EQ(ExceptionReportLine("", "", "", ""), " --- ");
}

TEST(DebugFileText, EveryLineBreakBecomesCrLf) {
  EXPECT_EQ(NormalizeLineBreaks("a\r\nb\nc\rd\n\re"), "a\r\nb\r\nc\r\nd\r\n\r\ne");
  EXPECT_EQ(NormalizeLineBreaks("\r"), "\r\n");
  EXPECT_EQ(NormalizeLineBreaks("plain"), "plain");
}

TEST(PumpSlice, TenthOfTheWaitBetween1And25) {
  EXPECT_EQ(PumpSliceMs(0), 1u);
  EXPECT_EQ(PumpSliceMs(5), 1u);
  EXPECT_EQ(PumpSliceMs(100), 10u);
  EXPECT_EQ(PumpSliceMs(10000), 25u);
}

TEST(SelfDeleteScript, LinesQuotesAndFolder) {
  // The delete is tried again after a pause, and given up after a bounded
  // number of tries: a file that can never be deleted must not keep the
  // script spinning.
  std::string withFolder =
      BuildSelfDeleteScript("C:\\A B\\x.exe", "C:\\A B", "C:\\T\\_DEL_ME_7.BAT", true, "\"");
  EXPECT_EQ(withFolder,
            "SET /A TRIES=0\r\n"
            ":START\r\n"
            "DEL /F \"C:\\A B\\x.exe\"\r\n"
            "IF NOT exist \"C:\\A B\\x.exe\" GOTO DONE\r\n"
            "SET /A TRIES+=1\r\n"
            "IF %TRIES% GEQ 300 GOTO DONE\r\n"
            "PING -n 2 127.0.0.1 >NUL\r\n"
            "GOTO START\r\n"
            ":DONE\r\n"
            "RD \"C:\\A B\"\r\n"
            "DEL \"C:\\T\\_DEL_ME_7.BAT\"\r\n");
  std::string shortNames = BuildSelfDeleteScript("C:\\AB~1\\x.exe", "C:\\AB~1", "C:\\T\\_DEL_ME_7.BAT", false, "");
  EXPECT_NE(shortNames.find("IF NOT exist C:\\AB~1\\x.exe GOTO DONE\r\n"), std::string::npos);
  EXPECT_EQ(shortNames.find("RD "), std::string::npos);
  EXPECT_NE(shortNames.find(":DONE\r\nDEL C:\\T\\_DEL_ME_7.BAT\r\n"), std::string::npos);
  // Paths beyond ASCII go through the environment, the script names itself.
  const std::string wide = "C:\\\xE5\xAE\x89\xE8\xA3\x85";
  std::string unicode = BuildSelfDeleteScript(wide + "\\x.exe", wide, wide + "\\_DEL_ME_7.BAT", true, "");
  EXPECT_NE(unicode.find("DEL /F \"%VARNEL_DELETE_EXE%\"\r\nIF NOT exist \"%VARNEL_DELETE_EXE%\" GOTO DONE\r\n"),
            std::string::npos)
      << unicode;
  EXPECT_NE(unicode.find(":DONE\r\nRD \"%VARNEL_DELETE_FOLDER%\"\r\nDEL \"%~f0\"\r\n"), std::string::npos) << unicode;
  EXPECT_TRUE(IsAsciiText(unicode));
  // Each process writes its own batch file.
  EXPECT_NE(SelfDeleteBatchName(100), SelfDeleteBatchName(101));
  EXPECT_EQ(SelfDeleteBatchName(100), "_DEL_ME_100.BAT");
}

TEST(FreeSpaceQuery, WalksUpOneFolderAtATimeAndStopsAtTheRoot) {
  const struct {
    const char* path;
    const char* parent;
  } cases[] = {
      {"C:\\Users\\me\\Temp\\SETUP_1", "C:\\Users\\me\\Temp\\"},
      {"C:\\Users\\me\\Temp\\", "C:\\Users\\me\\"},
      {"C:/Users/me", "C:\\Users\\"},
      {"C:\\Users", "C:\\"},
      {"C:\\", ""},
      {"C:", ""},
      {"\\\\server\\share\\setup\\x", "\\\\server\\share\\setup\\"},
      {"\\\\server\\share\\setup", "\\\\server\\share\\"},
      {"\\\\server\\share\\", ""},
      {"setup.exe", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ParentFolderForQuery(c.path), c.parent) << c.path;
}

TEST(BufferText, StopsAtTheFirstZeroOrTheBufferEnd) {
  const char withZero[8] = {'a', 'b', '\0', 'c', 'd', 'e', 'f', 'g'};
  EXPECT_EQ(BufferText(withZero, sizeof withZero), "ab");
  const char full[4] = {'w', 'x', 'y', 'z'};  // no terminator: nothing read beyond
  EXPECT_EQ(BufferText(full, sizeof full), "wxyz");
  EXPECT_EQ(BufferText(full, 0), "");
}

}  // namespace
