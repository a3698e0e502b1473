#include "signing_text.h"

#include "utils/info_signature.h"

namespace varnel::pack {
namespace {

constexpr char kPublicTag[] = "varnel-ecdsa-p256";
constexpr char kPrivateTag[] = "varnel-ecdsa-p256-private";

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

std::string HexText(const std::uint8_t* bytes, std::size_t count) { return varnel::HexText(bytes, count); }

bool ParseHex(std::string_view text, std::uint8_t* out, std::size_t count) {
  return varnel::ParseHexBytes(std::string(text), out, count);
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

std::string SignatureLine(const Signature& signature) { return varnel::SignatureLine(signature); }

bool SplitSignedText(const std::string& buffer, std::string& signedBytes, Signature& signature) {
  const varnel::SignedBuffer split = varnel::SplitSignedBuffer(buffer);
  if (!split.isSigned) return false;
  signature = split.signature;
  signedBytes.assign(buffer, 0, split.signedBytes);
  return true;
}

}  // namespace varnel::pack
