// The progress sink shared by extraction and downloads: the stub window's
// two progress bars. Platform-free declaration; the stub window implements it.
#pragma once
#include <string>

#include "download/progress_sink.h"

namespace varnel {

// The stub window's progress callback; does nothing before the window exists.
// The text is not shown.
void ProgressCallback(int kind, int position, int maximum, const std::string& text, int step);

}  // namespace varnel
