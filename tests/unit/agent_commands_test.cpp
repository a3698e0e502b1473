// The agent commands that other programs send to the agent window, and the
// counting part of the agent's timer tick.
#include "update/agent_commands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include "map_ini_store.h"

namespace {

using namespace varnel;

class AgentCommands : public ::testing::Test {
 protected:
  std::string& Original(const char* key) { return store.values[{files.original, "OriginalSetup", key}]; }
  std::uint32_t Run(std::uint32_t code, std::uint32_t value = 0) {
    return RunAgentCommandOn(state, settings, code, value);
  }
  MapStore store;
  AgentFiles files{"C:\\Agent\\", "C:\\Agent\\App.info", "C:\\Agent\\App.original"};
  AgentRuntime state;
  AgentSettings settings{store, files, state.overrides};
};

TEST_F(AgentCommands, ReadsAnswerTheStoredValues) {
  Original("VersionOriginal") = "6";
  store.values[{files.info, "NewSetup", "VersionNew"}] = "7";
  Original("ProbeSecondsInterval") = "-1";
  Original("ReAskSecondsInterval") = "86400";
  // Seconds since 1899 are past 2^31 today: they come back unsigned.
  Original("ProbeSecondsLast") = "3974400000";
  Original("ReAskSecondsLast") = "3974400123";
  state.activity = kActivityDownload;
  const struct { std::uint32_t code, expected; } cases[] = {
      {4, 6}, {5, 7}, {7, 2}, {8, 0xFFFFFFFFu}, {9, 86400}, {10, 3974400000u}, {11, 3974400123u}};
  for (const auto& c : cases) EXPECT_EQ(Run(c.code), c.expected) << "command " << c.code;
}

TEST_F(AgentCommands, WritesStoreValuesAndAnswerZero) {
  EXPECT_EQ(Run(12, 3600), 0u);
  EXPECT_EQ(Run(13, static_cast<std::uint32_t>(-1)), 0u);
  EXPECT_EQ(Run(14, 3974400000u), 0u);
  EXPECT_EQ(Run(15, 3974486400u), 0u);
  EXPECT_EQ(Original("ProbeSecondsInterval"), "3600");
  EXPECT_EQ(Original("ReAskSecondsInterval"), "-1");
  EXPECT_EQ(Original("ProbeSecondsLast"), "3974400000");
  EXPECT_EQ(Original("ReAskSecondsLast"), "3974486400");
  EXPECT_FALSE(Original("__ProbeSecondsLast").empty());
  EXPECT_EQ(Run(10), 3974400000u);  // read back whole
}

TEST_F(AgentCommands, OverridesTakeTheLowByte) {
  for (std::uint32_t code = 20; code <= 25; ++code) EXPECT_EQ(Run(code, 0x100 + code), 0u);
  EXPECT_EQ(OverrideListText(state.overrides), "|20|21|22|23|24|25|255|255|");
}

TEST_F(AgentCommands, CountdownAndCycleRequests) {
  EXPECT_EQ(Run(30, 3), 0u);
  EXPECT_EQ(state.shutDownCountdown, 3);

  EXPECT_EQ(Run(31, 1), 0u);
  EXPECT_TRUE(state.cycleRequested);
  EXPECT_EQ(state.timerCount, 1);
  EXPECT_EQ(state.cycleMode, kCycleBackground);
  state.timerCount = 9;
  Run(31, 2);
  EXPECT_EQ(state.timerCount, 9);  // only ever raised
  EXPECT_EQ(state.cycleMode, kCycleUserCheckPending);

  Run(32);
  EXPECT_TRUE(state.infoOnlyRequest);
}

TEST_F(AgentCommands, UnknownCodesChangeNothing) {
  Original("VersionOriginal") = "6";
  const auto before = store.values;
  for (std::uint32_t code : {0u, 6u, 16u, 26u, 33u, 0xFFFFFFFFu}) EXPECT_EQ(Run(code, 5), 0u) << code;
  EXPECT_EQ(store.values, before);
  EXPECT_EQ(state.shutDownCountdown, -1);
  EXPECT_EQ(state.timerCount, -3);
  EXPECT_FALSE(state.cycleRequested || state.infoOnlyRequest);
  EXPECT_EQ(OverrideListText(state.overrides), "|255|255|255|255|255|255|255|255|");
}

TEST(AgentTick, FirstCheckComesAtTheFourthTick) {
  AgentRuntime state;
  for (int tick = 1; tick <= 3; ++tick) EXPECT_FALSE(BeginAgentTick(state).checkDue) << tick;
  EXPECT_TRUE(BeginAgentTick(state).checkDue);
}

TEST(AgentTick, CountdownOfThreeQuitsAtTheFourthTickAndNothingElseRuns) {
  AgentRuntime state;
  state.shutDownCountdown = 3;
  state.timerCount = 5;
  for (int tick = 1; tick <= 3; ++tick) EXPECT_FALSE(BeginAgentTick(state).quit) << tick;
  const TickStart last = BeginAgentTick(state);
  EXPECT_TRUE(last.quit);
  EXPECT_FALSE(last.checkDue);  // no check in the tick that quits
  EXPECT_EQ(state.shutDownCountdown, -1);
}

// A stop sent while a cycle holds the tick (a box is open) must still run
// down: busy ticks take only the countdown's step, mixed with whole ticks.
TEST(AgentTick, CountdownRunsOnBusyTicksAndMarksTheAgentStopping) {
  AgentRuntime state;
  state.shutDownCountdown = 2;
  EXPECT_FALSE(RunShutDownCountdown(state));  // busy
  EXPECT_FALSE(BeginAgentTick(state).quit);   // whole tick
  EXPECT_FALSE(state.stopping);
  EXPECT_TRUE(RunShutDownCountdown(state));   // busy again: the agent ends
  EXPECT_TRUE(state.stopping);
  EXPECT_EQ(state.shutDownCountdown, -1);
  EXPECT_FALSE(RunShutDownCountdown(state));  // fires once
  EXPECT_TRUE(state.stopping);
}

TEST(AgentTick, SleepTicksStayWithinTheCount) {
  struct Case {
    std::int64_t sleep;
    int start;
  } cases[] = {
      {0, 0}, {5, -5}, {-1, -3}, {2147483647, -2147483647}, {2147483648LL, -2147483647},
      {4294967301LL, -2147483647},  // would wrap to -5
      {INT64_MAX, -2147483647},
  };
  for (const Case& c : cases) EXPECT_EQ(SleepTicksStart(c.sleep), c.start) << c.sleep;
}

TEST(AgentTick, UserCheckRunsInTheNextTickThenTheModeStays) {
  AgentRuntime state;
  state.cycleMode = kCycleUserCheckPending;
  state.timerCount = -3;
  const TickStart tick = BeginAgentTick(state);
  EXPECT_TRUE(tick.checkDue);
  EXPECT_EQ(state.cycleMode, kCycleUserCheck);
  EXPECT_EQ(state.timerCount, 1);
}

}  // namespace
