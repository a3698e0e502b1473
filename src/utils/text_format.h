// printf-style formatting for the stub. On Windows it uses the system's C
// runtime (msvcrt's _vsnprintf), not mingw-w64's own printf, which would
// add about 25 KB of formatting and floating-point code to Stub.exe; on the
// host it is vsnprintf.
//
// Only conversions that msvcrt knows: %d %u %x %s %c with the flags, width
// and precision, and "l" for long. No "ll", "z", "j", "hh" (format those
// with DecimalText). msvcrt's %f rounds exact halves away from zero,
// the C library elsewhere to even, and its %p has no "0x": keep them to
// trace lines, and format shown or tested numbers by hand.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace varnel {

// Writes the formatted text into `buffer` (always terminated, cut to fit)
// and returns the length of the whole text; negative for a bad format.
int FormatText(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int FormatTextV(char* buffer, std::size_t size, const char* format, va_list args);

// The whole formatted text.
std::string FormatString(const char* format, va_list args);

// `value` in fixed point with `decimals` (0 to 9) digits after the point,
// rounded half to even like "%.*f" in the C locale, without a
// floating-point printf. Values at or beyond 1.8e19 are not supported.
std::string FixedDecimals(double value, int decimals);

// Appends the decimal digits of a whole number, "-" first when `negative`.
void AppendDecimal(std::string& out, std::uint64_t magnitude, bool negative = false);

// A whole number of any integer type in decimal, as std::to_string writes
// it; one small routine instead of the standard library's four.
template <typename Int>
std::string DecimalText(Int value) {
  static_assert(std::is_integral<Int>::value, "whole numbers only");
  std::string text;
  if constexpr (std::is_signed<Int>::value) {
    const bool negative = value < 0;
    const std::uint64_t wide = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
    AppendDecimal(text, negative ? 0 - wide : wide, negative);
  } else {
    AppendDecimal(text, value);
  }
  return text;
}

}  // namespace varnel
