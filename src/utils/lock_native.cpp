// The host side of Lock (native tools and tests): a std::mutex.
#include <mutex>
#include <new>

#include "utils/lock.h"

namespace varnel {
namespace {
std::mutex* Mutex(unsigned char* storage) { return std::launder(reinterpret_cast<std::mutex*>(storage)); }
}  // namespace

static_assert(sizeof(std::mutex) <= 64 && alignof(std::mutex) <= 8, "Lock::storage_ is too small for a std::mutex");

Lock::Lock() { new (storage_) std::mutex(); }
Lock::~Lock() { Mutex(storage_)->~mutex(); }
void Lock::Acquire() { Mutex(storage_)->lock(); }
void Lock::Release() { Mutex(storage_)->unlock(); }

}  // namespace varnel
