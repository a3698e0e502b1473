#include "utils/text_rules.h"

#include <cstring>

namespace varnel {

std::string TrimText(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string BufferText(const char* buffer, std::size_t size) {
  const void* end = std::memchr(buffer, '\0', size);
  return std::string(buffer, end ? static_cast<std::size_t>(static_cast<const char*>(end) - buffer) : size);
}

bool IsAsciiText(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Every occurrence of from (found by find) replaced by to.
std::string ReplaceEvery(const std::string& text, const char* from, const std::string& to,
                         std::size_t (*find)(const std::string&, const char*, std::size_t)) {
  const std::size_t fromSize = std::strlen(from);
  if (fromSize == 0) return text;
  std::string out;
  std::size_t done = 0;
  for (std::size_t at = find(text, from, 0); at != std::string::npos; at = find(text, from, done)) {
    out.append(text, done, at - done);
    out += to;
    done = at + fromSize;
  }
  return out.append(text, done, std::string::npos);
}

std::size_t FindText(const std::string& text, const char* what, std::size_t from) {
  return text.find(what, from);
}

}  // namespace

std::size_t FindAsciiNoCase(const std::string& text, const char* what, std::size_t from) {
  const std::size_t size = std::strlen(what);
  if (size == 0) return from <= text.size() ? from : std::string::npos;
  for (std::size_t i = from; i + size <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < size && LowerAscii(text[i + k]) == LowerAscii(what[k])) ++k;
    if (k == size) return i;
  }
  return std::string::npos;
}

std::string JoinPath(const std::string& folder, CText name, char separator) {
  std::string path = folder;
  path += separator;
  path += name.c_str();
  return path;
}

bool EndsWithAsciiNoCase(const std::string& text, const char* tail) {
  const std::size_t size = std::strlen(tail);
  return size <= text.size() && FindAsciiNoCase(text, tail, text.size() - size) != std::string::npos;
}

std::string ReplaceAllText(const std::string& text, const char* from, const std::string& to) {
  return ReplaceEvery(text, from, to, FindText);
}

std::string ReplaceAllNoCase(const std::string& text, const char* from, const std::string& to) {
  return ReplaceEvery(text, from, to, FindAsciiNoCase);
}

}  // namespace varnel
