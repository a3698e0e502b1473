#include "dialogs/notice_box.h"

#include <richedit.h>

#include "dialogs/dialog_window.h"
#include "dialogs/notice_box_layout.h"
#include "utils/debug_stream.h"
#include "utils/dll_hardening.h"
#include "utils/system_helpers.h"
#include "utils/text_rules.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

constexpr char kNoticeClass[] = "VRichEditBox";
constexpr int kButtonId = 1;

// The open box; one at a time.
struct NoticeState {
  std::string address;
  HWND box = nullptr;
  HWND text = nullptr;
  HWND button = nullptr;
  FontHandle buttonFont;
  FontHandle textFont;
  bool done = false;
};

struct NoticeModule {
  NoticeState* open = nullptr;
  HMODULE richEdit = nullptr;  // loaded with the first box, kept for the process
};
NoticeModule g_notice;

void OpenAddress(const std::string& address) {
  const bool opened = ShellOpen(address, "", SW_SHOWNORMAL);
  DebugEvent("NoticeBox: open %s: %s", address.c_str(), opened ? "done" : "failed");
}

Size2 ClientSize(HWND w) {
  RECT r{};
  GetClientRect(w, &r);
  return {r.right - r.left, r.bottom - r.top};
}

void PlaceControls(NoticeState& s) {
  const NoticeLayout l = LayoutNoticeBox(ClientSize(s.box), s.button != nullptr);
  if (s.text) MoveWindow(s.text, l.text.x, l.text.y, l.text.w, l.text.h, TRUE);
  if (s.button) MoveWindow(s.button, l.button.x, l.button.y, l.button.w, l.button.h, TRUE);
}

void Paint(NoticeState& s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(s.box, &ps);
  RECT client{};
  GetClientRect(s.box, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  if (s.button) {
    RECT line = {0, client.bottom - kNoticeStripHeight, client.right,
                 client.bottom - kNoticeStripHeight + 1};
    FillRect(dc, &line, GetSysColorBrush(COLOR_3DDKSHADOW));
    RECT strip = {0, client.bottom - (kNoticeStripHeight - 1), client.right, client.bottom};
    FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
  }
  EndPaint(s.box, &ps);
}

LRESULT CALLBACK NoticeProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  NoticeState* s = g_notice.open;
  if (!s || (s->box && s->box != w)) return DefWindowProcA(w, msg, wp, lp);
  switch (msg) {
    case WM_SIZE:
      PlaceControls(*s);
      return 0;
    case WM_PAINT:
      Paint(*s);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == kButtonId && HIWORD(wp) == BN_CLICKED && s->button) {
        OpenAddress(s->address);
        PostMessageA(w, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_DESTROY:
      s->done = true;
      return 1;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

bool ShowBox(HWND owner, const std::string& title, const std::string& buttonCaption, int charset,
             int fontSize, const std::string& fontName, int width, int height,
             const std::string& address, const std::string& text) {
  if (!g_notice.richEdit) g_notice.richEdit = LoadSystemLibrary("RICHED32.DLL");
  NoticeState s;
  s.address = address;
  s.buttonFont.reset(MakeDialogFont(-PointsToPixels(fontSize), charset, fontName.c_str()));
  s.textFont.reset(MakeDialogFont(kNoticeTextFontHeight, charset, NoticeTextFace(fontName).c_str()));

  HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterDialogClass(kNoticeClass, NoticeProc);

  const Rect2 at = CentreOnScreen({GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)},
                                  {width, height});
  g_notice.open = &s;
  s.box = CreateWindowExA(WS_EX_DLGMODALFRAME, kNoticeClass, title.c_str(),
                          WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, at.x, at.y, at.w,
                          at.h, owner, nullptr, instance, nullptr);
  if (!s.box) {
    DebugEvent("NoticeBox: no window (%lu)", GetLastError());
    g_notice.open = nullptr;
    UnregisterClassA(kNoticeClass, instance);
    return false;
  }
  s.text = CreateWindowExA(0, "RICHEDIT", "",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                               ES_WANTRETURN,
                           0, 0, 10, 10, s.box, nullptr, instance, nullptr);
  if (s.text) {
    SendMessageA(s.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    SendMessageA(s.text, WM_SETFONT, reinterpret_cast<WPARAM>(s.textFont.get()), TRUE);
    SendMessageA(s.text, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
    SetWindowTextA(s.text, text.c_str());
  } else {
    DebugEvent("NoticeBox: no RICHEDIT text area");
  }
  if (!address.empty()) {
    s.button = CreateWindowExA(0, "Button", buttonCaption.c_str(),
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0,
                               kNoticeButtonW, kNoticeButtonH, s.box,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)), instance,
                               nullptr);
    SendMessageA(s.button, WM_SETFONT, reinterpret_cast<WPARAM>(s.buttonFont.get()), TRUE);
  }
  PlaceControls(s);
  if (s.button) {
    SetFocus(s.button);
    SetActiveWindow(s.box);
    SendMessageA(s.button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  }
  RunDialogLoop(s.box, s.done, nullptr);
  g_notice.open = nullptr;
  UnregisterClassA(kNoticeClass, instance);
  return true;
}

}  // namespace

bool ShowNoticeBox(HWND owner, const std::string& title, const std::string& buttonCaption,
                   int charset, int fontSize, const std::string& fontName, int width, int height,
                   const std::string& address, const std::string& text) {
  std::string target = TrimText(address);
  if (!target.empty() && !IsWebAddress(target)) {
    DebugEvent("NoticeBox: address not opened (not http or https): %s", target.c_str());
    target.clear();
  }
  if (text.empty()) {
    if (target.empty()) return false;
    OpenAddress(target);
    return true;
  }
  if (g_notice.open) return false;  // one box at a time
  // Shown only when its window could be made.
  return ShowBox(owner, title, buttonCaption, charset, fontSize, fontName, width, height, target, text);
}

}  // namespace varnel
