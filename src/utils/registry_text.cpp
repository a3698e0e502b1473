#include "utils/registry_text.h"

#include <string_view>

#include <cctype>
#include <cstring>

#include "utils/text_format.h"
#include "utils/text_rules.h"

namespace varnel {
namespace {

}  // namespace

RegistryRoot RegistryRootFromName(const std::string& name) {
  struct Entry {
    const char* longName;
    const char* shortName;
    RegistryRoot root;
  };
  static const Entry kRoots[] = {
      {"HKEY_CLASSES_ROOT", "HKCR", RegistryRoot::ClassesRoot},
      {"HKEY_CURRENT_USER", "HKCU", RegistryRoot::CurrentUser},
      {"HKEY_LOCAL_MACHINE", "HKLM", RegistryRoot::LocalMachine},
      {"HKEY_USERS", "HKU", RegistryRoot::Users},
      {"HKEY_CURRENT_CONFIG", "HKCC", RegistryRoot::CurrentConfig},
      {"HKEY_DYN_DATA", "HKDD", RegistryRoot::DynData},
  };
  std::string upper = UpperAscii(name);
  for (const Entry& e : kRoots)
    if (upper == e.longName || upper == e.shortName) return e.root;
  return RegistryRoot::CurrentUser;
}

RegistryPath ParseRegistryPath(const std::string& path) {
  std::string p = TrimText(path);
  RegistryPath result;
  if (UpperAscii(p.substr(0, 2)) != "HK") {
    result.subkey = p;
    return result;
  }
  std::size_t slash = p.find('\\');
  result.root = RegistryRootFromName(slash == std::string::npos ? p : p.substr(0, slash));
  if (slash != std::string::npos) result.subkey = p.substr(slash + 1);
  return result;
}

std::string RegistryValueText(std::uint32_t type, const unsigned char* data, std::size_t size) {
  if (!data) return std::string();
  if (type == kRegDword && size == 4) {
    std::uint32_t value = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
    return DecimalText(value);
  }
  if (type == kRegMultiSz && size > 2) {
    while (size > 0 && data[size - 1] == 0) --size;
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
      if (data[i] == 0)
        text += "<0>";
      else
        text += static_cast<char>(data[i]);
    }
    return text;
  }
  const void* zero = std::memchr(data, 0, size);
  std::size_t length = zero ? static_cast<const unsigned char*>(zero) - data : size;
  return std::string(reinterpret_cast<const char*>(data), length);
}

namespace {

std::int64_t ConvertInt64(const std::string& text, std::int64_t fallback, bool hexAllowed) {
  std::string t = TrimText(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  int base = 10;
  if (hexAllowed && i < t.size() && t[i] == '$') {
    base = 16;
    ++i;
  } else if (hexAllowed && i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size()) return fallback;
  std::uint64_t value = 0;
  const std::uint64_t limit = negative ? 0x8000000000000000ULL : 0x7FFFFFFFFFFFFFFFULL;
  for (; i < t.size(); ++i) {
    int digit;
    unsigned char c = static_cast<unsigned char>(t[i]);
    if (std::isdigit(c))
      digit = c - '0';
    else if (base == 16 && std::isxdigit(c))
      digit = std::tolower(c) - 'a' + 10;
    else
      return fallback;
    if (value > (limit - digit) / base) return fallback;
    value = value * base + digit;
  }
  if (negative) return value == 0x8000000000000000ULL ? INT64_MIN : -static_cast<std::int64_t>(value);
  return static_cast<std::int64_t>(value);
}

}  // namespace

std::int64_t TextToInt64(const std::string& text, std::int64_t fallback) { return ConvertInt64(text, fallback, true); }

std::int64_t DecimalTextToInt64(const std::string& text, std::int64_t fallback) {
  return ConvertInt64(text, fallback, false);
}

namespace {

// Blanks, tabs and line ends cut off at both ends.
std::string_view IniTrimmed(std::string_view s) {
  const char* const kBlanks = " \t\r\n";
  const std::size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

bool IniSameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::string IniTextWithValue(const std::string& text, const std::string& section, const std::string& key,
                             const std::string& value) {
  std::string line = key;
  line += '=';
  line += value;
  line += "\r\n";
  const std::string_view all(text);
  bool inSection = false;
  std::size_t insertAt = std::string::npos;  // just after the section's last line
  std::size_t replaceEnd = std::string::npos;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string_view row = IniTrimmed(all.substr(at, end - at));
    if (!row.empty() && row[0] == '[') {
      if (inSection) break;
      const std::size_t close = row.find(']');
      inSection = IniSameName(IniTrimmed(row.substr(1, close == std::string_view::npos ? close : close - 1)),
                              IniTrimmed(section));
      if (inSection) insertAt = end;
    } else if (inSection) {
      const std::size_t equals = row.find('=');
      if (equals != std::string_view::npos && IniSameName(IniTrimmed(row.substr(0, equals)), IniTrimmed(key))) {
        insertAt = at;
        replaceEnd = end;
        break;
      }
      if (!row.empty()) insertAt = end;
    }
    at = end;
  }
  std::string out;
  if (insertAt == std::string::npos) {
    out = text;
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    out += '[';
    out += section;
    out += "]\r\n";
    out += line;
    return out;
  }
  out.assign(text, 0, insertAt);
  if (!out.empty() && out.back() != '\n') out += "\r\n";
  out += line;
  out.append(text, replaceEnd == std::string::npos ? insertAt : replaceEnd, std::string::npos);
  return out;
}

std::string IniValue(const std::string& text, const std::string& section, const std::string& key, bool& found) {
  found = false;
  const std::string_view all(text);
  bool inSection = false;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string_view row = IniTrimmed(all.substr(at, end - at));
    at = end;
    if (!row.empty() && row[0] == '[') {
      const std::size_t close = row.find(']');
      inSection = IniSameName(IniTrimmed(row.substr(1, close == std::string_view::npos ? close : close - 1)),
                              IniTrimmed(section));
      continue;
    }
    if (!inSection || row.empty() || row[0] == ';') continue;
    const std::size_t equals = row.find('=');
    const std::string_view name = IniTrimmed(row.substr(0, equals));
    if (!IniSameName(name, IniTrimmed(key))) continue;
    found = true;
    std::string_view value = equals == std::string_view::npos ? std::string_view() : IniTrimmed(row.substr(equals + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
      value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return std::string();
}

}  // namespace varnel
