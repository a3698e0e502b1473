// Small helpers that the stand-in programs (the test engine and the test
// product) share: their own path and the splitting of an option text.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace test_tools {

// This program's full path; "" when it can't be read.
inline std::string OwnPath() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return std::string(buffer, n < MAX_PATH ? n : 0);
}

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
