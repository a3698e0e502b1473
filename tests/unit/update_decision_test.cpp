// The update agent's two tests: whether a check is due, and the six stages
// of the offer decision with their reasons, the valid-versions list and
// the size rule.
#include "update/update_decision.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using namespace varnel;

TEST(ShotTimeStatus, IntervalRequestAndTestMode) {
  const std::int64_t last = 1000;
  struct Case {
    const char* what;
    bool probing, requested, testMode;
    std::int64_t interval, now;
    int status;
  };
  const Case cases[] = {
      {"interval not yet over", true, false, false, 60, last + 59, 0},
      {"interval over", true, false, false, 60, last + 60, 1},
      {"interval 0: only once", true, false, false, 0, last, 2},
      {"interval 0, last probe in the future", true, false, false, 0, last - 1, 0},
      {"interval -1: no automatic check", true, false, false, -1, last + 100000, 0},
      {"interval -1, requested: the request wins", true, true, false, -1, last, 1},
      {"interval -7 counts as -1", true, false, false, -7, last + 100000, 0},
      {"requested before the interval is over", true, true, false, 60, last + 1, 1},
      {"probing off", false, false, false, 60, last + 100000, 0},
      {"probing off, requested", false, true, false, 60, last, 1},
      {"test mode: every 5 seconds", true, false, true, 3600, last + 5, 1},
      {"test mode: not before 5 seconds", true, false, true, 3600, last + 4, 0},
      {"test mode keeps 0 as once", true, false, true, 0, last + 5, 2},
      {"test mode keeps -1 as off", true, false, true, -1, last + 5, 0},
  };
  for (const Case& c : cases) {
    ShotTimeInputs in;
    in.probingEnabled = c.probing;
    in.cycleRequested = c.requested;
    in.testMode = c.testMode;
    in.storedInterval = c.interval;
    in.probeSecondsLast = last;
    in.now = c.now;
    EXPECT_EQ(ShotTimeStatusFor(in), c.status) << c.what;
  }
}

// Stored times and intervals are whatever a file holds: the comparison
// never overflows (the sum last + interval would, and then check at every
// tick or never).
TEST(ShotTimeStatus, HostileTimesNeverWrap) {
  constexpr std::int64_t kMax = INT64_MAX, kMin = INT64_MIN;
  const std::int64_t now = 3973708800;
  struct Case {
    std::int64_t last, interval;
    int status;
  } cases[] = {
      {kMax, 86400, 0},        // a last check at the end of time: not due
      {kMax - 10, 86400, 0},
      {kMin, 86400, 1},        // at the start of time: due
      {kMin, kMax, 1},         // saturated difference reaches the interval
      {now - 86400, kMax, 0},  // an interval without end: never again
      {now, kMax, 0},
      {now - 86400, 86400, 1},
  };
  for (const Case& c : cases) {
    ShotTimeInputs in;
    in.storedInterval = c.interval;
    in.probeSecondsLast = c.last;
    in.now = now;
    EXPECT_EQ(ShotTimeStatusFor(in), c.status) << c.last << " " << c.interval;
  }
  struct ReAsk {
    std::int64_t interval, last;
    bool due;
  } reAsk[] = {
      {kMax, now - 1, false}, {kMax, kMin, false}, {86400, kMax, false},
      {86400, kMin, true},    {86400, now - 86401, true}, {86400, now - 86400, false},
  };
  for (const ReAsk& r : reAsk) EXPECT_EQ(ReAskDue(r.interval, r.last, now), r.due) << r.interval << " " << r.last;
}

// The file system and the network as the size test sees them.
class Probe : public SizeProbe {
 public:
  std::int64_t FileLength(const std::string& path) override {
    asked.push_back("file " + path);
    auto it = files.find(path);
    return it == files.end() ? -1 : it->second;
  }
  bool InternetConnected() override { return connected; }
  std::int64_t HttpFileSize(const std::string& url) override {
    asked.push_back("http " + url);
    auto it = http.find(url);
    return it == http.end() ? -1 : it->second;
  }
  std::map<std::string, std::int64_t> files, http;
  bool connected = true;
  std::vector<std::string> asked;
};

DecisionInputs Passing() {
  DecisionInputs in;
  in.infoDownloaded = true;
  in.versionOriginal = 3;
  in.versionNew = 4;
  in.infoStamp = 20;
  in.originalStamp = 19;
  in.now = 100000;
  in.size.url = "http://upd.test/app";
  in.size.updateName = "Setup.exe";
  in.size.sizeOfUpdateFile = 1000;
  in.size.fileSystemAllowed = false;
  return in;
}

TEST(GetOkToPerformAU, EachStageStopsWithItsReason) {
  struct Case {
    const char* what;
    void (*change)(DecisionInputs&);
    int stage;
    const char* reason;
  };
  const Case cases[] = {
      {"no .info", [](DecisionInputs& in) { in.infoDownloaded = false; }, 0, "Error downloading .INFO file"},
      {"VersionOriginal 0", [](DecisionInputs& in) { in.versionOriginal = 0; }, 1, "Error reading .ORIGINAL file"},
      {"same stamp, no re-ask", [](DecisionInputs& in) { in.infoStamp = in.originalStamp; }, 2,
       "Too early for retesting"},
      {"same stamp, re-ask not yet due",
       [](DecisionInputs& in) {
         in.infoStamp = in.originalStamp;
         in.reAskInterval = 100;
         in.reAskLast = in.now - 100;
       },
       2, "Too early for retesting"},
      {"same version", [](DecisionInputs& in) { in.versionNew = in.versionOriginal; }, 3,
       "New version is not higher then old version"},
      {"older version", [](DecisionInputs& in) { in.versionNew = -5; }, 3,
       "New version is not higher then old version"},
      {"not valid for 3", [](DecisionInputs& in) { in.validVersions = "10,11"; }, 4,
       "\"Valid for version\" mismatch"},
      {"1099 bytes for 999: 100 off", [](DecisionInputs& in) { in.size.sizeOfUpdateFile = 999; }, 5,
       "Download file size error"},
      {"everything passes", [](DecisionInputs&) {}, 6, "OK"},
      {"same stamp, re-ask due",
       [](DecisionInputs& in) {
         in.infoStamp = in.originalStamp;
         in.reAskInterval = 100;
         in.reAskLast = in.now - 101;
       },
       6, "OK"},
      {"same stamp, user-requested check",
       [](DecisionInputs& in) {
         in.infoStamp = in.originalStamp;
         in.cycleMode = kCycleUserCheck;
       },
       6, "OK"},
  };
  for (const Case& c : cases) {
    DecisionInputs in = Passing();
    c.change(in);
    Probe probe;
    probe.http["http://upd.test/app/Setup.exe"] = 1099;
    const Decision d = DecideUpdate(in, probe);
    EXPECT_EQ(d.stage, c.stage) << c.what;
    EXPECT_EQ(d.reason, c.reason) << c.what;
    EXPECT_EQ(d.ok(), c.stage == 6) << c.what;
    ASSERT_FALSE(d.log.empty());
    EXPECT_EQ(d.log.back(), "GetOkToPerformAU = " + std::to_string(c.stage) + " - " + c.reason);
    // The network is asked only when the size stage is reached.
    EXPECT_EQ(probe.asked.empty(), c.stage < 5) << c.what;
  }
}

TEST(GetOkToPerformAU, SizeFailureLogsSizesAndPathBeforeTheResult) {
  DecisionInputs in = Passing();
  Probe probe;
  probe.connected = false;
  const Decision d = DecideUpdate(in, probe);
  EXPECT_EQ(d.stage, 5);
  const std::vector<std::string> expected = {"  InfoSize=1000", "  HttpSize=-1", "  URL=http://upd.test/app\\Setup.exe",
                                             "GetOkToPerformAU = 5 - Download file size error"};
  EXPECT_EQ(d.log, expected);
}

TEST(ValidVersions, WholeItemsOnly) {
  struct Case {
    const char* list;
    std::int32_t version;
    bool valid;
  };
  const Case cases[] = {
      {"", 35, true},     {"3,5", 3, true},   {"3,5", 5, true},    {"3,5", 35, false},
      {"35", 3, false},   {"3, 5", 5, false}, {"10,11", 1, false}, {"-2,4", -2, true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidVersion(c.list, c.version), c.valid) << c.list << " " << c.version;
}

TEST(SizeTest, Tolerance) {
  struct Case {
    std::int64_t actual, expected;
    bool passes;
  };
  const Case cases[] = {
      {1099, 1000, true}, {1100, 1000, false}, {901, 1000, true}, {900, 1000, false},
      // A failed query never passes, not even against a size near 0.
      {-1, 0, false}, {-1, 50, false},
      // Sizes far apart do not wrap around.
      {2147483647, -2147483647 - 1, false}, {0, 0, true},
  };
  for (const Case& c : cases) EXPECT_EQ(SizeWithinTolerance(c.actual, c.expected), c.passes) << c.actual;
}

TEST(SizeTest, WhereTheSizeIsLookedUp) {
  SizeTestInputs in;
  in.url = "\\\\srv\\upd";
  in.updateName = "sub/dir\\Setup.exe";
  in.informName = "News.txt";
  in.sizeOfUpdateFile = 500;
  in.sizeOfInformFile = 70;
  in.testFolder = "C:\\Test";
  std::vector<std::string> log;
  {
    // The share first; only its last path element is used.
    Probe probe;
    probe.files["\\\\srv\\upd\\Setup.exe"] = 500;
    EXPECT_TRUE(SizeMatches(in, probe, log));
    EXPECT_EQ(probe.asked, std::vector<std::string>{"file \\\\srv\\upd\\Setup.exe"});
  }
  {
    // Not on the share: HTTP when connected.
    Probe probe;
    probe.http["\\\\srv\\upd/Setup.exe"] = 520;
    EXPECT_TRUE(SizeMatches(in, probe, log));
    probe.connected = false;
    probe.asked.clear();
    EXPECT_FALSE(SizeMatches(in, probe, log));
    EXPECT_EQ(probe.asked.size(), 1u);
  }
  {
    // A notice: the inform file's name and size.
    SizeTestInputs inform = in;
    inform.autoInform = true;
    Probe probe;
    probe.files["\\\\srv\\upd\\News.txt"] = 70;
    EXPECT_TRUE(SizeMatches(inform, probe, log));
  }
  {
    // Test mode: the test folder, never HTTP.
    SizeTestInputs test = in;
    test.testMode = true;
    Probe probe;
    probe.http["C:\\Test/Setup.exe"] = 500;
    EXPECT_FALSE(SizeMatches(test, probe, log));
    EXPECT_EQ(probe.asked, std::vector<std::string>{"file C:\\Test\\Setup.exe"});
  }
  {
    // The package's update URL is HTTP: the share named by the .info is
    // never looked up on the file system.
    SizeTestInputs fetched = in;
    fetched.fileSystemAllowed = false;
    Probe probe;
    probe.files["\\\\srv\\upd\\Setup.exe"] = 500;
    EXPECT_FALSE(SizeMatches(fetched, probe, log));
    EXPECT_EQ(probe.asked, std::vector<std::string>{"http \\\\srv\\upd/Setup.exe"});
  }
}

}  // namespace
