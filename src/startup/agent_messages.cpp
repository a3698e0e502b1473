#include "startup/agent_messages.h"

namespace varnel {

void SetShutDownCountdown(int countdown) { AgentState().shutDownCountdown = countdown; }
int ShutDownCountdown() { return AgentState().shutDownCountdown; }

bool HandleAgentMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  switch (message) {
    case wm_ShutDown:
      SetShutDownCountdown(static_cast<int>(wParam));
      return true;
    case wm_LocalMsg:
      SetNotificationTarget(reinterpret_cast<HWND>(wParam), static_cast<UINT>(lParam));
      NotifyTarget(kNotifyAgentWindow, reinterpret_cast<LPARAM>(window));
      NotifyTarget(kNotifyAgentCommandMessage, wm_AgentMsg);
      return true;
    case wm_AgentMsg:
      result = RunAgentCommand(wParam, lParam);
      return true;
    default:
      return false;
  }
}

}  // namespace varnel
