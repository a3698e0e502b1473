// zlib's two checksums, written small. The reference versions are unrolled
// and table-driven (about 10 KB in the stub); these give the same results
// and the linker takes them before the library's. Linked into Stub.exe
// only (and checked against known values by the unit tests).
#include <zlib.h>

// Inflate checks every zlib stream with it, so it runs over every byte the
// stub extracts: eight bytes a round, in blocks short enough that the sums
// cannot overflow before they are reduced.
extern "C" uLong ZEXPORT adler32(uLong adler, const Bytef* buf, uInt len) {
  constexpr unsigned long kBase = 65521;  // largest prime below 65536
  constexpr uInt kBlock = 5552;           // most bytes before b can overflow 32 bits
  if (!buf) return 1;
  unsigned long a = adler & 0xFFFF, b = (adler >> 16) & 0xFFFF;
  while (len > 0) {
    uInt n = len < kBlock ? len : kBlock;
    len -= n;
    for (; n >= 8; n -= 8, buf += 8) {
      a += buf[0]; b += a;
      a += buf[1]; b += a;
      a += buf[2]; b += a;
      a += buf[3]; b += a;
      a += buf[4]; b += a;
      a += buf[5]; b += a;
      a += buf[6]; b += a;
      a += buf[7]; b += a;
    }
    while (n--) {
      a += *buf++;
      b += a;
    }
    a %= kBase;
    b %= kBase;
  }
  return (b << 16) | a;
}

// Inflate calls crc32 only for gzip streams, which setup packages never
// hold: bit by bit is fast enough.
extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
  if (!buf) return 0;
  crc = ~crc & 0xFFFFFFFFul;
  while (len--) {
    crc ^= *buf++;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1)));
  }
  return ~crc & 0xFFFFFFFFul;
}
