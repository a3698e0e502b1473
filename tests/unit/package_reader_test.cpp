#include "package/package_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "package/package_trailer.h"
#include "package_bytes.h"
#include "utils/delimited_list.h"
#include "utils/text_scramble.h"

namespace {

using namespace varnel;
using package_bytes::LanguageList;
using package_bytes::Package;
using package_bytes::TrailerFields;

std::string Fixture(const std::string& name) {
  return std::string(VARNEL_FIXTURES) + "/packages/" + name;
}

// Each test starts without a language choice and on an English system.
class PackageReader : public ::testing::Test {
 protected:
  void SetUp() override { Reset(0x409); }
  void TearDown() override {
    SetLocaleIdSource(nullptr);
    ResetLanguageChoiceForTesting();
  }
  static std::uint32_t g_locale;
  static std::uint32_t Locale() { return g_locale; }
  void Reset(std::uint32_t locale) {
    g_locale = locale;
    SetLocaleIdSource(Locale);
    ResetLanguageChoiceForTesting();
  }
};
std::uint32_t PackageReader::g_locale = 0;

void ExpectNotAPackage(const TGFileInfo& r) {
  EXPECT_FALSE(r.IsPackage());
  EXPECT_EQ(EncodeTrailer(r.GetTrailer()), std::string(kTrailerSize, '\0'));
  EXPECT_EQ(r.LanguageList(), "");
  EXPECT_EQ(r.UpdateBlock(), "");
  EXPECT_EQ(r.DownloadBlock(), "");
  EXPECT_FALSE(r.ShowTempNotice() || r.RestartFromTempCopy() || r.ShowActivityBar() ||
               r.AgentDownloadLog() || r.IsWebInstaller() || r.AskBeforeDownload() ||
               r.WriteUpdateAgent() || r.IsUpdateAgent() || r.RunHidden() ||
               r.NoLocalSetupCopy());
  EXPECT_EQ(r.GetInfoFileName(), "");
  EXPECT_EQ(r.GetSetupFileName(), "");
  EXPECT_EQ(r.SpaceNeededForCluster(4096), 0.0);
}

TEST_F(PackageReader, PlainSetupFixture) {
  const TGFileInfo r = TGFileInfo::Create(Fixture("setup_basic.bin"));
  ASSERT_TRUE(r.IsPackage());
  EXPECT_EQ(r.GetTrailer().headerCount, 2);
  EXPECT_EQ(r.GetTrailer().memberCount, 2u);
  EXPECT_TRUE(r.ShowTempNotice());
  EXPECT_TRUE(r.ShowActivityBar());
  EXPECT_FALSE(r.RestartFromTempCopy());
  EXPECT_FALSE(r.AgentDownloadLog());
  EXPECT_TRUE(r.WriteUpdateAgent());
  EXPECT_FALSE(r.IsUpdateAgent());
  EXPECT_FALSE(r.IsWebInstaller());
  EXPECT_EQ(r.GetUpdateUrl(), "http://updates.example.test/product");
  EXPECT_EQ(r.GetInfoFileName(), "Product.v2.info");
  EXPECT_EQ(r.GetOriginalFileName(), "Product.original");
  EXPECT_EQ(r.GetAgentFileName(), "ProductAgent.exe");
  EXPECT_EQ(r.GetUpdateToken(false).size(), 34u);
  EXPECT_EQ(r.GetUpdateToken(true), "UPD-SECRET");
  EXPECT_TRUE(r.RunHidden());
  // Header count 2: no download block.
  EXPECT_EQ(r.DownloadBlock(), "");
  EXPECT_EQ(r.GetSetupFileName(), "");
  // Space table 105, 1024, ... 131072: a 4,096-byte cluster picks entry 4.
  EXPECT_EQ(r.SpaceNeededForCluster(4096), 4096.0 * 2);
  EXPECT_EQ(r.SpaceNeededForCluster(0), 105.0);
  EXPECT_EQ(r.SpaceNeededForCluster(511), 105.0);
  EXPECT_EQ(r.SpaceNeededForCluster(1u << 20), 131072.0);

  const TGFileInfo zero = TGFileInfo::Create(Fixture("setup_count0.bin"));
  ASSERT_TRUE(zero.IsPackage());
  EXPECT_EQ(zero.GetTrailer().headerCount, 2);
  EXPECT_EQ(zero.UpdateBlock(), r.UpdateBlock());
}

TEST_F(PackageReader, WebInstallerAndItsFullSetup) {
  const TGFileInfo web = TGFileInfo::Create(Fixture("web_installer.bin"));
  ASSERT_TRUE(web.IsPackage());
  EXPECT_TRUE(web.IsWebInstaller());
  EXPECT_TRUE(web.AskBeforeDownload());
  EXPECT_TRUE(web.AgentDownloadLog());
  EXPECT_EQ(web.GetDownloadUrl(), "http://downloads.example.test");
  EXPECT_EQ(web.GetSetupFileName(), "FullSetup.exe");
  EXPECT_TRUE(web.NoLocalSetupCopy());
  EXPECT_EQ(web.GetDownloadToken(true), "DL-TOKEN-42");
  EXPECT_EQ(web.GetSetupFileSize(), "123456789");

  const TGFileInfo full = TGFileInfo::Create(Fixture("web_full_setup.bin"));
  EXPECT_TRUE(web.SameDownloadToken(full));
  // A file without a download block never matches: its token unscrambles
  // to a random number.
  const TGFileInfo plain = TGFileInfo::Create(Fixture("setup_basic.bin"));
  EXPECT_FALSE(web.SameDownloadToken(plain));
  EXPECT_FALSE(plain.SameDownloadToken(web));
}

TEST_F(PackageReader, SignedAndSpannedFixtures) {
  const TGFileInfo signedFile = TGFileInfo::Create(Fixture("setup_signed.bin"));
  ASSERT_TRUE(signedFile.IsPackage());
  EXPECT_TRUE(signedFile.IsUpdateAgent());
  EXPECT_EQ(signedFile.GetInfoFileName(), "Product.v2.info");

  const TGFileInfo disk = TGFileInfo::Create(Fixture("disk_short_trailer.002"));
  ASSERT_TRUE(disk.IsPackage());
  EXPECT_EQ(disk.GetTrailer().length, 60u);
  EXPECT_EQ(disk.GetTrailer().packageStart, 0u);
  EXPECT_FALSE(disk.MoreDisksFollow());  // the flags lie beyond a 60-byte trailer
  EXPECT_EQ(disk.SpaceNeededForCluster(32768), 0.0);  // entries 7 and 8 too
  EXPECT_EQ(disk.SpaceNeededForCluster(16384), 32768.0);
  EXPECT_EQ(disk.GetAgentFileName(), "ProductAgent.exe");
}

TEST_F(PackageReader, FileNamesComeAsPathText) {
  // A package from an older tool holds its names in a code page; the stub's
  // decoder (here: Latin-1 to UTF-8) makes them path text that joins UTF-8
  // folders. The URL stays as the package has it.
  const TGFileInfo r = TGFileInfo::Create(MemorySource(
      Package({LanguageList({{"English", "s1=English"}}), "|http://h/\xE9|Caf\xE9.v2.info|Caf\xE9 Agent.exe|t|"},
              TrailerFields())));
  SetPackageNameDecoder([](const std::string& name) {
    std::string text;
    for (unsigned char c : name) {
      if (c < 0x80) {
        text += static_cast<char>(c);
      } else {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    return text;
  });
  EXPECT_EQ(r.GetInfoFileName(), "Caf\xC3\xA9.v2.info");
  EXPECT_EQ(r.GetOriginalFileName(), "Caf\xC3\xA9.original");
  EXPECT_EQ(r.GetAgentFileName(), "Caf\xC3\xA9 Agent.exe");
  EXPECT_EQ(r.GetUpdateUrl(), "http://h/\xE9");
  SetPackageNameDecoder(nullptr);
  EXPECT_EQ(r.GetAgentFileName(), "Caf\xE9 Agent.exe");
}

TEST_F(PackageReader, MissingFileGivesBuiltInTexts) {
  const TGFileInfo r = TGFileInfo::Create(Fixture("no_such_file.bin"));
  ExpectNotAPackage(r);
  EXPECT_EQ(r.GetFontName(), "Tahoma");
  EXPECT_EQ(r.GetFontSize(), 8);
  EXPECT_EQ(r.GetCharset(), 0);
  EXPECT_EQ(r.GetLangString("s1", "def"), "def");
}

// Damaged packages: every one reads as "not a package", with nothing read
// or allocated beyond the file.
TEST_F(PackageReader, BadPackages) {
  using package_bytes::Block;
  using package_bytes::PutU32;
  using package_bytes::StubImage;
  using package_bytes::TrailerBytes;
  using package_bytes::U32;
  const std::string stub = StubImage();
  TrailerFields f;
  f.packageStart = static_cast<std::uint32_t>(stub.size());
  auto withLengths = [&](std::uint32_t first, std::uint32_t second, std::uint8_t count = 2) {
    TrailerFields g = f;
    g.headerCount = count;
    return stub + U32(first) + "abc" + U32(second) + "de" + TrailerBytes(g);
  };
  struct Case {
    const char* what;
    std::string file;
  };
  std::vector<Case> cases = {
      {"first length beyond the package end", withLengths(5000, 2)},
      {"first length runs into the trailer", withLengths(10, 2)},
      {"second length runs into the trailer", withLengths(3, 3)},
      {"negative length", withLengths(0xFFFFFFFFu, 2)},
      {"length -2^31", withLengths(0x80000000u, 2)},
      {"length 2^31-1", withLengths(0x7FFFFFFFu, 2)},
      {"download block missing", withLengths(3, 2, 3)},
      {"no room for a length", stub + "ab" + TrailerBytes(f)},
      {"empty file", ""},
      {"not a package", std::string(3000, 'x')},
  };
  TrailerFields late = f;
  late.packageStart = 0xFFFFFFF0u;
  cases.push_back({"package start beyond the end", stub + Block("a") + Block("b") + TrailerBytes(late)});
  for (std::uint32_t length : {0u, 3u, 100000u, 0xFFFFFFFFu}) {
    std::string file = withLengths(3, 2);
    PutU32(file, file.size() - 4, length);
    cases.push_back({"bad trailer length", file});
  }
  std::string pointer = withLengths(3, 2);
  PutU32(pointer, 0xFC, static_cast<std::uint32_t>(pointer.size() + 1));
  cases.push_back({"end pointer beyond the file", pointer});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectNotAPackage(TGFileInfo::Create(MemorySource(c.file)));
  }

  // The same frame with lengths that fit is read.
  const TGFileInfo good = TGFileInfo::Create(MemorySource(withLengths(3, 2)));
  EXPECT_TRUE(good.IsPackage());
  EXPECT_EQ(good.LanguageList(), "abc");
  EXPECT_EQ(good.UpdateBlock(), "de");
}

struct LanguageCase {
  const char* what;
  std::vector<std::vector<std::string>> sections;
  std::uint32_t locale;
  std::string expected;  // s1, "<def>" when no section is chosen
};

TEST_F(PackageReader, LanguageChoice) {
  const std::vector<std::string> german = {"German", "s1=Deutsch"};
  const std::vector<std::string> english = {"English", "s1=English"};
  const std::vector<std::string> spanish = {"Spanish", "s1=Espanol"};
  const LanguageCase cases[] = {
      {"English system", {german, english}, 0x409, "English"},
      {"German system", {german, english}, 0x407, "Deutsch"},
      {"Austrian German", {german, english}, 0xC07, "Deutsch"},
      {"French system falls back to English", {german, english}, 0x40C, "English"},
      {"only German on a French system", {german}, 0x40C, "Deutsch"},
      {"only German on an English system", {german}, 0x409, "Deutsch"},
      {"German and Spanish on a French system", {german, spanish}, 0x40C, "<def>"},
      {"locale 0 counts as English", {spanish, english}, 0, "English"},
      {"case and blanks of the name", {{" gErMaN ", "s1=klein"}, english}, 0x407, "klein"},
      {"first match wins", {{"English", "s1=one"}, {"ENGLISH", "s1=two"}}, 0x409, "one"},
      {"no sections", {}, 0x409, "<def>"},
  };
  for (const LanguageCase& c : cases) {
    SCOPED_TRACE(c.what);
    Reset(c.locale);
    const TGFileInfo r =
        TGFileInfo::Create(MemorySource(Package({LanguageList(c.sections), "|||||"}, TrailerFields())));
    ASSERT_TRUE(r.IsPackage());
    EXPECT_EQ(r.GetLangString("s1", "<def>"), c.expected);
  }
}

TEST_F(PackageReader, LanguageChoiceIsMadeOncePerProcess) {
  Reset(0x407);
  const TGFileInfo first = TGFileInfo::Create(
      MemorySource(Package({LanguageList({{"German", "s1=Deutsch"}}), ""}, TrailerFields())));
  EXPECT_EQ(first.GetLangString("s1", "d"), "Deutsch");
  // Later readers, also one without a package, answer from that section.
  const TGFileInfo other = TGFileInfo::Create(
      MemorySource(Package({LanguageList({{"English", "s1=English"}}), ""}, TrailerFields())));
  EXPECT_EQ(other.GetLangString("s1", "d"), "Deutsch");
  EXPECT_EQ(TGFileInfo().GetLangString("s1", "d"), "Deutsch");

  // A first lookup without a package chooses "none" for good.
  Reset(0x409);
  EXPECT_EQ(TGFileInfo().GetLangString("s1", "d"), "d");
  EXPECT_EQ(other.GetLangString("s1", "d"), "d");
}

TEST_F(PackageReader, LangStringLookup) {
  const TGFileInfo r = TGFileInfo::Create(Fixture("setup_basic.bin"));
  // English section: " English " with "s1 =...", "s2=", "FontSize=x",
  // "Charset=238", "s3=a = b".
  EXPECT_EQ(r.GetLangString("S1", "d"), "Starting up, please wait ...");
  EXPECT_EQ(r.GetLangString("s2", "d"), "");  // present but empty: not the default
  EXPECT_EQ(r.GetLangString("s3", "d"), "a= b");  // blanks before "=" go in values too
  EXPECT_EQ(r.GetLangString("s4", "d"), "d");
  EXPECT_EQ(r.GetLangString("s", "d"), "d");
  EXPECT_EQ(r.GetFontSize(), 8);  // "x" is no number
  EXPECT_EQ(r.GetCharset(), 238);
  EXPECT_EQ(r.GetFontName(), "Tahoma");
}

// The written-out form of the language list: 0x02, each language as 0x01,
// its name, 0x01 and its items each followed by 0x01, then one closing 0x02
// (no 0x02 between languages).
std::string RunTogetherList(const std::vector<std::vector<std::string>>& sections) {
  std::string list = "\x02";
  for (const auto& section : sections) {
    list += "\x01";
    for (const std::string& item : section) list += item + "\x01";
  }
  return list + "\x02";
}

TEST_F(PackageReader, LanguageListWrittenOutIsReadAsSeparateSections) {
  const std::vector<std::string> german = {"German", "s1=Deutsch", "s7=Fehler"};
  const std::vector<std::string> english = {"English", "s1=English"};
  const LanguageCase cases[] = {
      // Read as one section, German texts would be shown on an English system.
      {"English system", {german, english}, 0x409, "English"},
      {"German system", {german, english}, 0x407, "Deutsch"},
      {"French system falls back to English", {english, german}, 0x40C, "English"},
      {"one language", {german}, 0x409, "Deutsch"},
  };
  for (const LanguageCase& c : cases) {
    SCOPED_TRACE(c.what);
    Reset(c.locale);
    const TGFileInfo r =
        TGFileInfo::Create(MemorySource(Package({RunTogetherList(c.sections), "|||||"}, TrailerFields())));
    EXPECT_EQ(r.GetLangString("s1", "<def>"), c.expected);
  }
  // A key only the other language has is not taken from it.
  Reset(0x409);
  const TGFileInfo r =
      TGFileInfo::Create(MemorySource(Package({RunTogetherList({german, english}), ""}, TrailerFields())));
  EXPECT_EQ(r.GetLangString("s7", "Bad CRC!"), "Bad CRC!");
  // Both forms, and a mix of them, give the same sections.
  const std::vector<std::string> want = {"\x01German\x01s1=Deutsch\x01s7=Fehler\x01", "\x01" "English\x01s1=English\x01"};
  EXPECT_EQ(LanguageSections(RunTogetherList({german, english})), want);
  EXPECT_EQ(LanguageSections(LanguageList({german, english})), want);
  EXPECT_EQ(LanguageSections(RunTogetherList({german}) + RunTogetherList({english}).substr(1)), want);
}

TEST_F(PackageReader, ManySectionsAreSearchedInLinearTime) {
  // 100,000 sections with the system's language last.
  std::vector<std::vector<std::string>> sections(100000, {"Klingon", "s1=nuqneH"});
  sections.push_back({"English", "s1=Hello"});
  const std::string list = LanguageList(sections);
  const auto started = std::chrono::steady_clock::now();
  const TGFileInfo r = TGFileInfo::Create(MemorySource(Package({list, ""}, TrailerFields())));
  EXPECT_EQ(r.GetLangString("s1", "d"), "Hello");
  EXPECT_EQ(LanguageSections(list).size(), 100001u);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_LT(seconds, 5.0);
}

// A file of `gap` bytes of 'x' between `head` and `tail`, without holding them.
class GapSource : public ByteSource {
 public:
  GapSource(std::string head, std::uint64_t gap, std::string tail)
      : head_(std::move(head)), gap_(gap), tail_(std::move(tail)) {}
  std::uint64_t Size() const override { return head_.size() + gap_ + tail_.size(); }
  bool ReadAt(std::uint64_t offset, void* out, std::size_t count) const override {
    if (offset > Size() || count > Size() - offset) return false;
    ++reads;
    char* to = static_cast<char*>(out);
    for (std::size_t done = 0; done < count;) {
      const std::uint64_t at = offset + done;
      std::size_t n;
      if (at < head_.size()) {
        n = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, head_.size() - at));
        std::memcpy(to + done, head_.data() + at, n);
      } else if (at < head_.size() + gap_) {
        n = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, head_.size() + gap_ - at));
        std::memset(to + done, 'x', n);
      } else {
        const std::uint64_t t = at - head_.size() - gap_;
        n = count - done;
        std::memcpy(to + done, tail_.data() + t, n);
      }
      done += n;
    }
    return true;
  }
  mutable int reads = 0;

 private:
  std::string head_;
  std::uint64_t gap_;
  std::string tail_;
};

TEST_F(PackageReader, OversizedHeaderBlockIsNoPackage) {
  // A language list of 300 MB: its length must not become an allocation.
  using package_bytes::Block;
  using package_bytes::StubImage;
  using package_bytes::TrailerBytes;
  using package_bytes::U32;
  const std::uint32_t huge = 300u * 1024 * 1024;
  TrailerFields f;
  const std::string stub = StubImage();
  f.packageStart = static_cast<std::uint32_t>(stub.size());
  const GapSource file(stub + U32(huge), huge, Block("|||||") + TrailerBytes(f));
  ExpectNotAPackage(TGFileInfo::Create(file));

  // Up to the bound a block is read.
  const std::uint32_t big = kMaxHeaderBlock;
  const GapSource fits(stub + U32(big), big, Block("|a||||") + TrailerBytes(f));
  const TGFileInfo r = TGFileInfo::Create(fits);
  EXPECT_TRUE(r.IsPackage());
  EXPECT_EQ(r.GetUpdateUrl(), "a");
}

TEST(SystemLanguage, NameForLocale) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0x409, "ENGLISH"}, {0x809, "ENGLISH"}, {0, "ENGLISH"}, {0x407, "GERMAN"},
      {0x40C, "FRENCH"},  {0x41A, "CROATIAN"},  // 26: CROATIAN comes before SERBIAN
      {0x401, "ARABIC"},  {43, "DUTCH(STANDARD)"},  // found inside 1043
      {52, "CHINESE(SIMPLIFIED)"}, {0x3FF, ""}, {42, "VIETNAMESE"}};
  for (const auto& c : cases) EXPECT_EQ(SystemLanguageNameFor(c.first), c.second) << c.first;
}

TEST(SystemLanguage, TableHas51Items) {
  EXPECT_EQ(SUB::ListCount(kLanguageTable), 51);
}

TEST(PackageReaderHelpers, UnscrambleTokenText) {
  // "Hi" as a stored token (see the trailer tests).
  std::string stored = "102221546B4A760533";
  for (char& c : stored) c = static_cast<char>(c + 50);
  const std::string text = ScrambleText("header|" + stored + "|skip1|skip2|the|rest", true, false);
  std::string token, rest;
  UnscrambleTokenText(text, token, rest);
  EXPECT_EQ(token, "Hi");
  EXPECT_EQ(rest, "the|rest");

  UnscrambleTokenText(ScrambleText("no bars", true, false), token, rest);
  EXPECT_EQ(token.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(rest, "");
}

TEST(PackageReaderHelpers, OriginalFilePath) {
  const TGFileInfo r = TGFileInfo::Create(Fixture("setup_basic.bin"));
  EXPECT_EQ(OriginalFilePathFor("C:\\Program Files\\Prod\\X_Agent.exe", r),
            "C:\\Program Files\\Prod\\Product.original");
  EXPECT_EQ(OriginalFilePathFor("Agent.exe", r), "Product.original");
  EXPECT_EQ(OriginalFilePathFor("C:\\A\\a.exe", TGFileInfo()), "C:\\A\\.original");
}

TEST(PackageReaderHelpers, ProcessReader) {
  EXPECT_FALSE(ProcessReader().IsPackage());
  InitProcessReader(Fixture("web_installer.bin"));
  EXPECT_TRUE(ProcessReader().IsWebInstaller());
  ReleaseProcessReader();
  EXPECT_FALSE(ProcessReader().IsPackage());
}

}  // namespace
