// The installed agent never works under its own name: it copies itself to
// "X_" + its name and starts the copy, and passes its command-line switches
// to a running copy as window messages.
#pragma once

namespace varnel {

// Makes and starts the X_ copy unless one is at work; returns its argument.
bool CreateAndRun_X_Exe(bool xWasRunning);
// Turns "/STOP=", "/WM_MSG=", "/TEST=" into messages to the running copy;
// true when it posted anything.
bool HandleParamOK(bool xWasRunning);

}  // namespace varnel
