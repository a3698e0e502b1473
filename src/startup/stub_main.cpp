// Process entry of the setup stub.
#include <windows.h>

#include "folders/system_folders.h"
#include "package/exit_code.h"
#include "package/package_reader.h"
#include "startup/command_line.h"
#include "startup/role_dispatch.h"
#include "utils/debug_channel.h"
#include "utils/dll_hardening.h"
#include "utils/wide_text_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything can load a library from the setup file's folder.
  varnel::RestrictDllSearchPath();
  varnel::InitDebugStream();
  varnel::UseThreadLocale();
  // Names in the package join UTF-8 paths: an older package's ANSI names
  // are read in the code page.
  varnel::SetPackageNameDecoder([](const std::string& name) { return varnel::Utf8(varnel::Wide(name)); });
  // The folders subsystem sits below the command-line rules: hand it the origin.
  varnel::SetOriginExeSwitch(varnel::GetParamValue("/OriginExe=", ""));
  varnel::RunStubStartup();
  return varnel::ProcessExitCode();
}
