#include "update/test_mode.h"

#include "utils/text_rules.h"

namespace varnel {

bool TestModeApplies(const std::string& testMode, const std::string& testModeDate, const std::string& today) {
  return testMode == "1" && testModeDate == today;
}

bool TestModeRefreshDue(bool force, std::uint32_t now, std::uint32_t previous) {
  return force || static_cast<std::uint32_t>(now - previous) > kTestModeRefreshMs;
}

std::string CheckQuestionText(const std::string& s22, const std::string& s23, const std::string& s24,
                              const std::string& folder, bool testMode, const std::string& programName) {
  const bool localDrive = folder.size() < 2 || folder[1] == ':';
  std::string question = s22;
  if (!localDrive) question += s23;
  question += s24;
  if (testMode) question += "<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!";
  return ReplaceAllText(question, "PROG_NAME", programName);
}

}  // namespace varnel
