// SHA-256 and ECDSA P-256 verification through the system's CNG: bcrypt.dll
// is loaded once per process by its full path in the system folder and its
// functions are looked up by name, so the stub carries no cryptographic code
// and still starts on a system without CNG (every check then fails).
//
// Sizes: a digest is 32 bytes, a public key X||Y and a signature r||s are
// 64 bytes each (32-byte big-endian halves).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace varnel {

// SHA-256 fed piece by piece (while a file downloads, or in one pass over
// a held file).
class Sha256Stream {
 public:
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;
  // False when CNG could not make a hash object, or after a failed Add.
  bool ok() const { return hash_ != nullptr && !failed_; }
  bool Add(const void* data, std::size_t size);
  // Writes the 32-byte digest of everything added; the stream is spent.
  bool Finish(unsigned char* digest);

 private:
  void* hash_ = nullptr;  // BCRYPT_HASH_HANDLE
  std::string object_;    // the hash object's memory
  bool failed_ = false;
};

// The digest of one buffer.
bool Sha256Of(const void* data, std::size_t size, unsigned char* digest);

// The digest of the whole file behind `file`, read from its first byte to
// its end through that handle (its position is moved); `size` gets the
// number of bytes read. False on a read error or without CNG.
bool Sha256OfFile(HANDLE file, unsigned char* digest, std::int64_t& size);

// An ECDSA P-256 signature r||s over the 32-byte digest verifies with the
// public key X||Y. False for a wrong signature, a key that is not a point
// of the curve, or without CNG.
bool VerifyP256(const unsigned char* publicKey, const unsigned char* digest, const unsigned char* signature);

// The signature verifies over the SHA-256 of `size` bytes at `data`.
bool VerifyP256Bytes(const unsigned char* publicKey, const void* data, std::size_t size,
                     const unsigned char* signature);

}  // namespace varnel
