// pack_crypto.h through the system's CNG (bcrypt.dll): the Windows tool.
// Key blobs are BCRYPT_ECCKEY_BLOB headers followed by X, Y and (private
// blobs) d, 32 bytes each, big-endian; signatures are r || s as the files
// hold them.
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "pack_crypto.h"

namespace varnel::pack {
namespace {

class Algorithm {
 public:
  explicit Algorithm(const wchar_t* name) {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle_, name, nullptr, 0))) handle_ = nullptr;
  }
  ~Algorithm() {
    if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
  BCRYPT_ALG_HANDLE get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class Key {
 public:
  Key() = default;
  ~Key() {
    if (handle_) BCryptDestroyKey(handle_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  BCRYPT_KEY_HANDLE* out() { return &handle_; }
  BCRYPT_KEY_HANDLE get() const { return handle_; }

 private:
  BCRYPT_KEY_HANDLE handle_ = nullptr;
};

class Hash {
 public:
  Hash() = default;
  ~Hash() {
    if (handle_) BCryptDestroyHash(handle_);
  }
  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;
  BCRYPT_HASH_HANDLE* out() { return &handle_; }
  BCRYPT_HASH_HANDLE get() const { return handle_; }

 private:
  BCRYPT_HASH_HANDLE handle_ = nullptr;
};

bool Failed(const char* what, NTSTATUS status, std::string& error) {
  static const char kDigits[] = "0123456789ABCDEF";
  error = what;
  error += " (NTSTATUS 0x";
  for (int shift = 28; shift >= 0; shift -= 4)
    error.push_back(kDigits[(static_cast<unsigned long>(status) >> shift) & 0xF]);
  error += ")";
  return false;
}

constexpr NTSTATUS kNoProvider = static_cast<NTSTATUS>(0xC0000225);  // STATUS_NOT_FOUND

// The public (and, with `d`, private) key blob of a P-256 key.
std::vector<UCHAR> KeyBlob(const PublicKey& publicKey, const std::array<std::uint8_t, 32>* d) {
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64 + (d ? 32 : 0));
  BCRYPT_ECCKEY_BLOB header;
  header.dwMagic = d ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  header.cbKey = 32;
  std::copy_n(reinterpret_cast<const UCHAR*>(&header), sizeof header, blob.begin());
  std::copy(publicKey.begin(), publicKey.end(), blob.begin() + sizeof header);
  if (d) std::copy(d->begin(), d->end(), blob.begin() + sizeof header + 64);
  return blob;
}

bool ImportKey(const Algorithm& ecdsa, const PublicKey& publicKey,
               const std::array<std::uint8_t, 32>* d, Key& key, std::string& error) {
  if (!ecdsa.get()) return Failed("CNG offers no ECDSA P-256", kNoProvider, error);
  std::vector<UCHAR> blob = KeyBlob(publicKey, d);
  const NTSTATUS status =
      BCryptImportKeyPair(ecdsa.get(), nullptr, d ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB,
                          key.out(), blob.data(), static_cast<ULONG>(blob.size()), 0);
  SecureZeroMemory(blob.data(), blob.size());
  if (!BCRYPT_SUCCESS(status)) return Failed("not a key of the P-256 curve", status, error);
  return true;
}

}  // namespace

bool Sha256(const std::string& bytes, Digest& digest, std::string& error) {
  Algorithm sha(BCRYPT_SHA256_ALGORITHM);
  if (!sha.get()) return Failed("CNG offers no SHA-256", kNoProvider, error);
  Hash hash;
  NTSTATUS status = BCryptCreateHash(sha.get(), hash.out(), nullptr, 0, nullptr, 0, 0);
  // BCryptHashData takes a ULONG count: feed large files in parts.
  constexpr std::size_t kPart = 1u << 30;
  for (std::size_t at = 0; BCRYPT_SUCCESS(status) && at < bytes.size(); at += kPart) {
    const std::size_t n = std::min(kPart, bytes.size() - at);
    status = BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + at)),
                            static_cast<ULONG>(n), 0);
  }
  if (BCRYPT_SUCCESS(status))
    status = BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0);
  if (!BCRYPT_SUCCESS(status)) return Failed("SHA-256 failed", status, error);
  return true;
}

bool GenerateKey(PrivateKey& key, std::string& error) {
  Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!ecdsa.get()) return Failed("CNG offers no ECDSA P-256", kNoProvider, error);
  Key handle;
  NTSTATUS status = BCryptGenerateKeyPair(ecdsa.get(), handle.out(), 256, 0);
  if (BCRYPT_SUCCESS(status)) status = BCryptFinalizeKeyPair(handle.get(), 0);
  if (!BCRYPT_SUCCESS(status)) return Failed("cannot generate a P-256 key", status, error);
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 96);
  ULONG length = 0;
  status = BCryptExportKey(handle.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(),
                           static_cast<ULONG>(blob.size()), &length, 0);
  BCRYPT_ECCKEY_BLOB header{};
  std::copy_n(blob.begin(), sizeof header, reinterpret_cast<UCHAR*>(&header));
  const bool ok = BCRYPT_SUCCESS(status) && length == blob.size() &&
                  header.dwMagic == BCRYPT_ECDSA_PRIVATE_P256_MAGIC && header.cbKey == 32;
  if (ok) {
    std::copy_n(blob.begin() + sizeof header, 64, key.publicKey.begin());
    std::copy_n(blob.begin() + sizeof header + 64, 32, key.d.begin());
  }
  SecureZeroMemory(blob.data(), blob.size());
  if (!ok) return Failed("cannot export the new key", status, error);
  return true;
}

bool CheckPublicKey(const PublicKey& key, std::string& error) {
  Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
  Key handle;
  return ImportKey(ecdsa, key, nullptr, handle, error);
}

bool SignDigest(const PrivateKey& key, const Digest& digest, Signature& signature,
                std::string& error) {
  Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
  Key handle;
  if (!ImportKey(ecdsa, key.publicKey, &key.d, handle, error)) return false;
  ULONG length = 0;
  const NTSTATUS status =
      BCryptSignHash(handle.get(), nullptr, const_cast<PUCHAR>(digest.data()),
                     static_cast<ULONG>(digest.size()), signature.data(),
                     static_cast<ULONG>(signature.size()), &length, 0);
  if (!BCRYPT_SUCCESS(status) || length != signature.size())
    return Failed("signing failed", status, error);
  return true;
}

bool VerifyDigest(const PublicKey& key, const Digest& digest, const Signature& signature,
                  std::string& error) {
  Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
  Key handle;
  if (!ImportKey(ecdsa, key, nullptr, handle, error)) return false;
  const NTSTATUS status = BCryptVerifySignature(
      handle.get(), nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
      const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), 0);
  if (!BCRYPT_SUCCESS(status)) {
    error = "the signature does not verify";
    return false;
  }
  return true;
}

}  // namespace varnel::pack
