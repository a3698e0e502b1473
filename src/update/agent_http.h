// What the agent's fetch and size test take from the download subsystem:
// the connection check, the size query, the transfer into a file or a
// string, and the error-page message. Win32.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace varnel {

// InternetConnected: errorText gets the system's reason when not connected.
bool AgentInternetConnected(std::string* errorText = nullptr);
// HTTP_GetFileSize: the announced length, or -1.
std::int64_t AgentHttpFileSize(const std::string& url);
// HTTP_DownloadFile_Incremental into `destination`, or into `content` when
// destination is empty; errorText is empty on success.
void AgentHttpDownload(HWND window, const std::string& url, const std::string& destination, std::string& errorText,
                       std::string& content);
// HTTP_404Message: the error-page message when the file (or else the
// content) is an HTML error page, else defaultText.
std::string AgentErrorPageMessage(const std::string& filePath, const std::string& content, const std::string& url,
                                  const std::string& defaultText);

}  // namespace varnel
