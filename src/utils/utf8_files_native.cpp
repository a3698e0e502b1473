#include "utils/utf8_files.h"

#include <cerrno>

namespace varnel {

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool RemoveFileUtf8(const std::string& path) { return std::remove(path.c_str()) == 0 || errno == ENOENT; }

}  // namespace varnel
