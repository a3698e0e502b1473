#include "startup/role_dispatch.h"

#include <windows.h>

#include "package/engine_launch.h"
#include "package/package_reader.h"
#include "package/temp_folder.h"
#include "startup/agent_copy.h"
#include "startup/command_line.h"
#include "startup/role_decision.h"
#include "startup/stub_window.h"
#include "update/test_mode.h"
#include "update/update_agent.h"
#include "utils/agent_log.h"
#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/system_info.h"
#include "utils/wide_text_win32.h"

namespace varnel {
namespace {

struct StartupState {
  bool isAgent = false;
};

StartupState& State() {
  static StartupState state;
  return state;
}

std::string RawCommandLine() {
  const wchar_t* raw = GetCommandLineW();
  return raw ? Utf8(raw) : std::string();
}

bool TopLevelWindowOfClassExists(const std::string& className) {
  return !className.empty() && FindWindowA(className.c_str(), nullptr) != nullptr;
}

void LogTest(const char* key, bool value) { AgentLog(key, TrueFalse(value)); }

}  // namespace

bool ThisIs_AutoUpdateProg() { return State().isAgent; }

std::string AgentFileName() { return Utf8(Wide(ProcessReader().GetAgentFileName())); }

bool X_ExeIsRunning() {
  return TopLevelWindowOfClassExists(XCopyWindowClassName(AgentFileName()));
}

bool ThisIs_Plain_AutoUpdate_Exe() {
  return IsPlainAgentExe(State().isAgent, ExePath(false), AgentFileName());
}

bool ThisIs_X_AutoUpdate_Exe() {
  return IsXCopyAgentExe(State().isAgent, ExePath(false), AgentFileName());
}

void StartSpanDiskCopy() {
  const std::string exe = ExePath(false);
  if (GetSetupTempFolder().empty()) {
    ReportNoSetupFolder(HasParam("/hide") || ProcessReader().RunHidden());
    return;
  }
  const std::string copy = SpanCopyPath(GetSetupTempFolder(), exe);
  if (!CopyFileW(Wide(exe).c_str(), Wide(copy).c_str(), FALSE)) {
    // A copy cut short (a full disk) must not be started.
    ReportUnsavedFile(copy, HasParam("/hide") || ProcessReader().RunHidden());
    DeleteFolderTree(GetSetupTempFolder(), false);
    return;
  }
  std::string command = SpanCopyCommandLine(copy, GetArgumentText(), exe);
  DebugEvent("StartSpanDiskCopy >>%s<<", command.c_str());
  // Started hidden; whether it started is not checked: this process ends anyway.
  if (HANDLE process = RunProgram(command, SW_HIDE)) CloseHandle(process);
}

void DoRunStubWin() {
  AgentLog("DoRunStubWin() --- Start");
  const std::string exe = ExePath(false);
  SetStubWindowClassName(StubWindowClassName(State().isAgent, exe));
  const bool xWasRunning = X_ExeIsRunning();
  LogTest("X_ExeIsRunning=", xWasRunning);
  LogTest("ThisIs_Plain_AutoUpdate_Exe=", ThisIs_Plain_AutoUpdate_Exe());
  LogTest("ThisIs_X_AutoUpdate_Exe=", ThisIs_X_AutoUpdate_Exe());

  RoleInputs in;
  in.isAgent = State().isAgent;
  in.restartFromTempCopy = ProcessReader().RestartFromTempCopy();
  in.ownClassWindowExists = TopLevelWindowOfClassExists(StubWindowClassName());
  in.exePath = exe;
  in.agentFileName = AgentFileName();
  in.argumentText = GetArgumentText();

  switch (ChooseStubRole(in)) {
    case StubRole::kSecondInstance:
      DebugEvent("a window of this setup exists already");
      break;
    case StubRole::kPlainAgent:
      CreateAndRun_X_Exe(xWasRunning);
      break;
    case StubRole::kXCopyAgent:
      InitUpdateAgent(ExeFolder(true));
      // The overrides that the plain agent was given travel to the copy.
      ReadSettingOverrideList(GetParamValue("/TRANSIENTx=", ""));
      AgentLog("CheckTestMode");
      CheckTestMode(true);
      AgentLog("WinMain");
      WinMain();
      AgentLog("DeleteMySelf");
      DeleteMySelf(false, false);
      break;
    case StubRole::kSpanFirstStart:
      StartSpanDiskCopy();
      break;
    case StubRole::kWindow:
      WinMain();
      if (DeletesItselfAfterWindow(in)) DeleteMySelf(true, false);
      break;
  }

  if (ThisIs_Plain_AutoUpdate_Exe()) HandleParamOK(xWasRunning);
  AgentLog("DoRunStubWin() --- End");
}

void RunStubStartup() {
  const std::string raw = RawCommandLine();
  const std::string exe = ExePath(false);
  DebugEvent("STUB START ====> %s<", raw.c_str());

  InitProcessReader(exe);
  State().isAgent = ProcessReader().IsUpdateAgent();
  SetAgentLogEnabled(State().isAgent && ProcessReader().AgentDownloadLog());
  if (ThisIs_X_AutoUpdate_Exe()) SetAgentLogTag(" X ");
  AgentLog("");
  AgentLog("");
  AgentLog("=== START === ", exe);
  AgentLog("CommandLine=", raw);
  AgentLog("Agent Version=", GetExeVersion());
  DebugEvent("ThisIs_AutoUpdateProg=%s", TrueFalse(State().isAgent));

  DoRunStubWin();

  ReleaseProcessReader();
  DebugEvent("STUB END ====> %s<", raw.c_str());
  DebugLine("%s", "");
  AgentLog("=== EXIT === ", exe);
  AgentLog("");
}

}  // namespace varnel
