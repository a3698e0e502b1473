// What the message box and the notice box share: their window class, their
// font and their modal loop. Defined in message_box.cpp.
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

// Takes the thread's messages until `done` is set. keys, when given, sees
// each message first; true means it was handled and is not dispatched. A
// quit request is put back for the loop that owns it and ends this loop,
// destroying the box; so does an error of GetMessage, which would otherwise
// repeat for ever.
void RunDialogLoop(HWND box, const bool& done, bool (*keys)(const MSG&));

}  // namespace varnel
