// The text forms of signed updates: hexadecimal bytes, the public key item of
// a package's update block, and the signature line that ends a signed .info
// file or makes up a setup file's ".sig" sidecar. Shared by the stub, which
// verifies, and the build tool, which signs. Platform-free; no cryptography
// here (the stub verifies through the system's CNG, the tool signs with
// libcrypto or CNG).
//
// A signature is ECDSA P-256 over the SHA-256 of the signed bytes, written as
// r||s (32 bytes each, big-endian). A public key is X||Y (32 bytes each,
// big-endian). All hexadecimal is written in lower case.
#pragma once
#include <array>
#include <cstddef>
#include <string>

namespace varnel {

constexpr std::size_t kPublicKeyBytes = 64;  // X||Y of a P-256 point
constexpr std::size_t kSignatureBytes = 64;  // r||s
constexpr std::size_t kSha256Bytes = 32;

using PublicKey = std::array<unsigned char, kPublicKeyBytes>;
using SignatureBytes = std::array<unsigned char, kSignatureBytes>;
using Sha256Digest = std::array<unsigned char, kSha256Bytes>;

// The line that carries a signature begins with this text.
constexpr const char kSignatureLinePrefix[] = ";VarnelSignature=";

// `count` bytes as 2 * count lower-case hexadecimal digits.
std::string HexText(const unsigned char* bytes, std::size_t count);

// Exactly 2 * count hexadecimal digits (either case) into `out`; false (and
// `out` unspecified) for any other length or character.
bool ParseHexBytes(const std::string& text, unsigned char* out, std::size_t count);

// The public key item of a package's update block.
enum class KeyItemState {
  absent,   // empty or blanks only: the package carries no key
  valid,    // 128 hexadecimal digits
  damaged,  // anything else: the package claims a key that can't be read
};
KeyItemState ParseKeyItem(const std::string& item, PublicKey& key);

// A buffer split by its signature line: the last line that begins with
// kSignatureLinePrefix, holds 128 hexadecimal digits after it and is
// followed only by "\r", "\n", blanks and tabs up to the end. The signed
// bytes are every byte before the first character of that line.
struct SignedBuffer {
  bool isSigned = false;       // false: no such line, or the last one is damaged
  std::size_t signedBytes = 0; // length of the signed prefix of the buffer
  SignatureBytes signature{};
};
SignedBuffer SplitSignedBuffer(const char* data, std::size_t size);
inline SignedBuffer SplitSignedBuffer(const std::string& buffer) {
  return SplitSignedBuffer(buffer.data(), buffer.size());
}

// The signature line for `signature`: kSignatureLinePrefix, 128 hexadecimal
// digits, "\r\n".
std::string SignatureLine(const SignatureBytes& signature);

}  // namespace varnel
