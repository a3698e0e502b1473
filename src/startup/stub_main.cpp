// Process entry of the setup stub.
#include <windows.h>

#include "package/exit_code.h"
#include "package/package_reader.h"
#include "startup/role_dispatch.h"
#include "utils/debug_channel.h"
#include "utils/dll_hardening.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything can load a library from the setup file's folder.
  varnel::RestrictDllSearchPath();
  varnel::InitDebugStream();
  varnel::UseThreadLocale();
  varnel::RunStubStartup();
  return varnel::ProcessExitCode();
}
