#include "update/update_cycle.h"

#include "startup/agent_messages.h"
#include "utils/debug_stream.h"

namespace varnel {
namespace {

struct UpdateCycleState {
  int timerCount = -3;
};

UpdateCycleState& State() {
  static UpdateCycleState state;
  return state;
}

}  // namespace

void SetAutoUpdateTimerCount(int count) { State().timerCount = count; }
int AutoUpdateTimerCount() { return State().timerCount; }

void JustDownloadInfoFile(HWND window) {
  // The update check itself comes with the update cycle; the tick already
  // counts and honours the shut-down countdown so that the agent window can
  // be ended by its controller.
  ++State().timerCount;
  DebugLine("%lu AutoUpdateTimerCount=%d", GetCurrentProcessId(), State().timerCount);
  int countdown = ShutDownCountdown();
  if (countdown == 0) PostQuitMessage(0);
  if (countdown >= 0) SetShutDownCountdown(countdown - 1);
}

}  // namespace varnel
