// Text forms of signed updates (see info_signature.h).
#include "utils/info_signature.h"

#include <cstring>

namespace varnel {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string HexText(const unsigned char* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

bool ParseHexBytes(const std::string& text, unsigned char* out, std::size_t count) {
  if (text.size() != count * 2) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return true;
}

KeyItemState ParseKeyItem(const std::string& item, PublicKey& key) {
  std::size_t begin = 0, end = item.size();
  while (begin < end && IsBlank(item[begin])) ++begin;
  while (end > begin && IsBlank(item[end - 1])) --end;
  if (begin == end) return KeyItemState::absent;
  return ParseHexBytes(item.substr(begin, end - begin), key.data(), key.size()) ? KeyItemState::valid
                                                                               : KeyItemState::damaged;
}

SignedBuffer SplitSignedBuffer(const char* data, std::size_t size) {
  SignedBuffer result;
  const std::size_t prefixLength = sizeof(kSignatureLinePrefix) - 1;
  if (size < prefixLength) return result;
  // The last line that begins with the prefix: search backwards from the end.
  std::size_t line = std::string::npos;
  for (std::size_t start = size - prefixLength + 1; start > 0;) {
    --start;
    if ((start == 0 || data[start - 1] == '\n') &&
        std::memcmp(data + start, kSignatureLinePrefix, prefixLength) == 0) {
      line = start;
      break;
    }
  }
  if (line == std::string::npos) return result;
  const std::size_t hexBegin = line + prefixLength;
  const std::size_t hexLength = 2 * kSignatureBytes;
  if (size - hexBegin < hexLength) return result;
  if (!ParseHexBytes(std::string(data + hexBegin, hexLength), result.signature.data(), kSignatureBytes))
    return result;
  for (std::size_t i = hexBegin + hexLength; i < size; ++i)
    if (!IsBlank(data[i])) return result;
  result.isSigned = true;
  result.signedBytes = line;
  return result;
}

std::string SignatureLine(const SignatureBytes& signature) {
  std::string line = kSignatureLinePrefix;
  line += HexText(signature.data(), signature.size());
  line += "\r\n";
  return line;
}

}  // namespace varnel
