#include "dialogs/message_markup.h"

#include <cctype>

namespace varnel {
namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// True when the doubled backslash at `at` begins a network path
// ("\\server\share"): it starts the text or follows a character that
// cannot end a word (a blank, a quote, a bracket, the ">" of a tag), and the
// name after it reaches another backslash before the next blank.
bool StartsNetworkPath(std::string_view text, std::size_t at) {
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
// backslash begins a network path, which is shown as written; "<P>" becomes
// a line break and "<T>" a tab (any case). None of these can form or break
// up another, so one pass does them all.
std::string ReplaceEscapesAndBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : 0;
    const char third = i + 2 < text.size() ? text[i + 2] : 0;
    if (c == '\\' && next == '\\' && (third == 'n' || third == 't')) {
      if (StartsNetworkPath(text, i)) {
        out += "\\\\";
        ++i;
        continue;
      }
      out += third == 'n' ? "\r\n" : "\t";
      i += 2;
      continue;
    }
    if (c == '<' && third == '>' && (next == 'P' || next == 'p' || next == 'T' || next == 't')) {
      out += next == 'P' || next == 'p' ? "\r\n" : "\t";
      i += 2;
      continue;
    }
    out += c;
  }
  return out;
}

}  // namespace

MarkupText ParseMarkup(std::string_view markup) {
  std::string text = ReplaceEscapesAndBreaks(markup);
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
  std::string markup = "<<b>";
  markup += MsgBoxHeading(caption);
  markup += "</b><P><P>";
  markup += text;
  markup += "<P>";
  return markup;
}

}  // namespace varnel
