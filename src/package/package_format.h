// Constants and records of the setup-file package format, shared by the
// stub's reader and the build tool's writer. All integers are little-endian.
#pragma once
#include <cstdint>
#include <cstddef>

namespace varnel {

constexpr std::uint32_t kPackageMagic = 0x4A3B2C1D;
constexpr std::uint32_t kNoChecksum = 1234;
constexpr std::size_t kTrailerSize = 74;
constexpr std::size_t kPeHeaderOffset = 0x100;     // where the stub's "PE" must start
constexpr std::size_t kEndPointerHighOffset = 0xF8; // package end pointer, high u32
constexpr std::size_t kEndPointerLowOffset = 0xFC;  // package end pointer, low u32
constexpr std::uint32_t kPieceSize = 5242880;       // files above this are split into pieces
constexpr std::uint32_t kChecksumMaxFileSize = 51200;
constexpr int kSpaceTableEntries = 9;

// Header block indices.
constexpr int kHeaderLanguages = 0;
constexpr int kHeaderUpdate = 1;
constexpr int kHeaderDownload = 2;

// Separators of the language list (block 0) and of one language section.
constexpr char kLanguageListSeparator = '\x02';
constexpr char kLanguageSectionSeparator = '\x01';

// Option flags, trailer byte 65.
enum OptionFlag : std::uint8_t {
  kOptShowTempNotice = 1u << 0,
  kOptMoreDisks = 1u << 1,
  kOptRestartFromTempCopy = 1u << 2,
  kOptShowActivityBar = 1u << 3,
  kOptAgentDownloadLog = 1u << 4,
};

// The 74-byte trailer as a decoded record. Encode/Decode convert from and to
// the on-disk bytes (see package_trailer.h).
struct Trailer {
  std::uint8_t build = 0;          // byte 0
  std::uint8_t headerCount = 0;    // byte 1
  std::uint32_t packageStart = 0;  // byte 4
  std::uint32_t memberCount = 0;   // byte 8
  std::uint32_t magic = 0;         // byte 12
  std::uint32_t checksum = 0;      // byte 16
  std::uint8_t reserved20[8] = {}; // bytes 20..27
  std::uint32_t space[kSpaceTableEntries] = {}; // bytes 28..63
  std::uint8_t reserved64 = 0;     // byte 64
  std::uint8_t options = 0;        // byte 65
  std::uint8_t webInstaller = 0;   // byte 66
  std::uint8_t askBeforeDownload = 0; // byte 67
  std::uint8_t writeUpdateAgent = 0;  // byte 68
  std::uint8_t updateAgent = 0;    // byte 69
  std::uint32_t length = 0;        // byte 70
};

// Byte offsets inside the trailer.
constexpr std::size_t kTrOffHeaderCount = 1;
constexpr std::size_t kTrOffPackageStart = 4;
constexpr std::size_t kTrOffMemberCount = 8;
constexpr std::size_t kTrOffMagic = 12;
constexpr std::size_t kTrOffChecksum = 16;
constexpr std::size_t kTrOffSpace = 28;
constexpr std::size_t kTrOffOptions = 65;
constexpr std::size_t kTrOffWebInstaller = 66;
constexpr std::size_t kTrOffAskBeforeDownload = 67;
constexpr std::size_t kTrOffWriteUpdateAgent = 68;
constexpr std::size_t kTrOffUpdateAgent = 69;
constexpr std::size_t kTrOffLength = 70;

}  // namespace varnel
