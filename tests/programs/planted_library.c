/* A library planted beside a setup file, as a download folder might hold
   one under the name of a system library. Loading it leaves the file
   "PLANTED_LIBRARY_LOADED" in the folder of the program that loaded it. It
   exports the version functions so that a program importing version.dll
   can start with it. */
#include <windows.h>

static void Mark(void) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
  while (n > 0 && path[n - 1] != '\\') --n;
  path[n] = 0;
  if (n + 32 >= MAX_PATH) return;
  lstrcatA(path, "PLANTED_LIBRARY_LOADED");
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) Mark();
  return TRUE;
}

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) { return 0; }
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data) {
  return FALSE;
}
__declspec(dllexport) BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR sub, LPVOID* value, PUINT size) {
  return FALSE;
}
