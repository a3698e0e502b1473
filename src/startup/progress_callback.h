// The progress sink shared by extraction and downloads: the stub window's
// two progress bars. Platform-free declaration; the stub window implements it.
#pragma once
#include <string>

namespace varnel {

enum ProgressKind : int {
  kProgressInit = 0,  // main bar: range 0..maximum, position, step; activity bar reset
  kProgressStep = 1,  // main bar one step; activity bar moves on
};

using ProgressCallbackFn = void (*)(int kind, int position, int maximum, const std::string& text,
                                    int step);

// The stub window's progress callback; does nothing before the window exists.
// The text is not shown.
void ProgressCallback(int kind, int position, int maximum, const std::string& text, int step);

}  // namespace varnel
