#include "startup/command_line.h"

#include <cctype>
#include <climits>

#include "utils/text_rules.h"

namespace varnel {
namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool StartsWithNoCase(const std::string& text, std::size_t at, const std::string& prefix) {
  if (at > text.size() || text.size() - at < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[at + i]) != Lower(prefix[i])) return false;
  return true;
}

std::string FileNameOf(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes every blank that stands directly before an "=".
std::string DropBlanksBeforeEquals(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '=')
      while (!out.empty() && out.back() == ' ') out.pop_back();
    out += c;
  }
  return out;
}

}  // namespace

std::size_t FindNoCase(const std::string& text, const std::string& what, std::size_t from) {
  return FindAsciiNoCase(text, what.c_str(), from);
}

bool ParseInt64(const std::string& text, std::int64_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  // Accumulate negatively so that INT64_MIN is representable.
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    int d = c - '0';
    // v * 10 - d must not pass INT64_MIN (constants only: a run-time 64-bit
    // division would link more runtime helpers into the 32-bit stub).
    if (v < INT64_MIN / 10 || (v == INT64_MIN / 10 && d > -(INT64_MIN % 10))) return false;
    v = v * 10 - d;
  }
  if (!negative) {
    if (v == INT64_MIN) return false;
    v = -v;
  }
  value = v;
  return true;
}

std::string ArgumentTextOf(const std::string& rawCommandLine, const std::string& exePath) {
  std::string name = FileNameOf(exePath);
  std::string rest = rawCommandLine;
  std::size_t at;
  if (!name.empty() && (at = FindNoCase(rest, name + "\"")) != std::string::npos) {
    rest.erase(0, at + name.size() + 1);
  } else if (!name.empty() && (at = FindNoCase(rest, name)) != std::string::npos) {
    rest.erase(0, at + name.size());
  } else if (!exePath.empty() && (at = FindNoCase(rest, exePath)) != std::string::npos) {
    rest.erase(at, exePath.size());
  } else {
    // Started under another form of its name ("setup" without extension,
    // a short 8.3 name): the program is still the first token, quoted or not.
    std::size_t i = 0;
    while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
    if (i < rest.size() && rest[i] == '"') {
      const std::size_t close = rest.find('"', i + 1);
      i = close == std::string::npos ? rest.size() : close + 1;
    } else {
      while (i < rest.size() && rest[i] != ' ' && rest[i] != '\t') ++i;
    }
    rest.erase(0, i);
  }
  rest = TrimText(rest);
  if (rest.size() == 1) rest.clear();
  return rest;
}

std::string ParamValueIn(const std::string& argumentText, const std::string& name,
                         const std::string& defaultValue) {
  std::string key = TrimText(name);
  char lead = !key.empty() && key[0] == '-' ? '-' : '/';
  std::string bare;
  for (char c : key)
    if (c != lead) bare += c;
  if (bare.empty() || bare.back() != '=') bare += '=';

  std::string args = " ";
  for (char c : argumentText)
    if (c != '"') args += c;
  args = DropBlanksBeforeEquals(args);

  // An item starts after every blank followed by the lead character.
  const char itemStart[] = {' ', lead, '\0'};
  std::size_t at = args.find(itemStart);
  while (at != std::string::npos) {
    std::size_t begin = at + 2;
    std::size_t next = args.find(itemStart, begin);
    if (StartsWithNoCase(args, begin, bare)) {
      std::size_t valueBegin = begin + bare.size();
      std::size_t valueEnd = next == std::string::npos ? args.size() : next;
      return TrimText(args.substr(valueBegin, valueEnd - valueBegin));
    }
    at = next;
  }
  return defaultValue;
}

std::int64_t ParamIntIn(const std::string& argumentText, const std::string& name,
                        std::int64_t defaultValue) {
  std::int64_t value;
  return ParseInt64(ParamValueIn(argumentText, name, ""), value) ? value : defaultValue;
}

bool HasParamIn(const std::string& argumentText, const std::string& flag) {
  std::string key = TrimText(flag);
  if (key.empty()) return false;
  return FindNoCase(argumentText + " ", key + " ") != std::string::npos;
}

}  // namespace varnel
