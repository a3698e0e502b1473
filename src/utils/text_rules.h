// Small text rules that several subsystems share.
#pragma once
#include <string>

#include "utils/c_text.h"

namespace varnel {

// The text without blanks and control characters (anything up to ' ') at
// either end.
std::string TrimText(const std::string& text);

// The text in a fixed buffer of `size` bytes: up to its first zero byte,
// or all of it when there is none.
std::string BufferText(const char* buffer, std::size_t size);

// True when text holds only 7-bit characters, which every code page shares.
bool IsAsciiText(const std::string& text);

// The text with "a".."z" turned into "A".."Z"; every other byte unchanged.
std::string UpperAscii(std::string text);

// Position of what in text at or after from, comparing ASCII letters
// without regard to case; npos when absent.
std::size_t FindAsciiNoCase(const std::string& text, const char* what, std::size_t from = 0);

// folder + separator + name, built in one string.
std::string JoinPath(const std::string& folder, CText name, char separator = '\\');

// Whether text ends with tail, comparing ASCII letters without regard to case.
bool EndsWithAsciiNoCase(const std::string& text, const char* tail);

// Every occurrence of from replaced by to, left to right; inserted text is
// not searched again; an empty from changes nothing. The NoCase form ignores
// the case of ASCII letters.
std::string ReplaceAllText(const std::string& text, const char* from, const std::string& to);
std::string ReplaceAllNoCase(const std::string& text, const char* from, const std::string& to);

}  // namespace varnel
