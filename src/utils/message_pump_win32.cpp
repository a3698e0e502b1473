#include <windows.h>

#include <exception>

#include "utils/exception_report.h"
#include "utils/message_pump.h"
#include "utils/system_helpers.h"

namespace varnel {

void YieldX(std::uint32_t ms) {
  try {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  } catch (const std::exception& e) {
    LogException(e, "YieldX");
  } catch (...) {
    LogException(std::string_view("unknown exception"), "YieldX");
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
