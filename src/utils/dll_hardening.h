// Keeps the process from loading DLLs out of its own folder: a setup file is
// typically started from a Downloads folder where anyone can drop a DLL named
// like a system library.
#pragma once
#include <windows.h>

namespace varnel {

// Loads a system library by its full path in the system folder, never from
// the program's folder: where the search cannot be restricted (Vista,
// Windows 7 without its update) a bare name would still find a library
// planted beside the setup file. Null when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* fileName);

// Restricts the DLL search path to the system folder. Call before anything
// else loads a library.
void RestrictDllSearchPath();

}  // namespace varnel
