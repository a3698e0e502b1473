#include "package/member_blocks.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "package/zlib_inflate.h"
#include "utils/delimited_list.h"
#include "utils/text_format.h"

namespace varnel {
namespace {

// Bytes read from the file between two calls of the pump.
constexpr std::size_t kReadChunk = 65536;

std::uint32_t ParseDecimalTime(const std::string& text) {
  if (text.empty() || text.size() > 10) return 0;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(value);
}

std::uint32_t Magnitude(std::int32_t length) {
  return length < 0 ? 0u - static_cast<std::uint32_t>(length) : static_cast<std::uint32_t>(length);
}

// Largest compressed block a payload of kMaxMemberPayload bytes can need,
// whatever the level (stored deflate blocks included), with some slack.
// (zlib's compressBound formula, written out: calling it would link the
// whole compressor into the stub.)
std::uint64_t MaxCompressedBlock() {
  const std::uint64_t n = kMaxMemberPayload;
  return n + (n >> 12) + (n >> 14) + (n >> 25) + 13 + 4096;
}

// "<what> at offset <offset>[ (<bytes> bytes)] <tail>": the texts of a
// corrupt package's block structure.
std::string BlockText(const char* what, std::uint64_t offset, const char* tail,
                      const std::uint32_t* bytes = nullptr) {
  std::string text = what;
  text += " at offset ";
  text += DecimalText(offset);
  if (bytes) {
    text += " (";
    text += DecimalText(*bytes);
    text += " bytes)";
  }
  text += ' ';
  text += tail;
  return text;
}

std::string BeyondText(std::size_t limit) {
  std::string text = "corrupt member: inflates beyond ";
  AppendDecimal(text, limit);
  text += " bytes";
  return text;
}

// The text of a failed inflate, in zlib's words.
std::string InflateText(const InflateOutcome& outcome, std::size_t limit) {
  switch (outcome.status) {
    case InflateStatus::kBeyond: return BeyondText(limit);
    case InflateStatus::kTruncated: return "corrupt member: zlib stream is truncated";
    default: break;
  }
  std::string text = "corrupt member: zlib error ";
  text += DecimalText(outcome.code);
  if (*outcome.message) {
    text += " (";
    text += outcome.message;
    text += ')';
  }
  return text;
}

bool IsDeviceName(std::string base) {
  // Windows ignores blanks before the extension ("CON .txt" is the console).
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kDevices[] = {"CON", "NUL", "AUX", "PRN", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* d : kDevices)
    if (base == d) return true;
  // COM1-9 and LPT1-9; Windows also takes the superscript digits 1, 2, 3
  // of the ANSI code page (0xB9, 0xB2, 0xB3) as device numbers.
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
    const unsigned char n = static_cast<unsigned char>(base[3]);
    if ((n >= '1' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3) return true;
  }
  return false;
}

// Member() in place: the strings keep their buffers.
void ClearMember(Member& member) {
  member.header.clear();
  member.name.clear();
  member.time = 0;
  member.content.clear();
  member.isEngine = false;
  member.engineEntry.clear();
  member.engineArgs.clear();
}

}  // namespace

bool ParseMemberPayload(std::string payload, Member& member) {
  ClearMember(member);
  const std::size_t zero = payload.find('\0');
  if (zero == std::string::npos || zero == 0) return false;
  member.header = payload.substr(0, zero);
  // The content keeps the payload's buffer: no second 5 MiB allocation.
  payload.erase(0, zero + 1);
  member.content = std::move(payload);
  const std::string nameItem = SUB::ListItem(member.header, 0);
  member.name = nameItem;
  member.time = ParseDecimalTime(SUB::ListItem(member.header, 1));
  if (member.header.find('*') != std::string::npos) {
    member.isEngine = true;
    member.engineEntry = member.header;
  }
  const std::size_t star = nameItem.find('*');
  if (star != std::string::npos) {
    member.engineEntry = nameItem;
    member.engineArgs = nameItem.substr(star + 1);
    member.name = nameItem.substr(0, star);
  }
  return true;
}

bool IsSafeMemberName(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::strchr("\\/:*|<>?\"", c)) return false;
  }
  if (name.find("..") != std::string::npos) return false;
  if (name.back() == '.' || name.back() == ' ') return false;
  return !IsDeviceName(name.substr(0, name.find('.')));
}

bool InflateMember(const std::string& compressed, std::string& out, std::string& error,
                   std::size_t limit, const std::function<void()>& pump) {
  bool given = false;
  const InflateInput input = [&](const unsigned char*& data, std::size_t& size) {
    if (given) return false;
    given = true;
    data = reinterpret_cast<const unsigned char*>(compressed.data());
    size = compressed.size();
    return true;
  };
  const InflateOutcome outcome = InflateZlib(input, out, limit, pump);
  if (outcome.status == InflateStatus::kEnded) return true;
  error = InflateText(outcome, limit);
  out.clear();
  return false;
}

MemberBlockWalker::MemberBlockWalker(const ByteSource& source, std::uint64_t packageStart,
                                     int headerCount, std::uint64_t blocksEnd)
    : source_(source),
      position_(packageStart),
      headerCount_(headerCount == 0 ? 2 : headerCount),
      blocksEnd_(std::min<std::uint64_t>(blocksEnd, source.Size())) {}

bool MemberBlockWalker::ReadBlockBytes(std::uint64_t offset, std::uint32_t size,
                                       std::string& bytes) {
  bytes.resize(size);
  for (std::uint32_t done = 0; done < size;) {
    const std::uint32_t part = static_cast<std::uint32_t>(std::min<std::size_t>(kReadChunk, size - done));
    if (!source_.ReadAt(offset + done, &bytes[done], part)) return false;
    done += part;
    if (pump_) pump_();
  }
  return true;
}

bool MemberBlockWalker::Corrupt(std::string text) {
  corruption_ = std::move(text);
  finished_ = true;
  return false;
}

bool MemberBlockWalker::InflateBlock(std::uint64_t offset, std::uint32_t size, std::string& out) {
  std::uint32_t done = 0;
  bool unreadable = false;
  const InflateInput input = [&](const unsigned char*& data, std::size_t& given) {
    if (done >= size) return false;
    const std::uint32_t part = static_cast<std::uint32_t>(std::min<std::size_t>(kReadChunk, size - done));
    chunk_.resize(part);
    if (!source_.ReadAt(offset + done, &chunk_[0], part)) {
      unreadable = true;
      return false;
    }
    done += part;
    data = reinterpret_cast<const unsigned char*>(chunk_.data());
    given = part;
    if (pump_) pump_();
    return true;
  };
  const InflateOutcome outcome = InflateZlib(input, out, kMaxMemberPayload, pump_);
  if (unreadable) return Corrupt(BlockText("member block", offset - 4, "cannot be read"));
  if (outcome.status != InflateStatus::kEnded) return Corrupt(InflateText(outcome, kMaxMemberPayload));
  return true;
}

bool MemberBlockWalker::SkipHeaderBlocks() {
  for (int i = 0; i < headerCount_; ++i) {
    if (position_ >= blocksEnd_) return false;
    std::int32_t length = 0;
    if (!source_.ReadI32(position_, length))
      return Corrupt(BlockText("header block length", position_, "cannot be read"));
    const std::uint64_t next = position_ + 4 + Magnitude(length);
    if (position_ + 4 > blocksEnd_ || next > blocksEnd_)
      return Corrupt(BlockText("header block", position_, "runs past the package end"));
    position_ = next;
  }
  firstMemberPosition_ = position_;
  return true;
}

bool MemberBlockWalker::Next(MemberBlock& block) {
  if (finished_) return false;
  // The previous member's content buffer is taken back for this one: one
  // payload buffer serves every member, so no 5 MiB allocation per piece.
  payload_.swap(block.member.content);
  block.length = 0;
  block.storedSize = 0;
  block.offset = 0;
  block.compressed = false;
  block.hasFile = false;
  ClearMember(block.member);
  if (!headersSkipped_) {
    headersSkipped_ = true;
    if (!SkipHeaderBlocks()) {
      finished_ = true;
      return false;
    }
  }
  // Blocks continue up to the trailer.
  if (position_ >= blocksEnd_) {
    finished_ = true;
    return false;
  }
  block.offset = position_;
  if (position_ + 4 > blocksEnd_)
    return Corrupt(BlockText("member block length", position_, "runs past the package end"));
  if (!source_.ReadI32(position_, block.length))
    return Corrupt(BlockText("member block length", position_, "cannot be read"));
  block.storedSize = Magnitude(block.length);
  block.compressed = block.length > 0;
  const std::uint64_t dataStart = position_ + 4;
  if (dataStart + block.storedSize > blocksEnd_) {
    return Corrupt(BlockText("member block", position_, "runs past the package end", &block.storedSize));
  }
  const std::uint64_t maxStored = block.compressed ? MaxCompressedBlock() : kMaxMemberPayload;
  if (block.storedSize > maxStored) {
    return Corrupt(BlockText("member block", position_, "is larger than any member", &block.storedSize));
  }
  position_ = dataStart + block.storedSize;
  if (block.storedSize == 0) return true;

  // A compressed block is inflated while it is read, chunk by chunk, so
  // only the payload is ever held whole.
  if (block.compressed) {
    if (!InflateBlock(dataStart, block.storedSize, payload_)) return false;
  } else if (!ReadBlockBytes(dataStart, block.storedSize, payload_)) {
    return Corrupt(BlockText("member block", block.offset, "cannot be read"));
  }
  block.hasFile = ParseMemberPayload(std::move(payload_), block.member);
  payload_ = std::string();
  return true;
}

}  // namespace varnel
