// Day numbers of the calendar and the floor division they rest on.
#include "utils/civil_days.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using namespace varnel;

TEST(CivilDays, FloorDivideRoundsTowardMinusInfinity) {
  const struct {
    std::int64_t value;
    std::uint32_t divisor;
    std::int64_t quotient;
  } cases[] = {
      {7, 2, 3},          {-7, 2, -4},        {-8, 2, -4},   {0, 400, 0},
      {-1, 86400, -1},    {-86400, 86400, -1}, {-86401, 86400, -2},
      {INT64_MAX, 1, INT64_MAX}, {INT64_MIN, 1, INT64_MIN}, {INT64_MIN, 400, INT64_MIN / 400 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(FloorDivide(c.value, c.divisor), c.quotient) << c.value << " / " << c.divisor;
}

TEST(CivilDays, KnownDaysAndRoundTrip) {
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(DaysFromCivil(1899, 12, 30), -25569);
  EXPECT_EQ(DaysFromCivil(2000, 3, 1), 11017);
  EXPECT_EQ(DaysFromCivil(-1, 12, 31), -719529);
  // Every day from before year 0 to after 2400 comes back as itself.
  for (std::int64_t z = -1000000; z <= 200000; z += 7) {
    int y, m, d;
    CivilFromDays(z, y, m, d);
    ASSERT_EQ(DaysFromCivil(y, m, d), z) << y << "-" << m << "-" << d;
    ASSERT_TRUE(m >= 1 && m <= 12 && d >= 1 && d <= 31);
  }
}

}  // namespace
