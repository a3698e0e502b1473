#include <windows.h>

#include "utils/message_pump.h"
#include "utils/system_helpers.h"

namespace varnel {

bool YieldX(std::uint32_t ms) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  Sleep(ms);
  return true;
}

bool WaitPumping(std::uint32_t ms) {
  const std::uint32_t slice = PumpSliceMs(ms);
  const std::int64_t end = MillisecondClock() + ms;
  do {
    if (!YieldX(slice)) return false;
  } while (MillisecondClock() < end);
  return true;
}

}  // namespace varnel
