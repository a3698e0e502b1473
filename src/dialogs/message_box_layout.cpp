#include "dialogs/message_box_layout.h"

#include <algorithm>
#include <cctype>

#include "utils/delimited_list.h"

namespace varnel {
namespace {

char Up(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

}  // namespace

MsgBoxButtonRow MsgBoxButtons(unsigned flags, const std::string& list) {
  // The results of each set, left to right (0: no further button).
  static constexpr unsigned char kSets[][3] = {
      {kIdOk},
      {kIdOk, kIdCancel},
      {kIdAbort, kIdRetry, kIdIgnore},
      {kIdYes, kIdNo, kIdCancel},
      {kIdYes, kIdNo},
      {kIdRetry, kIdCancel},
  };
  // The caption item of each result in the list (kMsgBoxButtonList order).
  static constexpr unsigned char kCaptionItem[] = {0, 0, 1, 4, 5, 6, 2, 3};
  MsgBoxButtonRow buttons;
  const unsigned set = flags & kMbButtonMask;
  if (set >= std::size(kSets)) return buttons;
  for (const int result : kSets[set])
    if (result != kIdNone) buttons.items[buttons.count++] = {SUB::ListItem(list, kCaptionItem[result]), result};
  return buttons;
}

int MsgBoxDefaultButton(unsigned flags, int buttonCount) {
  if (buttonCount <= 0) return 0;
  return static_cast<int>((flags & kMbDefaultButtonMask) >> 8) % buttonCount;
}

Size2 MsgBoxOuterSize(Size2 text, const FrameMetrics& m) {
  const int marginX = text.w < 200 ? 64 : 32;
  const int marginY = text.h < 39 ? 45 : 32;
  Size2 outer;
  outer.w = text.w + kMsgBoxBandWidth + 2 * marginX + 2 * m.frameW;
  outer.h = text.h + 36 + 2 * marginY + 2 * m.frameH + m.captionH;
  outer.w = std::max(outer.w, kMsgBoxMinWidth);
  return outer;
}

Rect2 CentreIn(const Rect2& work, Size2 size) {
  return {work.x + (work.w - size.w) / 2, work.y + (work.h - size.h) / 2, size.w, size.h};
}

Rect2 MsgBoxTextPlace(Size2 client, Size2 text) {
  Rect2 r;
  r.x = kMsgBoxBandWidth + (client.w - kMsgBoxBandWidth - text.w) / 2;
  r.y = (client.h - 36 - text.h) / 2;
  r.w = text.w;
  r.h = client.h - r.y - 39;
  return r;
}

Rect2 MsgBoxButtonPlace(Size2 client, int index, int count) {
  return {client.w - 10 - kMsgBoxButtonW * (count - index), client.h - 29, kMsgBoxButtonW,
          kMsgBoxButtonH};
}

int AltKeyChoice(const std::array<std::string, 3>& captions, char ch) {
  int chosen = -1;
  for (int i = 2; i >= 0; --i) {
    const std::string& c = captions[i];
    if (c.size() >= 2 && (c[1] == ch || c[1] == Up(ch))) chosen = i;
  }
  return chosen;
}

int LetterKeyChoice(const std::array<std::string, 3>& captions, char letter) {
  int chosen = -1;
  for (int i = 0; i < 3; ++i) {
    const std::string& c = captions[i];
    if (c.empty()) continue;
    const size_t amp = c.find('&');
    const size_t at = amp == std::string::npos ? 0 : amp + 1;
    if (at < c.size() && Up(c[at]) == Up(letter)) chosen = i;
  }
  return chosen;
}

}  // namespace varnel
