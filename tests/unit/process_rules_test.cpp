// The process match rule, the main-window choice, the window survey's
// record and the captured run's command line.
#include "utils/process_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace varnel;

bool AsciiNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

TEST(ProcessMatch, FullPathFileNameAndShortForm) {
  const ProcessImage app{"C:\\Program Files\\Acme\\app.exe", "C:\\PROGRA~1\\Acme\\app.exe"};
  const ProcessImage noShort{"C:\\Other\\app.exe", kNoShortForm};
  struct Case {
    const ProcessImage& image;
    const char* searched;
    const char* searchedShort;
    bool fullPathOnly;
    bool matches;
  } cases[] = {
      {app, "C:\\Program Files\\Acme\\app.exe", kNoShortForm, true, true},
      {app, "c:\\program files\\ACME\\APP.EXE", kNoShortForm, true, true},
      {app, "app.exe", kNoShortForm, false, true},   // a bare name matches by file name
      {app, "app.exe", kNoShortForm, true, false},   // not with full-path matching
      // A full path never matches another folder's same-named program.
      {noShort, "C:\\Program Files\\Acme\\app.exe", "C:\\PROGRA~1\\Acme\\app.exe", false, false},
      {app, "C:\\Progra~1\\Acme\\app.exe", "C:\\PROGRA~1\\Acme\\app.exe", true, true},
      // Neither side's missing short form can match the other's.
      {noShort, "C:\\Gone\\app.exe", kNoShortForm, true, false},
      {ProcessImage{"C:\\x.exe", kNoShortForm}, "C:\\y.exe", kNoShortForm, true, false},
      {app, "", kNoShortForm, false, false},
      {app, "", "", false, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ImageMatches(c.image, c.searched, c.searchedShort, c.fullPathOnly, AsciiNoCase), c.matches)
        << c.image.fullPath << " / " << c.searched << " " << c.fullPathOnly;
}

TEST(ProcessMatch, SearchedTextTrimmedAndUnquoted) {
  EXPECT_EQ(SearchedImageText("  \"C:\\A B\\app.exe\" "), "C:\\A B\\app.exe");
  EXPECT_EQ(SearchedImageText("\"C:\\a.exe"), "\"C:\\a.exe");
  EXPECT_EQ(SearchedImageText("\"\""), "");
  EXPECT_EQ(FileNamePart("C:\\A\\app.exe"), "app.exe");
  EXPECT_EQ(FileNamePart("app.exe"), "app.exe");
}

TEST(MainWindow, TopOwnerOfToolWindowsWinsAndZeroNeverWins) {
  // Owned tool windows enumerate before their owner, as they do on Windows.
  std::vector<WindowTraits> windows = {
      {1, 3, true, true}, {2, 3, false, true}, {3, 3, true, true}, {4, 4, false, false}};
  EXPECT_EQ(ScoreWindows(windows), (std::vector<std::uint16_t>{3, 1, 4 * 3 + 3, 4}));
  EXPECT_EQ(ChooseMainWindow(windows), 2u);
  // Equal scores: the first in enumeration order.
  EXPECT_EQ(ChooseMainWindow({{7, 7, true, true}, {8, 8, true, true}}), 0u);
  // A window whose top owner is not collected scores by title and visibility only.
  EXPECT_EQ(ChooseMainWindow({{5, 99, false, false}, {6, 99, false, true}}), 1u);
  EXPECT_EQ(ChooseMainWindow({{5, 99, false, false}}), std::string::npos);
  EXPECT_EQ(ChooseMainWindow({}), std::string::npos);
}

TEST(WindowSurvey, TakeAllRecordsEveryWindowElseOnePerImageUntilFound) {
  const SurveyedWindow a{10, "C:\\a.exe", "A", 100, 11, "Title A", true};
  const SurveyedWindow a2{10, "C:\\a.exe", "A2", 101, 11, "", false};
  const SurveyedWindow b{20, "C:\\b.exe", "B", 200, 21, "Title B", true};
  const SurveyedWindow c{30, "C:\\c.exe", "C", 300, 31, "Title C", true};

  TProcessData all;
  for (const SurveyedWindow* w : {&a, &a2, &b}) EXPECT_TRUE(SurveyRecord(all, *w));
  EXPECT_EQ(all.processIds, "|10|10|20|");
  EXPECT_EQ(all.classNames, "|A|A2|B|");
  EXPECT_EQ(all.windowHandles, "|100|101|200|");
  EXPECT_EQ(all.threadIds, "|11|11|21|");
  EXPECT_EQ(all.titles, "|Title A||Title B|");
  EXPECT_EQ(all.visible, "|1|0|1|");

  TProcessData byPath;
  byPath.takeAll = false;
  byPath.searchedPath = "C:\\b.exe";
  EXPECT_TRUE(SurveyRecord(byPath, a));
  EXPECT_TRUE(SurveyRecord(byPath, a2));   // image already listed: not recorded
  EXPECT_FALSE(SurveyRecord(byPath, b));   // recorded, and the survey stops
  EXPECT_EQ(byPath.imagePaths, "|C:\\a.exe|C:\\b.exe|");
  EXPECT_EQ(byPath.classNames, "|A|B|");

  TProcessData caseMatters;
  caseMatters.takeAll = false;
  caseMatters.searchedPath = "c:\\B.EXE";
  EXPECT_TRUE(SurveyRecord(caseMatters, b));

  TProcessData byId;
  byId.takeAll = false;
  byId.searchedProcessId = 30;
  EXPECT_TRUE(SurveyRecord(byId, b));
  EXPECT_FALSE(SurveyRecord(byId, c));
}

TEST(CaptureCommand, QuotedWhenBlankAndUnquoted) {
  EXPECT_EQ(CaptureCommandLine("C:\\A B\\t.exe", "/x"), "\"C:\\A B\\t.exe\" /x");
  EXPECT_EQ(CaptureCommandLine("\"C:\\A B\\t.exe\" -y", ""), "\"C:\\A B\\t.exe\" -y");
  EXPECT_EQ(CaptureCommandLine("cmd.exe", ""), "cmd.exe");
}

}  // namespace
