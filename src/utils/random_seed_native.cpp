// The host side of RandomSeed: std::random_device mixed with the clock.
#include <chrono>
#include <random>

#include "utils/random_seed.h"

namespace varnel {

std::uint32_t RandomSeed() {
  std::random_device device;
  const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  return static_cast<std::uint32_t>(device()) ^ static_cast<std::uint32_t>(now) ^
         static_cast<std::uint32_t>(static_cast<std::uint64_t>(now) >> 32);
}

}  // namespace varnel
