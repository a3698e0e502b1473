// The text forms of update signing, as the build tool writes them: key
// files, the key item of a package's update block, the signature line of a
// signed .INFO or setup file. Platform-free; no cryptography here. The forms
// the stub reads too (hexadecimal, the key item, the signature line) come
// from utils/info_signature.h, so writer and reader can't drift apart.
//
// Key files (one line each, lowercase hex, "\n" at the end):
//   NAME.pub  "varnel-ecdsa-p256 " + 128 hex (X || Y)
//   NAME.key  "varnel-ecdsa-p256-private " + 64 hex (d) + " " + 128 hex (X || Y)
// Signature line: ";VarnelSignature=" + 128 hex (r || s) + "\r\n", the last
// line of a signed .INFO (the signed bytes are all bytes before it) or the
// whole of a "<setup>.sig" file. The leading ";" makes INI readers take it
// as a comment.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pack_crypto.h"

namespace varnel::pack {

constexpr char kSignaturePrefix[] = ";VarnelSignature=";

// Lowercase hex of `count` bytes.
std::string HexText(const std::uint8_t* bytes, std::size_t count);
template <std::size_t N>
std::string HexText(const std::array<std::uint8_t, N>& bytes) {
  return HexText(bytes.data(), N);
}
// Exactly 2 * count hex digits (either case) into `out`.
bool ParseHex(std::string_view text, std::uint8_t* out, std::size_t count);

// The update block's key item: 128 hex digits.
bool ParseKeyItem(std::string_view item, PublicKey& key);

std::string PublicKeyFileText(const PublicKey& key);
std::string PrivateKeyFileText(const PrivateKey& key);
// False with `error` set ("not a public key file" ...). Trailing blanks and
// line ends are allowed.
bool ParsePublicKeyFile(const std::string& text, PublicKey& key, std::string& error);
bool ParsePrivateKeyFile(const std::string& text, PrivateKey& key, std::string& error);

// ";VarnelSignature=<128 hex>\r\n".
std::string SignatureLine(const Signature& signature);

// Splits a signed buffer: the last line that starts with the signature
// prefix, followed by nothing but "\r", "\n" and blanks, carries the
// signature; `signedBytes` is everything before that line. False when the
// buffer carries no such line.
bool SplitSignedText(const std::string& buffer, std::string& signedBytes, Signature& signature);

}  // namespace varnel::pack
