#include "utils/utf8_files.h"

#include <windows.h>

#include "utils/wide_text_win32.h"

namespace varnel {

namespace {

std::wstring Convert(UINT codePage, DWORD flags, const char* text, int n) {
  std::wstring out;
  if (n <= 0) return out;
  const int size = MultiByteToWideChar(codePage, flags, text, n, nullptr, 0);
  if (size <= 0) return out;
  out.resize(static_cast<std::size_t>(size));
  MultiByteToWideChar(codePage, flags, text, n, &out[0], size);
  return out;
}

std::wstring WideOf(const char* text, std::size_t length) {
  const int n = static_cast<int>(length);
  if (n <= 0) return std::wstring();
  std::wstring out = Convert(CP_UTF8, MB_ERR_INVALID_CHARS, text, n);
  return out.empty() ? Convert(CP_ACP, 0, text, n) : out;
}

}  // namespace

std::wstring Wide(const std::string& text) { return WideOf(text.data(), text.size()); }

std::wstring Wide(const char* text) { return text ? WideOf(text, lstrlenA(text)) : std::wstring(); }

std::string Utf8(const wchar_t* text, std::size_t n) {
  std::string out;
  if (!text) return out;
  const int length = n == static_cast<std::size_t>(-1) ? lstrlenW(text) : static_cast<int>(n);
  if (length <= 0) return out;
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return out;
  out.resize(static_cast<std::size_t>(size));
  WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], size, nullptr, nullptr);
  return out;
}

std::string AnsiText(const std::string& utf8) {
  if (IsAsciiText(utf8)) return utf8;
  const std::wstring wide = Wide(utf8);
  std::string out;
  const int length = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return out;
  out.resize(static_cast<std::size_t>(size));
  WideCharToMultiByte(CP_ACP, 0, wide.data(), length, &out[0], size, nullptr, nullptr);
  return out;
}

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
  return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

bool RemoveFileUtf8(const std::string& path) {
  return DeleteFileW(Wide(path).c_str()) != 0 || GetFileAttributesW(Wide(path).c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace varnel
