#include "dialogs/message_markup.h"

#include <cctype>

namespace varnel {
namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Replaces every occurrence of `from` (matched in `match`, which is either
// the text itself or an upper-cased copy of it) left to right, without
// rescanning what was inserted.
std::string ReplaceAll(const std::string& text, std::string_view from, std::string_view to,
                       bool ignoreCase) {
  const std::string hay = ignoreCase ? Upper(text) : text;
  const std::string needle = ignoreCase ? Upper(from) : std::string(from);
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = hay.find(needle, pos)) != std::string::npos; pos = hit + needle.size()) {
    out.append(text, pos, hit - pos);
    out.append(to);
  }
  out.append(text, pos, std::string::npos);
  return out;
}

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// True when the doubled backslash at `at` begins a network path
// ("\\server\share"): it starts the text or follows a character that
// cannot end a word (a blank, a quote, a bracket, the ">" of a tag), and the
// name after it reaches another backslash before the next blank.
bool StartsNetworkPath(const std::string& text, std::size_t at) {
  if (at > 0) {
    const char before = text[at - 1];
    if (IsAsciiAlnum(before) || before == '\\') return false;
  }
  for (std::size_t i = at + 2; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') return i > at + 2;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '<') return false;
  }
  return false;
}

// "\\n" becomes a line break and "\\t" a tab, except where the doubled
// backslash begins a network path, which is shown as written.
std::string ReplaceEscapes(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 2 < text.size() && text[i + 1] == '\\' &&
        (text[i + 2] == 'n' || text[i + 2] == 't')) {
      if (StartsNetworkPath(text, i)) {
        out += "\\\\";
        ++i;
        continue;
      }
      out += text[i + 2] == 'n' ? "\r\n" : "\t";
      i += 2;
      continue;
    }
    out += text[i];
  }
  return out;
}

}  // namespace

MarkupText ParseMarkup(std::string_view markup) {
  std::string text = ReplaceEscapes(std::string(markup));
  text = ReplaceAll(text, "<P>", "\r\n", true);
  text = ReplaceAll(text, "<T>", "\t", true);
  if (text.compare(0, 4, "<<b>") == 0) text.erase(0, 1);

  // Tags are found in an upper-cased copy; every deletion is made in both.
  MarkupText result;
  std::string upper = Upper(text);
  auto erase = [&](size_t pos, size_t n) {
    text.erase(pos, n);
    upper.erase(pos, n);
  };
  for (size_t open; (open = upper.find("<B>")) != std::string::npos;) {
    erase(open, 3);
    const size_t close = upper.find("</B>");
    if (close != std::string::npos && close >= open) {
      erase(close, 4);
      result.bold.push_back({static_cast<int>(open), static_cast<int>(close)});
    }
  }
  for (size_t close; (close = upper.find("</B>")) != std::string::npos;) erase(close, 4);
  result.text = std::move(text);
  return result;
}

std::string MsgBoxHeading(const std::string& caption) {
  const std::string_view titles = kMsgBoxTitleList;
  return titles.find(caption) != std::string_view::npos ? Upper(caption) : caption;
}

std::string TextWithHeading(const std::string& caption, const std::string& text) {
  return "<<b>" + MsgBoxHeading(caption) + "</b><P><P>" + text + "<P>";
}

}  // namespace varnel
