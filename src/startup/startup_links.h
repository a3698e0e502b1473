// What start-up and the stub window take from other subsystems, gathered in
// one place: the process-wide package reader, the temporary folder
// and the message-box font.
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


}  // namespace varnel
