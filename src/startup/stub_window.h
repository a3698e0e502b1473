// The stub's main window: a small hidden top-level window with an icon, a
// status line, a progress bar and an activity bar. Its message loop is the
// process's one loop; the work starts from its first timer tick.
#pragma once
#include <windows.h>

#include <string>

#include "download/http_download.h"
#include "startup/progress_callback.h"

namespace varnel {

// Registers the class, creates the hidden window, runs the loop until the
// window ends, then tidies up (timer, abort flag, loop-end notification).
void WinMain();

// Close request: the first one only sets DownloadAbort and keeps the window
// (returns false); a later one returns true and the window is destroyed.
bool CloseMainWindow();
// Destruction: abort, remove the setup temporary folder, quit the loop.
void DestroyMainWindow();

// Class name of the stub window (also the single-instance key). Set by the
// role dispatch before any window exists.
void SetStubWindowClassName(const std::string& name);
const std::string& StubWindowClassName();

// Handles of the window and its controls; nullptr before WinMain creates them.
HWND MainWindow();
HWND StatusTextControl();
HWND ProgressBarControl();
HWND ActivityBarControl();

// The effect of `count` step calls of `progress`; for the stub window's own
// ProgressCallback done with one move per bar.
void ProgressSteps(ProgressCallbackFn progress, int count);

void ShowMainWindow(bool show);
void ShowActivityBar(bool show);

// Set by DestroyMainWindow; ends the message loop. Work running inside the
// first timer tick sees it turn true when the user has closed the window
// (second close request) and should end without starting anything new.
bool LoopExitRequested();

// Registers "QueryCancelAutoPlay"; from then on the window answers it with 1
// so that AutoPlay keeps quiet while disks are changed.
void RegisterAutoPlayQuery();
UINT AutoPlayQueryMessage();

// The window procedure (exposed for tests that drive it directly).
LRESULT CALLBACK StubWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace varnel
