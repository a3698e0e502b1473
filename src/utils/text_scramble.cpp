#include "utils/text_scramble.h"

#include <cstring>
#include <random>

#include "utils/random_seed.h"

namespace varnel {
namespace {

constexpr std::size_t kMarkerLength = sizeof(kScrambleMarker) - 1;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Every two characters give one; a pair that is not a hexadecimal number
// gives the character 255, an odd last character is read alone.
std::string FromHex(const std::string& text) {
  std::string out;
  out.reserve(text.size() / 2 + 1);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int value;
    if (i + 1 < text.size()) {
      int hi = HexDigit(text[i]);
      int lo = HexDigit(text[i + 1]);
      value = (hi < 0 || lo < 0) ? 255 : hi * 16 + lo;
    } else {
      int d = HexDigit(text[i]);
      value = d < 0 ? 255 : d;
    }
    out += static_cast<char>(value);
  }
  return out;
}

std::string ToHex(const std::string& text) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 2);
  for (unsigned char c : text) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

int DrawKey() {
  std::minstd_rand generator(RandomSeed());
  return static_cast<int>(generator() % 90);
}

}  // namespace

std::string ScrambleTextWithKey(const std::string& input, bool encode, bool hex, int drawnKey) {
  if (input.empty()) return input;
  std::string text = (hex && !encode) ? FromHex(input) : input;
  bool scrambled = text.compare(0, kMarkerLength, kScrambleMarker) == 0;
  if (scrambled == encode) return input;

  int key = drawnKey + 33;
  // A marker with no key character behind it holds no text.
  if (!encode && text.size() == kMarkerLength) return std::string();
  if (!encode) {
    key = static_cast<unsigned char>(text[kMarkerLength]);
    text.erase(0, kMarkerLength + 1);
  }
  // Positions count from 1; the key alternates its sign from one position to
  // the next. Only the low byte of (position + key) matters.
  for (std::size_t i = 0; i < text.size(); ++i) {
    long position = static_cast<long>(i) + 1;
    unsigned mask = static_cast<unsigned>(position + key) & 0xFF;
    text[i] = static_cast<char>(mask ^ static_cast<unsigned char>(text[i]));
    key = -key;
  }
  if (encode) {
    int k = key < 0 ? -key : key;
    text = std::string(kScrambleMarker) + static_cast<char>(k) + text;
    if (hex) text = ToHex(text);
  }
  return text;
}

std::string ScrambleText(const std::string& text, bool encode, bool hex) {
  return ScrambleTextWithKey(text, encode, hex, DrawKey());
}

}  // namespace varnel
