// Small helpers that the stand-in programs (the test engine and the test
// product) share: their own path, their command line and the splitting of
// an option text. Like the stub, they keep paths as UTF-8 and use the wide
// functions of Windows, so that they take and report any path.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "utils/wide_text_win32.h"

namespace test_tools {

// This program's full path (UTF-8); "" when it can't be read.
inline std::string OwnPath() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
  return n < buffer.size() ? varnel::Utf8(buffer.data(), n) : std::string();
}

// The raw command line as UTF-8.
inline std::string CommandLineText() { return varnel::Utf8(GetCommandLineW()); }

// Splits at blanks and line ends outside double quotes; the quotes
// themselves are dropped.
inline std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  bool quoted = false, any = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t' || c == '\r' || c == '\n') && !quoted) {
      if (any) out.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) out.push_back(current);
  return out;
}

}  // namespace test_tools
