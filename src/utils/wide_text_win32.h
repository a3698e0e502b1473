// The Win32 boundary of the stub's texts. Inside, paths and other texts
// from Windows are UTF-8 in std::string; every call to Windows that takes
// or gives a path uses the wide ("W") function, converting here:
//
//   DeleteFileW(Wide(path).c_str());
//   std::string folder = Utf8(buffer, n);
//
// Texts from packages (language strings, markup, titles) keep their own
// code pages and go to the ANSI functions as they stand.
#pragma once

#include <cstddef>
#include <string>

#include "utils/text_rules.h"

namespace varnel {

// UTF-8 to UTF-16. Text that is not valid UTF-8 is read in the ANSI code
// page: names in packages, settings files and command lines made by older
// builds and tools are ANSI, and stay readable.
std::wstring Wide(const std::string& text);
std::wstring Wide(const char* text);

// UTF-16 from Windows to UTF-8; n characters, or up to the terminator when
// n is npos.
std::string Utf8(const wchar_t* text, std::size_t n = static_cast<std::size_t>(-1));
inline std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

// A UTF-8 text (a path) for the ANSI functions of a box or a log shown in
// the system's code page: characters that code page lacks become '?'.
std::string AnsiText(const std::string& utf8);

}  // namespace varnel
