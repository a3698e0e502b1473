// The arithmetic of the message box: which buttons a flags word shows and
// with which captions, how big the text area and the box become, where the
// controls go, and which button a key chooses. Platform-free so that the
// rules can be tested without a window.
#pragma once
#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// Flag bits of a box (the values of the system's message box).
constexpr unsigned kMbButtonMask = 0x0000000F;
constexpr unsigned kMbIconMask = 0x000000F0;
constexpr unsigned kMbIconStop = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconExclamation = 0x30;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbDefaultButtonMask = 0x00000F00;
constexpr unsigned kMbRightAligned = 0x00080000;
constexpr unsigned kMbRtlReading = 0x00100000;
constexpr unsigned kMbNoClose = 0x10000000;

// Button results (the system's dialog command identifiers).
enum MsgBoxResult : int {
  kIdNone = 0, kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4,
  kIdIgnore = 5, kIdYes = 6, kIdNo = 7,
};

// Built-in button captions; a caller's list keeps these positions:
// 0 OK, 1 Cancel, 2 Yes, 3 No, 4 Abort, 5 Retry, 6 Ignore.
inline constexpr const char* kMsgBoxButtonList = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

struct MsgBoxButton {
  std::string caption;
  int result = kIdNone;
};

// The buttons of a flags word, left to right, captions taken from `list`
// (a missing item gives an empty caption). Unknown sets give no button.
// The buttons of a box, left to right.
struct MsgBoxButtonRow {
  std::array<MsgBoxButton, 3> items;
  std::size_t count = 0;
  std::size_t size() const { return count; }
  const MsgBoxButton& operator[](std::size_t i) const { return items[i]; }
  MsgBoxButton& operator[](std::size_t i) { return items[i]; }
};
MsgBoxButtonRow MsgBoxButtons(unsigned flags, const std::string& list);

// Index of the default button: bits 8-11 modulo the number of buttons.
int MsgBoxDefaultButton(unsigned flags, int buttonCount);

struct Size2 {
  int w = 0;
  int h = 0;
  bool operator==(const Size2& o) const { return w == o.w && h == o.h; }
};

// Wrap width of the text area: wider lines count once more per 600 pixels.
constexpr int kMsgBoxMaxTextWidth = 600;

// Size W x H of the text block: widest line + 10 (capped at 600), height a
// line height per line and per full 600 pixels of it. `lineWidth` gives a
// line's pixel width; an empty text is measured as one blank.
template <class LineWidth>  // int(std::string_view line)
Size2 MeasureMsgBoxText(const std::string& text, int lineHeight, LineWidth lineWidth) {
  const std::string_view measured = text.empty() ? std::string_view(" ") : std::string_view(text);
  Size2 size;
  size_t pos = 0;
  while (true) {
    const size_t br = measured.find("\r\n", pos);
    const std::string_view line =
        measured.substr(pos, br == std::string_view::npos ? std::string_view::npos : br - pos);
    const bool last = br == std::string_view::npos;
    if (!(last && line.empty())) {
      const int width = lineWidth(line);
      size.w = std::max(size.w, width + 10);
      size.h += (width / kMsgBoxMaxTextWidth + 1) * lineHeight;
    }
    if (last) break;
    pos = br + 2;
  }
  size.w = std::min(size.w, kMsgBoxMaxTextWidth);
  return size;
}

// System metrics the outer size depends on.
struct FrameMetrics {
  int frameW = 0;
  int frameH = 0;
  int captionH = 0;
};

constexpr int kMsgBoxMinWidth = 360;
constexpr int kMsgBoxBandWidth = 54;      // dark band with the icon
constexpr int kMsgBoxButtonW = 70;
constexpr int kMsgBoxButtonH = 23;

// Outer size of the box for a text area of w x h.
Size2 MsgBoxOuterSize(Size2 text, const FrameMetrics& m);

struct Rect2 {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const Rect2& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

// Top-left corner that centres a box of `size` in the work area.
Rect2 CentreIn(const Rect2& workArea, Size2 size);

// Place of the text area of size `text` in a client area of `client`.
Rect2 MsgBoxTextPlace(Size2 client, Size2 text);

// Place of button `index` of `count` on the button row.
Rect2 MsgBoxButtonPlace(Size2 client, int index, int count);

// Keyboard choices among up to three captions (empty = no button there).
// Both return the chosen index or -1.
// Alt + character: the caption's second character equals ch or its upper
// case; the first button wins.
int AltKeyChoice(const std::array<std::string, 3>& captions, char ch);
// Letter A-Z: the character after the first "&" (or the first character)
// equals the letter, both upper-cased; the last button wins.
int LetterKeyChoice(const std::array<std::string, 3>& captions, char letter);

}  // namespace varnel
