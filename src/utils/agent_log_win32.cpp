#include <windows.h>

#include "utils/agent_log.h"
#include "utils/file_helpers.h"
#include "utils/wide_text_win32.h"

namespace varnel {
namespace {

struct AgentLogState {
  bool enabled = false;
  std::string tag = "   ";
  std::string path;  // fixed at the first write
};

AgentLogState& LogState() {
  static AgentLogState state;
  return state;
}

std::string LocaleText(LCTYPE type, const char* fallback) {
  wchar_t buffer[16] = {};
  int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 16);
  return n > 1 ? Utf8(buffer) : std::string(fallback);
}

}  // namespace

void SetAgentLogEnabled(bool enabled) { LogState().enabled = enabled; }
bool AgentLogEnabled() { return LogState().enabled; }
void SetAgentLogTag(std::string_view tag) { LogState().tag = std::string(tag); }

void AgentLog(std::string_view message) {
  AgentLogState& s = LogState();
  if (!s.enabled) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  AgentLogTime time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                    LocaleText(LOCALE_SDATE, "/"), LocaleText(LOCALE_STIME, ":")};
  if (s.path.empty()) s.path = AgentLogPathFor(ExePath(false));
  AppendFileText(s.path, FormatAgentLogLine(time, GetCurrentThreadId(), s.tag, message), true, 0);
}

void AgentLog(const char* message) { AgentLog(std::string_view(message)); }

void AgentLog(const char* label, std::string_view value) { AgentLog(std::string_view(label), value); }

void AgentLog(std::string_view label, std::string_view value) {
  if (!LogState().enabled) return;
  std::string message(label);
  message += value;
  AgentLog(message);
}

}  // namespace varnel
