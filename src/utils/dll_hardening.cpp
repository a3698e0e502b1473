#include "utils/dll_hardening.h"

#include <windows.h>

#include <string>

#include "utils/text_rules.h"
#include "utils/wide_text_win32.h"

namespace varnel {

HMODULE LoadSystemLibrary(const char* fileName) {
  wchar_t system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  return LoadLibraryW(Wide(JoinPath(Utf8(system, n), fileName)).c_str());
}

void RestrictDllSearchPath() {
  // Removes the current folder from the search order on every version.
  SetDllDirectoryW(L"");
  // Where available, limit the search to System32 as well.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                 reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                           : nullptr;
  if (setDefault) setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
}

}  // namespace varnel
