// The progress sink shared by extraction and downloads: kind 0 starts a new
// range, kind 1 steps, kind 2 makes several steps in one move. In the stub the sink is the stub window's two bars.
#pragma once
#include <string>

namespace varnel {

enum ProgressKind : int {
  kProgressInit = 0,  // main bar: range 0..maximum, position, step; activity bar reset
  kProgressStep = 1,  // main bar one step; activity bar moves on
  kProgressSteps = 2, // main bar `step` steps in one move; activity bar as far
};

using ProgressCallbackFn = void (*)(int kind, int position, int maximum, const std::string& text,
                                    int step);

}  // namespace varnel
