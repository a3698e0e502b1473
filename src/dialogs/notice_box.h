// The notice box: a longer text in a resizable window of class
// "VRichEditBox", with a read-only rich-text area and, when the notice
// carries an address, a bottom strip with one button that opens the address
// and closes the box. Shown from the agent's window thread; returns when the
// user has closed it.
#pragma once
#include <windows.h>

#include <string>

namespace varnel {

// Address is trimmed first. Text empty and a web address: the address is
// opened with the shell, no box, true. Text set: the box is shown, true
// once it is closed (false when its window could not be made). Both
// empty: false. Only http:// and https:// addresses
// are ever opened; any other address counts as none.
bool ShowNoticeBox(HWND owner, const std::string& title, const std::string& buttonCaption,
                   int charset, int fontSize, const std::string& fontName, int width, int height,
                   const std::string& address, const std::string& text);

}  // namespace varnel
