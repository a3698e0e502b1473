#include "package/engine_launch.h"

#include "utils/debug_stream.h"

namespace varnel {

void RunStubRole(HWND window) {
  KillTimer(window, 1);
  PostQuitMessage(0);
}

bool ExtractAndLaunch(std::string tempFolder, const std::string& packagePath,
                      const std::string& agentName, const std::string& extraArgs,
                      bool foreground) {
  return false;
}

void SetStatusText(HWND label, const std::string& text, const std::string& fontFace, int charset,
                   int pointSize) {
  SetWindowTextA(label, text.c_str());
}

HANDLE RunProgram(const std::string& commandLine, int showMode) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(showMode);
  PROCESS_INFORMATION pi = {};
  std::string cmd = commandLine;  // CreateProcessA may write into the buffer
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

void WaitForProcess(HANDLE process) {
  DWORD code = 0;
  while (GetExitCodeProcess(process, &code) && code == STILL_ACTIVE) Sleep(500);
}

bool ForcePromptSet() { return false; }

}  // namespace varnel
