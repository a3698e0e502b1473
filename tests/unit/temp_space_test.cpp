#include "package/temp_space.h"

#include <gtest/gtest.h>

#include "package/byte_source.h"
#include "package/language_strings.h"
#include "package/package_reader.h"
#include "package_bytes.h"

namespace varnel {
namespace {

TEST(FormatMegabytes, DecimalsFollowTheSize) {
  EXPECT_EQ(FormatMegabytes(0), "0.000");
  EXPECT_EQ(FormatMegabytes(-5), "0.000");
  EXPECT_EQ(FormatMegabytes(131072), "0.125");
  EXPECT_EQ(FormatMegabytes(1048576), "1.00");
  EXPECT_EQ(FormatMegabytes(2.5 * 1048576), "2.50");
  EXPECT_EQ(FormatMegabytes(10 * 1048576), "10.00");
  EXPECT_EQ(FormatMegabytes(20971520), "20.0");
  EXPECT_EQ(FormatMegabytes(38.0 * 1048576), "38.0");
  EXPECT_EQ(FormatMegabytes(5e12), "4768371.6");
  // Exact halves round to even, as "%.*f" does in the C library.
  EXPECT_EQ(FormatMegabytes(1.125 * 1048576), "1.12");
  EXPECT_EQ(FormatMegabytes(1.375 * 1048576), "1.38");
  EXPECT_EQ(FormatMegabytes(0.0625 * 1048576), "0.062");
  EXPECT_EQ(FormatMegabytes(10.25 * 1048576), "10.2");
}

TEST(ChooseTempDriveLetter, MostRoomWinsTiesKeepTheEarlierDrive) {
  const double mb = 1048576;
  // C is the temporary drive with 10 MB; D has 5 GB.
  EXPECT_EQ(ChooseTempDriveLetter('c', {10 * mb, 5000 * mb, 0}), 'D');
  EXPECT_EQ(ChooseTempDriveLetter('C', {10 * mb, 700 * mb, 700 * mb}), 'D');
  EXPECT_EQ(ChooseTempDriveLetter('C', {10 * mb, 0, 700 * mb}), 'E');
  // The temporary drive itself has the most room: no move.
  EXPECT_EQ(ChooseTempDriveLetter('C', {900 * mb, 700 * mb, 0}), 0);
  // No drive could be written: no move.
  EXPECT_EQ(ChooseTempDriveLetter('C', {0, 0, 0}), 0);
  // The temporary folder on a drive outside C-E: C counts as better.
  EXPECT_EQ(ChooseTempDriveLetter('Z', {5 * mb, 0, 0}), 'C');
  EXPECT_EQ(ChooseTempDriveLetter('D', {5 * mb, 50 * mb, 0}), 0);
}

std::string Defaults(const char* key) { return LangDefault(key); }

TEST(TempSpaceQuestion, NoQuestionWithRoomAndWithoutNotice) {
  EXPECT_EQ(TempSpaceQuestion("C:\\T", 40 * 1048576.0, 100 * 1048576.0, false, Defaults), "");
}

TEST(TempSpaceQuestion, NoticeGivesTheDriveAndBothFigures) {
  EXPECT_EQ(TempSpaceQuestion("c:\\T\\SETUP_1", 40 * 1048576.0, 100 * 1048576.0, true, Defaults),
            "Varnel will extract files to your Temp Drive (C:)<P>"
            "<P>Estimated space required on your Temp drive is: <T>  40.0 MB<P>"
            "Free space available on your Temp drive is: <T>  100.0 MB<P>"
            "<P>Continue with Setup?<P>");
}

TEST(TempSpaceQuestion, ShortSpaceReplacesTheNotice) {
  for (bool notice : {false, true}) {
    const std::string q = TempSpaceQuestion("D:\\TEMP_12345", 40 * 1048576.0, 40 * 1048576.0,
                                            notice, Defaults);
    EXPECT_EQ(q.rfind("Limited Free Space on your Temp Drive! (D:)<P><P>Estimated", 0), 0u) << q;
  }
}

TEST(TempSpaceQuestion, PackageTextsAndAnEmptyFirstLine) {
  auto german = [](const char* key) -> std::string {
    if (std::string(key) == "s2") return "Ziel <DRIVE> <DRIVE><P>";
    if (std::string(key) == "s4") return "Bedarf <SPACE_REQ><P>";
    return LangDefault(key);
  };
  const std::string q = TempSpaceQuestion("E:\\x", 1048576.0, 1e12, true, german);
  EXPECT_EQ(q.rfind("Ziel E: E:<P>Bedarf 1.00<P>Free space", 0), 0u) << q;
  // A package that blanks the notice line asks nothing when space suffices.
  auto blank = [](const char* key) -> std::string {
    return std::string(key) == "s2" ? "" : LangDefault(key);
  };
  EXPECT_EQ(TempSpaceQuestion("C:\\x", 1, 2, true, blank), "");
}

TEST(SetupFolderName, TimeOfDayNumberAndFreshNamesBesideIt) {
  EXPECT_EQ(SetupFolderName(35549), "SETUP_35549");
  EXPECT_EQ(SetupFolderName(0), "SETUP_0");
  EXPECT_EQ(SetupFolderCandidate("C:\\T\\SETUP_7", 0), "C:\\T\\SETUP_7");
  EXPECT_EQ(SetupFolderCandidate("C:\\T\\SETUP_7", 2), "C:\\T\\SETUP_7_2");
}

TEST(LanguageStrings, EveryKeyHasItsBuiltInText) {
  EXPECT_EQ(kLangDefaultCount, 19);  // s0-s8, s10-s12 and seven named keys
  EXPECT_STREQ(LangDefault("s1"), "Extracting Files...");
  EXPECT_STREQ(LangDefault("S1"), "Extracting Files...");
  EXPECT_STREQ(LangDefault("FontName"), "Tahoma");
  EXPECT_STREQ(LangDefault("charset"), "0");
  EXPECT_STREQ(LangDefault("s8"), "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue");
  EXPECT_STREQ(LangDefault("BtnText"), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  EXPECT_STREQ(LangDefault("s9"), "");
  EXPECT_STREQ(LangDefault("s1x"), "");
}

TEST(LanguageStrings, LookupGoesThroughTheReaderWithTheDefault) {
  struct FakeReader {
    std::string GetLangString(const std::string& key, const std::string& def) const {
      return key == "s0" ? "Installation" : def;
    }
  };
  const FakeReader reader;
  EXPECT_EQ(LangText(reader, "s0"), "Installation");
  EXPECT_EQ(LangText(reader, "Confirm"), "Confirm");
}

// A package whose only section is "Deutsch": its texts win, a key present
// with an empty value stays empty, a missing key gives the built-in text,
// and the space question is worded from it.
TEST(LanguageStrings, PackageSectionThroughTheReader) {
  using package_bytes::LanguageList;
  using package_bytes::Package;
  ResetLanguageChoiceForTesting();
  const TGFileInfo reader = TGFileInfo::Create(MemorySource(Package(
      {LanguageList({{"Deutsch", "s2=Ziel (<DRIVE>)<P>", "s6=", "Confirm=Frage", "s1 =Entpacken"}}),
       ""},
      package_bytes::TrailerFields())));
  EXPECT_EQ(LangText(reader, "s1"), "Entpacken");
  EXPECT_EQ(LangText(reader, "Confirm"), "Frage");
  EXPECT_EQ(LangText(reader, "s6"), "");
  EXPECT_EQ(LangText(reader, "s0"), "Varnel Installation Suite");
  EXPECT_EQ(LangText(reader, "FontName"), "Tahoma");
  const std::string q = TempSpaceQuestion("c:\\t", 1048576.0, 1e12, true,
                                          [&](const char* key) { return LangText(reader, key); });
  EXPECT_EQ(q, "Ziel (C:)<P><P>Estimated space required on your Temp drive is: <T>  1.00 MB<P>"
               "Free space available on your Temp drive is: <T>  953674.3 MB<P>");
  ResetLanguageChoiceForTesting();
}

}  // namespace
}  // namespace varnel
