// The system language of the package reader: the calling thread's locale.
#include <windows.h>

#include "package/package_reader.h"

namespace varnel {
namespace {

std::uint32_t ThreadLocaleId() { return static_cast<std::uint32_t>(GetThreadLocale()); }

}  // namespace

void UseThreadLocale() { SetLocaleIdSource(ThreadLocaleId); }

}  // namespace varnel
