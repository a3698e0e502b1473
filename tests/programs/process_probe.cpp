// Test program for the process and folder helpers under Wine. One command
// per run:
//   wait MS                      no window; ends after MS milliseconds
//   window [options]             a titled main window with owned tool windows
//       --tools N                  N owned tool windows (default 3)
//       --title T / --class C      the main window's title and class
//       --record FILE              appends "close W L" / "quit W" when told so
//       --ignore-close             WM_CLOSE does not end it
//       --life MS                  closes itself after MS milliseconds
//   output CODE                  writes to standard output and error, exits CODE
//   ticks                        writes "tick" to standard output every 20 ms
//   cmdlen                       writes the length of its command line
//   lookups FILE PRODUCT         folder values and lookups of PRODUCT (a
//                                windowed program, waited for up to 10 s) as
//                                name=value lines, then terminates PRODUCT
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "folders/system_folders.h"
#include "utils/file_helpers.h"
#include "utils/processes.h"

using namespace varnel;

namespace {

struct WindowOptions {
  std::string record;
  bool ignoreClose = false;
};
WindowOptions g_options;

void Record(const std::string& line) {
  if (!g_options.record.empty()) AppendFileText(g_options.record, line, true);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      Record("close " + std::to_string(wParam) + " " + std::to_string(lParam));
      if (!g_options.ignoreClose) DestroyWindow(window);
      return 0;
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

const char* Option(int argc, char** argv, const char* name, const char* fallback) {
  for (int i = 2; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return fallback;
}

bool Flag(int argc, char** argv, const char* name) {
  for (int i = 2; i < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return true;
  return false;
}

int Window(int argc, char** argv) {
  g_options.record = Option(argc, argv, "--record", "");
  g_options.ignoreClose = Flag(argc, argv, "--ignore-close");
  const std::string className = Option(argc, argv, "--class", "ProcessProbeMain");
  WNDCLASSA wc = {};
  wc.lpfnWndProc = MainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = className.c_str();
  RegisterClassA(&wc);
  HWND main = CreateWindowExA(0, className.c_str(), Option(argc, argv, "--title", "Probe Main"), WS_OVERLAPPEDWINDOW,
                              40, 40, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(main, SW_SHOWNOACTIVATE);
  // Tool windows come after the main window, so they sit above it and are
  // enumerated before it.
  const int tools = std::atoi(Option(argc, argv, "--tools", "3"));
  for (int i = 0; i < tools; ++i) {
    HWND tool = CreateWindowExA(WS_EX_TOOLWINDOW, "Static", ("Tool " + std::to_string(i)).c_str(),
                                WS_POPUP | WS_CAPTION, 360 + 20 * i, 40, 150, 80, main, nullptr, wc.hInstance, nullptr);
    ShowWindow(tool, SW_SHOWNOACTIVATE);
  }
  const int life = std::atoi(Option(argc, argv, "--life", "0"));
  if (life > 0) SetTimer(main, 1, life, nullptr);
  MSG msg;
  int got;
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (got == 0 && msg.wParam != 0) Record("quit " + std::to_string(msg.wParam));
  return 0;
}

int Output(int code) {
  std::string big(100000, 'x');
  for (std::size_t i = 99; i < big.size(); i += 100) big[i] = '\n';
  std::fwrite(big.data(), 1, big.size(), stdout);
  // 0x82 is a letter of the OEM code page (e with acute accent in 437 and 850).
  std::fputs("\nend of output \x82\n", stdout);
  std::fflush(stdout);
  std::fputs("some error text\n", stderr);
  std::fflush(stderr);
  return code;
}

int Ticks() {
  for (;;) {
    std::fputs("tick\n", stdout);
    std::fflush(stdout);
    Sleep(20);
  }
}

int Lookups(const char* file, const char* product) {
  // The product was started just before: give it time for its window.
  for (int i = 0; i < 200 && !FindMainWindow(product, true); ++i) Sleep(50);
  std::string text;
  auto add = [&](const char* name, const std::string& value) { text += std::string(name) + "=" + value + "\r\n"; };
  add("windows", GetWindowsFolder(false));
  add("system", GetSystemFolder(false));
  add("system16", GetSystem16Folder());
  add("fonts", GetFontsFolder());
  add("programfiles", GetRegistryFolder(RegistryFolder::ProgramFiles));
  add("documents", GetUserFolder(UserFolder::MyDocuments, false));
  add("user", GetUserFolder(UserFolder::User, false));
  add("documentsandsettings", GetUserFolder(UserFolder::DocumentsAndSettings, false));
  add("allusers", GetUserFolder(UserFolder::AllUsers, false));
  add("allusersappdata", GetUserFolder(UserFolder::AllUsersAppData, false));
  add("appdata", GetUserFolder(UserFolder::UserAppData, false));
  add("desktop", GetUserFolder(UserFolder::UserDesktop, false));
  add("programs", GetUserFolder(UserFolder::UserPrograms, false));
  add("expanded", ExpandMacros("<WinDir>\\x.exe", "\\", true, true));
  add("self", std::to_string(FindProcessId(ExePath(false), true) == GetCurrentProcessId()));
  add("product_id", std::to_string(FindProcessId(product, true)));
  add("product_running", std::to_string(IsProcessRunning(product)));
  char title[256] = "";
  HWND main = FindMainWindow(product, true);
  if (main) GetWindowTextA(main, title, sizeof title);
  add("product_window", title);
  add("terminated", std::to_string(TerminateProcessByPath(product, true)));
  WaitProcessGone(product, 3000);
  add("product_gone", std::to_string(!IsProcessRunning(product)));
  return WriteFileText(file, text) ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 64;
  // Output goes out byte for byte.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  const std::string command = argv[1];
  if (command == "wait") {
    Sleep(argc > 2 ? std::atoi(argv[2]) : 60000);
    return 0;
  }
  if (command == "window") return Window(argc, argv);
  if (command == "output") return Output(argc > 2 ? std::atoi(argv[2]) : 0);
  if (command == "ticks") return Ticks();
  if (command == "cmdlen") {
    std::printf("%u", static_cast<unsigned>(std::strlen(GetCommandLineA())));
    return 0;
  }
  if (command == "lookups" && argc > 3) return Lookups(argv[2], argv[3]);
  return 64;
}
