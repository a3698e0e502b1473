// Keeps the process from loading DLLs out of its own folder: a setup file is
// typically started from a Downloads folder where anyone can drop a DLL named
// like a system library.
#pragma once

namespace varnel {

// Restricts the DLL search path to the system folder. Call before anything
// else loads a library.
void RestrictDllSearchPath();

}  // namespace varnel
