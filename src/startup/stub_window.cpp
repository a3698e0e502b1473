#include "startup/stub_window.h"

#include <commctrl.h>

#include <algorithm>

#include "download/internet_library.h"
#include "dialogs/message_box.h"
#include "package/engine_launch.h"
#include "package/package_reader.h"
#include "package/setup_window.h"
#include "package/temp_folder.h"
#include "startup/agent_messages.h"
#include "startup/command_line.h"
#include "startup/role_dispatch.h"
#include "startup/stub_layout.h"
#include "update/update_cycle.h"
#include "utils/agent_log.h"
#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/message_pump.h"
#include "utils/system_helpers.h"

namespace varnel {
namespace {

constexpr UINT_PTR kStubTimerId = 1;
constexpr UINT kStubTimerMs = 1000;
constexpr char kMainIcon[] = "MainIcon";
constexpr char kDefaultTitle[] = "Varnel Installation Suite";
// A shown window stays up at least this long from its appearing, so that a
// quick setup is seen rather than flashing by.
constexpr std::int64_t kMinShownMs = 800;

// Held in static storage only (State()), where the members without an
// initializer start at zero: no code sets them at the first call.
struct StubWindowState {
  std::string className;
  HWND window;
  HWND statusText;
  HWND progressBar;
  HWND activityBar;
  HFONT statusFont;
  bool loopExit;
  int activityCounter;
  int progressMax;   // the main bar's range is 0..progressMax
  int progressStep;  // and each step moves it by this much
  UINT autoPlayQuery;
  std::int64_t shownAt;  // millisecond clock when the window last appeared; 0 while hidden
};

StubWindowState& State() {
  static StubWindowState state;
  return state;
}

HWND CreateChild(HWND parent, const char* cls, DWORD style, const ControlRect& r) {
  return CreateWindowExA(0, cls, "", WS_CHILD | style, r.x, r.y, r.width, r.height, parent,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

void CreateControls(HWND window) {
  StubWindowState& s = State();
  const StubLayout layout = StubLayoutFor(ProcessReader().GetCharset());
  s.statusText = CreateChild(window, "Static", WS_VISIBLE, layout.statusText);
  s.progressBar = CreateChild(window, PROGRESS_CLASSA, WS_VISIBLE, layout.progressBar);
  s.activityBar = CreateChild(window, PROGRESS_CLASSA, 0, layout.activityBar);
  SetTimer(window, kStubTimerId, kStubTimerMs, nullptr);
  if (s.statusFont) DeleteObject(s.statusFont);
  s.statusFont = CreateFontA(-11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma");
  SendMessageA(s.statusText, WM_SETFONT, reinterpret_cast<WPARAM>(s.statusFont), FALSE);
}

void PaintBackground(HWND window) {
  HDC dc = GetDC(window);
  if (!dc) return;
  RECT client;
  GetClientRect(window, &client);
  HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  FillRect(dc, &client, brush);
  DeleteObject(brush);
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), kMainIcon);
  if (icon) DrawIcon(dc, kStubIconX, kStubIconY, icon);
  ReleaseDC(window, dc);
}

void OnTimer(HWND window) {
  if (ThisIs_AutoUpdateProg()) {
    JustDownloadInfoFile(window);
    return;
  }
  // The setup work runs once, to its end, inside this tick.
  KillTimer(window, kStubTimerId);
  RunStubRole(window);
}

ATOM RegisterStubClass(const std::string& className) {
  WNDCLASSA wc = {};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = StubWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hIcon = LoadIconA(wc.hInstance, kMainIcon);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = className.c_str();
  return RegisterClassA(&wc);
}

}  // namespace

void SetStubWindowClassName(const std::string& name) { State().className = name; }
const std::string& StubWindowClassName() { return State().className; }
HWND MainWindow() { return State().window; }
HWND StatusTextControl() { return State().statusText; }
HWND ProgressBarControl() { return State().progressBar; }
HWND ActivityBarControl() { return State().activityBar; }
bool LoopExitRequested() { return State().loopExit; }
UINT AutoPlayQueryMessage() { return State().autoPlayQuery; }

void RegisterAutoPlayQuery() {
  if (!State().autoPlayQuery) State().autoPlayQuery = RegisterWindowMessageA("QueryCancelAutoPlay");
}

void ShowMainWindow(bool show) {
  if (State().window) ShowWindow(State().window, show ? SW_SHOW : SW_HIDE);
}

void ShowActivityBar(bool show) {
  if (State().activityBar) ShowWindow(State().activityBar, show ? SW_SHOW : SW_HIDE);
}

void ProgressCallback(int kind, int position, int maximum, const std::string&, int step) {
  StubWindowState& s = State();
  if (kind == kProgressInit) {
    // The range word holds the maximum in its upper half.
    const WORD top = static_cast<WORD>(maximum < 0 ? 0 : maximum > 0xFFFF ? 0xFFFF : maximum);
    SendMessageA(s.progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, top));
    SendMessageA(s.progressBar, PBM_SETPOS, position, 0);
    SendMessageA(s.progressBar, PBM_SETSTEP, step, 0);
    s.progressMax = top;
    s.progressStep = static_cast<short>(step);
    SendMessageA(s.activityBar, PBM_SETRANGE, 0, MAKELPARAM(0, 5));
    SendMessageA(s.activityBar, PBM_SETPOS, 0, 0);
    SendMessageA(s.activityBar, PBM_SETSTEP, 1, 0);
  } else if (kind == kProgressStep) {
    SendMessageA(s.progressBar, PBM_STEPIT, 0, 0);
    s.activityCounter = NextActivityPosition(s.activityCounter);
    SendMessageA(s.activityBar, PBM_SETPOS, s.activityCounter, 0);
  } else if (kind == kProgressSteps) {
    ProgressSteps(&ProgressCallback, step);
  }
}

void ProgressSteps(ProgressCallbackFn progress, int count) {
  if (!progress || count <= 0) return;
  StubWindowState& s = State();
  if (progress != &ProgressCallback || !s.progressBar || !s.activityBar) {
    for (; count > 0; --count) progress(kProgressStep, 0, 0, std::string(), 1);
    return;
  }
  // Each bar repaints at every message it gets, so the steps are made in one
  // move per bar: the main bar jumps as far as the steps stay inside its
  // range; steps that would make it start over are taken one by one.
  const int position = static_cast<int>(SendMessageA(s.progressBar, PBM_GETPOS, 0, 0));
  int jump = count;
  if (s.progressStep > 0) jump = std::min(count, std::max(0, (s.progressMax - position) / s.progressStep));
  else if (s.progressStep < 0) jump = std::min(count, std::max(0, position / -s.progressStep));
  if (jump > 0 && s.progressStep != 0)
    SendMessageA(s.progressBar, PBM_SETPOS, position + jump * s.progressStep, 0);
  for (int i = jump; i < count; ++i) SendMessageA(s.progressBar, PBM_STEPIT, 0, 0);
  for (int i = 0; i < count; ++i) s.activityCounter = NextActivityPosition(s.activityCounter);
  SendMessageA(s.activityBar, PBM_SETPOS, s.activityCounter, 0);
}

namespace {

// The stub window as the setup run sees it.
class StubSetupWindow : public SetupWindow {
 public:
  HWND Handle() override { return State().window; }
  HWND StatusLabel() override { return State().statusText; }
  void Show(bool show) override { ShowMainWindow(show); }
  void ShowActivityBar(bool show) override { varnel::ShowActivityBar(show); }
  ProgressCallbackFn ProgressSink() override { return &ProgressCallback; }
  void ProgressSteps(ProgressCallbackFn progress, int count) override {
    varnel::ProgressSteps(progress, count);
    for (HWND bar : {State().progressBar, State().activityBar})
      if (bar) UpdateWindow(bar);
  }
  void RefuseAutoPlay() override { RegisterAutoPlayQuery(); }
  bool CloseRequested() override { return State().loopExit; }
  void LetBeSeen() override {
    const StubWindowState& s = State();
    if (!s.window || !s.shownAt || !IsWindowVisible(s.window)) return;
    const std::int64_t shownFor = MillisecondClock() - s.shownAt;
    if (shownFor >= 0 && shownFor < kMinShownMs) WaitPumping(static_cast<std::uint32_t>(kMinShownMs - shownFor));
  }
};

}  // namespace

bool CloseMainWindow() {
  AgentLog(".. CloseMainWindow() - Start");
  // The first close stops a running download (DownloadAbort); the window
  // goes only at a later one.
  const bool wasAborted = DownloadAbort();
  if (!wasAborted) SetDownloadAbort(true);
  AgentLog(".. CloseMainWindow() - End");
  return wasAborted;
}

void DestroyMainWindow() {
  AgentLog(".. DestroyMainWindow() - Start");
  SetDownloadAbort(true);
  DeleteFolderTree(GetSetupTempFolder(), false);
  PostQuitMessage(0);
  State().loopExit = true;
  AgentLog(".. DestroyMainWindow() - End");
}

LRESULT CALLBACK StubWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateControls(window);
      break;
    case WM_DESTROY:
      DebugLine("- wm_Destroy -");
      DestroyMainWindow();
      break;
    case WM_QUIT:
      DebugLine("- wm_Quit -");
      DestroyMainWindow();
      break;
    case WM_PAINT:
      PaintBackground(window);
      break;
    case WM_SHOWWINDOW:
      // Shown by the setup run or by a download (which shows its owner).
      if (!wParam) State().shownAt = 0;
      else if (!State().shownAt) State().shownAt = MillisecondClock();
      break;
    case WM_CLOSE:
      if (!CloseMainWindow()) return 0;
      break;
    case WM_TIMER:
      if (wParam == kStubTimerId) OnTimer(window);
      break;
    default: {
      if (message != 0 && message == State().autoPlayQuery) return 1;
      LRESULT result = 0;
      if (HandleAgentMessage(window, message, wParam, lParam, result)) return result;
      break;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void WinMain() {
  StubWindowState& s = State();
  const std::int64_t sleepTicks = GetParamInt("/SleepX=", -1);
  if (sleepTicks >= 0) SetAutoUpdateTimerCount(SleepTicksStart(sleepTicks));

  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  RegisterStubClass(s.className);

  RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const ControlRect at = CentredIn(work.left, work.top, work.right - work.left,
                                   work.bottom - work.top, kStubWindowWidth, kStubWindowHeight);

  // The package of this file, read once at the start (InitProcessReader).
  const TGFileInfo& reader = ProcessReader();
  const std::string title = reader.GetLangString("s0", kDefaultTitle);
  s.window = CreateWindowExA(0, s.className.c_str(), title.c_str(),
                             WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, at.x, at.y, at.width,
                             at.height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetMsgBoxFont(reader.GetFontName(), reader.GetFontSize(), reader.GetCharset());

  static StubSetupWindow setupWindow;
  SetupRunFacts facts;
  facts.argumentText = GetArgumentText();
  facts.spanFirstDisk = GetParamValue("/SpanDiskFName1=", "");
  facts.hideSwitch = HasParam("/hide");
  facts.isUpdateAgent = ThisIs_AutoUpdateProg();
  AttachSetupWindow(&setupWindow, facts);

  if (s.window) {
    ShowWindow(s.window, SW_HIDE);
    // A setup starts at once: its first tick is posted rather than awaited.
    // The agent counts its ticks from the timer alone.
    if (!ThisIs_AutoUpdateProg()) PostMessageA(s.window, WM_TIMER, kStubTimerId, 0);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (s.loopExit) break;
    }
  }

  KillTimer(s.window, kStubTimerId);
  SetDownloadAbort(true);
  UnloadInternetLibrary();
  NotifyTarget(kNotifyLoopEnded, 0);
  if (s.statusFont) {
    // The label keeps a reference until the window is gone.
    if (s.window && IsWindow(s.window)) SendMessageA(s.statusText, WM_SETFONT, 0, FALSE);
    DeleteObject(s.statusFont);
    s.statusFont = nullptr;
  }
}

}  // namespace varnel
