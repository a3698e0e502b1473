// The two tests that drive the update agent: whether a check is due at this
// timer tick (ShotTimeStatus), and whether the offer that a fetched .info
// describes passes (the six stages of GetOkToPerformAU). Platform-free: the
// time, the settings and the answers of the file system and the network
// are passed in.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "update/update_settings.h"

namespace varnel {

// ShotTimeStatus answers.
enum ShotStatus : int { kShotNone = 0, kShotNow = 1, kShotOnlyOnce = 2 };

struct ShotTimeInputs {
  bool probingEnabled = true;
  bool cycleRequested = false;
  bool testMode = false;
  std::int64_t storedInterval = 0;  // ProbeSecondsInterval as stored
  std::int64_t probeSecondsLast = 0;
  std::int64_t now = 0;  // seconds since 30 December 1899, local time
};

// The test-mode interval between checks, in seconds.
constexpr std::int64_t kTestModeIntervalSeconds = 5;

// 0 no check, 1 check now, 2 check now and never again (interval 0). Any
// negative interval counts as -1: no automatic checks, only requested ones.
int ShotTimeStatusFor(const ShotTimeInputs& in);

// Cycle mode (shared with the update cycle).
enum CycleMode : int { kCycleBackground = 0, kCycleUserCheck = 1, kCycleUserCheckPending = 2 };

// Decision stages; the reason text of stage n is item n of kDecisionReasons.
enum DecisionStage : int {
  kStageInfoFailed = 0,
  kStageNoOriginal = 1,
  kStageTooEarly = 2,
  kStageNotNewer = 3,
  kStageNotValidFor = 4,
  kStageSizeError = 5,
  kStageOk = 6,
};
extern const char kDecisionReasons[];
std::string DecisionReason(int stage);

// "," + version + "," occurs in "," + list + ","; an empty list admits any.
bool IsValidVersion(const std::string& validVersions, std::int32_t versionOriginal);
// Re-ask interval > 0 and its time has passed.
bool ReAskDue(std::int64_t interval, std::int64_t last, std::int64_t now);
// now - last without overflow: saturated at the 64-bit limits.
std::int64_t ElapsedSeconds(std::int64_t now, std::int64_t last);
// How far an unsigned SizeOfUpdateFile or SizeOfInformFile may miss the
// file's real size.
constexpr std::int64_t kSizeToleranceBytes = 100;
// |actual - expected| < kSizeToleranceBytes, in 64 bits; a failed query (-1)
// never passes.
bool SizeWithinTolerance(std::int64_t actual, std::int64_t expected);

// What the size test asks of the outside world.
class SizeProbe {
 public:
  virtual ~SizeProbe() = default;
  // Length of an existing file (local folder or share), or -1.
  virtual std::int64_t FileLength(const std::string& path) = 0;
  virtual bool InternetConnected() = 0;
  // HTTP_GetFileSize: the length the server announces, or -1.
  virtual std::int64_t HttpFileSize(const std::string& url) = 0;
};

struct SizeTestInputs {
  std::string url;         // DownloadURL_UPDATE of the .info
  std::string updateName;  // NameOfUpdateFile
  std::string informName;  // NameOfInformFile
  bool autoInform = false;
  std::int64_t sizeOfUpdateFile = 0;
  std::int64_t sizeOfInformFile = 0;
  bool testMode = false;
  std::string testFolder;
  // The update folder may be looked up on the file system (see
  // FileSystemFolderAllowed); otherwise only HTTP is asked.
  bool fileSystemAllowed = true;
};

// The size test; a failure appends the three agent-log lines to `log`.
bool SizeMatches(const SizeTestInputs& in, SizeProbe& probe, std::vector<std::string>& log);

struct DecisionInputs {
  bool infoDownloaded = false;
  std::int32_t versionOriginal = 0;
  std::int32_t versionNew = 0;
  std::int32_t infoStamp = 0;
  std::int32_t originalStamp = 0;
  std::int64_t reAskInterval = 0;
  std::int64_t reAskLast = 0;
  std::int64_t now = 0;
  int cycleMode = kCycleBackground;
  std::string validVersions;
  SizeTestInputs size;
};

struct Decision {
  int stage = kStageInfoFailed;
  std::string reason;
  std::vector<std::string> log;  // agent-log lines, in order
  bool ok() const { return stage == kStageOk; }
};

// The six stages in their order; the size probe is asked only at stage 5.
Decision DecideUpdate(const DecisionInputs& in, SizeProbe& probe);

}  // namespace varnel
