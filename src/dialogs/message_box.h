// The markup message box: every error, warning and question the stub shows
// goes through here. A modal, top-most window of class "VMsgBox" with a
// dark band and icon at the left, a read-only rich-text area rendering the
// markup of message_markup.h, and up to three buttons whose captions come
// from a delimited list (kMsgBoxButtonList order).
//
// Owner: a window handle, or one of the kinds below. Charset: the font
// character set the text is written in (177/178 turn the box right-to-left).
// TimeoutMs: 0 = none; a time-out presses the first button.
#pragma once
#include <windows.h>

#include <string>

#include "dialogs/message_box_layout.h"
#include "dialogs/message_markup.h"

namespace varnel {

// Owner kinds; each makes the window active at the call the owner.
// With heading: the caption is shown as a bold heading above the text.
inline const HWND kMsgOwnerWithHeading = reinterpret_cast<HWND>(0);
inline const HWND kMsgOwnerActive = reinterpret_cast<HWND>(1);
// The close command of the box's window menu is greyed out.
inline const HWND kMsgOwnerNoClose = reinterpret_cast<HWND>(2);

// The class name of the box window.
inline constexpr const char* kMsgBoxClass = "VMsgBox";

// Core: shows a box and returns the button's result, or 0 when it was
// closed without one (Escape, the close command).
int MsgBoxShow(HWND owner, const std::string& text, const std::string& caption,
               const std::string& buttons, int charset, unsigned flags, unsigned timeoutMs);

// Stop icon, OK. Empty caption: "Error"; empty buttons: kMsgBoxButtonList.
void MsgBoxError(HWND owner, const std::string& text, const std::string& caption = "",
                 const std::string& buttons = "", int charset = 0);
// Exclamation icon, OK. Empty caption: "Attention".
void MsgBoxAttention(HWND owner, const std::string& text, const std::string& caption = "",
                     const std::string& buttons = "", int charset = 0, unsigned timeoutMs = 0);
// Question icon, Yes and No; true for Yes (also when it times out).
// Empty caption: "Confirm".
bool MsgBoxConfirm(HWND owner, const std::string& text, const std::string& caption = "",
                   const std::string& buttons = "", int charset = 0, unsigned timeoutMs = 0);
// Question icon, OK and Cancel; true for OK. Empty caption: "Confirm".
bool MsgBoxOkCancel(HWND owner, const std::string& text, const std::string& caption = "",
                    const std::string& buttons = "", int charset = 0);

// Font of every later box. A point size of 0 keeps the current size.
// Initially "Tahoma", 8 point, character set 1 (the system default).
void SetMsgBoxFont(const std::string& faceName, int pointSize, int charset);

}  // namespace varnel
