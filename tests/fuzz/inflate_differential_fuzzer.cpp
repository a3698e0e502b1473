// Holds the stub's own inflate (package/zlib_inflate.cpp) to zlib's: both
// decode the same input, and either both give the same bytes or both refuse
// it. The input is mostly a valid zlib stream that zlib's deflate made from
// the fuzzer's bytes at any level and strategy, then mutated at a few
// places the fuzzer picks; a first byte with its top bit set hands the rest
// over as the compressed stream itself.
//   byte 0: level (low 4 bits, 0..9, more is 9) and whether the rest is raw
//   byte 1: strategy (of 5), window bits 9..15, memory level
//   byte 2: number of mutations (0..7); then 3 bytes each: position, xor
//   the rest: the bytes to compress
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "package/zlib_inflate.h"

using namespace varnel;

namespace {

constexpr std::size_t kLimit = 1 << 20;
constexpr int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};

std::string Deflate(const std::uint8_t* data, std::size_t size, int level, int strategy, int windowBits,
                    int memLevel) {
  z_stream z = {};
  if (deflateInit2(&z, level, Z_DEFLATED, windowBits, memLevel, strategy) != Z_OK) return {};
  std::string out(deflateBound(&z, size), '\0');
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return rc == Z_STREAM_END ? out : std::string();
}

// zlib's verdict: true with `out` when the stream ended within the limit.
bool ZlibInflate(const std::string& in, std::string& out) {
  z_stream z = {};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  std::string buffer(65536, '\0');
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(&buffer[0]);
    z.avail_out = static_cast<uInt>(buffer.size());
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buffer.data(), buffer.size() - z.avail_out);
    if (out.size() > kLimit) rc = Z_MEM_ERROR;
    if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) rc = Z_BUF_ERROR;  // input ran out
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

// The stub's verdict, fed in pieces of up to 7 bytes to cross every input
// boundary.
bool OwnInflate(const std::string& in, std::string& out) {
  std::size_t at = 0;
  const InflateInput input = [&](const unsigned char*& data, std::size_t& size) {
    if (at >= in.size()) return false;
    data = reinterpret_cast<const unsigned char*>(in.data()) + at;
    size = in.size() - at < 7 ? in.size() - at : 7;
    at += size;
    return true;
  };
  return InflateZlib(input, out, kLimit).status == InflateStatus::kEnded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  std::string stream;
  if (data[0] & 0x80) {
    stream.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  } else {
    const int level = (data[0] & 15) > 9 ? 9 : data[0] & 15;
    const int strategy = kStrategies[(data[1] & 7) % 5];
    const int windowBits = 9 + (data[1] >> 3) % 7;
    const int memLevel = 1 + (data[1] >> 6) * 2;
    const std::size_t mutations = data[2] & 7;
    std::size_t at = 3 + 3 * mutations;
    if (at > size) return 0;
    stream = Deflate(data + at, size - at, level, strategy, windowBits, memLevel);
    if (stream.empty()) return 0;
    for (std::size_t m = 0; m < mutations; ++m) {
      const std::uint8_t* pick = data + 3 + 3 * m;
      const std::size_t where = (static_cast<std::size_t>(pick[0]) << 8 | pick[1]) % stream.size();
      stream[where] = static_cast<char>(stream[where] ^ (pick[2] ? pick[2] : 1));
    }
  }
  std::string expected;
  std::string got;
  const bool zlibEnded = ZlibInflate(stream, expected);
  const bool ownEnded = OwnInflate(stream, got);
  if (zlibEnded != ownEnded) std::abort();         // one refuses what the other takes
  if (zlibEnded && expected != got) std::abort();  // both take it, with other bytes
  return 0;
}
