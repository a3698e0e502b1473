// The debug channel, the agent log and the small system helpers under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "utils/agent_log.h"
#include "utils/debug_channel.h"
#include "utils/debug_stream.h"
#include "utils/exception_report.h"
#include "utils/file_helpers.h"
#include "utils/message_pump.h"
#include "utils/system_helpers.h"
#include "utils_test_support.h"

namespace {

using namespace varnel;
using varnel_test::Exists;
using varnel_test::ScratchFolder;

constexpr UINT kPing = WM_APP + 7;

// A stand-in viewer in this process: the channel finds it by class name and
// sends it the registered message, exactly as it would a real viewer.
struct TestViewer {
  static std::vector<std::string> pieces;
  static int pings;
  HWND window = nullptr;
  UINT debugMessage = RegisterWindowMessageA(kDebugViewerMessage);

  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    static UINT debugMessage = RegisterWindowMessageA(kDebugViewerMessage);
    if (m == debugMessage && wp == kDebugSenderCode) {
      // As the debug viewer reads them: one character per byte.
      wchar_t text[256];
      UINT n = GlobalGetAtomNameW(static_cast<ATOM>(lp), text, 256);
      std::string piece(n, '\0');
      for (UINT i = 0; i < n; ++i) piece[i] = static_cast<char>(text[i] & 0xFF);
      pieces.push_back(piece);
      return 0;
    }
    if (m == kPing) {
      ++pings;
      return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
  }

  TestViewer() {
    static bool registered = false;
    if (!registered) {
      WNDCLASSA wc = {};
      wc.lpfnWndProc = Proc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = kDebugViewerClass;
      registered = RegisterClassA(&wc) != 0;
    }
    pieces.clear();
    pings = 0;
    window = CreateWindowExA(0, kDebugViewerClass, "test viewer", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  }
  ~TestViewer() { DestroyWindow(window); }
};
std::vector<std::string> TestViewer::pieces;
int TestViewer::pings = 0;

TEST(DebugChannel, PiecesReachTheViewerThroughAtoms) {
  InitDebugStream();
  TestViewer viewer;
  ASSERT_NE(viewer.window, nullptr);
  std::string line(300, 'x');
  DebugLine("%s", line.c_str());
  DebugLine("%d ==== STUB START ====> ", 7);
  ASSERT_EQ(TestViewer::pieces.size(), 4u);
  EXPECT_EQ(TestViewer::pieces[0], std::string(128, 'x'));
  EXPECT_EQ(TestViewer::pieces[1], std::string(128, 'x'));
  EXPECT_EQ(TestViewer::pieces[2], std::string(44, 'x') + "\r\n");
  EXPECT_EQ(TestViewer::pieces[3], "7 ==== STUB START ====> \r\n");

  // A UTF-8 path arrives byte for byte, even with a character cut between
  // two pieces: the viewer joins the bytes before it reads the line.
  TestViewer::pieces.clear();
  const std::string path = std::string(126, 'x') + "\\\xC3\xA9\xE6\x97\xA5";
  DebugLine("%s", path.c_str());
  ASSERT_EQ(TestViewer::pieces.size(), 2u);
  EXPECT_EQ(TestViewer::pieces[0] + TestViewer::pieces[1], path + "\r\n");
}

TEST(DebugChannel, FileModesAppendNormalisedText) {
  ScratchFolder scratch("debugfile");
  std::string file = scratch.path + "_vdebug.txt";
  TestViewer viewer;
  DebugSendWithMode("one\n", kDebugToFile, file.c_str());
  DebugSendWithMode("two\rthree\r\n", kDebugToFileAndViewer, file.c_str());
  EXPECT_EQ(ReadFilePart(file), "one\r\ntwo\r\nthree\r\n");
  ASSERT_EQ(TestViewer::pieces.size(), 1u);  // only the second mode also sends
  EXPECT_EQ(TestViewer::pieces[0], "two\rthree\r\n");
  // Viewer-only mode never touches the file.
  std::string untouched = scratch.path + "none.txt";
  DebugSendWithMode("x\n", kDebugToViewer, untouched.c_str());
  EXPECT_FALSE(Exists(untouched));
}

TEST(DebugChannel, WithoutViewerPiecesAreDropped) {
  InitDebugStream();
  ASSERT_EQ(FindWindowA(kDebugViewerClass, nullptr), nullptr);
  DebugLine("nobody listens");  // must simply return
  DebugSend(std::string(200, 'y'));
}

// A window of the viewer's class on a thread that stops answering: every
// stub that writes a trace line would wait for it.
TEST(DebugChannel, HungViewerCostsABoundedWait) {
  InitDebugStream();
  ASSERT_EQ(FindWindowA(kDebugViewerClass, nullptr), nullptr);
  HANDLE created = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread hung([created] {
    TestViewer viewer;
    SetEvent(created);
    Sleep(6000);  // no messages are dispatched meanwhile
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  });
  WaitForSingleObject(created, 10000);
  CloseHandle(created);
  const DWORD start = GetTickCount();
  DebugLine("first line to a hung viewer");
  DebugLine("second line");
  const DWORD elapsed = GetTickCount() - start;
  hung.join();
  EXPECT_LT(elapsed, 3000u);
}

std::vector<std::string> g_lines;
void Collect(const std::string& piece) { g_lines.push_back(piece); }

TEST(ExceptionReport, WritesOneLineToTheDebugStream) {
  g_lines.clear();
  SetDebugSink(Collect);
  LogException("no version", "Utils.GetExeVersion()");
  InitDebugStream();
  ASSERT_EQ(g_lines.size(), 1u);
  EXPECT_EQ(g_lines[0], " ---  [ Method = Utils.GetExeVersion() ]  [ ErrMsg = no version ] \r\n");
}

TEST(MessagePump, YieldAndWaitDispatchPendingMessages) {
  TestViewer viewer;
  PostMessageA(viewer.window, kPing, 0, 0);
  YieldX(0);
  EXPECT_EQ(TestViewer::pings, 1);
  PostMessageA(viewer.window, kPing, 0, 0);
  std::int64_t start = MillisecondClock();
  WaitPumping(100);
  EXPECT_GE(MillisecondClock() - start, 100);
  EXPECT_EQ(TestViewer::pings, 2);
}

TEST(AgentLog, WritesOnlyWhenEnabledBesideTheExecutable) {
  std::string log = AgentLogPathFor(ExePath(false));
  EXPECT_EQ(log, ExeFolder(true) + "X_win32_tests.log");
  DeleteFileA(log.c_str());
  SetAgentLogEnabled(false);
  AgentLog("silent");
  EXPECT_FALSE(Exists(log));

  SetAgentLogEnabled(true);
  SetAgentLogTag(" X ");
  AgentLog("PerformAutoUpdate() - START");
  AgentLog("second");
  SetAgentLogEnabled(false);
  SetAgentLogTag("   ");
  std::string text = ReadFilePart(log);
  DeleteFileA(log.c_str());
  // "dd/mm/yy HH:NN:SS" is 17 characters, then " ", the thread id
  // right-aligned in at least 5, the tag and the message.
  std::size_t first = text.find("\r\n");
  ASSERT_NE(first, std::string::npos) << text;
  std::string line = text.substr(0, first);
  std::size_t tag = line.find(" X ", 18);
  ASSERT_NE(tag, std::string::npos) << line;
  std::string id = line.substr(18, tag - 18);
  EXPECT_GE(id.size(), 5u) << line;
  EXPECT_EQ(std::stoul(id), GetCurrentThreadId());
  EXPECT_EQ(line.substr(tag), " X PerformAutoUpdate() - START");
  EXPECT_EQ(text.substr(first + 2 + tag), " X second\r\n");
}

TEST(SystemHelpers, PixelsShellAndLoader) {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(PointsToPixels(72), dpi);
  EXPECT_EQ(PointsToPixelsAt(8, 96), 11);  // 10.67 rounds up
  EXPECT_EQ(PointsToPixelsAt(9, 96), 12);
  EXPECT_EQ(PointsToPixelsAt(-9, 96), -12);

  HMODULE library = nullptr;
  EXPECT_NE(LoadAndResolve("kernel32.dll", "GetTickCount", library), nullptr);
  EXPECT_NE(library, nullptr);
  FreeLibrary(library);
  EXPECT_EQ(LoadAndResolve("kernel32.dll", "NoSuchFunction", library), nullptr);
  FreeLibrary(library);
  EXPECT_EQ(LoadAndResolve("no_such_library.dll", "X", library), nullptr);

  EXPECT_FALSE(ShellOpen("C:\\no\\such\\file.xyz", "", SW_HIDE));
}

}  // namespace
