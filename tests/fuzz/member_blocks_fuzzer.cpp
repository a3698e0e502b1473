// Feeds arbitrary bytes to the member-block walker: once as a package file
// found through its trailer, once as bare blocks from offset 0. Every block
// must end in a member, a skipped block or a corrupt block that ends the walk, with
// bounded memory.
#include <cstddef>
#include <cstdint>
#include <string>

#include "package/byte_source.h"
#include "package/member_blocks.h"
#include "package/package_trailer.h"

using namespace varnel;

namespace {

std::size_t Walk(const ByteSource& source, std::uint64_t start, int headers, std::uint64_t end) {
  std::size_t sink = 0;
  MemberBlockWalker walker(source, start, headers, end);
  MemberBlock block;
  while (walker.Next(block)) {
    sink += block.storedSize;
    if (block.hasFile) {
      sink += block.member.content.size() + block.member.engineEntry.size();
      sink += IsSafeMemberName(block.member.name);
    }
  }
  sink += walker.Corruption().size();
  return sink + walker.FirstMemberPosition();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const MemorySource source(std::string(reinterpret_cast<const char*>(data), size));
  std::size_t sink = 0;
  Trailer trailer;
  if (ReadTrailer(source, trailer))
    sink += Walk(source, trailer.packageStart, trailer.headerCount, TrailerStart(source));
  // Bare blocks: the first byte chooses the header count, the rest are blocks.
  if (size > 0) sink += Walk(source, 1, data[0] % 4, size);
  return sink == 0xFFFFFFFFu ? 1 : 0;
}
