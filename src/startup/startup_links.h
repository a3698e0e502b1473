// What start-up and the stub window take from other subsystems, gathered in
// one place: the process-wide package reader, the agent log, the temporary
// folder, self-deletion and the message-box font.
#pragma once
#include <string>

namespace varnel {

// Builds and frees the process-wide package reader of the running executable.
void OpenProcessPackage(const std::string& exePath);
void CloseProcessPackage();
bool ProcessPackageIsUpdateAgent();
bool ProcessPackageAgentDownloadLog();
bool ProcessPackageRestartFromTempCopy();
std::string ProcessPackageAgentFileName();

// Language string and character set, through a fresh reader of the running
// executable (the language choice is process-wide).
std::string PackageLangString(const std::string& key, const std::string& defaultValue);
int PackageCharset();
// Message-box font from the language's FontName, FontSize and Charset.
void ApplyMessageBoxFont();

// Debug stream to the debug viewer; agent log switches and lines.
void InstallDebugSink();
void EnableAgentLog(bool enabled);
void SetStartupAgentLogTag(const std::string& tag);
void StartupAgentLog(const std::string& text);
// File version of the running executable as four dotted numbers.
std::string RunningExeVersion();

// The setup temporary folder (created at the first call) and its removal.
std::string SetupTempFolder();
void RemoveSetupTempFolder();
// Removes the running executable (and its folder) after the process ends.
void DeleteOwnFileAfterExit(bool removeFolder);
// Releases the internet library when a download loaded it.
void UnloadInternetLibrary();

}  // namespace varnel
