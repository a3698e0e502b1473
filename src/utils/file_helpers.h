// File helpers: byte ranges of files as strings, writing and appending,
// free disk space, searching fixed drives, deleting by mask and whole trees,
// ejecting a CD, and removing the running executable after it has ended.
// Strings are byte strings: a file's content is held in a string of the
// same length; paths are UTF-8 (utils/wide_text_win32.h). Failures give "",
// false or 0; nothing is shown.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace varnel {

// Called before the first chunk and after every chunk; set stop to end early.
using WriteProgress = std::function<void(std::int64_t total, std::int64_t written, bool& stop)>;
// Called after every sub-folder removed; set stop to end early.
using DeleteProgress = std::function<void(const std::string& folder, bool& stop)>;

// Windows file time (100 ns since 1601) or 0 for "leave as it is".
using FileDate = std::uint64_t;

std::string ReadFilePart(const std::string& path, std::int64_t maxLength = 0, bool trim = false,
                         std::int64_t start = 0);
// The forms with a progress callback are separate: a caller without one
// builds no callable.
bool WriteFileText(const std::string& path, const std::string& text, FileDate date = 0, bool append = false);
bool WriteFileText(const std::string& path, const std::string& text, FileDate date, bool append,
                   const WriteProgress& progress);
bool AppendFileText(const std::string& path, const std::string& text, bool addLineEnd, FileDate date = 0);

double DiskFreeBytes(const std::string& path);

// driveType is a GetDriveType value (DRIVE_FIXED = 3).
std::string FindFileOnDrives(const std::string& fileName, unsigned driveType);
std::string FindFolderOnDrives(const std::string& folder, unsigned driveType);
// Ends a running drive search early (set from the searching thread).
void StopDriveSearch();

bool DeleteFilesByMask(const std::string& mask, bool clearAttributes);
bool DeleteFolderTree(const std::string& folder, bool clearAttributes);
bool DeleteFolderTree(const std::string& folder, bool clearAttributes, const DeleteProgress& progress);
bool EjectCD(const std::string& pathOnDrive);

// Writes and starts a hidden batch file that deletes the running executable
// (and with removeFolder its folder) once this process has ended. The caller
// ends its process right after.
void DeleteMySelf(bool removeFolder, bool shortNames);

// Removes one trailing "\" (only when the path is longer than 2 bytes),
// then adds one when add is true. Paths are UTF-8, where a "\" byte is
// always the character itself.
std::string SetTrailingBackslash(const std::string& path, bool add);
// Full path of the running executable; with stripExtension, without its last extension.
std::string ExePath(bool stripExtension);
std::string ExeFolder(bool addBackslash);
std::string TempFolder(bool addBackslash);

}  // namespace varnel
