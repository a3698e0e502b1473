// SHA-256 and ECDSA P-256 verification through CNG (see signature_check.h).
#include "utils/signature_check.h"

#include <bcrypt.h>

#include <cstring>

#include "utils/dll_hardening.h"

namespace varnel {
namespace {

using OpenProviderFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseProviderFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using GetPropertyFn = NTSTATUS(WINAPI*)(BCRYPT_HANDLE, LPCWSTR, PUCHAR, ULONG, ULONG*, ULONG);
using CreateHashFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using HashDataFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);
using ImportKeyPairFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE, LPCWSTR, BCRYPT_KEY_HANDLE*, PUCHAR,
                                          ULONG, ULONG);
using VerifySignatureFn = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE, VOID*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using DestroyKeyFn = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE);

constexpr ULONG kDigestBytes = 32;
constexpr ULONG kHalfBytes = 32;
constexpr DWORD kFileChunk = 256 * 1024;

// bcrypt.dll's functions, looked up once; the library stays loaded for the
// life of the process, as do the two algorithm providers once opened.
struct Cng {
  bool tried;
  bool ready;
  OpenProviderFn openProvider;
  CloseProviderFn closeProvider;
  GetPropertyFn getProperty;
  CreateHashFn createHash;
  HashDataFn hashData;
  FinishHashFn finishHash;
  DestroyHashFn destroyHash;
  ImportKeyPairFn importKeyPair;
  VerifySignatureFn verifySignature;
  DestroyKeyFn destroyKey;
  BCRYPT_ALG_HANDLE sha256;
  BCRYPT_ALG_HANDLE ecdsa;
  ULONG hashObjectBytes;
};
Cng g_cng;

template <typename Fn>
bool Resolve(HMODULE library, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return fn != nullptr;
}

Cng* LoadCng() {
  Cng& c = g_cng;
  if (!c.tried) {
    c.tried = true;
    HMODULE library = LoadSystemLibrary("bcrypt.dll");
    if (!library) return nullptr;
    c.ready = Resolve(library, "BCryptOpenAlgorithmProvider", c.openProvider) &&
              Resolve(library, "BCryptCloseAlgorithmProvider", c.closeProvider) &&
              Resolve(library, "BCryptGetProperty", c.getProperty) &&
              Resolve(library, "BCryptCreateHash", c.createHash) && Resolve(library, "BCryptHashData", c.hashData) &&
              Resolve(library, "BCryptFinishHash", c.finishHash) &&
              Resolve(library, "BCryptDestroyHash", c.destroyHash) &&
              Resolve(library, "BCryptImportKeyPair", c.importKeyPair) &&
              Resolve(library, "BCryptVerifySignature", c.verifySignature) &&
              Resolve(library, "BCryptDestroyKey", c.destroyKey);
  }
  return c.ready ? &c : nullptr;
}

// The provider of an algorithm, opened at its first use.
BCRYPT_ALG_HANDLE Provider(Cng& c, BCRYPT_ALG_HANDLE& slot, LPCWSTR algorithm) {
  if (!slot && !BCRYPT_SUCCESS(c.openProvider(&slot, algorithm, nullptr, 0))) slot = nullptr;
  return slot;
}

}  // namespace

Sha256Stream::Sha256Stream() {
  Cng* c = LoadCng();
  if (!c || !Provider(*c, c->sha256, BCRYPT_SHA256_ALGORITHM)) return;
  if (!c->hashObjectBytes) {
    ULONG bytes = 0, got = 0;
    // The object's memory is given by the caller: Vista's CNG takes no null.
    if (!BCRYPT_SUCCESS(c->getProperty(c->sha256, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&bytes),
                                       sizeof bytes, &got, 0)))
      return;
    c->hashObjectBytes = bytes;
  }
  object_.assign(c->hashObjectBytes, '\0');
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCRYPT_SUCCESS(c->createHash(c->sha256, &hash, reinterpret_cast<PUCHAR>(&object_[0]), c->hashObjectBytes,
                                   nullptr, 0, 0)))
    hash_ = hash;
}

Sha256Stream::~Sha256Stream() {
  if (hash_) g_cng.destroyHash(hash_);
}

bool Sha256Stream::Add(const void* data, std::size_t size) {
  if (!ok()) return false;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
    if (!BCRYPT_SUCCESS(g_cng.hashData(hash_, const_cast<PUCHAR>(bytes), piece, 0))) {
      failed_ = true;
      return false;
    }
    bytes += piece;
    size -= piece;
  }
  return true;
}

bool Sha256Stream::Finish(unsigned char* digest) {
  if (!ok()) return false;
  failed_ = !BCRYPT_SUCCESS(g_cng.finishHash(hash_, digest, kDigestBytes, 0));
  g_cng.destroyHash(hash_);
  hash_ = nullptr;
  return !failed_;
}

bool Sha256Of(const void* data, std::size_t size, unsigned char* digest) {
  Sha256Stream stream;
  return stream.Add(data, size) && stream.Finish(digest);
}

bool Sha256OfFile(HANDLE file, unsigned char* digest, std::int64_t& size) {
  size = 0;
  Sha256Stream stream;
  if (!stream.ok()) return false;
  LARGE_INTEGER start;
  start.QuadPart = 0;
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  std::string buffer(kFileChunk, '\0');
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, &buffer[0], kFileChunk, &got, nullptr)) return false;
    if (got == 0) break;
    if (!stream.Add(buffer.data(), got)) return false;
    size += got;
  }
  return stream.Finish(digest);
}

bool VerifyP256(const unsigned char* publicKey, const unsigned char* digest, const unsigned char* signature) {
  Cng* c = LoadCng();
  if (!c || !Provider(*c, c->ecdsa, BCRYPT_ECDSA_P256_ALGORITHM)) return false;
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 2 * kHalfBytes];
  BCRYPT_ECCKEY_BLOB header;
  header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  header.cbKey = kHalfBytes;
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, publicKey, 2 * kHalfBytes);
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!BCRYPT_SUCCESS(c->importKeyPair(c->ecdsa, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob, sizeof blob, 0)))
    return false;
  unsigned char hash[kDigestBytes];
  unsigned char sig[2 * kHalfBytes];
  std::memcpy(hash, digest, sizeof hash);
  std::memcpy(sig, signature, sizeof sig);
  const bool good = c->verifySignature(key, nullptr, hash, sizeof hash, sig, sizeof sig, 0) == 0;
  c->destroyKey(key);
  return good;
}

bool VerifyP256Bytes(const unsigned char* publicKey, const void* data, std::size_t size,
                     const unsigned char* signature) {
  unsigned char digest[kDigestBytes];
  return Sha256Of(data, size, digest) && VerifyP256(publicKey, digest, signature);
}

}  // namespace varnel
