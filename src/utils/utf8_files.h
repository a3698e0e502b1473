// Paths are UTF-8 in std::string everywhere in the stub and the tools.
// These open and remove files by such a path on every platform: natively
// the bytes go to the C library as they are; on Windows they are converted
// to UTF-16 and handed to the wide functions (see utils/wide_text_win32.h).
#pragma once

#include <cstdio>
#include <string>

namespace varnel {

// fopen by a UTF-8 path.
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);

// remove by a UTF-8 path; true when the file is gone.
bool RemoveFileUtf8(const std::string& path);

}  // namespace varnel
