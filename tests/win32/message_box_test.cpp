// Drives real message boxes: the box runs on the test's main thread while a
// second thread finds the "VMsgBox" window, reads its geometry, text and
// bold runs through window messages, and presses keys or buttons.
#include "dialogs/message_box.h"

#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace varnel {
namespace {

struct BoxView {
  HWND box = nullptr;
  std::string title;
  RECT window{};
  RECT client{};
  HWND text = nullptr;
  RECT textRect{};  // in client coordinates
  std::string content;
  std::vector<BoldRange> bold;
  std::vector<HWND> buttons;
  std::vector<std::string> captions;
  std::vector<RECT> buttonRects;  // in client coordinates
  std::vector<bool> defaultStyle;  // default push button style
  HWND focus = nullptr;
  bool closeGreyed = false;
  bool rtlReading = false;
  bool rightAligned = false;
};

std::string WindowText(HWND w) {
  char buf[4096] = {};
  GetWindowTextA(w, buf, sizeof buf);
  return buf;
}

std::string ClassOf(HWND w) {
  char buf[64] = {};
  GetClassNameA(w, buf, sizeof buf);
  return buf;
}

RECT RectInClient(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Bold runs of the text area, read one character at a time.
std::vector<BoldRange> ReadBold(HWND text, int length) {
  std::vector<BoldRange> runs;
  char buf[8192] = {};
  GetWindowTextA(text, buf, sizeof buf);
  for (int i = 0; i < length; ++i) {
    // The formatting of a line break follows its neighbours: skip it.
    if (i < static_cast<int>(sizeof buf) && (buf[i] == '\r' || buf[i] == '\n')) continue;
    CHARRANGE sel{i, i + 1};
    SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&sel));
    CHARFORMATA cf{};
    cf.cbSize = sizeof cf;
    SendMessageA(text, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    if (!(cf.dwEffects & CFE_BOLD)) continue;
    if (!runs.empty() && runs.back().end == i) {
      runs.back().end = i + 1;
    } else {
      runs.push_back({i, i + 1});
    }
  }
  CHARRANGE none{0, 0};
  SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
  return runs;
}

BoxView ReadBox(HWND box) {
  BoxView v;
  v.box = box;
  v.title = WindowText(box);
  GetWindowRect(box, &v.window);
  GetClientRect(box, &v.client);
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    const std::string cls = ClassOf(c);
    if (lstrcmpiA(cls.c_str(), "RICHEDIT") == 0) {
      v.text = c;
      v.textRect = RectInClient(box, c);
      const int len = GetWindowTextLengthA(c);
      std::string s(len + 1, '\0');
      GetWindowTextA(c, &s[0], len + 1);
      s.resize(len);
      v.content = s;
      v.bold = ReadBold(c, len);
      v.rtlReading = (GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_RTLREADING) != 0;
      v.rightAligned = (GetWindowLongA(c, GWL_STYLE) & ES_RIGHT) != 0;
    } else if (lstrcmpiA(cls.c_str(), "Button") == 0) {
      v.buttons.push_back(c);
      v.captions.push_back(WindowText(c));
      v.buttonRects.push_back(RectInClient(box, c));
      v.defaultStyle.push_back((GetWindowLongA(c, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON);
    }
  }
  GUITHREADINFO gti{};
  gti.cbSize = sizeof gti;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &gti)) v.focus = gti.hwndFocus;
  const UINT state = GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND);
  v.closeGreyed = state != static_cast<UINT>(-1) && (state & MF_GRAYED);
  return v;
}

HWND WaitForBox(int timeoutMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    HWND box = FindWindowA(kMsgBoxClass, nullptr);
    if (box && IsWindowVisible(box)) {
      RECT r;
      GetWindowRect(box, &r);
      if (r.left > -5000) return box;  // placed, no longer off-screen
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nullptr;
}

bool WaitForBoxGone(int timeoutMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (!FindWindowA(kMsgBoxClass, nullptr)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Shows a box on this thread while `drive` looks at it from another.
// The driver gets the box as read once it is placed; when it finds no box
// it does nothing and the box is left to its time-out.
template <class Show>
auto WithDriver(Show show, std::function<void(const BoxView&)> drive) {
  BoxView seen;
  std::thread driver([&] {
    HWND box = WaitForBox();
    if (!box) return;
    // Let the box finish building (its default button takes the focus) and
    // paint before acting.
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    const DWORD thread = GetWindowThreadProcessId(box, nullptr);
    for (int i = 0; i < 100; ++i) {
      if (GetGUIThreadInfo(thread, &gti) && gti.hwndFocus && IsChild(box, gti.hwndFocus)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    seen = ReadBox(box);
    drive(seen);
    // Keys that should have closed the box but did not: close it, so that
    // a fault fails the test instead of hanging it.
    if (!WaitForBoxGone(8000)) PostMessageA(box, WM_CLOSE, 0, 0);
  });
  auto result = show();
  driver.join();
  EXPECT_TRUE(WaitForBoxGone());
  return std::make_pair(result, seen);
}

void PostKey(HWND w, UINT key) { PostMessageA(w, WM_KEYDOWN, key, 1); }
void Press(const BoxView& v, int index) {
  PostMessageA(v.buttons[index], BM_CLICK, 0, 0);
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

TEST(MsgBoxWindow, ErrorBoxWithHeadingLayoutAndOkButton) {
  auto [result, v] = WithDriver(
      [] {
        MsgBoxError(kMsgOwnerWithHeading, "Short text.");
        return 0;
      },
      [](const BoxView& v) {
        if (!v.buttons.empty()) Press(v, 0);
      });
  EXPECT_EQ(v.title, "Error");
  EXPECT_EQ(v.content, "ERROR\r\n\r\nShort text.\r\n");
  ASSERT_EQ(v.bold.size(), 1u);
  EXPECT_EQ(v.bold[0], (BoldRange{0, 5}));
  // A short text still gives the minimum width.
  EXPECT_EQ(Width(v.window), 360);
  ASSERT_EQ(v.captions, std::vector<std::string>{"&OK"});
  // One button: 70 x 23, 10 pixels from the right, 29 above the bottom.
  const RECT b = v.buttonRects[0];
  EXPECT_EQ(Width(b), 70);
  EXPECT_EQ(Height(b), 23);
  EXPECT_EQ(b.right, v.client.right - 10);
  EXPECT_EQ(b.top, v.client.bottom - 29);
  // Text area: right of the 54-pixel band, centred in what is left.
  EXPECT_EQ(v.textRect.left, 54 + (v.client.right - 54 - Width(v.textRect)) / 2);
  EXPECT_EQ(v.textRect.bottom, v.client.bottom - 39);
  EXPECT_EQ(v.focus, v.buttons[0]);
  EXPECT_FALSE(v.closeGreyed);
  // Centred on the work area.
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(v.window.left, work.left + (Width(work) - Width(v.window)) / 2);
  EXPECT_EQ(v.window.top, work.top + (Height(work) - Height(v.window)) / 2);
}

TEST(MsgBoxWindow, TranslatedCaptionStaysAsHeadingAndTitle) {
  auto [result, v] = WithDriver(
      [] { return MsgBoxShow(kMsgOwnerWithHeading, "Text", "Fehler", "", 0, 0x10, 0); },
      [](const BoxView& v) { PostMessageA(v.box, WM_CLOSE, 0, 0); });
  EXPECT_EQ(v.title, "Fehler");
  EXPECT_EQ(v.content.substr(0, 8), "Fehler\r\n");
  EXPECT_EQ(result, 0);
  // A list without items gives buttons without captions.
  ASSERT_EQ(v.captions.size(), 1u);
  EXPECT_EQ(v.captions[0], "");
}

TEST(MsgBoxWindow, MarkupRendersBoldRunsTabsAndLines) {
  auto [result, v] = WithDriver(
      [] {
        return MsgBoxShow(kMsgOwnerActive, "a<b>b</b>c<P>x\\\\ty<p>x</b>y<b>z", "Markup", kMsgBoxButtonList, 0,
                          0x40, 0);
      },
      [](const BoxView& v) { Press(v, 0); });
  EXPECT_EQ(result, kIdOk);
  // No heading with an owner of kind 1.
  EXPECT_EQ(v.content, "abc\r\nx\ty\r\nxyz");
  ASSERT_EQ(v.bold.size(), 1u);
  EXPECT_EQ(v.bold[0], (BoldRange{1, 2}));
}

TEST(MsgBoxWindow, LongLineIsCappedAt600AndWrapsOnThreeLines) {
  // Build a line of about 1300 pixels in the box font (Tahoma 8).
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontA(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, 0,
                           0, 0, 1, 0, 0, 0, FF_SWISS, "Tahoma");
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  std::string line;
  SIZE ext{};
  while (ext.cx < 1300) {
    line += "word ";
    GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &ext);
  }
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  ASSERT_LT(ext.cx, 1800);
  auto [result, v] = WithDriver(
      [&] { return MsgBoxShow(kMsgOwnerActive, line, "Long", kMsgBoxButtonList, 0, 0, 0); },
      [&](const BoxView& v) { PostKey(v.focus, VK_RETURN); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(Width(v.textRect), 610);
  // The measured height (three lines) gives the client height: text + 36 +
  // two margins of 32.
  EXPECT_EQ(v.client.bottom - 36 - 64, 3 * (tm.tmHeight + tm.tmExternalLeading));
  EXPECT_EQ(Width(v.window), 610 + 54 + 64 + (Width(v.window) - v.client.right));
}

TEST(MsgBoxWindow, ButtonRowOfThreeWithDefaultButton) {
  auto [result, v] = WithDriver(
      [] { return MsgBoxShow(kMsgOwnerActive, "Three", "Row", kMsgBoxButtonList, 0, 0x203, 0); },
      [](const BoxView& v) { PostKey(v.focus, VK_RETURN); });
  ASSERT_EQ(v.captions, (std::vector<std::string>{"&Yes", "&No", "&Cancel"}));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Width(v.buttonRects[i]), 70);
    EXPECT_EQ(v.buttonRects[i].top, v.client.bottom - 29);
  }
  EXPECT_EQ(v.buttonRects[2].right, v.client.right - 10);
  EXPECT_EQ(v.buttonRects[1].right, v.buttonRects[2].left);
  EXPECT_EQ(v.buttonRects[0].right, v.buttonRects[1].left);
  // Default button 2 has the focus and the default style; Enter chooses it.
  EXPECT_EQ(v.focus, v.buttons[2]);
  EXPECT_EQ(v.defaultStyle, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(result, kIdCancel);
}

struct KeyCase {
  const char* name;
  unsigned flags;
  std::function<void(const BoxView&)> keys;
  int result;
};

TEST(MsgBoxWindow, KeyboardChoosesAndMovesTheFocus) {
  auto sysChar = [](char c) {
    return [c](const BoxView& v) { PostMessageA(v.focus, WM_SYSCHAR, c, 1 << 29); };
  };
  auto keys = [](std::vector<UINT> list) {
    return [list](const BoxView& v) {
      for (UINT k : list) PostKey(v.focus ? v.focus : v.box, k);
    };
  };
  const KeyCase cases[] = {
      {"alt+n", 3, sysChar('n'), kIdNo},
      {"alt+Y", 3, sysChar('Y'), kIdYes},
      {"alt+r retry", 5, sysChar('r'), kIdRetry},
      {"letter C", 3, keys({'C'}), kIdCancel},
      {"letter I", 2, keys({'I'}), kIdIgnore},
      // Right moves to No; the next keys go to the same (old) focus window
      // but the box follows the real focus.
      {"right enter", 3, keys({VK_RIGHT, VK_RETURN}), kIdNo},
      {"tab tab enter", 3, keys({VK_TAB, VK_TAB, VK_RETURN}), kIdCancel},
      {"tab wraps", 4, keys({VK_TAB, VK_TAB, VK_RETURN}), kIdYes},
      {"left wraps", 3, keys({VK_LEFT, VK_RETURN}), kIdCancel},
      {"down up up", 3, keys({VK_DOWN, VK_UP, VK_UP, VK_RETURN}), kIdCancel},
      {"escape", 4, keys({VK_ESCAPE}), kIdNone},
      {"unknown letter then escape", 4, keys({'Q', VK_ESCAPE}), kIdNone},
  };
  for (const KeyCase& c : cases) {
    auto [result, v] = WithDriver(
        [&] { return MsgBoxShow(kMsgOwnerActive, c.name, "Keys", kMsgBoxButtonList, 0, c.flags, 0); }, c.keys);
    EXPECT_EQ(result, c.result) << c.name;
  }
}

TEST(MsgBoxWindow, FocusMoveMakesTheFocusedButtonTheDefault) {
  BoxView after;
  auto [result, v] = WithDriver(
      [] { return MsgBoxShow(kMsgOwnerActive, "Focus", "Keys", kMsgBoxButtonList, 0, 3, 0); },
      [&](const BoxView& v) {
        PostKey(v.focus, VK_RIGHT);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        after = ReadBox(v.box);
        PostKey(v.box, VK_ESCAPE);
      });
  ASSERT_EQ(after.buttons.size(), 3u);
  EXPECT_EQ(after.focus, after.buttons[1]);
  EXPECT_EQ(after.defaultStyle, (std::vector<bool>{false, true, false}));
  EXPECT_EQ(result, kIdNone);
}

TEST(MsgBoxWindow, CloseCommandGreyedForOwnerKindTwoEscapeStillCloses) {
  auto [result, v] = WithDriver(
      [] { return MsgBoxConfirm(kMsgOwnerNoClose, "No close here"); },
      [](const BoxView& v) { PostKey(v.focus, VK_ESCAPE); });
  EXPECT_TRUE(v.closeGreyed);
  EXPECT_FALSE(result);
  EXPECT_EQ(v.content, "No close here");
  // The close command of an ordinary box returns 0.
  auto [r2, v2] = WithDriver(
      [] { return MsgBoxShow(kMsgOwnerActive, "Close me", "Confirm", kMsgBoxButtonList, 0, 0x24, 0); },
      [](const BoxView& v) { PostMessageA(v.box, WM_SYSCOMMAND, SC_CLOSE, 0); });
  EXPECT_FALSE(v2.closeGreyed);
  EXPECT_EQ(r2, kIdNone);
}

TEST(MsgBoxWindow, RightToLeftForHebrewAndArabicCharsets) {
  for (int charset : {177, 178, 0}) {
    auto [result, v] = WithDriver(
        [&] { return MsgBoxShow(kMsgOwnerActive, "rtl", "RTL", "", charset, 0, 0); },
        [](const BoxView& v) { PostKey(v.focus, VK_RETURN); });
    EXPECT_EQ(v.rtlReading, charset != 0) << charset;
    EXPECT_EQ(v.rightAligned, charset != 0) << charset;
  }
}

TEST(MsgBoxWindow, AnswersQueryCancelAutoPlayWithOne) {
  LRESULT answer = -1;
  WithDriver([] { return MsgBoxShow(kMsgOwnerActive, "AutoPlay", "A", "", 0, 0, 0); },
             [&](const BoxView& v) {
               answer = SendMessageA(v.box, RegisterWindowMessageA("QueryCancelAutoPlay"), 0, 0);
               PostKey(v.focus, VK_RETURN);
             });
  EXPECT_EQ(answer, 1);
}

TEST(MsgBoxWindow, OwnerWindowIsDisabledWhileShownAndActiveAfter) {
  HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                               100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetActiveWindow(owner);
  bool enabledDuring = true;
  HWND ownerSeen = nullptr;
  WithDriver([] { return MsgBoxOkCancel(kMsgOwnerActive, "Owned"); },
             [&](const BoxView& v) {
               enabledDuring = IsWindowEnabled(owner);
               ownerSeen = GetWindow(v.box, GW_OWNER);
               PostKey(v.focus, VK_ESCAPE);
             });
  EXPECT_FALSE(enabledDuring);
  EXPECT_EQ(ownerSeen, owner);
  EXPECT_TRUE(IsWindowEnabled(owner));
  DestroyWindow(owner);
}

TEST(MsgBoxWindow, ConfirmLeftAloneTimesOutWithYesAfterFiveSeconds) {
  const auto start = std::chrono::steady_clock::now();
  auto [result, v] = WithDriver(
      [] { return MsgBoxConfirm(kMsgOwnerWithHeading, "Time-out", "", "", 0, 5000); },
      [](const BoxView&) {});
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(result);
  EXPECT_GE(ms, 4900);
  EXPECT_EQ(v.captions, (std::vector<std::string>{"&Yes", "&No"}));
}

}  // namespace
}  // namespace varnel
