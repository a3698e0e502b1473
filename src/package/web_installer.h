// Web-installer mode: fetch the full setup file (or take the copy beside
// the web installer), check that its token matches, and run it.
#pragma once
#include <string>

namespace varnel {

void WebInstall(const std::string& tempFolder, const std::string& baseUrl, const std::string& fileName);

}  // namespace varnel
