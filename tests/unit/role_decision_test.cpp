#include "startup/role_decision.h"

#include <gtest/gtest.h>

#include <cctype>

#include <vector>

#include "startup/stub_layout.h"

namespace {

using namespace varnel;

TEST(RoleDecision, PicksTheRoleOfEachStart) {
  struct Case {
    const char* what;
    bool isAgent, restart, windowExists;
    const char* exe;
    const char* args;
    StubRole role;
    bool deletesItself;
  } cases[] = {
      {"plain setup", false, false, false, "C:\\d\\setup.exe", "", StubRole::kWindow, false},
      {"second start", false, false, true, "C:\\d\\setup.exe", "", StubRole::kSecondInstance, false},
      {"span first start", false, true, false, "C:\\d\\setup.exe", "", StubRole::kSpanFirstStart,
       false},
      {"span level 1 given", false, true, false, "C:\\d\\setup.exe", "/SpanCdLvl=1",
       StubRole::kSpanFirstStart, false},
      {"span copy", false, true, false, "C:\\T\\Y_setup.exe", "/SpanCdLvl=2", StubRole::kWindow,
       true},
      {"span level 3", false, true, false, "C:\\d\\setup.exe", "/SpanCdLvl=3", StubRole::kWindow,
       false},
      {"span copy of a one-disk package", false, false, false, "C:\\T\\Y_s.exe", "/SpanCdLvl=2",
       StubRole::kWindow, true},
      {"plain agent", true, false, false, "C:\\p\\App.AutoUpdate.exe", "", StubRole::kPlainAgent,
       false},
      {"plain agent, other case", true, false, false, "C:\\p\\app.autoupdate.EXE", "",
       StubRole::kPlainAgent, false},
      {"X_ copy", true, false, false, "C:\\p\\X_App.AutoUpdate.exe", "", StubRole::kXCopyAgent,
       false},
      {"agent under another name", true, false, false, "C:\\p\\other.exe", "", StubRole::kWindow,
       false},
      {"agent name on a setup package", false, false, false, "C:\\p\\App.AutoUpdate.exe", "",
       StubRole::kWindow, false},
      {"second agent start", true, false, true, "C:\\p\\X_App.AutoUpdate.exe", "",
       StubRole::kSecondInstance, false},
  };
  for (const Case& c : cases) {
    RoleInputs in;
    in.isAgent = c.isAgent;
    in.restartFromTempCopy = c.restart;
    in.ownClassWindowExists = c.windowExists;
    in.exePath = c.exe;
    in.agentFileName = " App.AutoUpdate.exe ";
    in.argumentText = c.args;
    EXPECT_EQ(ChooseStubRole(in), c.role) << c.what;
    EXPECT_EQ(DeletesItselfAfterWindow(in), c.deletesItself) << c.what;
  }
}

TEST(RoleDecision, ClassNamesAreUniquePerPathOrAgentName) {
  EXPECT_EQ(StubWindowClassName(false, "C:\\a b\\setup.exe"), "C:\\a b\\setup.exe");
  EXPECT_EQ(StubWindowClassName(true, "C:\\p\\App.AutoUpdate.exe"), ".AutoUpdate.App.AutoUpdate");
  EXPECT_EQ(StubWindowClassName(true, "C:\\p\\X_App.AutoUpdate.exe"),
            ".AutoUpdate.X_App.AutoUpdate");
  EXPECT_EQ(XCopyWindowClassName("App.AutoUpdate.exe"), ".AutoUpdate.X_App.AutoUpdate");
  EXPECT_EQ(RemoveLastExtension("C:\\x.y\\agent"), "agent");
}

TEST(RoleDecision, PathsBeyondAsciiGiveAnAsciiClassNameOfTheirOwn) {
  // Paths are UTF-8; the window functions read class names in the system's
  // code page, where UTF-8 bytes may not survive (two setups would share a
  // class, and the second would never run).
  const std::string a = "C:\\\xD0\xA3\xD1\x81\xD1\x82\\setup.exe";  // Cyrillic
  const std::string b = "C:\\\xE5\xAE\x89\xE8\xA3\x85\\setup.exe";  // CJK
  for (const std::string& name : {StubWindowClassName(false, a), StubWindowClassName(false, b),
                                  StubWindowClassName(true, a), XCopyWindowClassName("\xCE\x91.exe")}) {
    SCOPED_TRACE(name);
    for (char c : name) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
    EXPECT_LE(name.size(), varnel::kMaxWindowClassName);
  }
  EXPECT_EQ(StubWindowClassName(false, a), StubWindowClassName(false, a));
  EXPECT_NE(StubWindowClassName(false, a), StubWindowClassName(false, b));
  EXPECT_EQ(StubWindowClassName(false, a).substr(18), "C:\\______\\setup.exe");
  // The X_ copy finds the class its own window registered.
  EXPECT_EQ(StubWindowClassName(true, "C:\\p\\X_\xCE\x91.exe"), XCopyWindowClassName("\xCE\x91.exe"));
}

TEST(RoleDecision, LongPathsGiveABoundedClassNameOfTheirOwn) {
  // A class name over 255 characters cannot be registered: no window, no setup.
  const std::string folder = "C:\\" + std::string(250, 'd') + "\\";
  const std::string a = folder + "setup-a.exe", b = folder + "setup-b.exe";
  const std::string nameA = StubWindowClassName(false, a);
  EXPECT_LE(nameA.size(), varnel::kMaxWindowClassName);
  EXPECT_EQ(nameA, StubWindowClassName(false, a));  // the same path, the same class
  // The path in another letter case gives the same class: the system
  // compares class names without regard to case.
  auto lower = [](std::string t) {
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
  };
  EXPECT_EQ(lower(StubWindowClassName(false, "c" + a.substr(1))), lower(nameA));
  EXPECT_NE(nameA, StubWindowClassName(false, b));
  EXPECT_EQ(nameA.substr(nameA.size() - 11), "setup-a.exe");
  // Up to the limit the path stays the name.
  const std::string edge = "C:\\" + std::string(255 - 3 - 6, 'e') + "\\s.exe";
  ASSERT_EQ(edge.size(), 255u);
  EXPECT_EQ(StubWindowClassName(false, edge), edge);
}

TEST(SpanCopy, RestartsFromTheTemporaryFolderWithDiskOneAndOrigin) {
  const std::string copy = SpanCopyPath("C:\\Temp\\SETUP_123\\", "D:\\My Disk\\setup.exe");
  EXPECT_EQ(copy, "C:\\Temp\\SETUP_123\\Y_setup.exe");
  EXPECT_EQ(SpanCopyCommandLine(copy, "/S", "D:\\My Disk\\setup.exe"),
            "\"C:\\Temp\\SETUP_123\\Y_setup.exe\" /S /SpanCdLvl=2 "
            "/SpanDiskFName1=\"D:\\My Disk\\setup.exe.001\" /OriginExe=\"D:\\My Disk\\setup.exe\"");
  EXPECT_EQ(SpanCopyCommandLine("C:\\T\\Y_s.exe", "", "D:\\s.exe"),
            "\"C:\\T\\Y_s.exe\" /SpanCdLvl=2 /SpanDiskFName1=\"D:\\s.exe.001\" /OriginExe=\"D:\\s.exe\"");
}

TEST(StubLayout, MirrorsStatusAndActivityForHebrewAndArabic) {
  for (int charset : {0, 1, 204, 177, 178}) {
    StubLayout l = StubLayoutFor(charset);
    bool rtl = charset == 177 || charset == 178;
    EXPECT_EQ(l.statusText.x, rtl ? 122 : 70) << charset;
    EXPECT_EQ(l.activityBar.x, rtl ? 70 : 416) << charset;
    EXPECT_EQ(l.progressBar.x, 70);
    EXPECT_EQ(l.statusText.width, 340);
  }
  ControlRect r = CentredIn(0, 0, 1024, 739, kStubWindowWidth, kStubWindowHeight);
  EXPECT_EQ(r.x, 266);
  EXPECT_EQ(r.y, 314);  // (739 - 110) / 2 rounds toward zero
  EXPECT_EQ(CentredIn(10, 0, 400, 100, 492, 110).x, 10 - 46);  // negative half toward zero
}

TEST(StubLayout, ActivityBarCycles) {
  int counter = 0, seen[7];
  for (int& s : seen) s = counter = NextActivityPosition(counter);
  EXPECT_EQ(std::vector<int>(seen, seen + 7), (std::vector<int>{1, 2, 3, 4, 5, 0, 1}));
}

}  // namespace
