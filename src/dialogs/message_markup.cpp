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

}  // namespace

MarkupText ParseMarkup(std::string_view markup) {
  std::string text(markup);
  text = ReplaceAll(text, "\\\\n", "\r\n", false);
  text = ReplaceAll(text, "\\\\t", "\t", false);
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
