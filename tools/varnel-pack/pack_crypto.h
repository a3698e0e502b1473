// The build tool's signing: ECDSA on the NIST P-256 curve with SHA-256,
// through the platform's library (OpenSSL's libcrypto natively, the
// system's CNG on Windows; crypto_openssl.cpp, crypto_cng.cpp). The rest of
// the tool sees only these functions. Each reports failure as false with
// `error` set to one line; nothing is printed here.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace varnel::pack {

using Digest = std::array<std::uint8_t, 32>;     // SHA-256
using PublicKey = std::array<std::uint8_t, 64>;  // X || Y, big-endian
using Signature = std::array<std::uint8_t, 64>;  // r || s, big-endian

struct PrivateKey {
  std::array<std::uint8_t, 32> d{};  // the secret scalar, big-endian
  PublicKey publicKey{};
};

bool Sha256(const std::string& bytes, Digest& digest, std::string& error);

// A fresh key pair from the library's own random source.
bool GenerateKey(PrivateKey& key, std::string& error);

// False when X || Y is not a point of the curve.
bool CheckPublicKey(const PublicKey& key, std::string& error);

// Signs a SHA-256 digest.
bool SignDigest(const PrivateKey& key, const Digest& digest, Signature& signature,
                std::string& error);

// True when `signature` is a valid signature of `digest` by `key`.
bool VerifyDigest(const PublicKey& key, const Digest& digest, const Signature& signature,
                  std::string& error);

}  // namespace varnel::pack
