// A folder that this process makes itself, for this user alone (Win32).
#pragma once
#include <string>

#include "utils/win_handles.h"

namespace varnel {

// Creates `path` as a new folder whose access list grants the current user
// full control and nobody else anything (inherited by what is put in it).
// False when the folder exists already (it is left alone: someone else may
// have made it) or cannot be made. `hold` then keeps a handle on the new
// folder that denies renaming and removal until it is reset, so that the
// folder cannot be swapped for another while it is in use.
bool CreateFreshPrivateFolder(const std::string& path, FileHandle& hold);

}  // namespace varnel
