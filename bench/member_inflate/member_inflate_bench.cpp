// Walks a package of large members (5 MiB pieces of text-like data) with
// MemberBlockWalker and compares it with the plainest way of doing the same
// inflation: zlib's uncompress into a buffer of the known output size.
// Prints the median of several runs of each and their ratio.
//
// Usage: bench_member_inflate [members] [runs]
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "package/byte_source.h"
#include "package/member_blocks.h"
#include "package/package_format.h"

using namespace varnel;

namespace {

void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string Content(std::size_t size, unsigned seed) {
  static const char* const kWords[] = {"setup ", "member ", "stub ", "package ", "zlib ",
                                       "disk ", "engine ", "\r\n", "0x4A3B ", "token "};
  std::string out;
  out.reserve(size + 16);
  unsigned x = seed;
  while (out.size() < size) {
    x = x * 1103515245u + 12345u;
    out += kWords[(x >> 16) % 10];
  }
  out.resize(size);
  return out;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int members = argc > 1 ? std::atoi(argv[1]) : 8;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;

  // Two empty header blocks, the members, a trailer's worth of padding.
  std::string package;
  PutU32(package, 0);
  PutU32(package, 0);
  std::vector<std::string> compressed;
  std::vector<std::size_t> sizes;
  for (int i = 0; i < members; ++i) {
    std::string payload = "|file" + std::to_string(i) + ".txt|0|";
    payload.push_back('\0');
    payload += Content(kPieceSize, static_cast<unsigned>(i));
    uLongf zsize = compressBound(static_cast<uLong>(payload.size()));
    std::string z(zsize, '\0');
    compress2(reinterpret_cast<Bytef*>(&z[0]), &zsize,
              reinterpret_cast<const Bytef*>(payload.data()), static_cast<uLong>(payload.size()), 6);
    z.resize(zsize);
    PutU32(package, static_cast<std::uint32_t>(z.size()));
    package += z;
    compressed.push_back(z);
    sizes.push_back(payload.size());
  }
  package += std::string(kTrailerSize, '\0');
  const MemorySource source(package);

  std::vector<double> walker, reference;
  std::size_t check = 0;
  for (int r = 0; r < runs; ++r) {
    auto t0 = std::chrono::steady_clock::now();
    MemberBlockWalker walk(source, 0, 2, package.size() - kTrailerSize);
    MemberBlock block;
    while (walk.Next(block)) check += block.member.content.size();
    walker.push_back(Seconds(std::chrono::steady_clock::now() - t0));

    t0 = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < compressed.size(); ++i) {
      std::string out(sizes[i], '\0');
      uLongf outSize = static_cast<uLongf>(out.size());
      uncompress(reinterpret_cast<Bytef*>(&out[0]), &outSize,
                 reinterpret_cast<const Bytef*>(compressed[i].data()),
                 static_cast<uLong>(compressed[i].size()));
      check += outSize;
    }
    reference.push_back(Seconds(std::chrono::steady_clock::now() - t0));
  }
  const double mb = members * (kPieceSize / 1048576.0);
  const double w = Median(walker), ref = Median(reference);
  std::printf("member_inflate: %d members, %.0f MiB, %d runs (check %zu)\n", members, mb, runs, check);
  std::printf("  walker    median %.3f s  (%.0f MiB/s)\n", w, mb / w);
  std::printf("  reference median %.3f s  (%.0f MiB/s)\n", ref, mb / ref);
  std::printf("  ratio walker/reference: %.2f\n", w / ref);
  return 0;
}
