#include "package/package_trailer.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "utils/random_seed.h"
#include "utils/text_format.h"

namespace varnel {
namespace {

std::uint32_t GetU32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i)
    if (at + i < b.size()) v |= std::uint32_t(static_cast<unsigned char>(b[at + i])) << (8 * i);
  return v;
}

std::uint8_t GetU8(std::string_view b, std::size_t at) {
  return at < b.size() ? static_cast<std::uint8_t>(b[at]) : 0;
}

void PutU32(std::string& b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutU8(std::string& b, std::size_t at, std::uint8_t v) { b[at] = static_cast<char>(v); }

constexpr std::size_t kTrOffBuild = 0;
constexpr std::size_t kTrOffReserved20 = 20;
constexpr std::size_t kTrOffReserved64 = 64;
constexpr std::size_t kLengthFieldSize = 4;
constexpr std::size_t kChecksumChunk = 4096;
constexpr std::uint64_t kChecksumSignedStart = 512;

int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string RandomPreset() {
  static std::minstd_rand engine(RandomSeed());
  return DecimalText(std::uniform_int_distribution<int>(0, 99998)(engine));
}

}  // namespace

namespace {

// The trailer's one-byte and four-byte fields (the reserved bytes and the
// space table are arrays, taken apart below).
struct ByteField {
  std::size_t offset;
  std::uint8_t Trailer::*field;
};
struct WordField {
  std::size_t offset;
  std::uint32_t Trailer::*field;
};
constexpr ByteField kByteFields[] = {
    {kTrOffBuild, &Trailer::build},
    {kTrOffHeaderCount, &Trailer::headerCount},
    {kTrOffReserved64, &Trailer::reserved64},
    {kTrOffOptions, &Trailer::options},
    {kTrOffWebInstaller, &Trailer::webInstaller},
    {kTrOffAskBeforeDownload, &Trailer::askBeforeDownload},
    {kTrOffWriteUpdateAgent, &Trailer::writeUpdateAgent},
    {kTrOffUpdateAgent, &Trailer::updateAgent},
};
constexpr WordField kWordFields[] = {
    {kTrOffPackageStart, &Trailer::packageStart},
    {kTrOffMemberCount, &Trailer::memberCount},
    {kTrOffMagic, &Trailer::magic},
    {kTrOffChecksum, &Trailer::checksum},
    {kTrOffLength, &Trailer::length},
};

}  // namespace

std::string EncodeTrailer(const Trailer& t) {
  std::string b(kTrailerSize, '\0');
  for (const ByteField& f : kByteFields) PutU8(b, f.offset, t.*f.field);
  for (const WordField& f : kWordFields) PutU32(b, f.offset, t.*f.field);
  std::memcpy(&b[kTrOffReserved20], t.reserved20, sizeof t.reserved20);
  for (int k = 0; k < kSpaceTableEntries; ++k) PutU32(b, kTrOffSpace + 4 * k, t.space[k]);
  return b;
}

Trailer DecodeTrailer(std::string_view b) {
  Trailer t;
  for (const ByteField& f : kByteFields) t.*f.field = GetU8(b, f.offset);
  for (const WordField& f : kWordFields) t.*f.field = GetU32(b, f.offset);
  for (std::size_t i = 0; i < sizeof t.reserved20; ++i) t.reserved20[i] = GetU8(b, kTrOffReserved20 + i);
  for (int k = 0; k < kSpaceTableEntries; ++k) t.space[k] = GetU32(b, kTrOffSpace + 4 * k);
  return t;
}

bool IsPeImage(const ByteSource& file) {
  char mz[2], pe[2];
  return file.ReadAt(0, mz, 2) && file.ReadAt(kPeHeaderOffset, pe, 2) && mz[0] == 'M' &&
         mz[1] == 'Z' && pe[0] == 'P' && pe[1] == 'E';
}

std::uint64_t GetPackageEnd(const ByteSource& file) {
  std::uint32_t high = 0, low = 0;
  if (!file.ReadU32(kEndPointerHighOffset, high) || !file.ReadU32(kEndPointerLowOffset, low))
    return 0;
  return std::uint64_t(high) << 32 | low;
}

std::uint64_t LocatePackageEnd(const ByteSource& file) {
  if (IsPeImage(file)) {
    const std::uint64_t end = GetPackageEnd(file);
    if (end != 0) return end;
  }
  return file.Size();
}

bool ReadTrailer(const ByteSource& file, Trailer& trailer) {
  trailer = Trailer();
  const std::uint64_t end = LocatePackageEnd(file);
  // An end pointer that lies beyond the file (or leaves no room for the
  // length field) cannot be honoured: the file is no package.
  if (end > file.Size() || end < kLengthFieldSize) return false;
  std::uint32_t length = 0;
  if (!file.ReadU32(end - kLengthFieldSize, length)) return false;
  if (length < kLengthFieldSize || length > end) return false;

  const std::size_t used = std::min<std::size_t>(length, kTrailerSize);
  std::string bytes;
  if (!file.ReadString(end - length, used - kLengthFieldSize, bytes)) return false;
  Trailer read = DecodeTrailer(bytes);  // a short read leaves later fields 0
  read.length = static_cast<std::uint32_t>(used);
  if (read.headerCount == 0) read.headerCount = 2;
  if (read.magic != kPackageMagic) return false;
  if (read.packageStart > end - length) return false;
  trailer = read;
  return true;
}

std::uint64_t TrailerStart(const ByteSource& file) {
  const std::uint64_t end = LocatePackageEnd(file);
  std::uint32_t length = 0;
  if (end > file.Size() || end < kLengthFieldSize || !file.ReadU32(end - kLengthFieldSize, length) ||
      length < kLengthFieldSize || length > end)
    return 0;
  return end - length;
}

std::uint32_t FileChecksum(const ByteSource& file, std::uint32_t trailerLength) {
  const std::uint64_t size = file.Size();
  if (size > kChecksumMaxFileSize) return kNoChecksum;

  std::uint32_t low = 0;
  const bool pointerSet = IsPeImage(file) && file.ReadU32(kEndPointerLowOffset, low) && low != 0;
  const std::uint64_t end = pointerSet ? low : size;
  std::int64_t remaining = static_cast<std::int64_t>(end) - trailerLength;
  std::uint64_t offset = 0;
  if (pointerSet) {
    remaining -= static_cast<std::int64_t>(kChecksumSignedStart);
    offset = kChecksumSignedStart;
  }

  std::uint32_t sum = 0;
  unsigned char chunk[kChecksumChunk];
  for (;;) {
    const std::size_t count =
        offset >= size ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(kChecksumChunk, size - offset));
    if (count && !file.ReadAt(offset, chunk, count)) return 0;
    offset += count;
    for (std::size_t i = 0; i + 4 <= count; i += 4) {
      remaining -= 4;
      if (remaining > 4)
        sum += std::uint32_t(chunk[i]) | std::uint32_t(chunk[i + 1]) << 8 |
               std::uint32_t(chunk[i + 2]) << 16 | std::uint32_t(chunk[i + 3]) << 24;
    }
    if (remaining > 4) sum += kNoChecksum;
    if (count < kChecksumChunk) break;
  }
  return sum;
}

std::uint32_t FileChecksum(const std::string& fileName, std::uint32_t trailerLength) {
  FileSource file;
  if (!file.Open(fileName)) return 0;
  return FileChecksum(file, trailerLength);
}

bool ChecksumPasses(std::uint32_t computed, std::uint32_t stored) {
  return computed == stored || computed == kNoChecksum || stored == kNoChecksum;
}

std::string UnscrambleTokenWithPreset(const std::string& text, const std::string& preset) {
  // Every stored character is a hexadecimal digit raised by 50; read pairs
  // until the first pair that is not hexadecimal.
  std::string b;  // the bytes, held in a string (no vector code of their own)
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    const int hi = HexValue(static_cast<unsigned char>(text[i]) - 50);
    const int lo = HexValue(static_cast<unsigned char>(text[i + 1]) - 50);
    if (hi < 0 || lo < 0) break;
    b += static_cast<char>(hi << 4 | lo);
  }
  const auto at = [&b](std::size_t i) { return static_cast<std::uint8_t>(b[i]); };
  const std::size_t n = b.size();
  if (n <= 4) return preset;

  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (i != n - 2) sum = static_cast<std::uint8_t>(sum + at(i));
  if (sum != at(n - 2)) return preset;

  const std::uint8_t key = at(0) ^ at(n - 1);
  for (std::size_t i = 1; i <= n - 2; ++i) b[i] = static_cast<char>(at(i) ^ key);
  const std::size_t p = at(1), q = at(2);
  // Padding counts that do not fit the token make it a failed one.
  if (p + q + 4 > n) return preset;
  return b.substr(3 + p, n - p - q - 4);
}

std::string UnscrambleToken(const std::string& text) {
  return UnscrambleTokenWithPreset(text, RandomPreset());
}

int SpaceEntryForCluster(std::uint64_t clusterSize) {
  int entry = 0;
  for (int k = 1; k < kSpaceTableEntries; ++k)
    if (clusterSize >= (256ull << k)) entry = k;
  return entry;
}

}  // namespace varnel
