#include "dialogs/notice_box_layout.h"

#include "utils/text_rules.h"

namespace varnel {

NoticeLayout LayoutNoticeBox(Size2 client, bool hasAddress) {
  NoticeLayout l;
  l.text = {kNoticeTextInset, 0, client.w - kNoticeTextInset,
            client.h - (hasAddress ? kNoticeStripHeight : 0)};
  if (hasAddress)
    l.button = {(client.w - kNoticeButtonW) / 2, client.h - 33, kNoticeButtonW, kNoticeButtonH};
  return l;
}

std::string NoticeTextFace(const std::string& fontName) {
  return fontName.empty() || fontName == "Tahoma" ? "Verdana" : fontName;
}

Rect2 CentreOnScreen(Size2 screen, Size2 size) {
  return {(screen.w - size.w) / 2, (screen.h - size.h) / 2, size.w, size.h};
}

bool IsWebAddress(const std::string& address) {
  // The shell takes the address as its own text: quotes, blanks and control
  // characters could make it more than one address, or a program's options.
  for (unsigned char c : address)
    if (c <= ' ' || c == '"' || c == 127) return false;
  const std::string upper = UpperAscii(address);
  for (const char* scheme : {"HTTP://", "HTTPS://"}) {
    const std::string s = scheme;
    if (upper.size() > s.size() && upper.compare(0, s.size(), s) == 0) return true;
  }
  return false;
}

}  // namespace varnel
