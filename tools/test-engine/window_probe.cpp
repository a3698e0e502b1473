// Looks at and pokes the windows of other programs for tests and the demo,
// which run outside Wine and cannot ask the window manager for Win32 class
// names. Exit code 0 means success, 1 failure or time-out, 2 bad usage.
//
//   WindowProbe.exe wait CLASS MS [visible]  a window of CLASS exists (and is
//                                             visible) within MS milliseconds
//   WindowProbe.exe gone CLASS MS             no window of CLASS within MS
//   WindowProbe.exe close CLASS               the close command of the caption
//                                             button (WM_SYSCOMMAND SC_CLOSE)
//   WindowProbe.exe post CLASS MSG WPARAM LPARAM
//                                             posts a message (decimal numbers)
//   WindowProbe.exe info CLASS FILE           writes the window and its
//                                             children to FILE, one per line:
//                                             class|text|visible|x|y|w|h
//                                             (children in client coordinates;
//                                             the first line is the window
//                                             itself in screen coordinates)
//   WindowProbe.exe send CLASS MSG WPARAM LPARAM
//                                             sends a message (decimal numbers,
//                                             unsigned 32-bit; 10 s time-out)
//                                             and prints its result as an
//                                             unsigned 32-bit decimal
//   WindowProbe.exe listen CLASS MS FILE      makes a top-level window of
//                                             CLASS, writes "HWND=<handle>" to
//                                             FILE, then for MS milliseconds
//                                             (or until FILE.stop exists)
//                                             appends "MSG WPARAM LPARAM" for
//                                             every message >= WM_USER it gets
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HWND Find(const char* cls) { return FindWindowA(cls, nullptr); }

bool WaitFor(const char* cls, DWORD ms, bool wantPresent, bool wantVisible) {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND w = Find(cls);
    bool ok = wantPresent ? (w && (!wantVisible || IsWindowVisible(w))) : !w;
    if (ok) return true;
    if (GetTickCount() - start >= ms) return false;
    Sleep(20);
  }
}

std::string Describe(HWND w, HWND parent) {
  char cls[256] = "", text[256] = "";
  GetClassNameA(w, cls, sizeof cls);
  GetWindowTextA(w, text, sizeof text);
  RECT r;
  GetWindowRect(w, &r);
  if (parent) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return std::string(cls) + "|" + text + "|" + (IsWindowVisible(w) ? "1" : "0") + "|" +
         std::to_string(r.left) + "|" + std::to_string(r.top) + "|" +
         std::to_string(r.right - r.left) + "|" + std::to_string(r.bottom - r.top) + "\r\n";
}

struct InfoContext {
  HWND parent;
  std::string text;
};

BOOL CALLBACK AddChild(HWND child, LPARAM param) {
  auto* ctx = reinterpret_cast<InfoContext*>(param);
  if (GetParent(child) == ctx->parent) ctx->text += Describe(child, ctx->parent);
  return TRUE;
}

bool WriteInfo(const char* cls, const char* file) {
  HWND w = Find(cls);
  if (!w) return false;
  InfoContext ctx{w, Describe(w, nullptr)};
  EnumChildWindows(w, AddChild, reinterpret_cast<LPARAM>(&ctx));
  HANDLE f = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written;
  WriteFile(f, ctx.text.data(), static_cast<DWORD>(ctx.text.size()), &written, nullptr);
  CloseHandle(f);
  return true;
}

// Agent commands carry times near 3.97e9: the numbers are read as unsigned
// 32-bit values and widened without sign.
std::uint32_t Number(const char* text) { return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)); }

int Send(const char* cls, const char* msg, const char* wParam, const char* lParam) {
  HWND w = Find(cls);
  if (!w) return 1;
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(w, Number(msg), static_cast<WPARAM>(Number(wParam)),
                           static_cast<LPARAM>(static_cast<ULONG_PTR>(Number(lParam))), SMTO_NORMAL,
                           10000, &result))
    return 1;
  std::fputs((std::to_string(static_cast<std::uint32_t>(result)) + "\n").c_str(), stdout);
  std::fflush(stdout);
  return 0;
}

// The listener's record: one line written through at once, so that a test
// reading the file sees every message as soon as it came.
HANDLE g_record = INVALID_HANDLE_VALUE;

void Append(const std::string& line) {
  DWORD written;
  WriteFile(g_record, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  FlushFileBuffers(g_record);
}

LRESULT CALLBACK ListenerProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_USER) {
    Append(std::to_string(message) + " " + std::to_string(static_cast<ULONG_PTR>(wParam)) + " " +
           std::to_string(static_cast<LONG_PTR>(lParam)) + "\r\n");
    return 0;
  }
  return DefWindowProcA(w, message, wParam, lParam);
}

int Listen(const char* cls, DWORD ms, const char* file) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ListenerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = cls;
  if (!RegisterClassA(&wc)) return 1;
  HWND w = CreateWindowExA(0, cls, "", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                           wc.hInstance, nullptr);
  if (!w) return 1;
  g_record = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (g_record == INVALID_HANDLE_VALUE) return 1;
  Append("HWND=" + std::to_string(reinterpret_cast<ULONG_PTR>(w)) + "\r\n");
  const std::string stop = std::string(file) + ".stop";
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms &&
         GetFileAttributesA(stop.c_str()) == INVALID_FILE_ATTRIBUTES) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  DestroyWindow(w);
  CloseHandle(g_record);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string command = argv[1];
  const char* cls = argv[2];
  if (command == "wait" && argc >= 4)
    return WaitFor(cls, std::strtoul(argv[3], nullptr, 10), true,
                   argc >= 5 && std::string(argv[4]) == "visible") ? 0 : 1;
  if (command == "gone" && argc >= 4)
    return WaitFor(cls, std::strtoul(argv[3], nullptr, 10), false, false) ? 0 : 1;
  if (command == "close") {
    HWND w = Find(cls);
    return w && PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
  }
  if (command == "post" && argc >= 6) {
    HWND w = Find(cls);
    return w && PostMessageA(w, std::strtoul(argv[3], nullptr, 10),
                             static_cast<WPARAM>(std::strtoul(argv[4], nullptr, 10)),
                             static_cast<LPARAM>(std::strtol(argv[5], nullptr, 10)))
               ? 0 : 1;
  }
  if (command == "info" && argc >= 4) return WriteInfo(cls, argv[3]) ? 0 : 1;
  if (command == "send" && argc >= 6) return Send(cls, argv[3], argv[4], argv[5]);
  if (command == "listen" && argc >= 5) return Listen(cls, Number(argv[3]), argv[4]);
  return 2;
}
