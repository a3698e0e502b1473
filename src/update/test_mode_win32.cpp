#include "dialogs/message_box.h"
#include "package/package_reader.h"
#include "update/test_mode.h"
#include "update/update_agent.h"
#include "utils/ini_registry.h"

namespace varnel {
namespace {

struct TestModeState {
  bool on = false;
  std::string folder;
  std::uint32_t previousCall = 0;
  TickSource clock = nullptr;
};

TestModeState& State() {
  static TestModeState state;
  return state;
}

std::uint32_t Now() { return State().clock ? State().clock() : GetTickCount(); }

std::string Today() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return AgentDateText({t.wYear, t.wMonth, t.wDay});
}

}  // namespace

bool CheckTestMode(bool force) {
  TestModeState& s = State();
  const std::uint32_t now = Now();
  if (TestModeRefreshDue(force, now, s.previousCall)) {
    const std::string key = kTestModeKey;
    s.on = TestModeApplies(ReadRegistryString(key, "TestMode", "0", false),
                           ReadRegistryString(key, "TestModeDate", "", false), Today());
    s.folder = ReadRegistryString(key, "TestModeURL", "", false);
  }
  s.previousCall = now;
  return s.on;
}

bool TestModeOn() { return State().on; }
const std::string& TestFolder() { return State().folder; }
void SetTestModeClock(TickSource clock) { State().clock = clock; }
void ResetTestModeForTesting() {
  TickSource clock = State().clock;
  State() = TestModeState();
  State().clock = clock;
}

bool AskCheckQuestion() {
  const AgentSettings& settings = UpdateAgentSettings();
  const bool testMode = CheckTestMode(true);
  const std::string folder = testMode ? TestFolder() : ProcessReader().GetUpdateUrl();
  const std::string question =
      CheckQuestionText(settings.AutoUpdateText("s22"), settings.AutoUpdateText("s23"),
                        settings.AutoUpdateText("s24"), folder, testMode, settings.OriginalProgramName());
  return AgentMsgBox(kAgentBoxConfirm, kMsgOwnerActive, question);
}

}  // namespace varnel
