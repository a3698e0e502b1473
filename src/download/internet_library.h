// WinINet is bound at run time, on the first download; the stub window
// releases it when its loop ends.
#pragma once

namespace varnel {

// Frees the internet library when a download loaded it; otherwise nothing.
void UnloadInternetLibrary();

}  // namespace varnel
