// Process entry of the setup stub.
#include <windows.h>

#include "folders/system_folders.h"
#include "package/exit_code.h"
#include "package/package_reader.h"
#include "startup/command_line.h"
#include "startup/role_dispatch.h"
#include "utils/debug_channel.h"
#include "utils/dll_hardening.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything can load a library from the setup file's folder.
  varnel::RestrictDllSearchPath();
  varnel::InitDebugStream();
  varnel::UseThreadLocale();
  // The folders subsystem sits below the command-line rules: hand it the origin.
  varnel::SetOriginExeSwitch(varnel::GetParamValue("/OriginExe=", ""));
  varnel::RunStubStartup();
  return varnel::ProcessExitCode();
}
