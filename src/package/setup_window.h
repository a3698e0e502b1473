// What the setup run and the web installer need of the stub window, as a
// small interface that the window implements: package/ never reaches into
// startup/ for it.
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
  virtual void ShowActivityBar(bool show) = 0;
  // The sink of the window's progress bars.
  virtual ProgressCallbackFn ProgressSink() = 0;
  // True once the user has closed the window for good: the setup is over.
  virtual bool CloseRequested() = 0;
};

}  // namespace varnel
