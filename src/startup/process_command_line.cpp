// The command-line switches of this process, read through the rules of
// command_line.cpp from the system's raw command line.
#include <windows.h>

#include "startup/command_line.h"
#include "utils/file_helpers.h"
#include "utils/wide_text_win32.h"

namespace varnel {

std::string GetArgumentText() {
  const wchar_t* raw = GetCommandLineW();
  return ArgumentTextOf(raw ? Utf8(raw) : std::string(), ExePath(false));
}

std::string GetParamValue(const char* name, const char* defaultValue) {
  return ParamValueIn(GetArgumentText(), name, defaultValue);
}

std::int64_t GetParamInt(const char* name, std::int64_t defaultValue) {
  return ParamIntIn(GetArgumentText(), name, defaultValue);
}

bool HasParam(const char* flag) { return HasParamIn(GetArgumentText(), flag); }

}  // namespace varnel
