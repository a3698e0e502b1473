// Process entry of the setup stub.
#include <windows.h>

#include "utils/dll_hardening.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  varnel::RestrictDllSearchPath();
  return 0;
}
