// Shared bits of the utilities' Win32 tests: a scratch folder per test.
#pragma once
#include <windows.h>

#include <string>

#include "utils/file_helpers.h"

namespace varnel_test {

// A fresh, empty folder under the user's temporary folder, removed again
// when the object goes away. path ends in "\".
class ScratchFolder {
 public:
  explicit ScratchFolder(const char* name) {
    path = varnel::TempFolder(true) + "varnel_" + name + "_" + std::to_string(GetCurrentProcessId()) + "\\";
    varnel::DeleteFolderTree(path, true);
    CreateDirectoryA(path.c_str(), nullptr);
  }
  ~ScratchFolder() { varnel::DeleteFolderTree(path, true); }
  std::string path;
};

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace varnel_test
