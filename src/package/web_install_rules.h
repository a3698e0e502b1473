// Platform-free pieces of the web installer.
#pragma once
#include <cstdint>
#include <string>

namespace varnel {

// The "s11" question with every "<SIZE>" replaced by the size item (bytes,
// decimal; 0 when it is no number) in megabytes: 5242880 -> "5.00".
std::string DownloadQuestion(const std::string& question, const std::string& sizeItem);

// The size item as a number of bytes: digits only, else 0 (not known).
std::uint64_t SetupFileBytes(const std::string& sizeItem);

// The local name of a served setup file: the last element of `fileName`
// (after "/" or "\\"); empty when that is no usable name ("", ".", "..",
// a drive, a stream or a character the file system refuses).
std::string ServedFileName(const std::string& fileName);
std::string RefusedNameText(const std::string& fileName);
std::string NoDownloadFolderText(const std::string& tempFolder);

// Where the web installer's own copy of the full setup file would lie:
// folder with exactly one trailing backslash + file name.
std::string LocalSetupPath(const std::string& folder, const std::string& fileName);

}  // namespace varnel
