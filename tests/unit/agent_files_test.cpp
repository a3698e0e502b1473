// Rules of the agent's fetched files: the one checked name, where the
// update folder may be looked up, the token proof, the user's texts, and
// the test-mode rules with the check question.
#include "update/agent_files.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "map_ini_store.h"
#include "package/package_writer.h"
#include "update/test_mode.h"
#include "utils/info_signature.h"
#include "utils/text_scramble.h"

namespace {

using namespace varnel;

TEST(FetchName, OnlyAPlainNameOutsideTheAgentsOwnFiles) {
  const AgentOwnNames own{"AppAgent.exe", "App.info", "App.original"};
  struct Case {
    const char* name;
    const char* checked;
  };
  const Case cases[] = {
      {"Setup.exe", "Setup.exe"},
      {"updates\\v2/Setup.exe", "Setup.exe"},
      {"..\\..\\Users\\Public\\x.exe", "x.exe"},
      {"a/b/News.txt", "News.txt"},
      {"", ""},
      {"dir\\", ""},
      {".", ""},
      {"..", ""},
      {"x\\..", ""},
      {"C:x.exe", ""},
      {"Setup.exe:stream", ""},
      {"Set*.exe", ""},
      {"Setup.exe.", ""},
      {"Setup.exe ", ""},
      {"NUL", ""},
      {"nul.txt", ""},
      {"COM1.exe", ""},
      {"lpt9", ""},
      {"CONOUT$", ""},
      {"COMPUTE.exe", "COMPUTE.exe"},
      {"AppAgent.exe", ""},
      {"x_appagent.EXE", ""},
      {"APP.INFO", ""},
      {"sub\\App.original", ""},
      {"App.exe", "App.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckedFetchName(c.name, own), c.checked) << c.name;
}

TEST(UpdateFolder, FileSystemOnlyWhenThePackagesOwnUrlIsAFolder) {
  for (const char* folder : {"C:\\Updates", "\\\\srv\\upd", "//srv/upd", "d:"})
    EXPECT_TRUE(FileSystemFolderAllowed(folder)) << folder;
  for (const char* url : {"http://upd.test/app", "https://upd.test", "upd.test/app", "", "\\"})
    EXPECT_FALSE(FileSystemFolderAllowed(url)) << url;
}

// RunningProcess from a .info: a share only when the .info came from one.
TEST(UpdateFolder, ShareProgramOnlyFromAShare) {
  struct Case {
    const char* program;
    const char* infoFrom;
    bool allowed;
  } cases[] = {
      {"C:\\Program Files\\App\\App.exe", "http://upd.test/app", true},
      {"\\\\host\\share\\x.exe", "http://upd.test/app", false},
      {"//host/share/x.exe", "https://upd.test", false},
      {"\\/host\\x.exe", "http://upd.test", false},
      {"\\\\?\\UNC\\host\\share\\x.exe", "http://upd.test", false},
      {"\\\\.\\pipe\\x", "C:\\Updates", false},  // a local folder is no share
      {"\\\\host\\share\\x.exe", "C:\\Updates", false},
      {"\\\\host\\share\\x.exe", "\\\\srv\\upd", true},
      {"\\\\host\\share\\x.exe", "//srv/upd", true},
      {"\\x.exe", "http://upd.test", true},  // the current drive's root
      {"", "http://upd.test", true},
  };
  for (const Case& c : cases) EXPECT_EQ(SharePathAllowed(c.program, c.infoFrom), c.allowed) << c.program;
}

TEST(FetchMessages, AbortedMissingOrUnreachable) {
  MapStore store;
  const AgentFiles files{"C:\\Agent\\", "C:\\Agent\\App.info", "C:\\Agent\\App.original"};
  for (const char* key : {"s3", "s4", "s5"}) store.Write(files.original, "AutoUpdate", key, key);
  const SettingOverrides overrides;
  const AgentSettings settings(store, files, overrides);
  EXPECT_EQ(FetchAttentionText("\\\\srv\\upd/S.exe", true, settings), "s3");
  EXPECT_EQ(FetchAttentionText("\\\\srv\\upd/S.exe", false, settings), "\\\\srv\\upd/S.exe<P><P>s4");
  EXPECT_EQ(FetchAttentionText("C:\\T\\S.exe", false, settings), "C:\\T\\S.exe<P><P>s4");
  EXPECT_EQ(FetchAttentionText("http://h/S.exe", false, settings), "http://h/S.exe<P><P>s5");
  EXPECT_STREQ(FetchCaptionKey(kFetchInfo), "s31");
  EXPECT_STREQ(FetchCaptionKey(kFetchUpdate), "s32");
  EXPECT_STREQ(FetchCaptionKey(kFetchInform), "s33");
}

TEST(TokenProof, SameTokenOnlyAndNeverTwoBrokenOnes) {
  TokenRandom random(7);
  const std::string mine = ScrambleToken("TOKEN-A", random);
  const std::string mineAgain = ScrambleToken("TOKEN-A", random);
  const std::string other = ScrambleToken("TOKEN-B", random);
  const std::string lower = ScrambleToken("token-a", random);
  ASSERT_NE(mine, mineAgain);  // scrambled differently, same token
  EXPECT_TRUE(TokensMatch(mine, mineAgain));
  EXPECT_FALSE(TokensMatch(mine, other));
  EXPECT_FALSE(TokensMatch(mine, lower));
  EXPECT_FALSE(TokensMatch(mine, ""));
  EXPECT_FALSE(TokensMatch("", ""));
  EXPECT_FALSE(TokensMatch("garbage", "garbage"));

  // An INFORM file: anything | token | two unused fields | the notice.
  const std::string inform = "x|" + mine + "|a|b|<B>News</B>|more";
  EXPECT_EQ(InformFileRawToken(inform), mine);
  EXPECT_EQ(InformFileRawToken(ScrambleText(inform, true, false)), mine);
  EXPECT_EQ(InformFileRawToken("no bars at all"), "");
  EXPECT_EQ(InformFileRawToken("x|" + mine), mine);
}

TEST(TestMode, OnlyOnTheDayWrittenExactly) {
  EXPECT_TRUE(TestModeApplies("1", "06-DEC-2026", "06-DEC-2026"));
  EXPECT_FALSE(TestModeApplies("1", "05-DEC-2026", "06-DEC-2026"));
  EXPECT_FALSE(TestModeApplies("1", "6-DEC-2026", "06-DEC-2026"));
  EXPECT_FALSE(TestModeApplies("1", "06-dec-2026", "06-DEC-2026"));
  EXPECT_FALSE(TestModeApplies("yes", "06-DEC-2026", "06-DEC-2026"));
  EXPECT_FALSE(TestModeApplies("0", "06-DEC-2026", "06-DEC-2026"));
}

TEST(TestMode, RefreshEveryThirtySecondsOrWhenForced) {
  EXPECT_FALSE(TestModeRefreshDue(false, 130000, 100000));
  EXPECT_TRUE(TestModeRefreshDue(false, 130001, 100000));
  EXPECT_TRUE(TestModeRefreshDue(true, 100001, 100000));
  // The tick count wraps after 49 days.
  EXPECT_FALSE(TestModeRefreshDue(false, 1000, 0xFFFFFFFFu - 1000));
  EXPECT_TRUE(TestModeRefreshDue(false, 40000, 0xFFFFFFFFu - 1000));
}

TEST(CheckQuestion, InternetPartAndTestModeNote) {
  const char* note = "<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!";
  EXPECT_EQ(CheckQuestionText("Check PROG_NAME", " online", "?", "\\\\srv\\test", false, "App"), "Check App online?");
  EXPECT_EQ(CheckQuestionText("Check PROG_NAME", " online", "?", "C:\\Test", false, "App"), "Check App?");
  EXPECT_EQ(CheckQuestionText("a", "b", "c", "x", false, "App"), "ac");
  EXPECT_EQ(CheckQuestionText("a", "b", "c PROG_NAME PROG_NAME", "http://h", true, "P"),
            std::string("abc P P") + note);
}

}  // namespace

namespace {

using namespace varnel;

TEST(SignedUpdate, ExpiryMustLieAheadAndBeAWholeNumber) {
  struct Case {
    const char* item;
    std::uint64_t now;
    const char* refusal;
  };
  const Case cases[] = {
      {"1800000000", 1799999999, ""},
      {" 1800000000\t", 1700000000, ""},
      {"1800000000", 1800000000, "expired (ExpiresUTC=1800000000)"},
      {"1800000000", 1900000000, "expired (ExpiresUTC=1800000000)"},
      {"", 0, "no valid ExpiresUTC"},
      {"-5", 0, "no valid ExpiresUTC"},
      {"18e8", 0, "no valid ExpiresUTC"},
      {"1800000000x", 0, "no valid ExpiresUTC"},
      // Too many digits to be a time: no wrap-around into the future.
      {"18446744073709551617", 0, "no valid ExpiresUTC"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpiryRefusal(c.item, c.now), c.refusal) << c.item;
}

TEST(SignedUpdate, FileMustHaveExactlyTheSignedSizeAndHash) {
  Sha256Digest digest{};
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<unsigned char>(0xa0 + i);
  const std::string hash = HexText(digest.data(), digest.size());
  std::string upper = hash;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Sha256Digest other = digest;
  other[31] ^= 1;
  struct Case {
    std::int64_t signedSize;
    std::string signedHash;
    std::int64_t size;
    const Sha256Digest* actual;
    std::string refusal;
  };
  const Case cases[] = {
      {5000, hash, 5000, &digest, ""},
      {5000, upper, 5000, &digest, ""},
      {5000, hash, 5001, &digest, "size 5001 is not the signed size 5000"},  // no size tolerance
      {-1, hash, 5000, &digest, "size 5000 is not the signed size -1"},
      {5000, hash, 5000, &other, "SHA-256 " + HexText(other.data(), 32) + " is not the signed one"},
      {5000, "", 5000, &digest, "no signed SHA-256"},
      {5000, hash.substr(2), 5000, &digest, "no signed SHA-256"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SignedFileRefusal(c.signedSize, c.signedHash, c.size, c.actual->data()), c.refusal) << c.signedHash;
}

}  // namespace
