// What the message box and the notice box share: their window class and
// their font. Defined in message_box.cpp.
#pragma once
#include <windows.h>

namespace varnel {

// Registers a window class of the process's module: arrow cursor, button-face
// background, redrawn on every resize, double clicks passed on. False when
// the class could not be registered (an existing one counts as registered).
bool RegisterDialogClass(const char* name, WNDPROC proc);

// A normal-weight proportional font of the face and character set; height in
// pixels as CreateFont takes it (negative: the character height).
HFONT MakeDialogFont(int height, int charset, const char* face);

}  // namespace varnel
