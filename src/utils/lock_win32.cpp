// The Windows side of Lock: a critical section.
#include <windows.h>

#include "utils/lock.h"

namespace varnel {
namespace {
CRITICAL_SECTION* Section(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }
}  // namespace

static_assert(sizeof(CRITICAL_SECTION) <= 64, "Lock::storage_ is too small for a CRITICAL_SECTION");

Lock::Lock() { InitializeCriticalSection(Section(storage_)); }
Lock::~Lock() { DeleteCriticalSection(Section(storage_)); }
void Lock::Acquire() { EnterCriticalSection(Section(storage_)); }
void Lock::Release() { LeaveCriticalSection(Section(storage_)); }

}  // namespace varnel
