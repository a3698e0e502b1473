#include "update/agent_commands.h"

namespace varnel {
namespace {

std::uint32_t Signed(std::int64_t value) { return static_cast<std::uint32_t>(static_cast<std::int32_t>(value)); }
std::int32_t AsSigned(std::uint32_t value) { return static_cast<std::int32_t>(value); }

}  // namespace

std::uint32_t RunAgentCommandOn(AgentRuntime& state, AgentSettings& settings, std::uint32_t code,
                                std::uint32_t value) {
  switch (code) {
    case 4: return Signed(settings.VersionOriginal());
    case 5: return Signed(settings.VersionNew());
    case 7: return Signed(state.activity);
    case 8: return Signed(settings.ProbeSecondsInterval());
    case 9: return Signed(settings.ReAskSecondsInterval());
    // Times: unsigned 32-bit (see the header).
    case 10: return static_cast<std::uint32_t>(settings.ProbeSecondsLast());
    case 11: return static_cast<std::uint32_t>(settings.ReAskSecondsLast());
    case 12: settings.SetProbeSecondsInterval(AsSigned(value)); break;
    case 13: settings.SetReAskSecondsInterval(AsSigned(value)); break;
    case 14: settings.SetProbeSecondsLast(value); break;
    case 15: settings.SetReAskSecondsLast(value); break;
    case 20: case 21: case 22: case 23: case 24: case 25:
      state.overrides.Set(static_cast<int>(code) - 19, static_cast<std::uint8_t>(value & 0xFF));
      break;
    case 30: state.shutDownCountdown = AsSigned(value); break;
    case 31:
      // AU_PerformUpdateCycle: the next tick runs the check.
      state.cycleRequested = true;
      if (state.timerCount < 1) state.timerCount = 1;
      if (value == 2) state.cycleMode = kCycleUserCheckPending;
      break;
    case 32: state.infoOnlyRequest = true; break;
    default: break;
  }
  return 0;
}

int SleepTicksStart(std::int64_t sleepTicks) {
  constexpr std::int64_t kLongest = 0x7FFFFFFF;
  if (sleepTicks < 0) return AgentRuntime().timerCount;
  return static_cast<int>(-(sleepTicks > kLongest ? kLongest : sleepTicks));
}

bool RunShutDownCountdown(AgentRuntime& state) {
  const bool quit = state.shutDownCountdown == 0;
  if (state.shutDownCountdown >= 0) --state.shutDownCountdown;
  if (quit) state.stopping = true;
  return quit;
}

TickStart BeginAgentTick(AgentRuntime& state) {
  TickStart tick;
  if (state.cycleMode == kCycleUserCheckPending) state.cycleMode = kCycleUserCheck;
  if (state.cycleMode == kCycleUserCheck) state.timerCount = 0;
  tick.quit = RunShutDownCountdown(state);
  if (tick.quit) return tick;
  ++state.timerCount;
  tick.checkDue = state.timerCount >= 1;
  return tick;
}

}  // namespace varnel
