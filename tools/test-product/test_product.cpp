// Stand-in for the product that an update agent looks after, for tests and
// the demo: one visible top-level window that shows its title, and a record
// of what was done to it.
//
// Options (values with blanks in double quotes):
//   --class=NAME     window class (default "VarnelTestProduct")
//   --title=TEXT     window title, also drawn in the window (default
//                    "Test Product")
//   --record=FILE    append to FILE (UTF-8), one line each:
//                      Started <raw command line>
//                      WM_CLOSE <wParam> <lParam>   (also when refused)
//                      WM_QUIT <wParam> <lParam>    a quit message posted to it
//                      Ended                        the program ends by itself
//                    (a terminated program writes no "Ended")
//   --refuse-close   WM_CLOSE does not close the window
//   --slow-end=MS    once its loop has ended, the program takes MS more
//                    milliseconds to end (as one that saves its state
//                    does); "Ended" is written at the very end
//
// Options are read first from the file beside the program named like it with
// ".args" in place of ".exe" (one line, the same form), then from the command
// line, a later option winning. So a product that the agent starts again by
// its path alone keeps its class, title and record, and a setup can install
// a new .args file that gives the new version its own title.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/test_tool_helpers.h"

namespace {

using test_tools::OwnPath;
using varnel::Wide;
using test_tools::Tokens;

struct Options {
  std::string windowClass = "VarnelTestProduct";
  std::string title = "Test Product";
  std::string record;
  bool refuseClose = false;
  std::string slowEndMs;
};

Options g_options;
bool g_closing = false;

// The command line without the program's own name (quoted or not).
std::string ArgumentText(const std::string& raw) {
  std::size_t at = 0;
  while (at < raw.size() && raw[at] == ' ') ++at;
  if (at < raw.size() && raw[at] == '"') {
    std::size_t close = raw.find('"', at + 1);
    return close == std::string::npos ? std::string() : raw.substr(close + 1);
  }
  std::size_t blank = raw.find(' ', at);
  return blank == std::string::npos ? std::string() : raw.substr(blank);
}

std::string ReadSmallFile(const std::string& path) {
  HANDLE f = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::string();
  char buffer[4096];
  DWORD got = 0;
  if (!ReadFile(f, buffer, sizeof buffer, &got, nullptr)) got = 0;
  CloseHandle(f);
  return std::string(buffer, got);
}

void ReadOptions(const std::string& text, Options& o) {
  for (const std::string& t : Tokens(text)) {
    auto value = [&](const char* key, std::string& target) {
      const std::string k = key;
      if (t.compare(0, k.size(), k) != 0) return false;
      target = t.substr(k.size());
      return true;
    };
    if (value("--class=", o.windowClass) || value("--title=", o.title) || value("--record=", o.record) ||
        value("--slow-end=", o.slowEndMs))
      continue;
    if (t == "--refuse-close") o.refuseClose = true;
  }
}

void Record(const std::string& line) {
  if (g_options.record.empty()) return;
  HANDLE f = CreateFileW(Wide(g_options.record).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

std::string Pair(WPARAM wParam, LPARAM lParam) {
  return std::to_string(static_cast<unsigned long long>(wParam)) + " " +
         std::to_string(static_cast<long long>(lParam));
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      Record("WM_CLOSE " + Pair(wParam, lParam));
      if (!g_options.refuseClose) {
        // The loop ends and the process end takes the window with it: under
        // Wine without a window manager DestroyWindow alone waits 2 s for the
        // window manager, longer than the update agent waits for a product.
        g_closing = true;
        PostQuitMessage(0);
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      RECT client;
      GetClientRect(window, &client);
      FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
      SetBkMode(dc, TRANSPARENT);
      HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      DrawTextA(dc, varnel::AnsiText(g_options.title).c_str(), -1, &client,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      SelectObject(dc, old);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_DESTROY:
      g_closing = true;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const std::string raw = test_tools::CommandLineText();
  const std::string self = OwnPath();
  std::string argsFile = self;
  const std::size_t dot = argsFile.find_last_of('.');
  if (dot != std::string::npos && dot > argsFile.find_last_of('\\')) argsFile.erase(dot);
  ReadOptions(ReadSmallFile(argsFile + ".args"), g_options);
  ReadOptions(ArgumentText(raw), g_options);
  Record("Started " + raw);

  WNDCLASSA wc = {};
  wc.lpfnWndProc = MainProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = g_options.windowClass.c_str();
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, varnel::AnsiText(g_options.title).c_str(),
                                WS_OVERLAPPEDWINDOW, 40, 40, 360, 160, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, SW_SHOWNOACTIVATE);
  UpdateWindow(window);

  MSG msg;
  int got;
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // A quit message that this program did not post itself came from outside.
  if (got == 0 && !g_closing) Record("WM_QUIT " + Pair(msg.wParam, msg.lParam));
  if (!g_options.slowEndMs.empty()) Sleep(static_cast<DWORD>(std::strtoul(g_options.slowEndMs.c_str(), nullptr, 10)));
  Record("Ended");
  return 0;
}
