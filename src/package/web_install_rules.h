// Platform-free pieces of the web installer.
#pragma once
#include <string>

namespace varnel {

// The "s11" question with every "<SIZE>" replaced by the size item (bytes,
// decimal; 0 when it is no number) in megabytes: 5242880 -> "5.00".
std::string DownloadQuestion(const std::string& question, const std::string& sizeItem);

// Where the web installer's own copy of the full setup file would lie:
// folder with exactly one trailing backslash + file name.
std::string LocalSetupPath(const std::string& folder, const std::string& fileName);

}  // namespace varnel
