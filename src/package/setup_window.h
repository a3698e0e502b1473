// What the setup run, the extraction and the web installer need of the stub
// window and of the process that started them, as a small interface that
// start-up implements and attaches: package/ never reaches into startup/.
#pragma once
#include <windows.h>

#include <string>

#include "download/progress_sink.h"

namespace varnel {

class SetupWindow {
 public:
  virtual ~SetupWindow() = default;
  // The window (owner of boxes, shown by a download); null when there is none.
  virtual HWND Handle() = 0;
  virtual HWND StatusLabel() = 0;
  virtual void Show(bool show) = 0;
  // Waits, dispatching messages, until the window has been visible for a
  // short minimum since it last appeared, so that a person sees it rather
  // than a flash; returns at once when it is hidden or has been up that long.
  virtual void LetBeSeen() = 0;
  virtual void ShowActivityBar(bool show) = 0;
  // The sink of the window's progress bars.
  virtual ProgressCallbackFn ProgressSink() = 0;
  // The effect of `count` step events of `progress` (for the window's own
  // sink done in one move per bar), then the bars painted.
  virtual void ProgressSteps(ProgressCallbackFn progress, int count) = 0;
  // From now on AutoPlay is refused while disks are changed.
  virtual void RefuseAutoPlay() = 0;
  // True once the user has closed the window for good: the setup is over.
  virtual bool CloseRequested() = 0;
};

// What the setup run takes from the process's start.
struct SetupRunFacts {
  std::string argumentText;   // the stub's arguments, passed on to the engine
  std::string spanFirstDisk;  // the first disk file a span copy runs from, or ""
  bool hideSwitch = false;    // "/hide" was given
  bool isUpdateAgent = false; // the package is an update agent
};

// Start-up attaches the window and the facts before the setup work runs;
// until then a window that does nothing and empty facts are current.
void AttachSetupWindow(SetupWindow* window, const SetupRunFacts& facts);
SetupWindow& CurrentSetupWindow();
const SetupRunFacts& CurrentSetupRun();

}  // namespace varnel
