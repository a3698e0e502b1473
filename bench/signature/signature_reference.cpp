// The plainest SHA-256 of a file through CNG: bcrypt linked directly, the
// file read in 1 MiB pieces, BCryptHashData on each.
// Output: "ms=<milliseconds> bytes=<count> sha256=<hex>".
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  LARGE_INTEGER f, c0, c1;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c0);
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return 1;
  if (BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) != 0) return 1;
  std::vector<unsigned char> buffer(1 << 20);
  long long total = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) || got == 0) break;
    BCryptHashData(hash, buffer.data(), got, 0);
    total += got;
  }
  unsigned char digest[32];
  BCryptFinishHash(hash, digest, sizeof digest, 0);
  QueryPerformanceCounter(&c1);
  std::printf("ms=%.1f bytes=%lld sha256=", 1000.0 * (c1.QuadPart - c0.QuadPart) / f.QuadPart, total);
  for (unsigned char b : digest) std::printf("%02x", b);
  std::printf("\n");
  return 0;
}
