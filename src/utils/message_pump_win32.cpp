#include <windows.h>

#include "utils/message_pump.h"
#include "utils/system_helpers.h"

namespace varnel {

void YieldX(std::uint32_t ms) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  Sleep(ms);
}

void WaitPumping(std::uint32_t ms) {
  const std::uint32_t slice = PumpSliceMs(ms);
  const std::int64_t end = MillisecondClock() + ms;
  do {
    YieldX(slice);
  } while (MillisecondClock() < end);
}

}  // namespace varnel
