// Debug viewer: owns the ".VDebug." window that programs send their debug
// stream to. Each piece arrives as a global atom with the registered message
// ".V_DebugMsg." (wParam 1); the viewer shows the text as a scrolling list of
// lines and, with --out FILE, appends every piece to FILE as it arrives.
//
//   debug-viewer.exe [--out FILE] [--pieces FILE] [--ready FILE]
//   debug-viewer.exe --close      asks a running viewer to close
//
// --pieces FILE records each piece on a line of its own ("length:text", CR,
// LF and backslash written as \r, \n and \\), so tests can see how text was cut.
// --ready FILE is created once the window exists, so a test can start the
// viewer and wait for it without guessing a delay. FILE may name any path:
// the arguments are read from the UTF-16 command line.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "utils/debug_channel.h"
#include "utils/wide_text_win32.h"

namespace {

constexpr int kListId = 100;
constexpr LRESULT kMaxListLines = 20000;

struct ViewerState {
  UINT debugMessage = 0;
  HWND list = nullptr;
  std::string outPath;
  std::string piecesPath;
  std::string pendingLine;  // text after the last line ending, not yet shown
  bool pendingShown = false;
};

ViewerState& Viewer() {
  static ViewerState state;
  return state;
}

void AppendToFile(const std::string& path, const std::string& piece) {
  if (path.empty()) return;
  HANDLE file = CreateFileW(varnel::Wide(path).c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr);
  CloseHandle(file);
}

std::string PieceRecord(const std::string& piece) {
  std::string record = std::to_string(piece.size()) + ":";
  for (char c : piece) {
    if (c == '\\')
      record += "\\\\";
    else if (c == '\r')
      record += "\\r";
    else if (c == '\n')
      record += "\\n";
    else
      record += c;
  }
  return record + "\r\n";
}

void ShowLine(const std::string& line, bool replaceLast) {
  HWND list = Viewer().list;
  if (!list) return;
  LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  if (replaceLast && count > 0) SendMessageA(list, LB_DELETESTRING, count - 1, 0);
  if (!replaceLast && count >= kMaxListLines) SendMessageA(list, LB_DELETESTRING, 0, 0);
  // Lines are UTF-8 (an older package's ANSI text reads in the code page).
  LRESULT index = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(varnel::Wide(line).c_str()));
  if (index >= 0) SendMessageA(list, LB_SETTOPINDEX, index, 0);
}

// Pieces need not end at line ends: a line longer than a piece arrives in
// several. The unfinished line is shown as the last entry and replaced as
// it grows.
void ShowPiece(const std::string& piece) {
  ViewerState& v = Viewer();
  for (char c : piece) {
    if (c == '\r') continue;
    if (c == '\n') {
      ShowLine(v.pendingLine, v.pendingShown);
      v.pendingLine.clear();
      v.pendingShown = false;
    } else {
      v.pendingLine += c;
    }
  }
  if (!v.pendingLine.empty()) {
    ShowLine(v.pendingLine, v.pendingShown);
    v.pendingShown = true;
  }
}

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ViewerState& v = Viewer();
  if (message == v.debugMessage && v.debugMessage != 0) {
    if (wParam == varnel::kDebugSenderCode) {
      // One character per byte of the sender's text (see SendToViewer).
      wchar_t text[256];
      UINT n = GlobalGetAtomNameW(static_cast<ATOM>(lParam), text, 256);
      if (n > 0) {
        std::string piece(n, '\0');
        for (UINT i = 0; i < n; ++i) piece[i] = static_cast<char>(text[i] & 0xFF);
        AppendToFile(v.outPath, piece);
        AppendToFile(v.piecesPath, PieceRecord(piece));
        ShowPiece(piece);
      }
    }
    return 0;
  }
  switch (message) {
    case WM_CREATE:
      v.list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 0, 0,
                               window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)),
                               GetModuleHandleA(nullptr), nullptr);
      SendMessageA(v.list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), 0);
      SendMessageA(v.list, LB_SETHORIZONTALEXTENT, 4000, 0);
      return 0;
    case WM_SIZE:
      if (v.list) MoveWindow(v.list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The arguments (UTF-8), split as the system splits them.
std::vector<std::string> Arguments() {
  std::vector<std::string> out;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return out;
  for (int i = 1; i < count; ++i) out.push_back(varnel::Utf8(wide[i]));
  LocalFree(wide);
  return out;
}

bool HasArgument(const char* option) {
  for (const std::string& a : Arguments())
    if (lstrcmpiA(a.c_str(), option) == 0) return true;
  return false;
}

// The argument that follows option.
std::string ArgumentAfter(const char* option) {
  const std::vector<std::string> args = Arguments();
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (lstrcmpiA(args[i].c_str(), option) == 0) return args[i + 1];
  return std::string();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  if (HasArgument("--close")) {
    HWND running = FindWindowA(varnel::kDebugViewerClass, nullptr);
    return running && PostMessageA(running, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  ViewerState& v = Viewer();
  v.outPath = ArgumentAfter("--out");
  v.piecesPath = ArgumentAfter("--pieces");
  std::string readyPath = ArgumentAfter("--ready");
  v.debugMessage = RegisterWindowMessageA(varnel::kDebugViewerMessage);

  WNDCLASSA wc = {};
  wc.lpfnWndProc = ViewerProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = varnel::kDebugViewerClass;
  if (!RegisterClassA(&wc)) return 1;
  HWND window = CreateWindowExA(0, varnel::kDebugViewerClass, "Debug viewer", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 800, 500, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, showCommand);
  UpdateWindow(window);

  if (!readyPath.empty()) {
    HANDLE ready = CreateFileW(varnel::Wide(readyPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  }

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
