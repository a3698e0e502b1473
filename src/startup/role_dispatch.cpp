#include "startup/role_dispatch.h"

#include <windows.h>

#include "startup/agent_copy.h"
#include "startup/command_line.h"
#include "startup/role_decision.h"
#include "startup/startup_links.h"
#include "startup/stub_window.h"
#include "update/test_mode.h"
#include "utils/debug_stream.h"

namespace varnel {
namespace {

struct StartupState {
  bool isAgent = false;
};

StartupState& State() {
  static StartupState state;
  return state;
}

std::string ExePath() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return std::string(buffer, n < MAX_PATH ? n : 0);
}

std::string RawCommandLine() {
  const char* raw = GetCommandLineA();
  return raw ? raw : "";
}

unsigned long Pid() { return GetCurrentProcessId(); }

const char* TrueFalse(bool value) { return value ? "TRUE" : "FALSE"; }

bool TopLevelWindowOfClassExists(const std::string& className) {
  return !className.empty() && FindWindowA(className.c_str(), nullptr) != nullptr;
}

void LogTest(const char* key, bool value) { StartupAgentLog(std::string(key) + TrueFalse(value)); }

}  // namespace

bool ThisIs_AutoUpdateProg() { return State().isAgent; }

bool X_ExeIsRunning() {
  return TopLevelWindowOfClassExists(XCopyWindowClassName(ProcessPackageAgentFileName()));
}

bool ThisIs_Plain_AutoUpdate_Exe() {
  return IsPlainAgentExe(State().isAgent, ExePath(), ProcessPackageAgentFileName());
}

bool ThisIs_X_AutoUpdate_Exe() {
  return IsXCopyAgentExe(State().isAgent, ExePath(), ProcessPackageAgentFileName());
}

void StartSpanDiskCopy() {
  const std::string exe = ExePath();
  const std::string copy = SpanCopyPath(SetupTempFolder(), exe);
  CopyFileA(exe.c_str(), copy.c_str(), FALSE);
  std::string command = SpanCopyCommandLine(copy, GetArgumentText(), exe);
  DebugLine("%lu ==== StartSpanDiskCopy >>%s<<", Pid(), command.c_str());
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi = {};
  if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

void DoRunStubWin() {
  StartupAgentLog("DoRunStubWin() --- Start");
  const std::string exe = ExePath();
  SetStubWindowClassName(StubWindowClassName(State().isAgent, exe));
  const bool xWasRunning = X_ExeIsRunning();
  LogTest("X_ExeIsRunning=", X_ExeIsRunning());
  LogTest("ThisIs_Plain_AutoUpdate_Exe=", ThisIs_Plain_AutoUpdate_Exe());
  LogTest("ThisIs_X_AutoUpdate_Exe=", ThisIs_X_AutoUpdate_Exe());

  RoleInputs in;
  in.isAgent = State().isAgent;
  in.restartFromTempCopy = ProcessPackageRestartFromTempCopy();
  in.ownClassWindowExists = TopLevelWindowOfClassExists(StubWindowClassName());
  in.exePath = exe;
  in.agentFileName = ProcessPackageAgentFileName();
  in.argumentText = GetArgumentText();

  switch (ChooseStubRole(in)) {
    case StubRole::kSecondInstance:
      DebugLine("%lu ==== a window of this setup exists already", Pid());
      break;
    case StubRole::kPlainAgent:
      CreateAndRun_X_Exe(xWasRunning);
      break;
    case StubRole::kXCopyAgent:
      StartupAgentLog("CheckTestMode");
      CheckTestMode(true);
      StartupAgentLog("WinMain");
      WinMain();
      StartupAgentLog("DeleteMySelf");
      DeleteOwnFileAfterExit(false);
      break;
    case StubRole::kSpanFirstStart:
      StartSpanDiskCopy();
      break;
    case StubRole::kWindow:
      WinMain();
      if (DeletesItselfAfterWindow(in)) DeleteOwnFileAfterExit(true);
      break;
  }

  if (ThisIs_Plain_AutoUpdate_Exe()) HandleParamOK(xWasRunning);
  StartupAgentLog("DoRunStubWin() --- End");
}

void RunStubStartup() {
  const std::string raw = RawCommandLine();
  const std::string exe = ExePath();
  DebugLine("%lu ==== STUB START ====> %s<", Pid(), raw.c_str());

  OpenProcessPackage(exe);
  State().isAgent = ProcessPackageIsUpdateAgent();
  EnableAgentLog(State().isAgent && ProcessPackageAgentDownloadLog());
  if (ThisIs_X_AutoUpdate_Exe()) SetStartupAgentLogTag(" X ");
  StartupAgentLog("");
  StartupAgentLog("");
  StartupAgentLog("=== START === " + exe);
  StartupAgentLog("CommandLine=" + raw);
  StartupAgentLog("Agent Version=" + RunningExeVersion());
  DebugLine("%lu ==== ThisIs_AutoUpdateProg=%s", Pid(), TrueFalse(State().isAgent));

  DoRunStubWin();

  CloseProcessPackage();
  DebugLine("%lu ==== STUB END ====> %s<", Pid(), raw.c_str());
  DebugLine("%s", "");
  StartupAgentLog("=== EXIT === " + exe);
  StartupAgentLog("");
}

}  // namespace varnel
