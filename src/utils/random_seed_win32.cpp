// The Windows side of RandomSeed: msvcrt's rand_s (the system generator)
// mixed with the performance counter.
#define _CRT_RAND_S
#include <windows.h>

#include <cstdlib>

#include "utils/random_seed.h"

namespace varnel {

std::uint32_t RandomSeed() {
  unsigned int value = 0;
  if (rand_s(&value) != 0) value = 0;
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return value ^ static_cast<std::uint32_t>(counter.QuadPart) ^
         static_cast<std::uint32_t>(static_cast<std::uint64_t>(counter.QuadPart) >> 32);
}

}  // namespace varnel
