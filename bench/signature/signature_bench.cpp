// signature_bench verify        : one .info (about 2 KB) checked as the agent
//                                 checks it (split, SHA-256, P-256 verify);
//                                 prints the first check (CNG loaded) and the
//                                 median of the following ones.
// signature_bench hash FILE     : Sha256OfFile over FILE through one handle.
// Output: "ms=<milliseconds> bytes=<count> sha256=<hex>" per measurement.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "utils/info_signature.h"
#include "utils/signature_check.h"

using namespace varnel;

namespace {

// A key and its signature over "abc" (made with the openssl command line).
const char kKey[] =
    "daf16ac17457eaacefaab2feb9df85ac7d63f8ea5bf2c9b27c24a356da0e9784"
    "686884be485f03dc5e1ed43f1601ccc0720c5c58902ad08bc182b3d24c8cc435";
const char kSignature[] =
    "d556c8751e697bb75e72b6094fc2d8440ba0186853eda8b2c571fc6e4e068ddb"
    "a0463f5d48db9330cddaba00a30f4b025ffb26aa42801c4a3dda2370348950f6";

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

int Verify() {
  PublicKey key;
  SignatureBytes sig;
  ParseHexBytes(kKey, key.data(), key.size());
  ParseHexBytes(kSignature, sig.data(), sig.size());
  // A .info of the usual size: the check's work is the same whatever the
  // text (its hash is one pass); the answer is "wrong signature" here.
  std::string info;
  while (info.size() < 2000) info += "[NewSetup]\r\nDownloadURL_UPDATE=https://updates.example.test/app\r\n";
  info += SignatureLine(sig);
  std::vector<double> times;
  int refused = 0;
  for (int i = 0; i < 201; ++i) {
    const double t0 = Now();
    const SignedBuffer split = SplitSignedBuffer(info);
    const bool good = split.isSigned && VerifyP256Bytes(key.data(), info.data(), split.signedBytes, split.signature.data());
    times.push_back(Now() - t0);
    refused += !good;
  }
  // The known-good answer, to show the verifier works, and its time (a
  // signature that verifies runs the whole check).
  bool abc = true;
  std::vector<double> good;
  for (int i = 0; i < 200; ++i) {
    const double t0 = Now();
    abc = VerifyP256Bytes(key.data(), "abc", 3, sig.data()) && abc;
    good.push_back(Now() - t0);
  }
  std::sort(good.begin(), good.end());
  std::printf("verified-median ms=%.3f\n", good[good.size() / 2]);
  std::vector<double> warm(times.begin() + 1, times.end());
  std::sort(warm.begin(), warm.end());
  std::printf("first ms=%.3f\nwarm-median ms=%.3f\nwarm-max ms=%.3f\nrefused=%d of %d, known-good=%s\n", times[0],
              warm[warm.size() / 2], warm.back(), refused, static_cast<int>(times.size()), abc ? "verified" : "FAILED");
  return abc ? 0 : 1;
}

int Hash(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  Sha256Digest digest{};
  std::int64_t size = 0;
  const double t0 = Now();
  const bool ok = Sha256OfFile(file, digest.data(), size);
  const double ms = Now() - t0;
  CloseHandle(file);
  std::printf("ms=%.1f bytes=%lld sha256=%s\n", ms, static_cast<long long>(size),
              HexText(digest.data(), digest.size()).c_str());
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "verify") return Verify();
  if (argc >= 3 && std::string(argv[1]) == "hash") return Hash(argv[2]);
  std::fprintf(stderr, "usage: signature_bench verify | hash FILE\n");
  return 2;
}
