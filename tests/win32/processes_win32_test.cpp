// The process and window helpers against real processes: copies of the
// process probe (tests/programs) started from scratch folders.
#include "utils/processes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/delimited_list.h"
#include "utils/wide_text_win32.h"
#include "utils_test_support.h"

namespace {

using namespace varnel;
using varnel_test::ScratchFolder;

std::string ProbeSource() {
  std::string path = std::string("Z:") + VARNEL_PROCESS_PROBE;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

template <typename Condition>
bool WaitUntil(Condition condition, DWORD limitMs) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > limitMs) return false;
    Sleep(20);
  }
  return true;
}

// Xvfb runs no window manager, and Wine waits two seconds for one each time
// a managed window of the program is destroyed; the probes' windows are
// made unmanaged so that they close at once. (Wine's own settings; Windows
// ignores the key.)
void UnmanagedUnderWine(const std::string& exeName) {
  const std::string key = "Software\\Wine\\AppDefaults\\" + exeName + "\\X11 Driver";
  HKEY handle = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) != 0)
    return;
  RegSetValueExA(handle, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
  RegCloseKey(handle);
}

class ProcessTest : public ::testing::Test {
 protected:
  ProcessTest() : scratch_("processes") {}
  ~ProcessTest() override {
    for (HANDLE process : children_) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, 5000);
      CloseHandle(process);
    }
  }

  // A copy of the probe at folder\name (folder under the scratch folder).
  std::string Program(const std::string& folder, const std::string& name) {
    UnmanagedUnderWine(name);
    const std::string dir = scratch_.path + folder;
    CreateDirectoryW(Wide(dir).c_str(), nullptr);
    const std::string path = dir + "\\" + name;
    EXPECT_TRUE(CopyFileW(Wide(ProbeSource()).c_str(), Wide(path).c_str(), FALSE)) << path;
    return path;
  }

  // Starts program with arguments; the process handle stays with the test.
  HANDLE Start(const std::string& program, const std::string& arguments) {
    std::wstring line = Wide("\"" + program + "\" " + arguments);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                               &pi))
        << program;
    CloseHandle(pi.hThread);
    children_.push_back(pi.hProcess);
    return pi.hProcess;
  }

  HWND StartWindowed(const std::string& program, const std::string& arguments) {
    Start(program, "window " + arguments);
    // Until the program has shown its window, the only one it has may be
    // the hidden input-method window the system made for it.
    HWND window = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
      return (window = FindMainWindow(program, true)) != nullptr && IsWindowVisible(window);
    }, 10000));
    return window;
  }

  ScratchFolder scratch_;
  std::vector<HANDLE> children_;
};

struct Seen {
  int pieces = 0;
  std::string text;
  int stopAfter = 0;
};

void Collect(void* user, const std::string& piece, bool& stop) {
  Seen& seen = *static_cast<Seen*>(user);
  seen.text += piece;
  if (++seen.pieces == seen.stopAfter) stop = true;
}

TEST_F(ProcessTest, CapturesOutputAndErrorsConvertedFromTheOemCodePage) {
  CaptureResult r = RunAndCapture(ProbeSource(), "output 3", SW_HIDE, nullptr, nullptr, 1);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.exitCode, 3u);
  char letter = '\x82';
  OemToCharBuffA(&letter, &letter, 1);
  // 100,000 bytes: more than one read takes, all of it drained.
  EXPECT_EQ(r.output.size(), 100000u + std::string("\nend of output \x82\n").size());
  EXPECT_EQ(r.output.substr(r.output.size() - 16), std::string("end of output ") + letter + "\n");
  EXPECT_EQ(r.errors, "some error text\n");

  r = RunAndCapture(ProbeSource(), "output 0", SW_HIDE, nullptr, nullptr, 1);
  EXPECT_TRUE(r.success);
  EXPECT_EQ(r.exitCode, 0u);
}

TEST_F(ProcessTest, CallbackSeesEveryPieceAndStopsTheChild) {
  Seen seen;
  seen.stopAfter = 3;
  const DWORD start = GetTickCount();
  CaptureResult r = RunAndCapture(ProbeSource(), "ticks", SW_HIDE, Collect, &seen, 1);
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.exitCode, kCaptureStopped);
  EXPECT_GE(seen.pieces, 3);
  EXPECT_EQ(seen.text, r.output);
  EXPECT_EQ(r.output.compare(0, 5, "tick\n"), 0);
}

TEST_F(ProcessTest, TimeBoundEndsTheChildAndFails) {
  const DWORD start = GetTickCount();
  CaptureResult r = RunAndCapture(ProbeSource(), "ticks", SW_HIDE, nullptr, nullptr, 1, 500);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 450u);
  EXPECT_LT(elapsed, 4000u);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.exitCode, kCaptureStopped);
  EXPECT_NE(r.output.find("tick"), std::string::npos);
}

TEST_F(ProcessTest, StartFailuresAndTheCommandLineLimit) {
  Seen seen;
  const std::string missing = scratch_.path + "no such folder\\none.exe";
  CaptureResult r = RunAndCapture(missing, "/x", SW_HIDE, Collect, &seen, 1);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.exitCode, kCaptureStartFailed);
  EXPECT_NE(r.errors.find(" --- \"" + missing + "\" /x"), std::string::npos) << r.errors;
  EXPECT_GT(r.errors.find(" --- "), 0u);  // the system's message comes first
  EXPECT_EQ(seen.text, r.errors + "\r\n");

  const std::string probe = ProbeSource();
  const std::string tooLong(kMaxCommandLine - probe.size(), 'a');  // one more than the limit with the blank
  r = RunAndCapture(probe, tooLong, SW_HIDE, nullptr, nullptr, 1);
  EXPECT_EQ(r.exitCode, kCaptureStartFailed);
  EXPECT_EQ(r.errors, "Command line is too long");

  const std::string parameters = "cmdlen " + std::string(30000, 'a');
  r = RunAndCapture(probe, parameters, SW_HIDE, nullptr, nullptr, 1);
  EXPECT_TRUE(r.success) << r.errors;
  EXPECT_EQ(r.output, std::to_string(probe.size() + 1 + parameters.size()));
}

TEST_F(ProcessTest, FindsByFullPathOrNameAndEndsOnlyTheSearchedProgram) {
  const std::string a = Program("A", "namesake.exe");
  const std::string b = Program("B", "namesake.exe");
  HANDLE processA = Start(a, "wait 30000");
  HANDLE processB = Start(b, "wait 30000");
  const unsigned long idA = GetProcessId(processA), idB = GetProcessId(processB);
  ASSERT_TRUE(WaitUntil([&] { return FindProcessId(a, true) == idA && FindProcessId(b, true) == idB; }, 10000));

  EXPECT_EQ(FindProcessId("  \"" + a + "\" ", true), idA);
  char shortForm[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(a.c_str(), shortForm, MAX_PATH), 0u);
  EXPECT_EQ(FindProcessId(shortForm, true), idA);
  std::string upper = a;
  CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
  EXPECT_EQ(FindProcessId(upper, true), idA);
  const unsigned long byName = FindProcessId("namesake.exe", false);
  EXPECT_TRUE(byName == idA || byName == idB);
  EXPECT_EQ(FindProcessId("namesake.exe", true), 0u);
  EXPECT_EQ(FindProcessId(scratch_.path + "C\\namesake.exe", false), 0u);
  EXPECT_EQ(FindProcessId("", false), 0u);
  EXPECT_EQ(FindProcessId("  ", false), 0u);

  // A program without any window still counts as running.
  EXPECT_TRUE(IsProcessRunning(a));
  EXPECT_FALSE(PostProcessMessage(a, true, WM_CLOSE, 0, 0));

  // The same-named program in another folder is left alone.
  EXPECT_TRUE(TerminateProcessByPath(a, false));
  ASSERT_EQ(WaitForSingleObject(processA, 5000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(processA, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(WaitForSingleObject(processB, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(IsProcessRunning(a));
  EXPECT_TRUE(IsProcessRunning(b));
  EXPECT_FALSE(TerminateProcessByPath(a, true));
}

TEST_F(ProcessTest, NonAsciiLettersCompareWithoutRegardToCase) {
  struct Case {
    const char* folder;
    const char* name;
    const char* upperTail;  // folder and name in upper case
  };
  const Case cases[] = {
      // UTF-8: a Greek and CJK folder, a Greek name, letters that no
      // Western ANSI code page has.
      {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1 \xE6\x97\xA5", "\xCF\x88\xCF\x85\xCF\x87\xCE\xAE.exe",
       "\xCE\x95\xCE\x9B\xCE\x9B\xCE\x86\xCE\x94\xCE\x91 \xE6\x97\xA5\\\xCE\xA8\xCE\xA5\xCE\xA7\xCE\x89.EXE"},
      // As older callers name it, in the ANSI code page (1252): "Caf\xE9 \xE5\\\xE9t\xE9.exe".
      {"Caf\xE9 \xE5", "\xE9t\xE9.exe", "CAF\xC9 \xC5\\\xC9T\xC9.EXE"},
  };
  for (const Case& c : cases) {
    const std::string program = Program(c.folder, c.name);
    HANDLE process = Start(program, "wait 30000");
    const unsigned long id = GetProcessId(process);
    ASSERT_TRUE(WaitUntil([&] { return FindProcessId(program, true) == id; }, 10000)) << program;
    std::wstring wideUpper = Wide(program);
    CharUpperBuffW(&wideUpper[0], static_cast<DWORD>(wideUpper.size()));
    const std::string upper = Utf8(wideUpper);
    const std::string upperTail = Utf8(Wide(c.upperTail));
    ASSERT_NE(upper.find(upperTail), std::string::npos) << upper;
    EXPECT_EQ(FindProcessId(upper, true), id) << upper;
    // By file name only no short form can stand in: the comparison alone decides.
    EXPECT_EQ(FindProcessId(c.upperTail + std::string(c.upperTail).rfind('\\') + 1, false), id) << c.upperTail;
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
  }
}

TEST_F(ProcessTest, MainWindowIsTheOwnerOfTheToolWindows) {
  const std::string product = Program("W", "product.exe");
  HWND main = StartWindowed(product, "--tools 3 --title \"Probe Main\" --class ProbeOwnerTest");
  ASSERT_TRUE(main);
  char text[64] = "";
  GetWindowTextA(main, text, sizeof text);
  EXPECT_STREQ(text, "Probe Main");
  GetClassNameA(main, text, sizeof text);
  EXPECT_STREQ(text, "ProbeOwnerTest");
  const unsigned long id = FindProcessId(product, true);
  TAnalizer analizer(id);
  // The tool windows may still be on their way.
  EXPECT_TRUE(WaitUntil([&] {
    analizer = TAnalizer(id);
    analizer.Collect();
    return analizer.Count() >= 4u;
  }, 10000));
  EXPECT_EQ(analizer.MainWindow(), main);

  // The survey: every window, or one per image until the searched one.
  TProcessData all = SurveyWindows(true, "", -1);
  int ofProduct = 0;
  for (int i = 0; i < SUB::ListCount(all.processIds); ++i)
    if (SUB::ListItemInt(all.processIds, i, 0) == static_cast<long long>(id)) ++ofProduct;
  EXPECT_GE(ofProduct, 4);
  const std::string image = ProcessImagePath(id);
  TProcessData until = SurveyWindows(false, image, -1);
  EXPECT_EQ(SUB::ListItem(until.imagePaths, -1), image);
  EXPECT_EQ(SUB::ListItemInt(until.processIds, -1, 0), static_cast<long long>(id));
  TProcessData byId = SurveyWindows(false, "", id);
  EXPECT_EQ(SUB::ListItemInt(byId.processIds, -1, 0), static_cast<long long>(id));
}

TEST_F(ProcessTest, CloseQuitAndTheirMark) {
  const std::string product = Program("C", "closable.exe");
  const std::string record = scratch_.path + "closable.txt";
  HANDLE closable = Start(product, "window --record \"" + record + "\"");
  ASSERT_TRUE(WaitUntil([&] { return FindMainWindow(product, true) != nullptr; }, 10000));
  EXPECT_TRUE(CloseProcessWindow(product, true, 3000));
  // The wait covered its end (the process may still be closing its handles).
  EXPECT_EQ(WaitForSingleObject(closable, 1000), WAIT_OBJECT_0);
  EXPECT_EQ(ReadFilePart(record), "close 15 255\r\n");

  const std::string stubborn = Program("D", "stubborn.exe");
  const std::string record2 = scratch_.path + "stubborn.txt";
  HANDLE process = Start(stubborn, "window --ignore-close --record \"" + record2 + "\"");
  ASSERT_TRUE(WaitUntil([&] { return FindMainWindow(stubborn, true) != nullptr; }, 10000));
  EXPECT_TRUE(CloseProcessWindow(stubborn, true, 0));
  ASSERT_TRUE(WaitUntil([&] { return ReadFilePart(record2) == "close 15 255\r\n"; }, 5000));
  EXPECT_TRUE(IsProcessRunning(stubborn));
  EXPECT_TRUE(QuitProcessWindow(stubborn, true));
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(ReadFilePart(record2), "close 15 255\r\nquit 15\r\n");

  const std::string gone = scratch_.path + "gone.exe";
  EXPECT_FALSE(CloseProcessWindow(gone, true, 0));
  EXPECT_FALSE(QuitProcessWindow(gone, true));
  EXPECT_FALSE(TerminateProcessByPath(gone, false));
}

TEST_F(ProcessTest, WaitsEndWithTheProcessOrWindowOrTheirBound) {
  const std::string lasting = Program("E", "lasting.exe");
  Start(lasting, "wait 30000");
  ASSERT_TRUE(WaitUntil([&] { return IsProcessRunning(lasting); }, 10000));
  DWORD start = GetTickCount();
  WaitProcessGone(lasting, 0);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 950u);
  EXPECT_LT(elapsed, 1600u);

  const std::string brief = Program("F", "brief.exe");
  HANDLE process = Start(brief, "wait 400");
  ASSERT_TRUE(WaitUntil([&] { return IsProcessRunning(brief); }, 10000));
  WaitProcessGone(brief, 10000);
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);

  const std::string windowed = Program("G", "windowed.exe");
  Start(windowed, "window --life 700 --class ProbeLifeTest --title Life");
  ASSERT_TRUE(WaitUntil([&] { return FindWindowA("ProbeLifeTest", "Life") != nullptr; }, 10000));
  start = GetTickCount();
  WaitWhileWindow("ProbeLifeTest", "Life");
  EXPECT_FALSE(FindWindowA("ProbeLifeTest", "Life"));
  EXPECT_LT(GetTickCount() - start, 3000u);
  start = GetTickCount();
  WaitWhileWindow("ProbeNoSuchClass", "");
  EXPECT_LT(GetTickCount() - start, 50u);
}

}  // namespace
