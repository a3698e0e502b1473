#include "startup/startup_links.h"

namespace varnel {

// Stand-ins until the package reader is part of
// the build: a package-less stub behaves as a
// plain setup with built-in texts.
void OpenProcessPackage(const std::string&) {}
void CloseProcessPackage() {}
bool ProcessPackageIsUpdateAgent() { return false; }
bool ProcessPackageAgentDownloadLog() { return false; }
bool ProcessPackageRestartFromTempCopy() { return false; }
std::string ProcessPackageAgentFileName() { return ""; }
std::string PackageLangString(const std::string&, const std::string& defaultValue) {
  return defaultValue;
}
int PackageCharset() { return 0; }
void ApplyMessageBoxFont() {}

}  // namespace varnel
