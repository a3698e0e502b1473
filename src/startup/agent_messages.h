// The agent window's side of the agent messages: wm_ShutDown sets the
// shut-down countdown, wm_LocalMsg registers the window to notify (and
// answers it with codes 50 and 51), wm_AgentMsg runs an agent command.
#pragma once
#include <windows.h>

#include "update/update_agent.h"

namespace varnel {

// True when `message` is one of the three; result is the message's result.
bool HandleAgentMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// The shut-down countdown: -1 = none; the agent's tick quits at 0.
void SetShutDownCountdown(int countdown);
int ShutDownCountdown();

}  // namespace varnel
