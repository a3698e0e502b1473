// File helpers of the build tool: whole-file reads and writes, modification
// times as packed DOS date/time values, folders.
#pragma once
#include <cstdint>
#include <string>

namespace varnel::pack {

bool ReadWholeFile(const std::string& path, std::string& bytes);
// Writes (or with `append`, extends) a file; false on any failure.
bool WriteWholeFile(const std::string& path, const std::string& bytes, bool append = false);
bool FileExists(const std::string& path);
// Creates a file that must not exist yet; with `ownerOnly`, readable and
// writable by its owner only (mode 0600; on Windows a protected access list
// with the current user alone). False when it exists or cannot be written.
bool WriteNewFile(const std::string& path, const std::string& bytes, bool ownerOnly);
// Writes beside `path` and renames over it: a reader of `path` sees the old
// or the new content, never a part.
bool ReplaceFile(const std::string& path, const std::string& bytes);
// Same file (after resolving links and relative parts).
bool SameFile(const std::string& a, const std::string& b);
// Creates the folder and its missing parents.
bool MakeFolders(const std::string& path);

// The file's last-write time as a packed DOS date/time in local time; 0
// when unknown or outside the DOS range.
std::uint32_t FileDosTime(const std::string& path);
// Sets the file's last-write time from a packed DOS date/time (local).
bool SetFileDosTime(const std::string& path, std::uint32_t dosTime);
// "2017-03-04 17:22:58" for a packed DOS date/time; "-" for 0.
std::string DosTimeText(std::uint32_t dosTime);
// Parses "YYYY-MM-DDTHH:MM:SS" (or with a blank) or a decimal packed value.
bool ParseDosTime(const std::string& text, std::uint32_t& dosTime);

// The part after the last "/" or "\".
std::string BaseName(const std::string& path);
// Path joined with a name, with the separator of the platform.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace varnel::pack
