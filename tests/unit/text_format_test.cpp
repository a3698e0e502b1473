#include "utils/text_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace varnel {
namespace {

TEST(DecimalText, WritesEveryIntegerTypeAsToStringDoes) {
  EXPECT_EQ(DecimalText(0), "0");
  EXPECT_EQ(DecimalText(-1), "-1");
  EXPECT_EQ(DecimalText(std::numeric_limits<int>::min()), "-2147483648");
  EXPECT_EQ(DecimalText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(DecimalText(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
  EXPECT_EQ(DecimalText(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
  EXPECT_EQ(DecimalText(std::uint8_t{200}), "200");  // a number, not a character
  EXPECT_EQ(DecimalText(static_cast<unsigned short>(65535)), "65535");
  EXPECT_EQ(DecimalText(4294967295ul), "4294967295");
  EXPECT_EQ(DecimalText(std::size_t{1000000}), "1000000");
}

TEST(DecimalText, AppendsToText) {
  std::string text = "offset ";
  AppendDecimal(text, 1234567890123ull);
  AppendDecimal(text, 5, true);
  EXPECT_EQ(text, "offset 1234567890123-5");
}

TEST(FixedDecimals, RoundsHalfToEvenWithLeadingZerosInTheFraction) {
  EXPECT_EQ(FixedDecimals(2.5, 0), "2");
  EXPECT_EQ(FixedDecimals(3.5, 0), "4");
  EXPECT_EQ(FixedDecimals(1.05, 2), "1.05");
  EXPECT_EQ(FixedDecimals(-0.004, 2), "0.00");
  EXPECT_EQ(FixedDecimals(-12.25, 1), "-12.2");
  EXPECT_EQ(FixedDecimals(1234567.0, 3), "1234567.000");
}

}  // namespace
}  // namespace varnel
