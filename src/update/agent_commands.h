// The update agent's process-wide state and the commands that programs
// outside send to its window: reading and writing the agent's settings,
// setting overrides, the shut-down countdown and requests for a check.
// Platform-free; the window side (messages, posting notifications) lives in
// update_agent.h.
//
// Message values: wParam is the command code; lParam and the result are
// 32-bit numbers. The times of commands 10, 11, 14 and 15 (seconds since
// 30 December 1899, about 3.97e9 today) do not fit a signed 32-bit value:
// they are passed and returned as UNSIGNED 32-bit numbers (a caller reads
// the result's low 32 bits as unsigned). Every other value is a signed
// 32-bit number, so an interval of -1 stays -1.
#pragma once
#include <cstdint>

#include "update/update_decision.h"
#include "update/update_settings.h"

namespace varnel {

// Window messages of the agent (WM_USER + 99, + 100, + 101).
constexpr unsigned kWmUser = 0x400;
constexpr unsigned wm_ShutDown = kWmUser + 99;
constexpr unsigned wm_LocalMsg = kWmUser + 100;
constexpr unsigned wm_AgentMsg = kWmUser + 101;

// Notification codes posted to the registered target (wParam = code).
constexpr unsigned kNotifyInfoDownload = 40;
constexpr unsigned kNotifySetupDownload = 41;
constexpr unsigned kNotifySetupInstall = 42;
constexpr unsigned kNotifyLoopEnded = 43;
constexpr unsigned kNotifyAgentWindow = 50;
constexpr unsigned kNotifyAgentCommandMessage = 51;

// What the agent is doing (command 7).
enum AgentActivity : int { kActivityIdle = 0, kActivityInfo = 1, kActivityDownload = 2, kActivitySetup = 3 };

struct AgentRuntime {
  int cycleMode = kCycleBackground;
  int shutDownCountdown = -1;     // ticks left before the agent quits; < 0 none
  int timerCount = -3;            // the update tick count (AutoUpdateTimerCount)
  bool cycleRequested = false;    // a check was asked for (command 31)
  bool infoOnlyRequest = false;   // the next tick only fetches the .info (command 32)
  bool probingEnabled = true;
  bool busy = false;              // a tick is being handled
  bool stopping = false;          // the countdown ran out: the agent is ending
  int activity = kActivityIdle;
  SettingOverrides overrides;
};

// Runs one agent command and returns its result (0 for writes and for
// unknown codes, which change nothing).
std::uint32_t RunAgentCommandOn(AgentRuntime& state, AgentSettings& settings, std::uint32_t code,
                                std::uint32_t value);

// The counting part of a timer tick, after the busy test: a pending user
// check starts (and resets the tick count so that it runs in this tick),
// the shut-down countdown runs, the tick count grows. quit: the countdown
// reached 0 and the agent must end; the tick does nothing more then.
// checkDue: the tick count allows a check.
struct TickStart {
  bool quit = false;
  bool checkDue = false;
};
TickStart BeginAgentTick(AgentRuntime& state);

// The update tick count's start value for "/SleepX=" ticks of sleep: minus
// that many, kept within what the count holds (a value beyond it sleeps as
// long as it can); a negative one gives the usual start value (-3).
int SleepTicksStart(std::int64_t sleepTicks);

// The shut-down countdown's step of one tick, also on ticks that arrive
// while a cycle is busy (a box, a download, the wait for the product): true
// at the tick on which it is 0 (the agent must end; `stopping` is set from
// then on); a countdown of 0 or more is decreased.
bool RunShutDownCountdown(AgentRuntime& state);

}  // namespace varnel
