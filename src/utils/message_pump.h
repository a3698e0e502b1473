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
// A quit request (WM_QUIT) belongs to the thread's main loop: it is posted
// again, nothing more is dispatched or slept, and the result is false.
bool YieldX(std::uint32_t ms);
// Calls YieldX in slices until ms have passed on the millisecond clock, or
// until a quit request is met (false then).
bool WaitPumping(std::uint32_t ms);
#endif

}  // namespace varnel
