// Waiting on the main thread without freezing its windows: every wait
// dispatches the thread's pending messages.
#pragma once
#include <cstdint>

namespace varnel {

// The slice WaitPumping sleeps between dispatches: a tenth of the wait,
// kept between 1 and 25 ms.
constexpr std::uint32_t PumpSliceMs(std::uint32_t totalMs) {
  std::uint32_t slice = totalMs / 10;
  return slice < 1 ? 1 : (slice > 25 ? 25 : slice);
}

#ifdef _WIN32
// Dispatches every pending message of the calling thread, then sleeps ms.
// An exception raised while dispatching is logged and not propagated.
void YieldX(std::uint32_t ms);
// Calls YieldX in slices until ms have passed on the millisecond clock.
void WaitPumping(std::uint32_t ms);
#endif

}  // namespace varnel
