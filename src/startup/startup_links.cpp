#include "startup/startup_links.h"

#include <windows.h>

#include "utils/debug_stream.h"

namespace varnel {
namespace {

void StdoutSink(const std::string& piece) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (out && out != INVALID_HANDLE_VALUE)
    WriteFile(out, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr);
}

}  // namespace

// Stand-ins until the package reader, agent log, temporary folder and
// self-deletion are part of the build: a package-less stub behaves as a
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
void InstallDebugSink() { SetDebugSink(StdoutSink); }
void EnableAgentLog(bool) {}
void SetStartupAgentLogTag(const std::string&) {}
void StartupAgentLog(const std::string&) {}
std::string RunningExeVersion() { return ""; }
std::string SetupTempFolder() { return ""; }
void RemoveSetupTempFolder() {}
void DeleteOwnFileAfterExit(bool) {}
void UnloadInternetLibrary() {}

}  // namespace varnel
