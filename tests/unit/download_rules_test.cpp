#include "download/download_rules.h"

#include <gtest/gtest.h>

#include <vector>

#include "download/download_progress.h"

namespace varnel {
namespace {

TEST(DownloadUrl, OnlyAnAddressWithoutSchemeGetsHttp) {
  const struct {
    const char* given;
    const char* opened;
  } cases[] = {
      {"host/x/setup.exe", "http://host/x/setup.exe"},
      {"http://host/x", "http://host/x"},
      {"HTTP://host/x", "HTTP://host/x"},
      {"https://host/x", "https://host/x"},
      {"HttpS://host/x", "HttpS://host/x"},
      // A scheme further on is no scheme of this address.
      {"host/redirect?to=http://other/", "http://host/redirect?to=http://other/"},
      {"httpsx://host", "http://httpsx://host"},
  };
  for (const auto& c : cases) EXPECT_EQ(DownloadUrl(c.given), c.opened) << c.given;
}

TEST(PartialFile, NameIsLengthPlusStampAsUnsigned32BitSum) {
  EXPECT_EQ(PartialFileName("C:\\T\\setup.exe", 50, 0), "C:\\T\\setup.exe.50");
  EXPECT_EQ(PartialFileName("C:\\T\\setup.exe", 1000, 0x5A2B1C3D), "C:\\T\\setup.exe.1512775717");
  // The sum wraps; a length of 4 GiB or more counts by its low 32 bits.
  EXPECT_EQ(PartialFileName("a", 0xFFFFFFFFu, 2), "a.1");
  EXPECT_EQ(PartialFileName("a", 0x100000005ull, 0), "a.5");
}

TEST(PartialFile, CleanUpTakesOnlyDigitExtensionsOfTheSameName) {
  const struct {
    const char* name;
    bool partial;
  } cases[] = {
      {"MyApp.987", true},  {"myapp.0", true},          {"MyApp.exe", false},
      {"MyApp.dll", false}, {"MyApp.original", false},  {"MyApp.", false},
      {"MyApp", false},     {"MyApp.12a", false},       {"MyApp.1.2", false},
      {"MyAppX.1", false},  {"MyApp.exe.123", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPartialFileOf("MyApp", c.name), c.partial) << c.name;
  EXPECT_TRUE(IsPartialFileOf("setup.exe", "setup.exe.123"));
}

TEST(Chunks, TenthOfTheLengthBetweenOneAnd8192) {
  EXPECT_EQ(ChunkSize(50), 5u);
  EXPECT_EQ(ChunkSize(5), 1u);
  EXPECT_EQ(ChunkSize(81920), 8192u);
  EXPECT_EQ(ChunkSize(100 * 1048576ull), 8192u);
  EXPECT_EQ(ChunkSize(kUnknownLength), 8192u);
}

TEST(ContentRange, FirstLastAndTotalOrRefused) {
  const struct {
    const char* text;
    bool ok;
    std::uint64_t first, last;
    std::int64_t total;
  } cases[] = {
      {"bytes 0-0/300000", true, 0, 0, 300000},
      {"bytes 100-199/*", true, 100, 199, -1},
      {"BYTES 5-9/10", true, 5, 9, 10},
      {"bytes 5-9/9", false, 0, 0, 0},     // the last byte lies beyond the total
      {"bytes 9-5/20", false, 0, 0, 0},
      {"bytes */300", false, 0, 0, 0},     // an unsatisfied range names no bytes
      {"bytes 0-18446744073709551616/1", false, 0, 0, 0},
      {"items 0-1/2", false, 0, 0, 0},
      {"bytes 0-1/2x", false, 0, 0, 0},
      {"", false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    ContentRange r;
    EXPECT_EQ(ParseContentRange(c.text, r), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(r.first, c.first) << c.text;
    EXPECT_EQ(r.last, c.last) << c.text;
    EXPECT_EQ(r.total, c.total) << c.text;
  }
}

TEST(ProgressPlan, OneStepPerChunkUpToTenThousandStepsThenEvenParts) {
  const ProgressPlan small(50);
  EXPECT_EQ(small.maximum, 11);
  EXPECT_EQ(small.StepsDue(0), 0u);
  EXPECT_EQ(small.StepsDue(5), 1u);
  EXPECT_EQ(small.StepsDue(6), 1u);
  EXPECT_EQ(small.StepsDue(49), 9u);
  EXPECT_EQ(small.StepsDue(50), 10u);

  // Reads that don't fall on chunk ends: the last step waits for the last
  // byte (it carries the final "done/total" text).
  const ProgressPlan medium(300000);
  EXPECT_EQ(medium.StepsDue(298496), 36u);
  EXPECT_EQ(medium.StepsDue(300000), 37u);

  // 30 full chunks and one byte: the short last chunk steps too.
  const ProgressPlan odd(8192 * 30 + 1);
  EXPECT_EQ(odd.maximum, 32);
  EXPECT_EQ(odd.StepsDue(8192 * 30), 30u);
  EXPECT_EQ(odd.StepsDue(8192 * 30 + 1), 31u);

  // 5 GiB: a bar of 10000 steps, each step the same share of the bytes.
  const std::uint64_t big = 5ull << 30;
  const ProgressPlan large(big);
  EXPECT_EQ(large.maximum, 10001);
  EXPECT_EQ(large.StepsDue(big / 2), 4999u);  // 5000 parts complete a little later
  EXPECT_EQ(large.StepsDue(big), 10000u);
  // More bytes than announced never step past the end.
  EXPECT_EQ(large.StepsDue(big * 2), 10000u);
}

TEST(ErrorPage, TitleWith404OrTheHtmlHeadTitleShape) {
  const struct {
    const char* text;
    bool page;
  } cases[] = {
      {"<title>404 Not Found</title>", true},
      {"<TITLE>Error 404</TITLE>", true},
      {"<html><head><title>Welcome</title></head>", true},
      {"<HTML>\n<HEAD>\n<TITLE>x</TITLE>", true},
      {"<html><title>x</title><head>", false},   // HEAD after TITLE
      {"<head><title>ok</title></head>", false},  // no HTML, no 404
      {"<title>ok</title> 404", false},           // 404 outside the title
      {"MZ\x90\x00 binary 404", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(HTTP_Is404Page(c.text), c.page) << c.text;
  // Only the first 1000 characters count.
  EXPECT_FALSE(HTTP_Is404Page(std::string(1000, ' ') + "<title>404</title>"));
  EXPECT_TRUE(HTTP_Is404Page(std::string(980, ' ') + "<title>404</title>"));
}

TEST(ErrorPage, MessageNamesTheUrlOtherwiseTheDefault) {
  EXPECT_EQ(HTTP_404Message("<title>404</title>", "http://h/setup.exe", "Bad Secret Token!"),
            "<B>404 File Not Found...</B><P><P>URL:  http://h/setup.exe.<P><P>"
            "Please make sure the file is available and access is allowed to this file.");
  EXPECT_EQ(HTTP_404Message("MZ", "http://h/setup.exe", "Bad Secret Token!"), "Bad Secret Token!");
}

TEST(DownloadErrorTexts, NameWhatFailed) {
  EXPECT_EQ(FileNotFoundText("http://h/a"), "http://h/a --- File Not Found !");
  EXPECT_EQ(OpenFailedText("h/a"), "Unable to open Internet Connection: h/a");
  EXPECT_EQ(OpenFailedText("https://localhost:1/a", 12045, "whatever"),
            "Unable to open Internet Connection: https://localhost:1/a "
            "(the server's certificate was refused (error 12045))");
  EXPECT_EQ(OpenFailedText("h/a", 12029, ""), "Unable to open Internet Connection: h/a (error 12029)");
  EXPECT_EQ(ReadFailedText("setup.exe", ""), "setup.exe --- Error downloading file");
  EXPECT_EQ(ReadFailedText("setup.exe", "timed out"), "setup.exe --- Error downloading file (timed out)");
  EXPECT_EQ(IncompleteText("setup.exe", 100, 5000),
            "setup.exe --- Download incomplete: 100 of 5000 bytes");
  EXPECT_EQ(StatusErrorText("http://h/a", 500), "http://h/a --- HTTP status 500");
  EXPECT_EQ(FileLabel("http://h/dir/setup.exe"), "setup.exe");
  EXPECT_EQ(FileLabel("C:\\dir/sub\\x.bin"), "x.bin");
}

TEST(BytesRate, TotalsInBytesKilobytesOrMegabytes) {
  EXPECT_EQ(TBytesRate::ForLength(2048).Text(2048, 1024, 512, 1000), "1024/2048 BytesArr");
  EXPECT_EQ(TBytesRate::ForLength(100000).Text(100000, 10, 10, 1000), "10/100000 BytesArr");
  EXPECT_EQ(TBytesRate::ForLength(204800).Text(204800, 102400, 512, 1000), "100.0/200.0 KB");
  EXPECT_EQ(TBytesRate::ForLength(102401).Text(102401, 0, 0, 1000), "0.0/100.0 KB");
  EXPECT_EQ(TBytesRate::ForLength(10485761).Text(10485761, 10485760, 1, 1000), "10.0/10.0 MB");
  EXPECT_EQ(TBytesRate(true, false).Text(4677120, 4677120, 0, 1000), "4,567.5/4,567.5 KB");
  EXPECT_EQ(GroupedOneDecimal(1234567.24), "1,234,567.2");
  EXPECT_EQ(GroupedOneDecimal(999.96), "1,000.0");
}

TEST(BytesRate, RateFromTheFifthChunkOverTheFourNewestAtMostTwiceASecond) {
  const std::uint64_t total = 20ull << 20;
  TBytesRate rate = TBytesRate::ForLength(total);
  std::vector<std::string> texts;
  std::uint64_t done = 0;
  // Chunks of 8192 bytes, 100 ms apart, starting at tick 1000.
  for (int i = 0; i < 12; ++i) {
    done += 8192;
    texts.push_back(rate.Text(total, done, 8192, 1000 + 100 * i));
  }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(texts[i].find("KB/Sec"), std::string::npos) << texts[i];
  // Fifth chunk: 4 * 8192 bytes in 400 ms.
  EXPECT_EQ(texts[4], "0.0/20.0 MB   -   80.00 KB/Sec");
  EXPECT_TRUE(texts[5].find("/20.0 MB   -   80.00 KB/Sec") != std::string::npos);
  // Kept until more than 500 ms passed since the last update (tick 1400).
  EXPECT_EQ(texts[9].substr(texts[9].find("   -   ")), "   -   80.00 KB/Sec");

  // A burst within one millisecond never divides by zero.
  TBytesRate burst = TBytesRate::ForLength(total);
  std::string last;
  for (int i = 0; i < 8; ++i) last = burst.Text(total, 8192ull * (i + 1), 8192, 5000);
  EXPECT_EQ(last, "0.1/20.0 MB");
}

struct SinkRecord {
  static std::vector<std::vector<int>> events;
  static std::vector<std::string> texts;
  static int pumps;
  static std::uint32_t now;
  static void Sink(int kind, int position, int maximum, const std::string& text, int step) {
    events.push_back({kind, position, maximum, step});
    if (kind == kProgressSteps) texts.push_back(text + "*" + std::to_string(step));
  }
  static void Pump() { ++pumps; }
  static std::uint32_t Tick() { return now; }
};
std::vector<std::vector<int>> SinkRecord::events;
std::vector<std::string> SinkRecord::texts;
int SinkRecord::pumps = 0;
std::uint32_t SinkRecord::now = 0;

TEST(ProgBar, StartAndBatchedStepsReachTheSinkWithPumpsAround) {
  SinkRecord::events.clear();
  SinkRecord::texts.clear();
  SinkRecord::pumps = 0;
  SinkRecord::now = 100;
  TProgBar bar(&SinkRecord::Sink, &SinkRecord::Pump, &SinkRecord::Tick);
  bar.Start(1, 11);
  ASSERT_EQ(SinkRecord::events.size(), 1u);
  EXPECT_EQ(SinkRecord::events[0], (std::vector<int>{kProgressInit, 1, 11, 1}));
  EXPECT_EQ(SinkRecord::pumps, 2);

  // The first step goes at once; the next ones within the interval wait.
  bar.Step("a");
  bar.Step("b");
  bar.Step("c", 2);
  EXPECT_EQ(SinkRecord::texts, (std::vector<std::string>{"a*1"}));
  SinkRecord::now += TProgBar::kStepIntervalMs;
  bar.Step("d");
  // Every step arrives, in one event (one repaint) with the newest text.
  EXPECT_EQ(SinkRecord::texts, (std::vector<std::string>{"a*1", "d*4"}));
  bar.Step("e");
  bar.Flush();
  EXPECT_EQ(SinkRecord::texts, (std::vector<std::string>{"a*1", "d*4", "e*1"}));
  EXPECT_EQ(SinkRecord::pumps, 8);  // two around each hand-over
  bar.Flush();
  EXPECT_EQ(SinkRecord::pumps, 8);
}

}  // namespace
}  // namespace varnel
