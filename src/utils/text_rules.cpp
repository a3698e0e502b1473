#include "utils/text_rules.h"

namespace varnel {

std::string TrimText(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

template <typename Find>
std::string ReplaceEvery(const std::string& text, const std::string& from, const std::string& to, Find find) {
  if (from.empty()) return text;
  std::string out;
  std::size_t done = 0;
  for (std::size_t at = find(text, from, 0); at != std::string::npos; at = find(text, from, done)) {
    out.append(text, done, at - done);
    out += to;
    done = at + from.size();
  }
  return out.append(text, done, std::string::npos);
}

}  // namespace

std::size_t FindAsciiNoCase(const std::string& text, const std::string& what, std::size_t from) {
  if (what.empty()) return from <= text.size() ? from : std::string::npos;
  for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < what.size() && LowerAscii(text[i + k]) == LowerAscii(what[k])) ++k;
    if (k == what.size()) return i;
  }
  return std::string::npos;
}

std::string ReplaceAllText(const std::string& text, const std::string& from, const std::string& to) {
  return ReplaceEvery(text, from, to, [](const std::string& t, const std::string& f, std::size_t at) {
    return t.find(f, at);
  });
}

std::string ReplaceAllNoCase(const std::string& text, const std::string& from, const std::string& to) {
  return ReplaceEvery(text, from, to, [](const std::string& t, const std::string& f, std::size_t at) {
    return FindAsciiNoCase(t, f, at);
  });
}

}  // namespace varnel
