// Web-installer mode: fetch the full setup file (or take the copy beside
// the web installer), check that its token matches, and run it.
#pragma once
#include <string>

namespace varnel {

class SetupWindow;
class TGFileInfo;

// What the web installer takes from the run that started it.
struct WebInstallRun {
  SetupWindow& window;
  const TGFileInfo& reader;      // the web installer's own package
  std::string argumentText;      // the stub's arguments, passed on to the engine
  bool hidden = false;           // "/hide" or the package's run-hidden item
};

// Runs the full setup file `fileName` from the folder or address `baseUrl`.
// A downloaded file goes into a folder of this run inside `tempFolder` and
// is deleted after the run. Sets the process exit code: the engine's when it
// ran, else kExitCancelled, kExitDownloadFailed or kExitWrongSetupFile.
void WebInstall(const WebInstallRun& run, const std::string& tempFolder, const std::string& baseUrl,
                const std::string& fileName);

}  // namespace varnel
