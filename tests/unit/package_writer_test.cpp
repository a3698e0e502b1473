#include "package/package_writer.h"

#include <gtest/gtest.h>

#include "package/member_blocks.h"
#include "package/package_reader.h"
#include "package/package_trailer.h"
#include "utils/delimited_list.h"

namespace varnel {
namespace {

using namespace std::string_literals;

std::uint32_t U32At(const std::string& s, std::size_t off) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(s[off + i]);
  return v;
}

std::string LE(std::uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return out;
}

// A stand-in stub image: "MZ", zeros, "PE\0\0" at 0x100, zeros.
std::string FakeStub(std::size_t size = 261120) {
  std::string stub(size, '\0');
  stub[0] = 'M';
  stub[1] = 'Z';
  stub.replace(0x100, 4, "PE\0\0"s);
  return stub;
}

BuildOptions SmallOptions() {
  BuildOptions o;
  o.stub = FakeStub();
  o.languages = {{"English", {"FontName=Tahoma", "s1=Starting up, please wait ..."}}};
  o.engine = {"Engine.exe", std::string(100, '\0'), 0x4A648ADD, false};
  o.files = {{"readme.txt", "hello", 0x4A648ADD, true}};
  return o;
}

std::vector<Member> Walk(const std::string& file, std::uint32_t start, int headers,
                         std::uint64_t end = 0) {
  MemorySource source(file);
  MemberBlockWalker walker(source, start, headers, end ? end : TrailerStart(source));
  std::vector<Member> members;
  MemberBlock block;
  while (walker.Next(block))
    if (block.hasFile) members.push_back(block.member);
  EXPECT_EQ(walker.Corruption(), "");
  return members;
}

TEST(PackageWriter, WorkedLayoutByteForByte) {
  std::vector<BuiltFile> files;
  std::string error;
  ASSERT_TRUE(BuildSetup(SmallOptions(), files, error)) << error;
  ASSERT_EQ(files.size(), 1u);
  const std::string& f = files[0].bytes;
  ASSERT_EQ(f.size(), 261354u);

  EXPECT_EQ(f.substr(0xF8, 8), std::string(8, '\0'));
  std::string expected = LE(59) + "\x02\x01"s + "English\x01" + "FontName=Tahoma\x01" +
                         "s1=Starting up, please wait ...\x01\x02";
  expected += LE(21) + "|http:|.info|.exe||0|";
  EXPECT_EQ(f.substr(261120, expected.size()), expected);
  EXPECT_EQ(U32At(f, 261208), 35u);
  std::string inflated;
  ASSERT_TRUE(InflateMember(f.substr(261212, 35), inflated, error)) << error;
  EXPECT_EQ(inflated, "|Engine.exe*|1248103133|\0"s + std::string(100, '\0'));
  EXPECT_EQ(f.substr(261247, 33), LE(static_cast<std::uint32_t>(-29)) +
                                      "|readme.txt|1248103133|\0hello"s);

  std::string trailer = "\x01\x02\x00\x00"s + LE(261120) + LE(2) + LE(0x4A3B2C1D) + LE(1234) +
                        std::string(8, '\0');
  for (std::uint32_t v : {105u, 1024u, 2048u, 4096u, 8192u, 16384u, 32768u, 65536u, 131072u})
    trailer += LE(v);
  trailer += std::string(6, '\0') + LE(74);
  EXPECT_EQ(f.substr(261280), trailer);
  EXPECT_EQ(f.substr(0, 261120), FakeStub());
}

TEST(PackageWriter, LargeFileIsStoredInPieces) {
  BuildOptions o = SmallOptions();
  std::string big(10485760, 'x');
  for (std::size_t i = 0; i < big.size(); i += 4099) big[i] = static_cast<char>(i);
  o.files = {{"12345#big.bin", big, 7, false}};
  std::vector<BuiltFile> files;
  std::string error;
  ASSERT_TRUE(BuildSetup(o, files, error)) << error;
  const std::string& f = files[0].bytes;
  const std::string trailer = f.substr(f.size() - kTrailerSize);
  EXPECT_EQ(U32At(trailer, kTrOffMemberCount), 3u);
  EXPECT_EQ(U32At(trailer, kTrOffSpace), 100u + 20971520u);
  EXPECT_EQ(U32At(trailer, kTrOffSpace + 4), 512u + 20971520u);

  const auto members = Walk(f, 261120, 2);
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(members[1].name, "12345#big.bin");
  EXPECT_EQ(members[2].name, "12345#big.bin.00002");
  EXPECT_EQ(members[2].time, 7u);
  EXPECT_EQ(members[1].content, big.substr(0, 5242880));
  EXPECT_EQ(members[2].content, big.substr(5242880));
}

TEST(PackageWriter, SpannedDisksEachCarryHeadersAndTrailer) {
  for (SpanNaming naming : {SpanNaming::kSetupExe, SpanNaming::kNumbered}) {
    BuildOptions o = SmallOptions();
    o.stub = FakeStub(4096);
    o.spanNaming = naming;
    o.files.clear();
    for (int i = 0; i < 6; ++i) {
      std::string content(3000, static_cast<char>('a' + i));
      o.files.push_back({"f" + std::to_string(i) + ".dat", content, 0, true});
    }
    o.spanSize = 4096 + 3500 * 2;  // two members on disk 1, then three a disk
    std::vector<BuiltFile> files;
    std::string error;
    ASSERT_TRUE(BuildSetup(o, files, error)) << error;

    std::vector<std::string> names;
    std::size_t disk = 0;
    for (const auto& bf : files) {
      SCOPED_TRACE(bf.suffix);
      EXPECT_LE(bf.bytes.size(), o.spanSize);
      const std::string t = bf.bytes.substr(bf.bytes.size() - kTrailerSize);
      EXPECT_EQ(U32At(t, kTrOffMagic), kPackageMagic);
      const bool starter = naming == SpanNaming::kNumbered && bf.suffix.empty();
      const bool last = &bf == &files.back();
      EXPECT_EQ((t[kTrOffOptions] & kOptMoreDisks) != 0, !last && !starter);
      EXPECT_EQ((t[kTrOffOptions] & kOptRestartFromTempCopy) != 0, starter);
      const std::uint32_t start = U32At(t, kTrOffPackageStart);
      for (const auto& m : Walk(bf.bytes, start, 2)) names.push_back(m.name);
      if (!starter) {
        ++disk;
        const bool hasStub = disk == 1;
        EXPECT_EQ(start, hasStub ? 4096u : 0u);
        EXPECT_EQ(bf.bytes.compare(0, 2, "MZ") == 0, hasStub);
        char want[8];
        std::snprintf(want, sizeof want, ".%03d", static_cast<int>(disk));
        EXPECT_EQ(bf.suffix, naming == SpanNaming::kSetupExe && disk == 1 ? "" : want);
        if (disk == 1) {
          EXPECT_EQ(U32At(t, kTrOffMemberCount), 7u);
        }
      }
    }
    EXPECT_EQ(disk, 3u);
    std::vector<std::string> want = {"Engine.exe"};
    for (int i = 0; i < 6; ++i) want.push_back("f" + std::to_string(i) + ".dat");
    EXPECT_EQ(names, want);
  }
}

TEST(PackageWriter, EndPointerAndAppendedData) {
  BuildOptions o = SmallOptions();
  o.appended = std::string(1000, '\x55');
  std::vector<BuiltFile> files;
  std::string error;
  ASSERT_TRUE(BuildSetup(o, files, error)) << error;
  const std::string& f = files[0].bytes;
  EXPECT_EQ(f.size(), 261354u + 1000);
  EXPECT_EQ(U32At(f, 0xF8), 0u);
  EXPECT_EQ(U32At(f, 0xFC), 261354u);
  EXPECT_EQ(U32At(f, 261354 - 4), 74u);
  EXPECT_EQ(Walk(f, 261120, 2, 261354 - 74).size(), 2u);
}

TEST(PackageWriter, ComputedChecksumOnSmallFiles) {
  for (bool signed_ : {false, true}) {
    SCOPED_TRACE(signed_ ? "signed" : "plain");
    BuildOptions o = SmallOptions();
    o.stub = FakeStub(1024);
    o.computeChecksum = true;
    if (signed_) o.appended = std::string(700, 'S');
    std::vector<BuiltFile> files;
    std::string error;
    ASSERT_TRUE(BuildSetup(o, files, error)) << error;
    std::string f = files[0].bytes;
    MemorySource source(f);
    Trailer t;
    ASSERT_TRUE(ReadTrailer(source, t));
    EXPECT_NE(t.checksum, kNoChecksum);
    EXPECT_EQ(FileChecksum(source, t.length), t.checksum);

    f[1100] ^= 0x40;  // inside the header blocks
    EXPECT_NE(FileChecksum(MemorySource(f), t.length), t.checksum);
  }
  // A file above the checked size keeps the given value.
  BuildOptions big = SmallOptions();
  big.computeChecksum = true;
  std::vector<BuiltFile> files;
  std::string error;
  ASSERT_TRUE(BuildSetup(big, files, error));
  EXPECT_EQ(U32At(files[0].bytes, files[0].bytes.size() - kTrailerSize + kTrOffChecksum), kNoChecksum);
}

TEST(PackageWriter, TokensScrambleToThirtyFourCharacters) {
  TokenRandom random(42);
  for (int i = 0; i < 50; ++i) {
    const std::string value = NewTokenValue(random);
    EXPECT_EQ(value.size(), 8u);
    const std::string text = ScrambleToken(value, random);
    EXPECT_EQ(text.size(), 34u);
    for (char c : text) EXPECT_TRUE((c >= 'b' && c <= 'k') || (c >= 's' && c <= 'x')) << text;
  }
  for (const std::string value : {"", "a", "TOKEN123", "twelve-bytes", "a much longer token value"}) {
    const std::string text = ScrambleToken(value, random);
    EXPECT_EQ(UnscrambleTokenWithPreset(text, "failed"), value);
  }
  TokenRandom a(7), b(7);
  EXPECT_EQ(ScrambleToken("SAME", a), ScrambleToken("SAME", b));
}

TEST(PackageWriter, DownloadBlockNamesOwnSize) {
  BuildOptions o = SmallOptions();
  o.withDownloadBlock = true;
  o.download = {"http://127.0.0.1/x", "setup.exe", "0", "", "auto"};
  o.downloadTokenValue = "TOKEN123";
  std::vector<BuiltFile> files;
  std::string error;
  ASSERT_TRUE(BuildSetup(o, files, error)) << error;
  const std::string& f = files[0].bytes;
  EXPECT_NE(f.find("|" + std::to_string(f.size()) + "|"), std::string::npos);
  EXPECT_EQ(static_cast<std::uint8_t>(f[f.size() - kTrailerSize + 1]), 3u);

  std::string web;
  ASSERT_TRUE(BuildWebInstaller(o, f.size(), web, error)) << error;
  const std::string t = web.substr(web.size() - kTrailerSize);
  EXPECT_EQ(t[kTrOffWebInstaller], 1);
  EXPECT_EQ(U32At(t, kTrOffMemberCount), 0u);
  EXPECT_EQ(U32At(t, kTrOffSpace), 105u);
  EXPECT_TRUE(Walk(web, 261120, 3).empty());

  // Both files carry the same token under different padding.
  auto downloadToken = [](const std::string& file) {
    const std::uint32_t lang = U32At(file, 261120);
    const std::uint32_t update = U32At(file, 261124 + lang);
    const std::size_t at = 261128 + lang + update;
    return SUB::ListItem(file.substr(at + 4, U32At(file, at)), 3);
  };
  EXPECT_NE(downloadToken(web), downloadToken(f));
  EXPECT_EQ(UnscrambleToken(downloadToken(web)), "TOKEN123");
  EXPECT_EQ(UnscrambleToken(downloadToken(f)), "TOKEN123");

  const TGFileInfo webReader = TGFileInfo::Create(MemorySource(web));
  const TGFileInfo fullReader = TGFileInfo::Create(MemorySource(f));
  EXPECT_TRUE(webReader.IsWebInstaller());
  EXPECT_FALSE(fullReader.IsWebInstaller());
  EXPECT_EQ(webReader.GetSetupFileName(), "setup.exe");
  EXPECT_EQ(webReader.GetSetupFileSize(), std::to_string(f.size()));
  EXPECT_TRUE(webReader.SameDownloadToken(fullReader));

  BuildOptions other = o;
  other.downloadTokenValue = "OTHER";
  std::string otherWeb;
  ASSERT_TRUE(BuildWebInstaller(other, f.size(), otherWeb, error));
  EXPECT_FALSE(TGFileInfo::Create(MemorySource(otherWeb)).SameDownloadToken(fullReader));
}

// Packages of several shapes come back through the trailer lookup and the
// block walker as they were written.
TEST(PackageWriter, RoundTripThroughReader) {
  const struct {
    const char* what;
    void (*change)(BuildOptions&);
  } cases[] = {
      {"worked layout", [](BuildOptions&) {}},
      {"no files", [](BuildOptions& o) { o.files.clear(); }},
      {"no engine", [](BuildOptions& o) { o.engine = InputFile(); }},
      {"engine args and level 0", [](BuildOptions& o) { o.engineArgs = " /X"; o.level = 0; }},
      {"level 9 binary", [](BuildOptions& o) {
         o.level = 9;
         std::string bin;
         for (int i = 0; i < 70000; ++i) bin.push_back(static_cast<char>(i * 7 + i / 13));
         o.files.push_back({"bin.dat", bin, 1, false});
       }},
      {"empty file", [](BuildOptions& o) { o.files.push_back({"empty", "", 0, false}); }},
      {"download block and flags", [](BuildOptions& o) {
         o.withDownloadBlock = true;
         o.download = {"http://h", "s.exe", "1", "", "12"};
         o.options = kOptShowTempNotice | kOptShowActivityBar | kOptAgentDownloadLog;
         o.writeUpdateAgent = 1;
         o.askBeforeDownload = 1;
       }},
      {"signed", [](BuildOptions& o) { o.endPointer = true; o.appended = std::string(4096, 'S'); }},
      {"two languages", [](BuildOptions& o) { o.languages.push_back({"German", {"s1=Bitte warten"}}); }},
      {"update key and setup hash", [](BuildOptions& o) {
         o.update.publicKey = std::string(128, 'a');
         o.withDownloadBlock = true;
         o.download = {"http://h", "s.exe", "1", "", "12", std::string(64, 'b')};
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BuildOptions o = SmallOptions();
    c.change(o);
    std::vector<BuiltFile> files;
    std::string error;
    ASSERT_TRUE(BuildSetup(o, files, error)) << error;
    ASSERT_EQ(files.size(), 1u);
    MemorySource source(files[0].bytes);
    Trailer t;
    ASSERT_TRUE(ReadTrailer(source, t));
    EXPECT_EQ(t.packageStart, 261120u);
    EXPECT_EQ(t.headerCount, o.withDownloadBlock ? 3 : 2);
    EXPECT_EQ(t.options, o.options);
    EXPECT_EQ(t.writeUpdateAgent, o.writeUpdateAgent);
    EXPECT_EQ(t.askBeforeDownload, o.askBeforeDownload);
    EXPECT_EQ(LocatePackageEnd(source), files[0].bytes.size() - o.appended.size());
    EXPECT_EQ(FileChecksum(source, t.length), kNoChecksum);
    const TGFileInfo reader = TGFileInfo::Create(source);
    ASSERT_TRUE(reader.IsPackage());
    EXPECT_EQ(reader.LanguageList(), EncodeLanguageList(o.languages));
    EXPECT_EQ(reader.GetUpdateUrl(), "http:");
    EXPECT_EQ(reader.GetAgentFileName(), ".exe");
    EXPECT_EQ(reader.GetSetupFileName(), o.withDownloadBlock ? "s.exe" : "");
    EXPECT_EQ(reader.NoLocalSetupCopy(), o.withDownloadBlock);
    EXPECT_EQ(reader.ShowActivityBar(), (o.options & kOptShowActivityBar) != 0);
    // The key and the hash are sixth items: the first five read as before,
    // and a package without them has exactly five.
    EXPECT_EQ(reader.GetInfoFileName(), ".info");
    EXPECT_EQ(reader.RunHidden(), false);
    EXPECT_EQ(SUB::ListItem(reader.UpdateBlock(), 5), o.update.publicKey);
    EXPECT_EQ(SUB::ListCount(reader.UpdateBlock()), o.update.publicKey.empty() ? 5 : 6);
    if (o.withDownloadBlock) {
      EXPECT_EQ(reader.GetSetupFileSize(), "12");
      EXPECT_EQ(SUB::ListItem(reader.DownloadBlock(), 5), o.download.setupHash);
      EXPECT_EQ(SUB::ListCount(reader.DownloadBlock()), o.download.setupHash.empty() ? 5 : 6);
    }

    MemberBlockWalker walker(source, t.packageStart, t.headerCount, TrailerStart(source));
    std::vector<InputFile> want;
    if (!o.engine.name.empty()) want.push_back(o.engine);
    for (const auto& f : o.files) want.push_back(f);
    MemberBlock block;
    std::size_t n = 0, blocks = 0;
    while (walker.Next(block)) {
      ++blocks;
      ASSERT_TRUE(block.hasFile);
      ASSERT_LT(n, want.size());
      EXPECT_EQ(block.member.name, want[n].name);
      EXPECT_EQ(block.member.content, want[n].content);
      EXPECT_EQ(block.member.time, want[n].time);
      EXPECT_EQ(block.compressed, !want[n].store);
      EXPECT_EQ(block.member.isEngine, n == 0 && !o.engine.name.empty());
      if (block.member.isEngine) {
        EXPECT_EQ(block.member.engineEntry, "Engine.exe*" + o.engineArgs);
      }
      ++n;
    }
    EXPECT_EQ(n, want.size());
    EXPECT_EQ(blocks, t.memberCount);
  }
}

TEST(PackageWriter, RefusesBadInput) {
  const struct {
    const char* what;
    void (*change)(BuildOptions&);
    const char* message;
  } cases[] = {
      {"no MZ", [](BuildOptions& o) { o.stub[0] = 'X'; }, "no \"MZ\""},
      {"no PE", [](BuildOptions& o) { o.stub[0x100] = 'X'; }, "0x100"},
      {"short stub", [](BuildOptions& o) { o.stub = "MZ"; }, "0x100"},
      {"folder part", [](BuildOptions& o) { o.files[0].name = "sub\\a.txt"; }, "folder part"},
      {"star", [](BuildOptions& o) { o.files[0].name = "a*.txt"; }, "\"*\""},
      {"bar", [](BuildOptions& o) { o.files[0].name = "a|b.txt"; }, "\"|\""},
      {"zero byte", [](BuildOptions& o) { o.files[0].name = "a\0b"s; }, "zero byte"},
      {"device", [](BuildOptions& o) { o.files[0].name = "con.txt"; }, "cannot be written"},
      {"duplicate", [](BuildOptions& o) { o.files.push_back(o.files[0]); }, "two members"},
      {"piece clash",
       [](BuildOptions& o) {
         o.files = {{"a", std::string(kPieceSize + 1, 'a'), 0, true}, {"A.00002", "x", 0, true}};
       },
       "two members"},
      {"engine args", [](BuildOptions& o) { o.engineArgs = "/a|b"; }, "engine arguments"},
      {"language byte", [](BuildOptions& o) { o.languages[0].items.push_back("k=\x02"); }, "separator"},
      {"update item", [](BuildOptions& o) { o.update.url = "http://a|b"; }, "update URL"},
      {"span too small", [](BuildOptions& o) { o.spanSize = 261120 + 100; }, "span size"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BuildOptions o = SmallOptions();
    c.change(o);
    std::vector<BuiltFile> files;
    std::string error;
    EXPECT_FALSE(BuildSetup(o, files, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(PackageWriter, LanguageTextFiles) {
  LanguageSection s;
  std::string error;
  ASSERT_TRUE(ParseLanguageText("\xEF\xBB\xBF# comment\r\n[Deutsch]\r\ns1=Bitte warten<P>...\r\n\r\n"
                                "FontName = Arial\n; x\n",
                                "German", s, error))
      << error;
  EXPECT_EQ(s.name, "Deutsch");
  EXPECT_EQ(s.items, (std::vector<std::string>{"s1=Bitte warten<P>...", "FontName = Arial"}));
  ASSERT_TRUE(ParseLanguageText("s0=x\n", "English", s, error));
  EXPECT_EQ(s.name, "English");
  EXPECT_FALSE(ParseLanguageText("s0=x\nbroken\n", "English", s, error));
  EXPECT_EQ(error, "line 2: expected key=value");
  EXPECT_EQ(EncodeLanguageList({{"A", {"k=1"}}, {"B", {}}}), "\x02\x01" "A\x01k=1\x01\x02\x01" "B\x01\x02"s);
}

TEST(PackageWriter, DosTimeAndUpdateAgentCopy) {
  EXPECT_EQ(PackDosTime(2017, 3, 4, 17, 22, 58), 0x4A648ADDu);
  EXPECT_EQ(PackDosTime(1979, 1, 1, 0, 0, 0), 0u);

  std::vector<BuiltFile> files;
  std::string error;
  ASSERT_TRUE(BuildSetup(SmallOptions(), files, error));
  Trailer t;
  t.magic = kPackageMagic;
  t.memberCount = 2;
  t.headerCount = 2;
  t.packageStart = 261120;
  const std::string head = files[0].bytes.substr(0, 261208);
  const std::string agent = MakeUpdateAgentCopy(head, t);
  ASSERT_EQ(agent.size(), 261208u + 74);
  EXPECT_EQ(agent[agent.size() - 5], 1);
  EXPECT_EQ(U32At(agent, agent.size() - 4), 74u);
  EXPECT_TRUE(Walk(agent, 261120, 2).empty());
}

}  // namespace
}  // namespace varnel
