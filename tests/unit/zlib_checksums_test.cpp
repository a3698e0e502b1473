// The stub's own adler32 and crc32 (src/startup/zlib_checksums.cpp) must
// give what zlib's give: the check values, chaining across calls, the NULL
// start, and (adler32) sums reduced across blocks longer than 5552 bytes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace {
const Bytef* Bytes(const std::string& s) { return reinterpret_cast<const Bytef*>(s.data()); }
}  // namespace

TEST(ZlibChecksums, MatchTheReferenceValues) {
  const std::string text = "123456789";
  EXPECT_EQ(crc32(0, Z_NULL, 0), 0u);
  EXPECT_EQ(crc32(0, Bytes(text), 9), 0xCBF43926u);
  EXPECT_EQ(crc32(crc32(0, Bytes(text), 4), Bytes(text) + 4, 5), 0xCBF43926u);
  EXPECT_EQ(adler32(0, Z_NULL, 0), 1u);
  EXPECT_EQ(adler32(1, Bytes(text), 9), 0x091E01DEu);
  EXPECT_EQ(adler32(adler32(1, Bytes(text), 4), Bytes(text) + 4, 5), 0x091E01DEu);
  const std::string ff(100000, '\xFF');
  EXPECT_EQ(adler32(1, Bytes(ff), 100000), 0x149A302Cu);
  EXPECT_EQ(adler32(adler32(1, Bytes(ff), 7000), Bytes(ff) + 7000, 93000), 0x149A302Cu);
}
