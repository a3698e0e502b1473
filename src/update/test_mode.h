// Test mode of the update agent: for the current day only, three registry
// values under the product key make the agent take its files from a test
// folder, check every 5 seconds and say so in its check question.
#pragma once
#include <cstdint>
#include <string>

namespace varnel {

// HKEY_CURRENT_USER key of the test-mode values "TestMode", "TestModeDate"
// and "TestModeURL".
constexpr const char* kTestModeKey = "HKEY_CURRENT_USER\\Software\\Dravenic\\Varnel\\AutoUpdate";
// Unforced calls re-read the registry at most this often.
constexpr std::uint32_t kTestModeRefreshMs = 30000;

// Test mode is on exactly when TestMode is "1" and TestModeDate is today's
// date as AgentDateText writes it ("06-DEC-2026"), both compared exactly.
bool TestModeApplies(const std::string& testMode, const std::string& testModeDate, const std::string& today);
// A forced call, or more than 30 s on the (wrapping) tick clock since the
// previous call.
bool TestModeRefreshDue(bool force, std::uint32_t now, std::uint32_t previous);

// The check question asked before a requested check: s22 + s23 + s24 +
// the test-mode note, every "PROG_NAME" replaced by programName. s23 (the
// Internet part) is dropped for a folder shorter than 2 characters or with
// ":" second (a local drive needs no Internet).
std::string CheckQuestionText(const std::string& s22, const std::string& s23, const std::string& s24,
                              const std::string& folder, bool testMode, const std::string& programName);

#ifdef _WIN32
// Refreshes and returns test mode; `force` re-reads the registry at once.
bool CheckTestMode(bool force);
// The state kept by CheckTestMode.
bool TestModeOn();
const std::string& TestFolder();
// The millisecond tick clock CheckTestMode uses (GetTickCount unless a test
// installs another); nullptr restores the system's.
using TickSource = std::uint32_t (*)();
void SetTestModeClock(TickSource clock);
// Asks the check question (no heading); false when the user says No and
// the tick skips its check.
bool AskCheckQuestion();
// Starts over as at process start (no previous call, test mode off).
void ResetTestModeForTesting();
#endif

}  // namespace varnel
