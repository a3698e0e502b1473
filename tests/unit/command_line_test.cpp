#include "startup/command_line.h"

#include <gtest/gtest.h>

namespace {

using varnel::ArgumentTextOf;
using varnel::HasParamIn;
using varnel::ParamIntIn;
using varnel::ParamValueIn;

TEST(ArgumentText, TakesOffTheProgramInEveryForm) {
  struct Case {
    const char* raw;
    const char* exe;
    const char* expected;
  } cases[] = {
      {"\"C:\\Setup Dir\\setup.exe\" /S /X=1", "C:\\Setup Dir\\setup.exe", "/S /X=1"},
      {"C:\\dir\\SETUP.EXE /hide", "C:\\dir\\setup.exe", "/hide"},
      // No form of the name found (no extension, a short 8.3 name): the
      // first token is the program, quoted or not.
      {"setup /S", "C:\\dir\\setup.exe", "/S"},
      {"C:\\PROGRA~1\\SETUP~1.EXE /S /X=1", "C:\\Program Files\\setup program.exe", "/S /X=1"},
      {"\"C:\\My Dir\\setup\" /S", "C:\\My Dir\\setup.exe", "/S"},
      {"  setup", "C:\\dir\\setup.exe", ""},
      {"\"C:\\dir\\setup.exe\"", "C:\\dir\\setup.exe", ""},
      {"C:\\dir\\setup.exe x", "C:\\dir\\setup.exe", ""},  // one character left counts as none
      {"C:\\dir\\setup.exe   ", "C:\\dir\\setup.exe", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ArgumentTextOf(c.raw, c.exe), c.expected) << c.raw;
}

TEST(ParamValue, ReadsValuesByTheSwitchRules) {
  struct Case {
    const char* args;
    const char* name;
    const char* expected;
  } cases[] = {
      {"/OriginExe=\"C:\\Program Files\\a b\\setup.exe\" /X", "/OriginExe=",
       "C:\\Program Files\\a b\\setup.exe"},
      {"/SLEEPX=5", "/SleepX=", "5"},
      {"/SleepX = 7 /Y", "/SleepX", "7"},          // blanks before "=" and no "=" in the name
      {"/SpanCdLvl= /X", "/SpanCdLvl=", ""},        // given without a value
      {"/SpanCdLvl=2 /SpanDiskFName1=\"D:\\s.exe.001\"", "/SpanDiskFName1=", "D:\\s.exe.001"},
      {"-mode=fast /b -c", "-mode=", "fast /b"},   // "-" as lead: items start at " -"
      {"/TH_ID=_12/x", "/TH_ID=", "_12/x"},         // a slash without blank stays in the value
      {"x/WAIT=3", "/WAIT=", "<none>"},             // a switch must follow a blank
      {"/WAITING=3", "/WAIT=", "<none>"},
      {"", "/STOP=", "<none>"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParamValueIn(c.args, c.name, "<none>"), c.expected) << c.args << " | " << c.name;
}

TEST(ParamInt, FallsBackToTheDefaultForNonNumbers) {
  EXPECT_EQ(ParamIntIn("/SpanCdLvl=2", "/SpanCdLvl=", 1), 2);
  EXPECT_EQ(ParamIntIn("/SpanCdLvl=x", "/SpanCdLvl=", 1), 1);
  EXPECT_EQ(ParamIntIn("/SpanCdLvl=", "/SpanCdLvl=", 1), 1);
  EXPECT_EQ(ParamIntIn("/STOP=-4", "/STOP=", -1), -4);
  EXPECT_EQ(ParamIntIn("/N=9223372036854775807", "/N=", 0), INT64_MAX);
  EXPECT_EQ(ParamIntIn("/N=9223372036854775808", "/N=", 0), 0);
  EXPECT_EQ(ParamIntIn("/N=-9223372036854775808", "/N=", 0), INT64_MIN);
}

TEST(HasParam, NeedsABlankOrTheEndAfterTheFlag) {
  EXPECT_TRUE(HasParamIn("/S /hide", "/hide"));
  EXPECT_TRUE(HasParamIn("/HIDE /S", " /hide "));
  EXPECT_FALSE(HasParamIn("/hidden /S", "/hide"));
  EXPECT_FALSE(HasParamIn("", "/hide"));
}

}  // namespace
