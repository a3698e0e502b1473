// The stub's process entry, in place of mingw-w64's start-up code (crt2.o
// and what it pulls in: the argument and wildcard parsing, the TLS
// callbacks, pseudo-relocations, the floating-point and math-error set-up;
// about 6 KB that the stub does not use). Stub.exe links with
// -nostartfiles. msvcrt.dll sets itself up when it loads; what is left to
// do here is what the stub relies on: the static constructors, the
// destructors at exit, and the exit code.
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

extern "C" {

// libgcc/mingw-w64: runs the static constructors listed in .ctors once and
// registers the destructors with atexit.
void __main();
// msvcrt.dll
typedef int(__cdecl* OnExitFunction)();
OnExitFunction __cdecl _onexit(OnExitFunction function);
void __cdecl __set_app_type(int type);

// The compiler registers static destructors here; msvcrt's exit() runs
// them, last registered first, before the process ends.
int __cdecl atexit(void(__cdecl* function)()) {
  return _onexit(reinterpret_cast<OnExitFunction>(function)) ? 0 : -1;
}

// Windows starts a 32-bit process with a stack aligned to 4 bytes. The
// stub's 32-bit code is built for that (-mpreferred-stack-boundary=2); the
// entry realigns all the same, for code built with the usual 16.
__attribute__((used, force_align_arg_pointer)) void WinMainCRTStartup() {
  constexpr int kGuiApp = 2;  // runtime errors go to a message box, not a console
  __set_app_type(kGuiApp);
  __main();
  char noArguments[] = "";
  std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, noArguments, SW_SHOWDEFAULT));
}

}  // extern "C"
