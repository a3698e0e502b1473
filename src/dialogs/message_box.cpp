#include "dialogs/message_box.h"

#include <richedit.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "dialogs/dialog_window.h"
#include "utils/debug_stream.h"
#include "utils/delimited_list.h"
#include "utils/dll_hardening.h"
#include "utils/message_pump.h"
#include "utils/system_helpers.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

constexpr int kCharsetHebrew = 177;
constexpr int kCharsetArabic = 178;
constexpr COLORREF kBandColour = RGB(0, 78, 152);
constexpr UINT_PTR kTimeoutTimer = 1;
constexpr int kTextAreaId = 100;
constexpr int kFirstButtonId = 101;

struct MsgBoxFont {
  std::string face = "Tahoma";
  int charset = 1;
  int pointSize = 8;
};

// The box being shown; one at a time.
struct MsgBoxState {
  int result = kIdNone;
  std::array<HWND, 3> buttons{};
  std::array<std::string, 3> captions;
  std::array<int, 3> results{};
  unsigned timeoutMs = 0;
  UINT_PTR timer = 0;
  int askedW = 0;  // size the text area last asked for (EN_REQUESTRESIZE)
  int askedH = 0;
  HWND previousActive = nullptr;
  FontHandle font;  // released when the box's state goes, after its window
  HICON icon = nullptr;
  HWND box = nullptr;
  HWND text = nullptr;
  bool done = false;
};

struct MsgBoxModule {
  MsgBoxFont font;
  MsgBoxState* box = nullptr;
  HMODULE richEditKept = nullptr;  // loaded on the first box, kept for the process
  bool richEditTried = false;
  UINT queryCancelAutoPlay = 0;
  int developerSwitch = -1;        // DVX=735, read once
};
MsgBoxModule g_msg;

bool DeveloperSwitchOn() {
  if (g_msg.developerSwitch < 0) {
    const char* v = std::getenv("DVX");
    g_msg.developerSwitch = v && std::strcmp(v, "735") == 0 ? 1 : 0;
  }
  return g_msg.developerSwitch == 1;
}

std::string Trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool IsOwnerKind(HWND owner) { return reinterpret_cast<UINT_PTR>(owner) <= 2; }

int ButtonIndex(const MsgBoxState& s, HWND w) {
  for (int i = 0; i < 3; ++i)
    if (w && s.buttons[i] == w) return i;
  return -1;
}

void Choose(MsgBoxState& s, int index) {
  s.result = s.results[index];
  PostMessageA(s.box, WM_CLOSE, 0, 0);
}

// Moves the focus to the previous or next button, wrapping around; the
// focused button becomes the default push button.
void MoveFocus(MsgBoxState& s, int step) {
  int present[3];
  int n = 0;
  for (int i = 0; i < 3; ++i)
    if (s.buttons[i]) present[n++] = i;
  if (n == 0) return;
  const int current = ButtonIndex(s, GetFocus());
  int pos = -1;
  for (int k = 0; k < n; ++k)
    if (present[k] == current) pos = k;
  pos = pos < 0 ? (step > 0 ? 0 : n - 1) : (pos + step + n) % n;
  for (int k = 0; k < n; ++k)
    SendMessageA(s.buttons[present[k]], BM_SETSTYLE, k == pos ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON,
                 TRUE);
  SetFocus(s.buttons[present[pos]]);
}

// Keys are examined before a message is dispatched; true when the key
// chose a button (that message is then not dispatched).
bool HandleKey(MsgBoxState& s, const MSG& m) {
  int i = -1;
  if (m.message == WM_SYSCHAR) {
    i = AltKeyChoice(s.captions, static_cast<char>(m.wParam));
  } else if (m.message == WM_KEYDOWN) {
    switch (m.wParam) {
      case VK_LEFT:
      case VK_UP:
        MoveFocus(s, -1);
        return false;
      case VK_TAB:
      case VK_RIGHT:
      case VK_DOWN:
        MoveFocus(s, +1);
        return false;
      case VK_RETURN:
        i = ButtonIndex(s, GetFocus());
        break;
      case VK_ESCAPE:
        PostMessageA(s.box, WM_CLOSE, 0, 0);
        return false;
      default:
        if (m.wParam >= 'A' && m.wParam <= 'Z') i = LetterKeyChoice(s.captions, static_cast<char>(m.wParam));
        break;
    }
  }
  if (i < 0 || !s.buttons[i]) return false;
  Choose(s, i);
  return true;
}

void Paint(HWND hwnd, const MsgBoxState& s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  const int lineY = client.bottom - 37;
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  RECT line{0, lineY, client.right, lineY + 1};
  FillRect(dc, &line, GetSysColorBrush(COLOR_3DDKSHADOW));
  line = {0, lineY + 1, client.right, lineY + 2};
  FillRect(dc, &line, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  RECT strip{0, lineY + 2, client.right, client.bottom};
  FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
  RECT band{0, 0, kMsgBoxBandWidth, lineY};
  HBRUSH bandBrush = CreateSolidBrush(kBandColour);
  FillRect(dc, &band, bandBrush);
  DeleteObject(bandBrush);
  if (s.icon) DrawIcon(dc, 11, 20, s.icon);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK MsgBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  MsgBoxState* s = g_msg.box;
  if (!s) return DefWindowProcA(hwnd, msg, wp, lp);
  if (msg == g_msg.queryCancelAutoPlay && msg != 0) return 1;  // no AutoPlay while a box is up
  switch (msg) {
    case WM_CREATE:
      if (s->timeoutMs > 0) s->timer = SetTimer(hwnd, kTimeoutTimer, s->timeoutMs, nullptr);
      return 0;
    case WM_TIMER:
      if (wp == kTimeoutTimer) {
        if (s->buttons[0]) s->result = s->results[0];
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
      }
      return 0;
    case WM_COMMAND: {
      const int i = ButtonIndex(*s, reinterpret_cast<HWND>(lp));
      if (i >= 0 && HIWORD(wp) == BN_CLICKED) Choose(*s, i);
      return 0;
    }
    case WM_NOTIFY: {
      const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (hdr->code == EN_REQUESTRESIZE) {
        const REQRESIZE* r = reinterpret_cast<const REQRESIZE*>(lp);
        s->askedW = r->rc.right - r->rc.left;
        s->askedH = r->rc.bottom - r->rc.top;
      }
      return 0;
    }
    case WM_PAINT:
      Paint(hwnd, *s);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_CTLCOLORSTATIC:  // the plain text area, when there is no rich text
      SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    case WM_CLOSE:
      if (s->previousActive) {
        EnableWindow(s->previousActive, TRUE);
        SetActiveWindow(s->previousActive);
        SetFocus(s->previousActive);
      }
      if (s->timer) KillTimer(hwnd, kTimeoutTimer);
      s->timer = 0;
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      s->done = true;
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

void SizeControl(HWND w, int width, int height) {
  SetWindowPos(w, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Size2 WindowSize(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return {r.right - r.left, r.bottom - r.top};
}

// Measures the text on the text area's device context with the box font.
Size2 MeasureText(const MsgBoxState& s, const std::string& plain) {
  HDC dc = GetDC(s.text);
  HGDIOBJ old = SelectObject(dc, s.font.get());
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  int lineHeight = tm.tmHeight + tm.tmExternalLeading;
  if (lstrcmpiA(Trimmed(g_msg.font.face).c_str(), "MS PGothic") == 0) ++lineHeight;
  // Tabs stand every half inch in the text area.
  int tabStop = GetDeviceCaps(dc, LOGPIXELSX) / 2;
  Size2 size = MeasureMsgBoxText(plain, lineHeight, [&](std::string_view line) {
    if (line.empty()) return 0;
    const DWORD ext = GetTabbedTextExtentA(dc, line.data(), static_cast<int>(line.size()), 1,
                                           &tabStop);
    return static_cast<int>(LOWORD(ext));
  });
  SelectObject(dc, old);
  ReleaseDC(s.text, dc);
  return size;
}

// Sizes the text area. With bold runs, widens it step by step until the
// control's own wrapping needs no more height than measured.
void FitTextArea(MsgBoxState& s, Size2 measured, bool hasBold) {
  SizeControl(s.text, measured.w + 10, measured.h);
  if (!hasBold) return;
  int widest = measured.w;
  for (int i = 0; i <= 20; ++i) {
    SizeControl(s.text, measured.w + 10 * i, measured.h);
    s.askedH = INT_MAX;
    SendMessageA(s.text, EM_REQUESTRESIZE, 0, 0);
    if (s.askedH <= measured.h) return;
    if (s.askedH != INT_MAX) widest = std::max(widest, s.askedW);
  }
  SizeControl(s.text, widest + 10, measured.h);
}

HICON BoxIcon(unsigned flags) {
  switch (flags & kMbIconMask) {
    case kMbIconStop: return LoadIconA(nullptr, IDI_HAND);
    case kMbIconQuestion: return LoadIconA(nullptr, IDI_QUESTION);
    case kMbIconExclamation: return LoadIconA(nullptr, IDI_EXCLAMATION);
    case kMbIconInformation: return LoadIconA(nullptr, IDI_ASTERISK);
    default: return LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  }
}

HWND CreateTextArea(HWND box, DWORD exStyle, const char* windowClass, const char* text, DWORD style) {
  return CreateWindowExA(exStyle, windowClass, text, style, 0, 0, 10, 10, box,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextAreaId)), GetModuleHandleA(nullptr),
                         nullptr);
}

void BuildBox(MsgBoxState& s, HWND owner, const MarkupText& body, const std::string& caption,
              const std::string& buttonList, unsigned flags) {
  HINSTANCE inst = GetModuleHandleA(nullptr);
  const MsgBoxFont& f = g_msg.font;
  s.font.reset(MakeDialogFont(-PointsToPixels(f.pointSize), f.charset, f.face.c_str()));
  RegisterDialogClass(kMsgBoxClass, MsgBoxProc);
  s.box = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kMsgBoxClass, caption.c_str(),
                          WS_VISIBLE | WS_CAPTION | WS_SYSMENU, -10000, -10000, 10, 10, owner,
                          nullptr, inst, nullptr);
  if (!s.box) return;
  if (flags & kMbNoClose)
    EnableMenuItem(GetSystemMenu(s.box, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);

  DWORD style = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_WANTRETURN;
  if (flags & kMbRightAligned) style |= ES_RIGHT;
  const DWORD exStyle = (flags & kMbRtlReading) ? WS_EX_RTLREADING : 0;
  s.text = CreateTextArea(s.box, exStyle, "RICHEDIT", "", style);
  const bool rich = s.text != nullptr;
  if (!rich) {
    // Without the rich-text library the message is still shown, plain.
    DebugEvent("MsgBox: no RICHEDIT text area, plain text instead");
    const DWORD plainStyle = WS_CHILD | WS_VISIBLE | SS_NOPREFIX |
                             ((flags & kMbRightAligned) ? SS_RIGHT : SS_LEFT);
    s.text = CreateTextArea(s.box, exStyle, "STATIC", body.text.c_str(), plainStyle);
  }
  Size2 textSize{0, 0};
  if (s.text) {
    if (rich) SendMessageA(s.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    SendMessageA(s.text, WM_SETFONT, reinterpret_cast<WPARAM>(s.font.get()), FALSE);
    if (rich) {
      SendMessageA(s.text, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
      SetWindowTextA(s.text, body.text.c_str());
      for (const BoldRange& r : body.bold) {
        CHARRANGE range{r.start, r.end};
        SendMessageA(s.text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        CHARFORMATA cf{};
        cf.cbSize = sizeof cf;
        cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
        cf.dwEffects = CFE_BOLD;
        SendMessageA(s.text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
      }
      CHARRANGE start{0, 0};
      SendMessageA(s.text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
    }
    FitTextArea(s, MeasureText(s, body.text), rich && !body.bold.empty());
    textSize = WindowSize(s.text);
  }

  const FrameMetrics metrics{GetSystemMetrics(SM_CXFIXEDFRAME), GetSystemMetrics(SM_CYFIXEDFRAME),
                             GetSystemMetrics(SM_CYCAPTION)};
  const Size2 outer = MsgBoxOuterSize(textSize, metrics);
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  Rect2 place = CentreIn({work.left, work.top, work.right - work.left, work.bottom - work.top}, outer);
  if (DeveloperSwitchOn() && body.text.find("Do you want to store the new Entry in") != std::string::npos) {
    place.x += 150;
    place.y += 150;
  }
  SetWindowPos(s.box, nullptr, place.x, place.y, place.w, place.h, SWP_NOZORDER | SWP_SHOWWINDOW);
  RECT clientRect;
  GetClientRect(s.box, &clientRect);
  const Size2 client{clientRect.right, clientRect.bottom};
  if (s.text) {
    const Rect2 t = MsgBoxTextPlace(client, textSize);
    SetWindowPos(s.text, nullptr, t.x, t.y, t.w, t.h, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  s.icon = BoxIcon(flags);

  MsgBoxButtonRow buttons = MsgBoxButtons(flags, buttonList);
  const int count = static_cast<int>(buttons.size());
  for (int i = 0; i < count; ++i) {
    const Rect2 b = MsgBoxButtonPlace(client, i, count);
    s.captions[i] = std::move(buttons[i].caption);
    s.results[i] = buttons[i].result;
    s.buttons[i] = CreateWindowExA(0, "BUTTON", s.captions[i].c_str(),
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, b.x, b.y,
                                   b.w, b.h, s.box,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + i)),
                                   inst, nullptr);
    SendMessageA(s.buttons[i], WM_SETFONT, reinterpret_cast<WPARAM>(s.font.get()), FALSE);
  }
  if (count > 0) {
    const int def = MsgBoxDefaultButton(flags, count);
    for (int i = 0; i < count; ++i)
      SendMessageA(s.buttons[i], BM_SETSTYLE, i == def ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    SetFocus(s.buttons[def]);
  }
  InvalidateRect(s.box, nullptr, TRUE);
}

bool MsgBoxKeys(const MSG& m) { return g_msg.box && HandleKey(*g_msg.box, m); }

// MsgBoxShow with the box kind's default caption (item `titleIndex` of the
// title list) and the default buttons where the caller gives none.
int ShowWithDefaults(HWND owner, const std::string& text, const std::string& caption,
                     const std::string& buttons, int charset, unsigned flags, unsigned timeoutMs,
                     int titleIndex) {
  return MsgBoxShow(owner, text, caption.empty() ? SUB::ListItem(kMsgBoxTitleList, titleIndex) : caption,
                    buttons.empty() ? std::string(kMsgBoxButtonList) : buttons, charset, flags, timeoutMs);
}

}  // namespace

void RunDialogLoop(HWND box, const bool& done, bool (*keys)(const MSG&)) {
  MSG m;
  while (!done) {
    const BOOL got = GetMessageA(&m, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      // A quit request ends the box; the caller's loop still gets it.
      if (got == 0) PostQuitMessage(static_cast<int>(m.wParam));
      if (IsWindow(box)) DestroyWindow(box);
      return;
    }
    if (keys && keys(m)) continue;
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

bool RegisterDialogClass(const char* name, WNDPROC proc) {
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HFONT MakeDialogFont(int height, int charset, const char* face) {
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, static_cast<BYTE>(charset),
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}

int MsgBoxShow(HWND owner, const std::string& text, const std::string& caption,
               const std::string& buttons, int charset, unsigned flags, unsigned timeoutMs) {
  if (charset == kCharsetHebrew || charset == kCharsetArabic) flags |= kMbRightAligned | kMbRtlReading;
  std::string heading;
  if (owner == kMsgOwnerWithHeading) heading = TextWithHeading(caption, text);
  if (owner == kMsgOwnerNoClose) flags |= kMbNoClose;
  const HWND active = GetActiveWindow();
  if (IsOwnerKind(owner)) owner = active;

  if (!g_msg.richEditTried) {
    g_msg.richEditTried = true;
    HMODULE lib = LoadSystemLibrary("RICHED32.DLL");
    g_msg.richEditKept = reinterpret_cast<UINT_PTR>(lib) > 32 ? lib : nullptr;
    g_msg.queryCancelAutoPlay = RegisterWindowMessageA("QueryCancelAutoPlay");
  }
  LibraryHandle richEdit(LoadSystemLibrary("RICHED32.DLL"));

  MsgBoxState state;
  state.timeoutMs = timeoutMs;
  state.previousActive = active;
  if (active) EnableWindow(active, FALSE);
  MsgBoxState* outer = g_msg.box;
  g_msg.box = &state;
  BuildBox(state, owner, ParseMarkup(heading.empty() ? text : heading), caption, buttons, flags);
  if (state.box) {
    RunDialogLoop(state.box, state.done, MsgBoxKeys);
  } else if (active) {
    EnableWindow(active, TRUE);
  }
  g_msg.box = outer;
  state.font.reset();
  UnregisterClassA(kMsgBoxClass, GetModuleHandleA(nullptr));
  richEdit.reset();
  WaitPumping(100);
  return state.result;
}

void MsgBoxError(HWND owner, const std::string& text, const std::string& caption,
                 const std::string& buttons, int charset) {
  ShowWithDefaults(owner, text, caption, buttons, charset, kMbIconStop, 0, 0);
}

void MsgBoxAttention(HWND owner, const std::string& text, const std::string& caption,
                     const std::string& buttons, int charset, unsigned timeoutMs) {
  ShowWithDefaults(owner, text, caption, buttons, charset, kMbIconExclamation, timeoutMs, 1);
}

bool MsgBoxConfirm(HWND owner, const std::string& text, const std::string& caption,
                   const std::string& buttons, int charset, unsigned timeoutMs) {
  return ShowWithDefaults(owner, text, caption, buttons, charset, kMbIconQuestion | 4, timeoutMs, 2) ==
         kIdYes;
}

bool MsgBoxOkCancel(HWND owner, const std::string& text, const std::string& caption,
                    const std::string& buttons, int charset) {
  return ShowWithDefaults(owner, text, caption, buttons, charset, kMbIconQuestion | 1, 0, 2) == kIdOk;
}

void SetMsgBoxFont(const std::string& faceName, int pointSize, int charset) {
  g_msg.font.face = faceName;
  if (pointSize != 0) g_msg.font.pointSize = pointSize;
  g_msg.font.charset = charset;
}

}  // namespace varnel
