#include "utils/agent_log.h"
#include "utils/text_format.h"

#include <cstdio>

namespace varnel {

std::string FormatAgentLogLine(const AgentLogTime& t, unsigned long threadId, std::string_view tag,
                               std::string_view message) {
  char date[16], clock[16], id[32];
  FormatText(date, sizeof date, "%02d", t.day);
  std::string line = date;
  FormatText(date, sizeof date, "%02d", t.month);
  line += t.dateSeparator;
  line += date;
  FormatText(date, sizeof date, "%02d", t.year % 100);
  line += t.dateSeparator;
  line += date;
  FormatText(clock, sizeof clock, " %02d", t.hour);
  line += clock;
  FormatText(clock, sizeof clock, "%02d", t.minute);
  line += t.timeSeparator;
  line += clock;
  FormatText(clock, sizeof clock, "%02d", t.second);
  line += t.timeSeparator;
  line += clock;
  FormatText(id, sizeof id, " %5lu", threadId);
  line += id;
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
  if (!hasPrefix) name = "X_" + name;
  std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return folder + name + ".log";
}

}  // namespace varnel
