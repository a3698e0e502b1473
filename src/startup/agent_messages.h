// Window messages between the agent's X_ copy and the programs that control
// it, and the notifications the agent posts to a registered window.
#pragma once
#include <windows.h>

namespace varnel {

constexpr UINT wm_ShutDown = WM_USER + 99;
constexpr UINT wm_LocalMsg = WM_USER + 100;
constexpr UINT wm_AgentMsg = WM_USER + 101;

// Notification codes posted to the registered target (wParam = code).
constexpr WPARAM kNotifyInfoDownload = 40;
constexpr WPARAM kNotifySetupDownload = 41;
constexpr WPARAM kNotifySetupInstall = 42;
constexpr WPARAM kNotifyLoopEnded = 43;
constexpr WPARAM kNotifyAgentWindow = 50;
constexpr WPARAM kNotifyAgentCommandMessage = 51;

// Shut-down countdown of the agent: -1 = none; the agent's tick quits at 0.
void SetShutDownCountdown(int countdown);
int ShutDownCountdown();

// Registers the window to notify and the message to post there.
void SetNotificationTarget(HWND window, UINT message);
// Posts (code, value) to the target; nothing while no target is registered.
void NotifyTarget(WPARAM code, LPARAM value);

// Runs one agent command of wm_AgentMsg and returns its result.
LRESULT RunAgentCommand(WPARAM code, LPARAM value);

}  // namespace varnel
