#include "utils/agent_log.h"
#include "utils/text_format.h"

#include <cstdio>

namespace varnel {

std::string FormatAgentLogLine(const AgentLogTime& t, unsigned long threadId, std::string_view tag,
                               std::string_view message) {
  // Two-digit fields and the locale's separators (a separator is passed as
  // an argument, so a "%" in it is printed as it stands).
  char head[160];
  FormatText(head, sizeof head, "%02d%s%02d%s%02d %02d%s%02d%s%02d %5lu", t.day, t.dateSeparator.c_str(),
             t.month, t.dateSeparator.c_str(), t.year % 100, t.hour, t.timeSeparator.c_str(), t.minute,
             t.timeSeparator.c_str(), t.second, threadId);
  std::string line = head;
  line += tag;
  line += message;
  return line;
}

std::string AgentLogPathFor(const std::string& exePath) {
  std::size_t slash = exePath.find_last_of('\\');
  std::string folder = slash == std::string::npos ? std::string() : exePath.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? exePath : exePath.substr(slash + 1);
  // The prefix test regards case: "x_app.exe" still gets its own "X_".
  bool hasPrefix = name.compare(0, 2, "X_") == 0;
  if (!hasPrefix) name.insert(0, "X_");
  std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  folder += name;
  folder += ".log";
  return folder;
}

}  // namespace varnel
