// Walking the blocks of one package file: the header blocks are skipped, then
// each member block is read, inflated (or taken as stored) and split into the
// member's header and content. Platform-free: the stub's extraction and the
// build tool's list/extract/verify commands share it.
//
// Every block length is checked against the package end before anything is
// read or allocated, and a member never grows beyond kMaxMemberPayload bytes,
// so a damaged or hostile package costs bounded memory.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "package/byte_source.h"
#include "package/package_format.h"

namespace varnel {

// Longest header text ("|name|time|") the build tool writes.
constexpr std::size_t kMaxMemberHeader = 64 * 1024;
// Largest payload the build tool writes: one piece, its header and the zero
// byte between them. A member that inflates beyond it is corrupt.
constexpr std::size_t kMaxMemberPayload = kPieceSize + kMaxMemberHeader + 1;

// One member as read from a package.
struct Member {
  std::string header;       // header text as stored, e.g. "|Engine.exe*|1248103133|"
  std::string name;         // header item 0, cut before a "*"
  std::uint32_t time = 0;   // header item 1: packed DOS date/time (local), 0 = not set
  std::string content;      // the file's bytes
  bool isEngine = false;    // the header carries the engine mark "*"
  // The engine entry as the launch needs it: the stored name item with its
  // "*" and any text after it (or the whole header when only a later item
  // carries the "*"). Empty unless isEngine.
  std::string engineEntry;
  std::string engineArgs;   // text after the "*" of the name item
};

// Splits a payload (header, zero byte, content) into `member`. False when the
// payload yields no file: no zero byte, or an empty header.
bool ParseMemberPayload(std::string payload, Member& member);

// A name that can be written into the destination folder as it is: no folder
// part, no drive or stream (":"), no "..", no device name (CON, NUL, AUX, PRN,
// COM1-9, LPT1-9, with or without extension), no "*", "|", "<", ">", "?", '"'
// or control characters, no trailing dot or blank.
bool IsSafeMemberName(const std::string& name);

// Inflates one zlib stream (RFC 1950) into `out`. False for a broken or
// truncated stream or for output beyond `limit` bytes; `error` then says
// why. `pump`, when set, is called between inflate rounds.
bool InflateMember(const std::string& compressed, std::string& out, std::string& error,
                   std::size_t limit = kMaxMemberPayload, const std::function<void()>& pump = {});

// Iterates the member blocks of one package file.
//
//   MemberBlockWalker walker(source, trailer.packageStart, trailer.headerCount,
//                            TrailerStart(source));
//   MemberBlock block;
//   while (walker.Next(block)) { if (block.hasFile) Write(block.member); }
//
// A corrupt member block (a broken or truncated zlib stream, a payload beyond
// kMaxMemberPayload, a block that runs past the package end or cannot be
// read) ends the walk: Next returns false and Corruption() tells what was
// wrong (zlib's message or a clear text). The build has no exceptions, so
// every caller checks Corruption() after its loop.
struct MemberBlock {
  std::int32_t length = 0;        // the block's stored length field
  std::uint32_t storedSize = 0;   // |length|: bytes of the block in the file (for progress)
  std::uint64_t offset = 0;       // file offset of the block's length field
  bool compressed = false;        // length > 0
  bool hasFile = false;           // the payload gives a member file (see ParseMemberPayload)
  Member member;                  // valid when hasFile
};

class MemberBlockWalker {
 public:
  // `headerCount` as stored in the trailer (0 is read as 2); `blocksEnd` is
  // where the trailer begins (TrailerStart). Blocks are read up to there: a
  // block that reaches into the trailer is corrupt, and no trailer byte is
  // ever read as a block.
  MemberBlockWalker(const ByteSource& source, std::uint64_t packageStart, int headerCount,
                    std::uint64_t blocksEnd);

  // Called between 64 KiB read chunks and between inflate rounds, so that a
  // window can keep answering its messages.
  void SetPump(std::function<void()> pump) { pump_ = std::move(pump); }

  // Reads the next member block into `block`; false at the end of the blocks
  // or at a corrupt one (see Corruption).
  bool Next(MemberBlock& block);

  // Empty unless a corrupt block ended the walk: then the text that says why.
  const std::string& Corruption() const { return corruption_; }

  // Offset just past the last header block (valid once Next has been called);
  // the update agent copy is cut here.
  std::uint64_t FirstMemberPosition() const { return firstMemberPosition_; }
  // Offset of the next block to read.
  std::uint64_t Position() const { return position_; }

 private:
  bool SkipHeaderBlocks();
  bool ReadBlockBytes(std::uint64_t offset, std::uint32_t size, std::string& bytes);
  bool InflateBlock(std::uint64_t offset, std::uint32_t size, std::string& out);
  // Ends the walk at a corrupt block; always false.
  bool Corrupt(std::string text);

  const ByteSource& source_;
  std::uint64_t position_;
  int headerCount_;
  std::uint64_t blocksEnd_;
  std::uint64_t firstMemberPosition_ = 0;
  bool headersSkipped_ = false;
  bool finished_ = false;
  std::string corruption_;
  std::function<void()> pump_;
  std::string chunk_;    // one read chunk of a compressed block
  std::string payload_;  // the payload buffer, reused from member to member
};

}  // namespace varnel
