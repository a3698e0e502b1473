#include "package/package_trailer.h"

#include <gtest/gtest.h>

#include <string>

#include "package_bytes.h"

namespace {

using namespace varnel;
using package_bytes::PutU32;
using package_bytes::StubImage;
using package_bytes::TrailerBytes;
using package_bytes::TrailerFields;

// The trailer of the small worked package: a 261,120-byte stub, two members.
TrailerFields WorkedExample() {
  TrailerFields f;
  f.packageStart = 261120;
  f.memberCount = 2;
  const std::uint32_t space[9] = {105, 1024, 2048, 4096, 8192, 16384, 32768, 65536, 131072};
  for (int k = 0; k < 9; ++k) f.space[k] = space[k];
  return f;
}

TEST(PackageTrailer, DecodeAndEncodeTheWorkedExample) {
  TrailerFields f = WorkedExample();
  f.options = kOptShowActivityBar | kOptMoreDisks;
  f.ask = 7;
  f.agent = 1;
  std::string bytes = TrailerBytes(f);
  bytes[20] = 'r';  // reserved bytes travel unchanged
  bytes[64] = 'x';
  const Trailer t = DecodeTrailer(bytes);
  EXPECT_EQ(t.build, 1);
  EXPECT_EQ(t.headerCount, 2);
  EXPECT_EQ(t.packageStart, 261120u);
  EXPECT_EQ(t.memberCount, 2u);
  EXPECT_EQ(t.magic, kPackageMagic);
  EXPECT_EQ(t.checksum, kNoChecksum);
  EXPECT_EQ(t.reserved20[0], 'r');
  EXPECT_EQ(t.space[0], 105u);
  EXPECT_EQ(t.space[8], 131072u);
  EXPECT_EQ(t.reserved64, 'x');
  EXPECT_EQ(t.options, kOptShowActivityBar | kOptMoreDisks);
  EXPECT_EQ(t.webInstaller, 0);
  EXPECT_EQ(t.askBeforeDownload, 7);
  EXPECT_EQ(t.writeUpdateAgent, 0);
  EXPECT_EQ(t.updateAgent, 1);
  EXPECT_EQ(t.length, 74u);
  EXPECT_EQ(EncodeTrailer(t), bytes);
}

struct ReadCase {
  const char* what;
  std::string file;
  bool valid;
  std::uint32_t length;       // expected length field when valid
  std::uint32_t packageStart;
};

std::string WithEndPointer(std::string file, std::uint32_t high, std::uint32_t low) {
  PutU32(file, 0xF8, high);
  PutU32(file, 0xFC, low);
  return file;
}

std::vector<ReadCase> ReadCases() {
  TrailerFields f;
  f.packageStart = 0x200;
  const std::string stub = StubImage();
  const std::string body = stub + package_bytes::Block("langs") + package_bytes::Block("|a|b|");
  const std::string plain = body + TrailerBytes(f);
  const std::uint32_t end = static_cast<std::uint32_t>(plain.size());
  const std::string certificate(300, 'C');

  std::vector<ReadCase> cases = {
      {"plain package", plain, true, 74, 0x200},
      {"signed: end pointer before the certificate",
       WithEndPointer(plain, 0, end) + certificate, true, 74, 0x200},
      {"unsigned copy with padding but no pointer", plain + std::string(6, '\0'), false, 0, 0},
  };
  // Not a PE image: the bytes at 0xF8 are package data, not a pointer.
  std::string foreign = WithEndPointer(plain, 0, 100);
  foreign[0] = 'X';
  cases.push_back({"pointer ignored without MZ", foreign, true, 74, 0x200});
  std::string noPe = WithEndPointer(plain, 0, 100);
  noPe[0x101] = 'X';
  cases.push_back({"pointer ignored without PE", noPe, true, 74, 0x200});

  cases.push_back({"end pointer beyond the file", WithEndPointer(plain, 0, end + 1000), false, 0, 0});
  cases.push_back({"end pointer high half set", WithEndPointer(plain, 1, end), false, 0, 0});
  cases.push_back({"end pointer below 4", WithEndPointer(plain, 0, 2), false, 0, 0});

  TrailerFields bad = f;
  bad.magic = 0x4A3B2C1E;
  cases.push_back({"wrong magic", body + TrailerBytes(bad), false, 0, 0});
  for (std::uint32_t length : {0u, 3u, end + 1, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    std::string file = plain;
    PutU32(file, file.size() - 4, length);
    cases.push_back({"bad trailer length", file, false, 0, 0});
  }
  TrailerFields late = f;
  late.packageStart = end;  // beyond the trailer
  cases.push_back({"package start beyond the trailer", body + TrailerBytes(late), false, 0, 0});
  cases.push_back({"empty file", "", false, 0, 0});
  cases.push_back({"three bytes", "abc", false, 0, 0});

  // A trailer length of 60: the last 14 bytes of the record are not stored.
  std::string shortTrailer = body + TrailerBytes(f).substr(0, 56) + package_bytes::U32(60);
  cases.push_back({"short trailer", shortTrailer, true, 60, 0x200});
  // A longer trailer: only its first 70 bytes count.
  std::string longTrailer = body + TrailerBytes(f).substr(0, 70) + std::string(26, 'z') +
                            package_bytes::U32(100);
  cases.push_back({"long trailer", longTrailer, true, 74, 0x200});
  return cases;
}

TEST(PackageTrailer, ReadTrailerCases) {
  for (const ReadCase& c : ReadCases()) {
    SCOPED_TRACE(c.what);
    MemorySource source(c.file);
    Trailer t;
    t.memberCount = 99;  // must be cleared
    EXPECT_EQ(ReadTrailer(source, t), c.valid);
    EXPECT_EQ(t.length, c.length);
    EXPECT_EQ(t.packageStart, c.packageStart);
    if (c.valid) {
      EXPECT_EQ(t.headerCount, 2);
    } else {
      EXPECT_EQ(EncodeTrailer(t), std::string(74, '\0'));
    }
  }
}

TEST(PackageTrailer, ShortTrailerReadsMissingFieldsAsZero) {
  TrailerFields f;
  f.packageStart = 0x200;
  for (int k = 0; k < 9; ++k) f.space[k] = 1000 + k;
  f.options = 0xFF;
  f.web = 1;
  f.agent = 1;
  const std::string file = StubImage() + package_bytes::Block("") + package_bytes::Block("") +
                           TrailerBytes(f).substr(0, 56) + package_bytes::U32(60);
  MemorySource source(file);
  Trailer t;
  ASSERT_TRUE(ReadTrailer(source, t));
  EXPECT_EQ(t.space[6], 1006u);  // bytes 52..55: still inside
  EXPECT_EQ(t.space[7], 0u);
  EXPECT_EQ(t.space[8], 0u);
  EXPECT_EQ(t.options, 0);
  EXPECT_EQ(t.webInstaller, 0);
  EXPECT_EQ(t.updateAgent, 0);
}

TEST(PackageTrailer, HeaderCountZeroReadsAsTwoAndThreeStays) {
  for (int stored : {0, 2, 3}) {
    TrailerFields f;
    f.headerCount = static_cast<std::uint8_t>(stored);
    MemorySource source(package_bytes::Package({"a", "b", "c"}, f));
    Trailer t;
    ASSERT_TRUE(ReadTrailer(source, t));
    EXPECT_EQ(t.headerCount, stored == 0 ? 2 : stored);
  }
}

TEST(PackageTrailer, PackageEndPointer) {
  std::string file = WithEndPointer(StubImage(), 0x12, 0x345);
  MemorySource pe(file);
  EXPECT_TRUE(IsPeImage(pe));
  EXPECT_EQ(GetPackageEnd(pe), (std::uint64_t(0x12) << 32) | 0x345);
  file[1] = 'z';
  MemorySource other(file);
  EXPECT_FALSE(IsPeImage(other));
  EXPECT_EQ(LocatePackageEnd(other), file.size());
  MemorySource tiny("MZ");
  EXPECT_FALSE(IsPeImage(tiny));
  EXPECT_EQ(GetPackageEnd(tiny), 0u);
}

// Checksums worked out by hand from the algorithm.
TEST(PackageTrailer, FileChecksum) {
  // 24 bytes, words 1..6, T = 8: R starts at 16 and only words 1 and 2 are
  // summed while R stays above 4; no 1234 since R ends below 4.
  std::string small;
  for (std::uint32_t w = 1; w <= 6; ++w) small += package_bytes::U32(w * 0x01010101u);
  EXPECT_EQ(FileChecksum(MemorySource(small), 8), 0x01010101u + 0x02020202u);

  // 5000 bytes of words 1, T = 74: R = 4926. The first chunk adds its 1024
  // words and 1234; the second adds words 1025..1230 (206 of them).
  std::string ones;
  while (ones.size() < 5000) ones += package_bytes::U32(1);
  EXPECT_EQ(FileChecksum(MemorySource(ones), 74), 1024u + 1234u + 206u);

  // A PE image with the end pointer set starts at offset 512: 5000 bytes,
  // pointer 4800, T = 74: R = 4800 - 74 - 512 = 4214; the first chunk
  // (bytes 512..4607) adds 1024 words and 1234, the second words while
  // R > 4: 4214 - 4k > 4 for k up to 1052, so 28 more.
  std::string pe = ones;
  pe.replace(0, 2, "MZ");
  pe.replace(0x100, 2, "PE");
  PutU32(pe, 0xF8, 0);
  PutU32(pe, 0xFC, 4800);
  EXPECT_EQ(FileChecksum(MemorySource(pe), 74), 1024u + 1234u + 28u);

  EXPECT_EQ(FileChecksum(MemorySource(std::string(51201, 'x')), 74), kNoChecksum);
  EXPECT_EQ(FileChecksum(MemorySource(""), 74), 0u);
  EXPECT_EQ(FileChecksum("/no/such/file", 74), 0u);

  EXPECT_TRUE(ChecksumPasses(5, 5));
  EXPECT_TRUE(ChecksumPasses(kNoChecksum, 5));
  EXPECT_TRUE(ChecksumPasses(5, kNoChecksum));
  EXPECT_FALSE(ChecksumPasses(5, 6));
}

// Raises every hexadecimal digit by 50, as tokens are stored.
std::string Stored(const std::string& hex) {
  std::string s = hex;
  for (char& c : s) c = static_cast<char>(c + 50);
  return s;
}

TEST(PackageTrailer, UnscrambleToken) {
  // B0 = 10, p = 1, q = 2, one padding byte 77, value "Hi" (48 69), one
  // padding byte 55, B8 = 33: key 10^33 = 23 scrambles B1..B6 to
  // 22 21 54 6B 4A 76; the checksum of all but B7 is 517 mod 256 = 05.
  const std::string good = Stored("102221546B4A760533");
  EXPECT_EQ(UnscrambleTokenWithPreset(good, "P"), "Hi");
  EXPECT_EQ(UnscrambleTokenWithPreset(Stored("102221546B4A760633"), "P"), "P");  // checksum
  EXPECT_EQ(UnscrambleTokenWithPreset(Stored("102221546B4A7605"), "P"), "P");    // cut short
  EXPECT_EQ(UnscrambleTokenWithPreset(Stored("0102030406"), "P"), "P");          // 5 bytes, bad sum
  EXPECT_EQ(UnscrambleTokenWithPreset(Stored("01020304"), "P"), "P");            // 4 bytes
  EXPECT_EQ(UnscrambleTokenWithPreset("", "P"), "P");
  EXPECT_EQ(UnscrambleTokenWithPreset("102221546B4A760533", "P"), "P");  // not raised
  // p + q larger than the token: key 0, p = 200, sum fits.
  EXPECT_EQ(UnscrambleTokenWithPreset(Stored("00C800C800"), "P"), "P");
  // An empty value: B0 = 0, p = 0, q = 1, checksum = 1 + 0, B4 = 0.
  EXPECT_EQ(UnscrambleTokenWithPreset(Stored("0000010100"), "P"), "");

  const std::string failed = UnscrambleToken("bcd");
  ASSERT_FALSE(failed.empty());
  EXPECT_EQ(failed.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_LE(std::stoi(failed), 99998);
  EXPECT_EQ(UnscrambleToken(good), "Hi");
}

TEST(PackageTrailer, SpaceEntryForCluster) {
  const std::pair<std::uint64_t, int> cases[] = {
      {0, 0}, {511, 0}, {512, 1}, {1023, 1}, {1024, 2}, {4096, 4},
      {6000, 4}, {32768, 7}, {65536, 8}, {1 << 20, 8}};
  for (const auto& c : cases) EXPECT_EQ(SpaceEntryForCluster(c.first), c.second) << c.first;
}

}  // namespace
