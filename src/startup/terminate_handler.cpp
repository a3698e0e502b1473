// The stub's answer to an exception that nothing caught: end the process.
// The C++ runtime's default handler prints the exception's type to a console
// the stub does not have, and links a name demangler (about 48 KB) for it.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
