#include "package/web_installer.h"

#include <windows.h>

#include "package/exit_code.h"
#include "utils/debug_stream.h"

namespace varnel {

// Downloading and running the full setup file is not part of this build
// yet; a web installer ends without running anything.
void WebInstall(const std::string& tempFolder, const std::string& baseUrl, const std::string& fileName) {
  DebugLine("%lu ==== WebInstall(%s/%s): not available in this build", GetCurrentProcessId(),
            baseUrl.c_str(), fileName.c_str());
  SetProcessExitCode(kExitBadPackage);
}

}  // namespace varnel
