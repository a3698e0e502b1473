#include "update/agent_http.h"

namespace varnel {

// The downloads of the download subsystem are not built yet: the agent
// sees no connection, so only folders and shares can be fetched.
bool AgentInternetConnected(std::string* errorText) {
  if (errorText) *errorText = "No Internet access in this build";
  return false;
}

std::int64_t AgentHttpFileSize(const std::string&) { return -1; }

void AgentHttpDownload(HWND, const std::string& url, const std::string&, std::string& errorText,
                       std::string& content) {
  content.clear();
  errorText = "Unable to open Internet Connection: " + url;
}

std::string AgentErrorPageMessage(const std::string&, const std::string&, const std::string&,
                                  const std::string& defaultText) {
  return defaultText;
}

}  // namespace varnel
