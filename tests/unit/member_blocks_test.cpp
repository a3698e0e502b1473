#include "package/member_blocks.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

namespace varnel {
namespace {

using namespace std::string_literals;

void PutI32(std::string& out, std::int32_t v) {
  const std::uint32_t u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

std::string Deflate(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size,
            reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
            Z_DEFAULT_COMPRESSION);
  out.resize(size);
  return out;
}

std::string Block(const std::string& bytes, bool compressed) {
  std::string out;
  if (compressed) {
    const std::string z = Deflate(bytes);
    PutI32(out, static_cast<std::int32_t>(z.size()));
    out += z;
  } else {
    PutI32(out, -static_cast<std::int32_t>(bytes.size()));
    out += bytes;
  }
  return out;
}

// Two header blocks, the given member blocks, then 74 bytes standing in for
// the trailer (the walker never reads it: its blocks end where it begins).
std::string Package(const std::string& memberBlocks) {
  std::string p;
  PutI32(p, 3);
  p += "abc";
  PutI32(p, 0);
  p += memberBlocks;
  p += std::string(kTrailerSize, '\x7E');
  return p;
}

std::vector<MemberBlock> WalkAll(const std::string& package, std::uint64_t* firstMember = nullptr) {
  MemorySource source(package);
  MemberBlockWalker walker(source, 0, 2, package.size() - kTrailerSize);
  std::vector<MemberBlock> blocks;
  MemberBlock block;
  while (walker.Next(block)) blocks.push_back(block);
  if (firstMember) *firstMember = walker.FirstMemberPosition();
  return blocks;
}

TEST(MemberBlocks, ReadsCompressedStoredAndEmptyBlocks) {
  std::string content("bin\0ary", 7);
  std::string blocks = Block("|Engine.exe* /X|1248103133|\0"s + content, true);
  PutI32(blocks, 0);
  blocks += Block("|readme.txt|0|\0hello"s, false);
  blocks += Block("no zero byte here", false);
  blocks += Block("\0orphan"s, true);
  std::uint64_t firstMember = 0;
  const auto got = WalkAll(Package(blocks), &firstMember);
  EXPECT_EQ(firstMember, 4u + 3 + 4);
  ASSERT_EQ(got.size(), 5u);

  EXPECT_TRUE(got[0].compressed);
  ASSERT_TRUE(got[0].hasFile);
  EXPECT_EQ(got[0].member.name, "Engine.exe");
  EXPECT_TRUE(got[0].member.isEngine);
  EXPECT_EQ(got[0].member.engineEntry, "Engine.exe* /X");
  EXPECT_EQ(got[0].member.engineArgs, " /X");
  EXPECT_EQ(got[0].member.time, 1248103133u);
  EXPECT_EQ(got[0].member.content, content);

  EXPECT_EQ(got[1].length, 0);
  EXPECT_FALSE(got[1].hasFile);

  EXPECT_EQ(got[2].length, -20);
  ASSERT_TRUE(got[2].hasFile);
  EXPECT_EQ(got[2].member.name, "readme.txt");
  EXPECT_FALSE(got[2].member.isEngine);
  EXPECT_EQ(got[2].member.time, 0u);
  EXPECT_EQ(got[2].member.content, "hello");

  EXPECT_FALSE(got[3].hasFile);  // no zero byte
  EXPECT_FALSE(got[4].hasFile);  // empty header
}

TEST(MemberBlocks, PayloadParsingRules) {
  struct Case {
    std::string payload;
    bool hasFile;
    std::string name, engineEntry;
    std::uint32_t time;
    std::string content;
  } cases[] = {
      {"|a.txt|12x|\0"s, true, "a.txt", "", 0, ""},
      {"|a.txt|4294967295|\0\0\0"s, true, "a.txt", "", 4294967295u,
       "\0\0"s},
      {"|a.txt|4294967296|\0z"s, true, "a.txt", "", 0, "z"},
      {"|12345#b.dat|7|\0z"s, true, "12345#b.dat", "", 7, "z"},
      // A "*" outside the name item still marks the engine entry (whole header).
      {"|e.exe|1|*|\0z"s, true, "e.exe", "|e.exe|1|*|", 1, "z"},
      {"|only-name|\0z"s, true, "only-name", "", 0, "z"},
  };
  for (const auto& c : cases) {
    Member m;
    SCOPED_TRACE(c.payload);
    ASSERT_EQ(ParseMemberPayload(c.payload, m), c.hasFile);
    EXPECT_EQ(m.name, c.name);
    EXPECT_EQ(m.engineEntry, c.engineEntry);
    EXPECT_EQ(m.isEngine, !c.engineEntry.empty());
    EXPECT_EQ(m.time, c.time);
    EXPECT_EQ(m.content, c.content);
  }
}

TEST(MemberBlocks, BadPackagesAreCorruptNotCrashes) {
  std::string beyond;
  PutI32(beyond, 1000);
  beyond += "xy";
  std::string negative;
  PutI32(negative, -1000);
  std::string minInt;
  PutI32(minInt, INT32_MIN);
  // A deflate bomb: far more zeros than the largest member, tiny on disk.
  std::string bomb = Block(std::string(kMaxMemberPayload + 1, '\0'), true);
  // A valid stream cut short.
  std::string full = Deflate("|t.txt|0|\0"s + std::string(100000, 'q'));
  std::string truncated;
  PutI32(truncated, static_cast<std::int32_t>(full.size() / 2));
  truncated += full.substr(0, full.size() / 2);
  std::string garbage;
  PutI32(garbage, 8);
  garbage += "notzlib!";

  const struct {
    const char* what;
    std::string blocks;
    const char* message;
  } cases[] = {
      {"length beyond end", beyond, "past the package end"},
      {"negative beyond end", negative, "past the package end"},
      {"-2^31", minInt, "past the package end"},
      {"deflate bomb", bomb, "inflates beyond"},
      {"truncated stream", truncated, "truncated"},
      {"not zlib", garbage, "zlib error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string package = Package(c.blocks);
    MemorySource source(package);
    MemberBlockWalker walker(source, 0, 2, package.size() - kTrailerSize);
    MemberBlock block;
    EXPECT_FALSE(walker.Next(block));
    EXPECT_NE(walker.Corruption().find(c.message), std::string::npos) << walker.Corruption();
    EXPECT_FALSE(walker.Next(block));  // finished after the error
  }
}

TEST(MemberBlocks, HeaderBlockBeyondEndAndShortPackages) {
  std::string p;
  PutI32(p, 500);
  p += std::string(60, 'x');
  MemorySource source(p);
  MemberBlockWalker walker(source, 0, 2, 0);
  MemberBlock block;
  EXPECT_FALSE(walker.Next(block));  // the trailer begins at once: no blocks at all

  std::string q;
  PutI32(q, 500);
  q += std::string(200, 'x');
  MemorySource source2(q);
  MemberBlockWalker walker2(source2, 0, 2, q.size() - kTrailerSize);
  EXPECT_FALSE(walker2.Next(block));
  EXPECT_NE(walker2.Corruption().find("header block at offset 0 runs past the package end"),
            std::string::npos);

  // A package start beyond the end yields nothing.
  MemberBlockWalker walker3(source2, 1u << 30, 2, q.size() - kTrailerSize);
  EXPECT_FALSE(walker3.Next(block));
}

TEST(MemberBlocks, InflateGrowsToLargeMembers) {
  const std::string big(kPieceSize + 100, 'A');
  std::string out, error;
  ASSERT_TRUE(InflateMember(Deflate(big), out, error)) << error;
  EXPECT_EQ(out, big);
  int pumps = 0;
  ASSERT_TRUE(InflateMember(Deflate(big), out, error, kMaxMemberPayload, [&] { ++pumps; }));
  EXPECT_GT(pumps, 0);
  // Beyond the limit and cut short: no output, and the reason.
  EXPECT_FALSE(InflateMember(Deflate(big), out, error, 1000));
  EXPECT_TRUE(out.empty());
  EXPECT_NE(error.find("inflates beyond 1000 bytes"), std::string::npos) << error;
  EXPECT_FALSE(InflateMember(Deflate(big).substr(0, 20), out, error));
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
}

TEST(MemberBlocks, SafeMemberNames) {
  const char* safe[] = {"readme.txt", "Engine.exe", "12345#data.bin", "readme.txt.00002",
                        "CONSOLE.txt", "COM10", "LPT0.txt", "nul-free.txt", "a b.txt"};
  for (const char* n : safe) EXPECT_TRUE(IsSafeMemberName(n)) << n;
  const std::string unsafe[] = {"", "..", "a/b.txt", "a\\b.txt", "C:x.txt", "file.txt:ads",
                                "..\\up.txt", "a..b", "CON", "con.txt", "Nul", "AUX.dat",
                                "PRN", "COM1", "com9.log", "LPT1", "lpt5.x", "CON .txt",
                                "a*b", "a|b", "tab\tname", "z\0z"s, "trailing.",
                                "trailing ", "q?.txt", "<x>", "COM\xB9.txt", "lpt\xB2"};
  for (const auto& n : unsafe) EXPECT_FALSE(IsSafeMemberName(n)) << n;
}

}  // namespace
}  // namespace varnel
