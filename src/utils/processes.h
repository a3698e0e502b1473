// Processes and windows: running a command with its output captured,
// finding a process by its image path, its main window, posting to it,
// closing, quitting or terminating it, and waiting for a process or a
// window to go away. Nothing here shows anything; each returns a plain
// result.
//
// Every lookup by path takes one source on every system: a process snapshot
// of the current session, each process's full image path read through a
// query that works across bitness and elevation. A process matches by the
// rule of ImageMatches (process_rules.h), names compared the way the file
// system compares them. When several processes match, the last one in
// snapshot order is taken.
#pragma once
#include <cstdint>
#include <string>

#include "utils/process_rules.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>

namespace varnel {

// Receives each new piece of output (standard output and standard error);
// setting stop ends the child.
using CaptureCallback = void (*)(void* user, const std::string& piece, bool& stop);

struct CaptureResult {
  bool success = false;  // started, and ended with exit code 0 in time
  std::string output;
  std::string errors;
  unsigned long exitCode = 0;
};

// Exit code of a run that could not start.
constexpr unsigned long kCaptureStartFailed = 21;
// Exit code given to a child that was stopped or ran out of time.
constexpr unsigned long kCaptureStopped = 255;

// Runs command (with parameters) at idle priority with its three standard
// handles on pipes; output is converted from the OEM to the ANSI code page.
// A timeLimitMs above 0 ends the child when it has run that long, and the
// run fails.
CaptureResult RunAndCapture(const std::string& command, const std::string& parameters, int showState,
                            CaptureCallback callback, void* user, std::uint32_t extraWaitMs,
                            std::uint32_t timeLimitMs = 0);

// Collects the top-level windows of one process (at most kMaxWindows) and
// picks its main window.
class TAnalizer {
 public:
  static constexpr std::size_t kMaxWindows = 2001;
  explicit TAnalizer(unsigned long processId) : processId_(processId) {}
  void Collect();
  // The best-scored window, or null when every window scores 0.
  HWND MainWindow() const;
  std::size_t Count() const { return windows_.size(); }

 private:
  static BOOL CALLBACK Visit(HWND window, LPARAM self);
  unsigned long processId_;
  std::vector<HWND> windows_;
};

// The full image path of a running process; "" when it can't be read.
std::string ProcessImagePath(unsigned long processId);

unsigned long FindProcessId(const std::string& imagePath, bool fullPathMatching);
HWND FindMainWindow(const std::string& imagePath, bool fullPathMatching);
// Posts to the main window of the process found, once that process, held
// open, is seen still to run the searched image.
bool PostProcessMessage(const std::string& imagePath, bool fullPathMatching, UINT message, LPARAM lParam,
                        WPARAM wParam);
// A top-level window of the class whose process runs the image (full path);
// null when there is none. For a program's own window, which another of its
// windows (a shown box) may outscore as the main window.
HWND FindProcessWindowOfClass(const std::string& imagePath, const std::string& className);
// WM_CLOSE with wParam 15 and lParam 255 (the update cycle's mark), then,
// when waitMs is above 0, WaitProcessGone.
bool CloseProcessWindow(const std::string& imagePath, bool fullPathMatching, std::uint32_t waitMs);
// WM_QUIT with wParam 15 and lParam 255; no wait.
bool QuitProcessWindow(const std::string& imagePath, bool fullPathMatching);
// Ends the process with exit code 0, after checking that the opened process
// still runs the searched image.
bool TerminateProcessByPath(const std::string& imagePath, bool fullPathMatching);
// Matches by full path (and short form) only.
bool IsProcessRunning(const std::string& imagePath);
// Polls every 100 ms, pumping messages, until the process is gone or
// limitMs (0: 1000) have passed; returns as soon as it is gone (true). A
// quit request of this thread ends the wait too (false).
bool WaitProcessGone(const std::string& imagePath, std::uint32_t limitMs);
// Pumps messages and sleeps 100 ms while a top-level window of the class
// and title exists (an empty text matches any). No limit.
void WaitWhileWindow(const std::string& className, const std::string& title);
// One pass over all top-level windows (see SurveyRecord).
TProcessData SurveyWindows(bool takeAll, const std::string& searchedPath, long long searchedProcessId);

}  // namespace varnel
#endif
