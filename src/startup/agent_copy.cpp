#include "startup/agent_copy.h"

#include <windows.h>

#include <string>

#include "package/engine_launch.h"
#include "package/package_reader.h"
#include "startup/command_line.h"
#include "startup/role_decision.h"
#include "startup/role_dispatch.h"
#include "update/agent_commands.h"
#include "update/update_agent.h"
#include "utils/agent_log.h"
#include "utils/debug_stream.h"
#include "utils/delimited_list.h"
#include "utils/file_helpers.h"
#include "utils/message_pump.h"
#include "utils/processes.h"
#include "utils/system_helpers.h"
#include "utils/text_format.h"
#include "utils/wide_text_win32.h"

namespace varnel {
namespace {

// Bounds of the waits between the plain agent and its copy.
constexpr std::int64_t kMaxWaitSeconds = 3600;     // "/WAIT="
constexpr std::uint32_t kStartWaitMs = 3000;       // the started copy's process
constexpr std::uint32_t kOldCopyGoneMs = 60000;    // a copy being replaced ends
constexpr std::uint32_t kOldFileGoneMs = 15000;    // and its self-deletion ends
constexpr std::uint32_t kCopyWindowMs = 10000;     // the copy's window before posts
constexpr int kCopyTries = 5;

unsigned long Pid() { return GetCurrentProcessId(); }

std::string XCopyPath() {
  std::string path = ExePath(false);
  path.insert(path.find_last_of('\\') + 1, "X_");  // at 0 when there is no "\\"
  return path;
}

bool PathExists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }


// Waits ms, dispatching messages (sleeping when the queue is gone).
void Pause(std::uint32_t ms) {
  if (!WaitPumping(ms)) Sleep(ms);
}

// Polls every 200 ms until done(path) or limitMs passed.
using PathTest = bool (*)(const std::string& path);
bool WaitUntil(PathTest done, const std::string& path, std::uint32_t limitMs) {
  const std::int64_t end = MillisecondClock() + limitMs;
  for (;;) {
    if (done(path)) return true;
    if (MillisecondClock() >= end) return false;
    Pause(200);
  }
}

bool ProcessGone(const std::string& path) { return !IsProcessRunning(path); }
bool FileGone(const std::string& path) { return !PathExists(path); }
// The copy's window is up (it takes posts), or its process has ended.
bool CopyReadyOrGone(const std::string& path) { return X_ExeIsRunning() || !IsProcessRunning(path); }

// A copy that is being replaced must have ended, and its self-deletion
// (which retries until the file is gone) must be over: a new file written
// before that would be deleted under the new copy.
void WaitForOldCopy(const std::string& xPath) {
  if (!WaitUntil(ProcessGone, xPath, kOldCopyGoneMs)) AgentLog("Old X_ copy still running: ", xPath);
  WaitUntil(FileGone, xPath, kOldFileGoneMs);
}

// Copies the running executable over the X_ file and checks the copy.
// The copy takes no attributes of the agent file: a read-only copy could be
// neither replaced by a later copy nor removed by its self-deletion.
bool WriteXCopy(const std::string& exe, const std::string& xPath) {
  const std::int64_t size = ExistingFileLength(exe);
  for (int attempt = 0; attempt < kCopyTries; ++attempt) {
    if (attempt > 0) Pause(1000);
    const std::wstring target = Wide(xPath);
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (CopyFileW(Wide(exe).c_str(), target.c_str(), FALSE) && size > 0 && ExistingFileLength(xPath) == size &&
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL))
      return true;
  }
  return false;
}

// Posts to the copy's agent window: the window of the copy's class whose
// process runs the X_ file. Not to the window that scores as the copy's
// main window: a box the copy shows (shown, titled, unowned) outscores the
// hidden agent window and would drop the message. A missing copy gets
// nothing and the step still counts as done.
void PostToCopy(const std::string& xPath, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = FindProcessWindowOfClass(xPath, XCopyWindowClassName(AgentFileName()));
  if (!window || !PostMessageA(window, message, wParam, lParam)) AgentLog("No X_ agent window took the message: ", xPath);
}

}  // namespace

bool CreateAndRun_X_Exe(bool xWasRunning) {
  AgentLog("CreateAndRun_X_Exe() --- Start");
  const std::string zz = GetParamValue("/_ZZ=", "");
  DebugLine("%lu CreateAndRun_X_Exe-1 %s", Pid(), zz.c_str());
  const bool replacing = zz == "99";

  if (ThisIs_AutoUpdateProg() && (!X_ExeIsRunning() || replacing) && ThisIs_Plain_AutoUpdate_Exe()) {
    DebugLine("%lu CreateAndRun_X_Exe-2", Pid());
    std::int64_t seconds = GetParamInt("/WAIT=", 0);
    if (seconds < 0) seconds = 0;
    if (seconds > kMaxWaitSeconds) seconds = kMaxWaitSeconds;
    std::string wait = DecimalText(seconds);
    wait += " SEC";
    AgentLog("Wait ", wait);
    WaitPumping(static_cast<std::uint32_t>(seconds * 1000));

    const std::string exe = ExePath(false);
    const std::string xPath = XCopyPath();
    if (replacing || xWasRunning) WaitForOldCopy(xPath);
    const bool copied = WriteXCopy(exe, xPath);
    if (copied) AgentLog("Create X_ File ");
    else AgentLog("Create X_ File failed: ", xPath);

    if (copied) {
      // Quoted: the install folder may well hold a blank.
      std::string command = "\"";
      command.append(xPath) += '"';
      const std::string transient = GetParamValue("/TRANSIENT=", "");
      if (!transient.empty()) command.append(" /TRANSIENTx=").append(transient);
      const std::string delay = GetParamValue("/DELAY=", "");
      if (!delay.empty()) command.append(" /SleepX=").append(delay);
      AgentLog("WinExec: ", command);
      if (HANDLE process = RunProgram(command, SW_HIDE)) {
        CloseHandle(process);
        if (!GetArgumentText().empty()) WaitUntil(IsProcessRunning, xPath, kStartWaitMs);
      } else {
        AgentLog("WinExec failed: ", SystemMessageText(GetLastError()));
      }
    }
  }
  AgentLog("CreateAndRun_X_Exe() --- End");
  return xWasRunning;
}

bool HandleParamOK(bool xWasRunning) {
  AgentLog("HandleParamOK() --- Start");
  const std::string xPath = XCopyPath();
  bool result = false;

  const std::int64_t stop = GetParamInt("/STOP=", -1);
  const std::string localMsg = GetParamValue("/WM_MSG=", "");
  const std::int64_t test = GetParamInt("/TEST=", -1);
  const bool posts = stop >= 0 || !localMsg.empty() || test >= 0;
  if (posts && PathExists(xPath)) {
    // A copy started a moment ago has no window yet, and a post to it would
    // be lost: wait (bounded) for its window while its process runs.
    WaitUntil(CopyReadyOrGone, xPath, kCopyWindowMs);
  }

  if (stop >= 0 && PathExists(xPath)) {
    AgentLog("PostProcessMessage(wm_ShutDown) to: ", xPath);
    PostToCopy(xPath, wm_ShutDown, static_cast<WPARAM>(stop), 0);
    result = true;
  }
  if (!localMsg.empty() && PathExists(xPath)) {
    std::string wrapped = ":";
    wrapped.append(localMsg) += ':';
    const std::int64_t handle = SUB::ListItemInt(wrapped, 0, 0);
    const std::int64_t number = SUB::ListItemInt(wrapped, 1, 0);
    std::string line = xPath;
    line.append(" - ").append(wrapped);
    AgentLog("PostProcessMessage(wm_LocalMsg) to: ", line);
    PostToCopy(xPath, wm_LocalMsg, static_cast<WPARAM>(handle), static_cast<LPARAM>(number));
    result = true;
  }
  if (test >= 0 && PathExists(xPath)) {
    std::string line = xPath;
    line.append(" - AU_PerformUpdateCycle (").append(DecimalText(test)) += ')';
    AgentLog("PostProcessMessage(wm_AgentMsg) to: ", line);
    PostToCopy(xPath, wm_AgentMsg, 31, static_cast<LPARAM>(test));
    // A copy started only for this test ends after its cycle.
    if (!xWasRunning && test > 0) PostToCopy(xPath, wm_ShutDown, 2, 0);
    result = true;
  }
  const std::string transient = GetParamValue("/TRANSIENTx=", "");
  if (!transient.empty()) ReadSettingOverrideList(transient);
  AgentLog("HandleParamOK() --- End");
  return result;
}

}  // namespace varnel
