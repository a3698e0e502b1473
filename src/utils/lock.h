// A plain lock for the few places that serialise work (the debug stream's
// buffer, INI reads). On Windows it is a critical section, elsewhere a
// std::mutex: the stub must not link the posix-thread runtime that
// std::mutex brings on mingw-w64 (see ARCHITECTURE.md, "Lean stub").
// Not recursive by contract: do not take it twice on one thread.
#pragma once

namespace varnel {

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Acquire();
  void Release();

 private:
  // Room for the system's lock object (a CRITICAL_SECTION is 24 bytes on
  // 32-bit Windows and 40 on 64-bit; a std::mutex at most 64 on the hosts
  // we build for). The implementation checks that it fits.
  alignas(8) unsigned char storage_[64];
};

// Holds a Lock for the lifetime of a scope.
class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~LockGuard() { lock_.Release(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

}  // namespace varnel
