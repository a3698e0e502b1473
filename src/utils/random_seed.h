// A seed for the small random choices (a token's preset, a scramble key):
// different from call to call and from run to run. On Windows it comes from
// the system's generator and the performance counter, so that the stub
// links neither std::random_device nor std::chrono (both bring exception
// handling with them on mingw-w64).
#pragma once
#include <cstdint>

namespace varnel {

std::uint32_t RandomSeed();

}  // namespace varnel
