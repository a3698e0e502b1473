// The package trailer and the free helpers that work on package files
// directly: end pointer, trailer lookup, file checksum, token unscrambling
// and the choice of a space-table entry. Platform-free.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "package/byte_source.h"
#include "package/package_format.h"

namespace varnel {

// The 74 on-disk bytes of `trailer` (its length field written as it is).
std::string EncodeTrailer(const Trailer& trailer);
// Decodes the trailer bytes that `bytes` holds; fields beyond the end of a
// shorter input read as 0, bytes beyond 74 are ignored. The length field is
// taken from the input like every other field.
Trailer DecodeTrailer(std::string_view bytes);

// The first two bytes are "MZ" and the two at offset 0x100 are "PE".
bool IsPeImage(const ByteSource& file);
// The package end pointer stored at 0xF8 (high half) and 0xFC (low half);
// 0 when unset or unreadable.
std::uint64_t GetPackageEnd(const ByteSource& file);
// Where the package ends: the end pointer for a PE image whose pointer is
// set, else the file size.
std::uint64_t LocatePackageEnd(const ByteSource& file);

// Reads the trailer of a package file into `trailer` (zeroed first): the u32
// length T before the package end, then min(T, 74) - 4 bytes from T bytes
// before the end; the length field becomes min(T, 74), a header count of 0
// becomes 2. True when the file is a package (magic matches).
//
// A file that cannot hold what the trailer claims is no package and leaves
// the record zeroed: a package end beyond the file, T below 4 or beyond the
// package end, a package start beyond the trailer.
bool ReadTrailer(const ByteSource& file, Trailer& trailer);

// Where the trailer begins: the package end minus the trailer length stored
// in its last four bytes (the stored length, which may differ from 74). The
// member blocks end here. 0 when the file has no readable trailer length.
std::uint64_t TrailerStart(const ByteSource& file);

// The file checksum of a package file of at most kChecksumMaxFileSize bytes;
// kNoChecksum for larger files. 0 when the file cannot be read.
std::uint32_t FileChecksum(const ByteSource& file, std::uint32_t trailerLength);
std::uint32_t FileChecksum(const std::string& fileName, std::uint32_t trailerLength);
// The stored checksum passes against the computed one.
bool ChecksumPasses(std::uint32_t computed, std::uint32_t stored);

// Unscrambles a stored secret token. A text that is too short, not
// hexadecimal or fails its checksum gives a random decimal number from 0 to
// 99,998 instead, so that two failed tokens almost never compare equal.
std::string UnscrambleToken(const std::string& text);
// The same with the fallback result given.
std::string UnscrambleTokenWithPreset(const std::string& text, const std::string& preset);

// Space-table index for a drive with `clusterSize`-byte clusters: the largest
// k (1..8) with 256 * 2^k <= clusterSize, else 0.
int SpaceEntryForCluster(std::uint64_t clusterSize);

}  // namespace varnel
