// The update agent's timer work: every tick of the agent window counts
// towards the next update check and runs it when one is due: fetch the
// .info, decide, then show the notice (auto-inform) or offer, download and
// install the new setup, shutting the product down and restarting it, and
// finally hand over to a new transient copy of the agent.
#pragma once
#include <windows.h>

namespace varnel {

// One tick of the agent window's timer (`window` is the agent window).
void JustDownloadInfoFile(HWND window);
// One check.
void PerformShot();
// The update; true when the new setup ran successfully.
bool PerformAutoUpdate();
// The notice; true when it was shown (or its address opened).
bool PerformAutoInform();
// Starts the plain agent to make a new transient copy, and ends this one.
void ReStartAutoUpdateExe();

// The update tick count (a check can only happen once it reaches 1);
// "/SleepX=" moves its start value.
void SetAutoUpdateTimerCount(int count);
int AutoUpdateTimerCount();

}  // namespace varnel
