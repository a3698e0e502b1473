#include "signing_text.h"

namespace varnel::pack {
namespace {

constexpr char kPublicTag[] = "varnel-ecdsa-p256";
constexpr char kPrivateTag[] = "varnel-ecdsa-p256-private";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsLineEndOrBlank(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

// The text without trailing line ends and blanks.
std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && IsLineEndOrBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Splits "word rest" at the first blank.
std::string_view TakeWord(std::string_view& text) {
  const std::size_t blank = text.find(' ');
  const std::string_view word = text.substr(0, blank);
  text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
  return word;
}

}  // namespace

std::string HexText(const std::uint8_t* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0xF]);
  }
  return text;
}

bool ParseHex(std::string_view text, std::uint8_t* out, std::size_t count) {
  if (text.size() != count * 2) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

bool ParseKeyItem(std::string_view item, PublicKey& key) {
  return ParseHex(item, key.data(), key.size());
}

std::string PublicKeyFileText(const PublicKey& key) {
  return std::string(kPublicTag) + " " + HexText(key) + "\n";
}

std::string PrivateKeyFileText(const PrivateKey& key) {
  return std::string(kPrivateTag) + " " + HexText(key.d) + " " + HexText(key.publicKey) + "\n";
}

bool ParsePublicKeyFile(const std::string& text, PublicKey& key, std::string& error) {
  std::string_view rest = TrimEnd(text);
  const std::string_view tag = TakeWord(rest);
  if (tag == kPrivateTag) {
    error = "is a private key file; give the public key (NAME.pub)";
    return false;
  }
  if (tag != kPublicTag || !ParseKeyItem(rest, key)) {
    error = "is not a public key file (\"varnel-ecdsa-p256\" and 128 hexadecimal digits)";
    return false;
  }
  return true;
}

bool ParsePrivateKeyFile(const std::string& text, PrivateKey& key, std::string& error) {
  std::string_view rest = TrimEnd(text);
  const std::string_view tag = TakeWord(rest);
  if (tag == kPublicTag) {
    error = "is a public key file; signing needs the private key (NAME.key)";
    return false;
  }
  const std::string_view d = TakeWord(rest);
  if (tag != kPrivateTag || !ParseHex(d, key.d.data(), key.d.size()) ||
      !ParseKeyItem(rest, key.publicKey)) {
    error = "is not a private key file (\"varnel-ecdsa-p256-private\", 64 and 128 hexadecimal digits)";
    return false;
  }
  return true;
}

std::string SignatureLine(const Signature& signature) {
  return std::string(kSignaturePrefix) + HexText(signature) + "\r\n";
}

bool SplitSignedText(const std::string& buffer, std::string& signedBytes, Signature& signature) {
  const std::string_view prefix = kSignaturePrefix;
  std::size_t at = buffer.size();
  while (at > 0) {
    at = buffer.rfind(prefix, at - 1);
    if (at == std::string::npos) return false;
    if (at == 0 || buffer[at - 1] == '\n') break;
  }
  if (buffer.compare(at, prefix.size(), prefix) != 0) return false;
  const std::string_view rest(buffer.data() + at + prefix.size(), buffer.size() - at - prefix.size());
  const std::string_view hex = rest.substr(0, 128);
  for (char c : rest.substr(hex.size()))
    if (!IsLineEndOrBlank(c)) return false;
  if (!ParseHex(hex, signature.data(), signature.size())) return false;
  signedBytes.assign(buffer, 0, at);
  return true;
}

}  // namespace varnel::pack
