// The stub window's procedure driven directly: close requests, the AutoPlay
// refusal, the notification target and the progress bars.
#include "startup/stub_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

#include "startup/agent_messages.h"

namespace {

using namespace varnel;

class StubWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    static ATOM cls = [] {
      WNDCLASSA wc = {};
      wc.lpfnWndProc = StubWindowProc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = "StubWindowTest";
      return RegisterClassA(&wc);
    }();
    ASSERT_NE(cls, 0);
    window_ = CreateWindowExA(0, "StubWindowTest", "t", WS_CAPTION | WS_SYSMENU, 0, 0, 492, 110,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(window_);
    // The work of the first tick is not part of these tests.
    KillTimer(window_, 1);
    SetDownloadAbort(false);
  }
  void TearDown() override {
    if (IsWindow(window_)) DestroyWindow(window_);
    DrainQuit();
  }
  static void DrainQuit() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  HWND window_ = nullptr;
};

TEST_F(StubWindowTest, FirstCloseOnlyAbortsSecondDestroys) {
  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_TRUE(DownloadAbort());
  EXPECT_FALSE(LoopExitRequested());

  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_TRUE(LoopExitRequested());
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(StubWindowTest, RefusesAutoPlayOnlyOnceRegistered) {
  const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
  EXPECT_EQ(SendMessageA(window_, query, 0, 0), 0);
  RegisterAutoPlayQuery();
  EXPECT_EQ(AutoPlayQueryMessage(), query);
  EXPECT_EQ(SendMessageA(window_, query, 0, 0), 1);
}

TEST_F(StubWindowTest, LocalMsgRegistersTargetAndAnswers) {
  HWND target = CreateWindowExA(0, "Static", "", 0, 0, 0, 1, 1, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  const UINT notify = WM_APP + 7;
  SendMessageA(window_, wm_LocalMsg, reinterpret_cast<WPARAM>(target), notify);
  NotifyTarget(kNotifyLoopEnded, 0);

  std::vector<std::pair<WPARAM, LPARAM>> got;
  MSG msg;
  while (PeekMessageA(&msg, target, notify, notify, PM_REMOVE)) got.push_back({msg.wParam, msg.lParam});
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], std::make_pair(WPARAM(50), reinterpret_cast<LPARAM>(window_)));
  EXPECT_EQ(got[1], std::make_pair(WPARAM(51), LPARAM(WM_USER + 101)));
  EXPECT_EQ(got[2], std::make_pair(WPARAM(43), LPARAM(0)));
  SetNotificationTarget(nullptr, 0);
  DestroyWindow(target);
}

TEST_F(StubWindowTest, ShutDownMessageSetsCountdown) {
  SendMessageA(window_, wm_ShutDown, 4, 0);
  EXPECT_EQ(ShutDownCountdown(), 4);
  SetShutDownCountdown(-1);
}

TEST_F(StubWindowTest, ProgressCallbackDrivesBothBars) {
  ProgressCallback(kProgressInit, 2, 70000, "", 3);  // the range holds at most 65535
  EXPECT_EQ(SendMessageA(ProgressBarControl(), PBM_GETRANGE, FALSE, 0), 65535);
  EXPECT_EQ(SendMessageA(ProgressBarControl(), PBM_GETPOS, 0, 0), 2);
  EXPECT_EQ(SendMessageA(ActivityBarControl(), PBM_GETRANGE, FALSE, 0), 5);
  std::vector<LRESULT> activity;
  for (int i = 0; i < 7; ++i) {
    ProgressCallback(kProgressStep, 0, 0, "", 0);
    activity.push_back(SendMessageA(ActivityBarControl(), PBM_GETPOS, 0, 0));
  }
  EXPECT_EQ(SendMessageA(ProgressBarControl(), PBM_GETPOS, 0, 0), 2 + 7 * 3);
  // The activity counter carries on from earlier steps; it cycles through 0..5.
  for (std::size_t i = 1; i < activity.size(); ++i)
    EXPECT_EQ(activity[i], activity[i - 1] == 5 ? 0 : activity[i - 1] + 1);
  // Several steps of a download in one move.
  ProgressCallback(kProgressSteps, 0, 0, "", 4);
  EXPECT_EQ(SendMessageA(ProgressBarControl(), PBM_GETPOS, 0, 0), 2 + 11 * 3);
}

}  // namespace
