#include "startup/agent_messages.h"

#include "utils/debug_stream.h"

namespace varnel {
namespace {

struct AgentMessageState {
  int shutDownCountdown = -1;
  HWND targetWindow = nullptr;
  UINT targetMessage = 0;
};

AgentMessageState& State() {
  static AgentMessageState state;
  return state;
}

}  // namespace

void SetShutDownCountdown(int countdown) { State().shutDownCountdown = countdown; }
int ShutDownCountdown() { return State().shutDownCountdown; }

void SetNotificationTarget(HWND window, UINT message) {
  State().targetWindow = window;
  State().targetMessage = message;
}

void NotifyTarget(WPARAM code, LPARAM value) {
  const AgentMessageState& s = State();
  if (s.targetWindow && s.targetMessage) PostMessageA(s.targetWindow, s.targetMessage, code, value);
}

LRESULT RunAgentCommand(WPARAM code, LPARAM value) {
  // The agent's settings commands come with the update cycle; until then
  // every command answers 0 and changes nothing.
  DebugLine("%lu RunAgentCommand(%u, %ld) - not available", GetCurrentProcessId(),
            static_cast<unsigned>(code), static_cast<long>(value));
  return 0;
}

}  // namespace varnel
