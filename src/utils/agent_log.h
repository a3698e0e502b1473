// The agent log: time-stamped lines appended to a file beside the
// executable, written only when start-up has switched it on (an agent
// package whose header asks for the log). The plain agent and its X_ copy
// share one file: X_<name>.log.
#pragma once
#include <string>
#include <string_view>

namespace varnel {

struct AgentLogTime {
  int year, month, day, hour, minute, second;
  std::string dateSeparator = "/";
  std::string timeSeparator = ":";
};

// "dd/mm/yy HH:NN:SS" + " " + thread id right-aligned in 5 + tag + message.
std::string FormatAgentLogLine(const AgentLogTime& time, unsigned long threadId, std::string_view tag,
                               std::string_view message);
// Folder of exePath with "\", then "X_" (unless the name already starts with
// it, case-sensitive) + the file name with its extension changed to ".log".
std::string AgentLogPathFor(const std::string& exePath);

#ifdef _WIN32
void SetAgentLogEnabled(bool enabled);
bool AgentLogEnabled();
// Replaces the three-character tag (default three blanks; " X " in the X_ copy).
void SetAgentLogTag(std::string_view tag);
// Appends one line when enabled; failures are not reported.
void AgentLog(std::string_view message);
// The same for a literal: the view is made here, not at every call.
void AgentLog(const char* message);
// The same for a message in two parts (a label and a value): the caller
// builds no joined text, and nothing is joined while the log is off.
void AgentLog(std::string_view label, std::string_view value);
void AgentLog(const char* label, std::string_view value);
#endif

}  // namespace varnel
