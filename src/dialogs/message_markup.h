// The small markup of message texts: line breaks, tabs and bold runs.
// Platform-free; the message box renders the result in its text area.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// A run of bold characters: [start, end) in the plain text, where a line
// break counts as the two characters CR LF (as the text control holds it).
struct BoldRange {
  int start = 0;
  int end = 0;
  bool operator==(const BoldRange& o) const { return start == o.start && end == o.end; }
};

struct MarkupText {
  std::string text;               // plain text: CR LF line breaks, tabs
  std::vector<BoldRange> bold;    // in the order the tags were found
};

// Turns markup into plain text and bold ranges:
//   "\\n" -> CR LF, "\\t" -> tab (case-sensitive);
//   "<P>" -> CR LF, "<T>" -> tab (any case);
//   a leading "<<b>" acts as "<b>";
//   "<b>".."</b>" (any case) mark bold runs; a stray "</b>" is dropped.
// Every other character, a lone "<" or any other tag included, stays.
MarkupText ParseMarkup(std::string_view markup);

// The built-in titles of the three kinds of box, as a delimited list.
inline constexpr const char* kMsgBoxTitleList = "|Error|Attention|Confirm|";

// The bold heading a box without owner puts in front of its text: the
// caption, upper-cased when it is (part of) a built-in title.
std::string MsgBoxHeading(const std::string& caption);

// The text of a box without owner: heading in bold, an empty line, the
// text and a final line break, written in markup.
std::string TextWithHeading(const std::string& caption, const std::string& text);

}  // namespace varnel
