#include "utils/civil_days.h"

namespace varnel {

std::int64_t FloorDivide(std::int64_t value, std::uint32_t divisor) {
  if (value >= 0) return static_cast<std::int64_t>(static_cast<std::uint64_t>(value) / divisor);
  // floor(v / d) = -ceil(-v / d); both negations are taken unsigned, so even
  // INT64_MIN divided by 1 stays in range.
  const std::uint64_t magnitude = 0 - static_cast<std::uint64_t>(value);
  return static_cast<std::int64_t>(0 - (magnitude + divisor - 1) / divisor);
}

std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = FloorDivide(y, 400);
  const int yoe = static_cast<int>(y - era * 400);  // 0..399
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = FloorDivide(z, 146097);
  const int doe = static_cast<int>(z - era * 146097);  // 0..146096
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

}  // namespace varnel
