// The rules of the notice box that need no window: where the text area and
// the button go, which face the text takes, where the box stands, and which
// addresses it may hand to the shell.
#pragma once
#include <string>

#include "dialogs/message_box_layout.h"

namespace varnel {

constexpr int kNoticeStripHeight = 43;  // bottom strip with the button
constexpr int kNoticeButtonW = 160;
constexpr int kNoticeButtonH = 25;
constexpr int kNoticeTextInset = 3;     // text area from the left edge
constexpr int kNoticeTextFontHeight = 15;

struct NoticeLayout {
  Rect2 text;
  Rect2 button;  // empty when the box has no address
};

// Text area and button in a client area of `client`; the bottom strip and
// the button only when the box carries an address.
NoticeLayout LayoutNoticeBox(Size2 client, bool hasAddress);

// The text area's face: "Verdana", or the given face when it is set and is
// not exactly "Tahoma".
std::string NoticeTextFace(const std::string& fontName);

// Top-left corner of a box of `size` centred on a screen of `screen`
// (the whole screen, not the work area), truncated toward zero.
Rect2 CentreOnScreen(Size2 screen, Size2 size);

// True for an http:// or https:// address (any case) with something after
// the scheme. The notice's address comes from a file fetched over the
// network: anything else (a share, a local program, another protocol) is
// never handed to the shell, nor one that holds a quote, a blank or a
// control character.
bool IsWebAddress(const std::string& address);

}  // namespace varnel
