// The stub's replacements for the parts of the C++ runtime that would link
// exception handling (see ARCHITECTURE.md, "Lean stub"). The stub is built
// without exceptions: where the runtime would throw (an allocation that
// fails, a string asked beyond its length), the process ends instead.
//
// Linked into Stub.exe only. libstdc++ keeps all of its std::__throw_*
// helpers in one object: if a header starts calling one that is missing
// here, that object is linked as well and the link fails with "multiple
// definition of std::__throw_...": add the missing one below.
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>

#include "utils/debug_stream.h"

namespace {

// Exit code of a process ended by the runtime (the same code msvcrt's
// abort() leaves).
constexpr UINT kRuntimeFailureExit = 3;

[[noreturn]] void EndProcess(const char* what) {
  varnel::DebugEvent("Ended: %s", what);
  varnel::DebugFlush();
  ExitProcess(kRuntimeFailureExit);
}

void* Allocate(std::size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) EndProcess("out of memory");
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace std {
void __throw_bad_alloc() { EndProcess("out of memory"); }
void __throw_bad_array_new_length() { EndProcess("out of memory"); }
void __throw_length_error(const char* what) { EndProcess(what); }
void __throw_logic_error(const char* what) { EndProcess(what); }
void __throw_out_of_range(const char* what) { EndProcess(what); }
void __throw_out_of_range_fmt(const char* what, ...) { EndProcess(what); }
void __throw_invalid_argument(const char* what) { EndProcess(what); }
void __throw_bad_function_call() { EndProcess("bad function call"); }
}  // namespace std

// libstdc++ keeps its own compiled std::string, built with exceptions: its
// catch blocks would link the unwinder and the exception runtime. The
// stub instantiates std::string itself, without them; the linker then finds
// every std::string member here first. The same for std::wstring (the
// process helpers compare names as UTF-16).
template class std::__cxx11::basic_string<char>;
template class std::__cxx11::basic_string<wchar_t>;

namespace __gnu_cxx {
// The runtime's default terminate handler prints to a console the stub does
// not have, and links a name demangler (about 48 KB) for it.
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

extern "C" void __cxa_pure_virtual() { EndProcess("pure virtual call"); }
