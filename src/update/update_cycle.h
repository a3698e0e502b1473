// The update agent's timer work: every tick of the agent window counts
// towards the next update check and runs it when one is due.
#pragma once
#include <windows.h>

namespace varnel {

// One tick of the agent window's timer.
void JustDownloadInfoFile(HWND window);

// The update tick count (a check can only happen once it reaches 1);
// "/SleepX=" moves its start value.
void SetAutoUpdateTimerCount(int count);
int AutoUpdateTimerCount();

}  // namespace varnel
