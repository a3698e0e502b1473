#include "utils/text_format.h"

#include <cmath>

#include <cstdio>

namespace varnel {

int FormatTextV(char* buffer, std::size_t size, const char* format, va_list args) {
#ifdef _WIN32
  // _vsnprintf does not terminate a text that fills the buffer and returns
  // -1 for one that does not fit: _vscprintf gives the length.
  va_list copy;
  va_copy(copy, args);
  const int n = _vscprintf(format, copy);
  va_end(copy);
  if (size > 0) {
    _vsnprintf(buffer, size, format, args);
    buffer[n >= 0 && static_cast<std::size_t>(n) < size ? n : size - 1] = '\0';
  }
  return n;
#else
  return std::vsnprintf(buffer, size, format, args);
#endif
}

int FormatText(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = FormatTextV(buffer, size, format, args);
  va_end(args);
  return n;
}

std::string FormatString(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  const int n = FormatTextV(small, sizeof small, format, args);
  std::string text;
  if (n < 0) {
    text = format;
  } else if (static_cast<std::size_t>(n) < sizeof small) {
    text.assign(small, n);
  } else {
    text.resize(n + 1);
    FormatTextV(&text[0], text.size(), format, copy);
    text.resize(n);
  }
  va_end(copy);
  return text;
}

std::string FixedDecimals(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > 9) decimals = 9;
  const bool negative = value < 0;
  unsigned long long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const double scaled = (negative ? -value : value) * static_cast<double>(scale);
  const double whole = std::floor(scaled);
  unsigned long long n = static_cast<unsigned long long>(whole);
  const double rest = scaled - whole;
  if (rest > 0.5 || (rest == 0.5 && (n & 1))) ++n;
  std::string text;
  AppendDecimal(text, n / scale, negative && n != 0);
  if (decimals > 0) {
    std::string fraction = DecimalText(n % scale);
    text += '.';
    text.append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
    text += fraction;
  }
  return text;
}

void AppendDecimal(std::string& out, std::uint64_t magnitude, bool negative) {
  char digits[21];
  char* first = digits + sizeof digits;
  do {
    const std::uint64_t rest = magnitude / 10;
    *--first = static_cast<char>('0' + (magnitude - rest * 10));
    magnitude = rest;
  } while (magnitude != 0);
  if (negative) out += '-';
  out.append(first, digits + sizeof digits);
}

}  // namespace varnel
