#include "dialogs/message_box.h"

namespace varnel {
namespace {

struct MsgBoxFont {
  std::string face = "Tahoma";
  int charset = 1;
  int pointSize = 8;
};
MsgBoxFont g_font;

std::string TitleItem(int index) {
  static const char* const kTitles[] = {"Error", "Attention", "Confirm"};
  return kTitles[index];
}

std::string OrDefault(const std::string& s, const std::string& def) { return s.empty() ? def : s; }

}  // namespace

int MsgBoxShow(HWND owner, const std::string& text, const std::string& caption,
               const std::string& buttons, int charset, unsigned flags, unsigned timeoutMs) {
  // First version: the system's box with the markup turned into plain text.
  std::string body = text;
  if (owner == kMsgOwnerWithHeading) body = TextWithHeading(caption, text);
  const MarkupText plain = ParseMarkup(body);
  HWND realOwner = reinterpret_cast<UINT_PTR>(owner) <= 2 ? GetActiveWindow() : owner;
  return MessageBoxA(realOwner, plain.text.c_str(), caption.c_str(), flags & 0xFF);
}

void MsgBoxError(HWND owner, const std::string& text, const std::string& caption,
                 const std::string& buttons, int charset) {
  MsgBoxShow(owner, text, OrDefault(caption, TitleItem(0)), OrDefault(buttons, kMsgBoxButtonList),
             charset, kMbIconStop, 0);
}

void MsgBoxAttention(HWND owner, const std::string& text, const std::string& caption,
                     const std::string& buttons, int charset, unsigned timeoutMs) {
  MsgBoxShow(owner, text, OrDefault(caption, TitleItem(1)), OrDefault(buttons, kMsgBoxButtonList),
             charset, kMbIconExclamation, timeoutMs);
}

bool MsgBoxConfirm(HWND owner, const std::string& text, const std::string& caption,
                   const std::string& buttons, int charset, unsigned timeoutMs) {
  return MsgBoxShow(owner, text, OrDefault(caption, TitleItem(2)),
                    OrDefault(buttons, kMsgBoxButtonList), charset, kMbIconQuestion | 4,
                    timeoutMs) == kIdYes;
}

bool MsgBoxOkCancel(HWND owner, const std::string& text, const std::string& caption,
                    const std::string& buttons, int charset) {
  return MsgBoxShow(owner, text, OrDefault(caption, TitleItem(2)),
                    OrDefault(buttons, kMsgBoxButtonList), charset, kMbIconQuestion | 1, 0) == kIdOk;
}

void SetMsgBoxFont(const std::string& faceName, int pointSize, int charset) {
  g_font.face = faceName;
  if (pointSize != 0) g_font.pointSize = pointSize;
  g_font.charset = charset;
}

}  // namespace varnel
