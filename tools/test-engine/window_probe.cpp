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
#include <windows.h>

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
  return 2;
}
