#include "download/internet_library.h"

namespace varnel {

// No download binds the library yet, so there is nothing to release.
void UnloadInternetLibrary() {}

}  // namespace varnel
