#include "utils/delimited_list.h"

#include <algorithm>

#include "utils/text_rules.h"

namespace varnel {
namespace {

constexpr char kCandidateSeparators[] = "|*~^!@#$&\xFF";
constexpr char kAssemblySeparator = '\0';

// Trims blanks, tabs and line ends; control characters such as the 0x01 and
// 0x02 separators of the language list are kept.
bool IsTrimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsTrimmed(s[b])) ++b;
  while (e > b && IsTrimmed(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::size_t Find(const std::string& text, const std::string& what, bool caseInsensitive) {
  if (!caseInsensitive) return text.find(what);
  return UpperAscii(text).find(UpperAscii(what));
}

bool IsList(const std::string& s) { return s.size() >= 2 && s.front() == s.back(); }

// The items of a well-formed list; none for anything else.
std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> items;
  if (!IsList(list)) return items;
  const char sep = list[0];
  std::size_t start = 1;
  for (std::size_t i = 1; i < list.size(); ++i) {
    if (list[i] == sep) {
      items.push_back(list.substr(start, i - start));
      start = i + 1;
    }
  }
  return items;
}

std::string Join(const std::vector<std::string>& items, char sep) {
  if (items.empty()) return std::string();
  std::string out(1, sep);
  for (const std::string& item : items) {
    out += item;
    out += sep;
  }
  return out;
}

// Builds a list with the assembly separator, then gives it a printable one.
std::string Assemble(const std::vector<std::string>& items) {
  return SUB::ListReseparate(Join(items, kAssemblySeparator));
}

// A lone separator is no list.
std::string NotLone(std::string s) {
  if (s.size() == 1) s.clear();
  return s;
}

// Removes the run of blanks directly before position `eq` (an "=") and
// returns the new position of that "=".
std::size_t DropBlanksBefore(std::string& s, std::size_t eq) {
  std::size_t b = eq;
  while (b > 0 && s[b - 1] == ' ') --b;
  s.erase(b, eq - b);
  return b;
}

}  // namespace

int SUB::ListCount(const std::string& list) {
  if (!IsList(list)) return 0;
  return static_cast<int>(std::count(list.begin() + 1, list.end(), list[0]));
}

std::string SUB::ListItem(const std::string& list, int index, const char* def) {
  if (index == -1) index = ListCount(list) - 1;
  if (index < 0 || list.empty()) return def;
  // The first character is occurrence 1 of the separator; item i lies
  // between occurrences i + 1 and i + 2, so a missing closing separator
  // leaves the last item missing.
  const char sep = list[0];
  std::size_t start = 0;
  for (int i = 0; i < index; ++i) {
    start = list.find(sep, start + 1);
    if (start == std::string::npos) return def;
  }
  const std::size_t end = list.find(sep, start + 1);
  if (end == std::string::npos || end == start + 1) return def;
  return list.substr(start + 1, end - start - 1);
}

std::int64_t SUB::ListItemInt(const std::string& list, int index, std::int64_t def) {
  const std::string text = ListItem(list, index, "");
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size()) return def;
  // Accumulate as a negative number so that INT64_MIN converts too.
  constexpr std::int64_t kMin = INT64_MIN;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return def;
    const int digit = c - '0';
    // value * 10 - digit must not pass INT64_MIN (no 64-bit division: see
    // FloorDivide in utils/civil_days.h).
    if (value < kMin / 10 || (value == kMin / 10 && digit > -(kMin % 10))) return def;
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == kMin) return def;
    value = -value;
  }
  return value;
}

std::string SUB::ListValue(const std::string& list, const std::string& name,
                           bool caseInsensitive, bool dropAllBlanks,
                           const std::string& emptyDefault, const std::string& missingDefault) {
  if (list.size() <= 2 || list.front() != list.back()) return missingDefault;
  const char sep = list[0];
  std::string key = sep + name;
  if (name.size() < 2 || name.back() != '=') key += '=';  // "=" alone still gets one

  std::string text = list;
  if (text.find(' ') != std::string::npos) {
    if (dropAllBlanks) {
      for (std::size_t eq = text.find('='); eq != std::string::npos; eq = text.find('=', eq + 1))
        eq = DropBlanksBefore(text, eq);
    } else {
      const std::size_t eq = text.find('=');
      if (eq != std::string::npos) DropBlanksBefore(text, eq);
    }
  }

  const std::size_t at = Find(text, key, caseInsensitive);
  if (at == std::string::npos) return missingDefault;
  const std::size_t begin = at + key.size();
  std::size_t end = text.find(sep, begin);
  if (end == std::string::npos) end = text.size();
  if (end == begin) return emptyDefault;
  return text.substr(begin, end - begin);
}

int SUB::ListIndexOf(const std::string& list, const std::string& item, int def) {
  const std::string l = UpperAscii(Trim(list));
  const std::string it = UpperAscii(Trim(item));
  if (l.empty()) return def;
  const char sep = l[0];
  const std::size_t at = l.find(sep + it + sep);
  if (at == std::string::npos) return def;
  // Separators from the second character up to the found one, inclusive.
  if (at == 0) return 0;
  return static_cast<int>(std::count(l.begin() + 1, l.begin() + at + 1, sep));
}

bool SUB::ListContains(const std::string& list, const std::string& item, bool trim,
                       bool caseInsensitive) {
  const std::string l = trim ? Trim(list) : list;
  const std::string it = trim ? Trim(item) : item;
  if (l.empty() || it.empty()) return false;
  const char sep = l[0];
  return Find(l, sep + it + sep, caseInsensitive) != std::string::npos;
}

namespace {

std::string NameOrValue(const std::string& list, bool trim, bool wantName) {
  std::vector<std::string> parts;
  for (const std::string& item : Split(list)) {
    const std::size_t eq = item.find('=');
    std::string part;
    if (eq != std::string::npos) part = wantName ? item.substr(0, eq) : item.substr(eq + 1);
    parts.push_back(trim ? Trim(part) : part);
  }
  return Assemble(parts);
}

}  // namespace

std::string SUB::ListNames(const std::string& list, bool trim) {
  return NameOrValue(list, trim, true);
}

std::string SUB::ListValues(const std::string& list, bool trim) {
  return NameOrValue(list, trim, false);
}

std::string SUB::ListZip(const std::string& names, const std::string& values,
                         bool dropTrailingEmpty) {
  const std::string n = dropTrailingEmpty ? ListTrimEmpty(names, true, false) : names;
  const std::string v = dropTrailingEmpty ? ListTrimEmpty(values, true, false) : values;
  const std::vector<std::string> nameItems = Split(n), valueItems = Split(v);
  const std::size_t count = std::max(nameItems.size(), valueItems.size());
  std::vector<std::string> items;
  for (std::size_t i = 0; i < count; ++i) {
    items.push_back((i < nameItems.size() ? nameItems[i] : std::string()) + "=" +
                    (i < valueItems.size() ? valueItems[i] : std::string()));
  }
  return Assemble(items);
}

std::string SUB::ListDelete(const std::string& list, int index) {
  if (list.empty() || index < 0 || index >= ListCount(list)) return list;
  std::vector<std::string> items = Split(list);
  items.erase(items.begin() + index);
  return Join(items, list[0]);
}

std::string SUB::ListSetItem(const std::string& list, int index, const std::string& value) {
  if (index < 0) return list;
  const std::string l = list.empty() ? std::string("|") : list;
  const char sep = l[0];
  std::vector<std::string> items = Split(l);
  const std::size_t needed = static_cast<std::size_t>(index) + 1;
  if (items.size() < needed) items.resize(needed);
  items[index] = value;
  if (value.find(sep) != std::string::npos) return Assemble(items);
  return Join(items, sep);
}

std::string SUB::ListFromArray(const std::vector<std::string>& items, bool unique) {
  const std::string list = Assemble(items);
  return unique ? ListUnique(list) : list;
}

std::string SUB::ListAppend(const std::string& list, const std::vector<std::string>& items,
                            bool unique) {
  if (list.empty()) return ListFromArray(items, unique);
  const char sep = list[0];
  std::string out = list;
  // A list that lost its closing separator gets it back, so that its last
  // item is not glued to the first appended one.
  if (out.size() < 2 || out.back() != sep) out += sep;
  const bool clash = std::any_of(items.begin(), items.end(), [sep](const std::string& s) {
    return s.find(sep) != std::string::npos;
  });
  if (clash) {
    std::vector<std::string> all = Split(out);
    all.insert(all.end(), items.begin(), items.end());
    out = Assemble(all);
  } else {
    for (const std::string& item : items) {
      out += item;
      out += sep;
    }
    out = NotLone(out);
  }
  return unique ? ListUnique(out) : out;
}

std::string SUB::ListReverse(const std::string& list) {
  if (!IsList(list)) return NotLone(list);
  std::vector<std::string> items = Split(list);
  std::reverse(items.begin(), items.end());
  return Join(items, list[0]);
}

std::string SUB::ListUnique(const std::string& list) {
  if (!IsList(list)) return NotLone(list);
  std::vector<std::string> kept;
  // Keys seen so far, sorted (a sorted vector keeps the stub free of the
  // runtime's tree code that std::set links).
  std::vector<std::string> keys;
  for (const std::string& item : Split(list)) {
    if (item.empty()) continue;
    std::string key = UpperAscii(Trim(item));
    const auto at = std::lower_bound(keys.begin(), keys.end(), key);
    if (at != keys.end() && *at == key) continue;
    keys.insert(at, std::move(key));
    kept.push_back(item);
  }
  return Join(kept, list[0]);
}

std::string SUB::ListTrimEmpty(const std::string& list, bool atEnd, bool atStart) {
  if (!IsList(list)) return NotLone(list);
  std::string out = list;
  const char sep = out[0];
  if (atEnd)
    while (out.size() >= 2 && out[out.size() - 2] == sep) out.pop_back();
  if (atStart) {
    std::size_t empty = 0;  // empty items at the start
    while (empty + 2 <= out.size() && out[empty + 1] == sep) ++empty;
    out.erase(0, empty);
  }
  return NotLone(out);
}

std::string SUB::ListReseparate(const std::string& list) {
  if (list.empty() || list == std::string(1, kAssemblySeparator)) return std::string();
  std::string out = list;
  if (!IsList(out)) out = kAssemblySeparator + out + kAssemblySeparator;
  if (out.find(kAssemblySeparator) == std::string::npos) {
    const char sep = out[0];  // a copy: replace() would see out[0] change
    std::replace(out.begin(), out.end(), sep, kAssemblySeparator);
  }
  for (const char* c = kCandidateSeparators; *c; ++c) {
    if (out.find(*c) == std::string::npos) {
      std::replace(out.begin(), out.end(), kAssemblySeparator, *c);
      break;
    }
  }
  return NotLone(out);
}

}  // namespace varnel
