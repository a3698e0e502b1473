#include "update/update_decision.h"

#include <cstdint>

#include "update/agent_files.h"
#include "utils/delimited_list.h"
#include "utils/text_format.h"
#include "utils/text_rules.h"

namespace varnel {

const char kDecisionReasons[] =
    "|Error downloading .INFO file|Error reading .ORIGINAL file|Too early for retesting"
    "|New version is not higher then old version|\"Valid for version\" mismatch"
    "|Download file size error|OK|";

std::string DecisionReason(int stage) { return SUB::ListItem(kDecisionReasons, stage, ""); }

std::int64_t ElapsedSeconds(std::int64_t now, std::int64_t last) {
  std::int64_t elapsed = 0;
  if (!__builtin_sub_overflow(now, last, &elapsed)) return elapsed;
  return last < 0 ? INT64_MAX : INT64_MIN;
}

int ShotTimeStatusFor(const ShotTimeInputs& in) {
  int status = kShotNone;
  if (in.probingEnabled || in.cycleRequested) {
    // A stored value below -1 would make every tick a check: it counts as -1.
    const std::int64_t stored = in.storedInterval < 0 ? -1 : in.storedInterval;
    const std::int64_t interval = in.testMode ? kTestModeIntervalSeconds : stored;
    // now - last, saturated: a stored time near the limits never wraps
    // into "a check at every tick".
    if (ElapsedSeconds(in.now, in.probeSecondsLast) >= interval) status = kShotNow;
    if (stored == 0 && status == kShotNow) status = kShotOnlyOnce;
    if (stored == -1) status = kShotNone;
    if (in.cycleRequested) status = kShotNow;
  }
  return status;
}

bool IsValidVersion(const std::string& validVersions, std::int32_t versionOriginal) {
  if (validVersions.empty()) return true;
  std::string list = ",";
  list.append(validVersions) += ',';
  std::string version = ",";
  version.append(DecimalText(versionOriginal)) += ',';
  return list.find(version) != std::string::npos;
}

bool ReAskDue(std::int64_t interval, std::int64_t last, std::int64_t now) {
  return interval > 0 && ElapsedSeconds(now, last) > interval;
}

bool SizeWithinTolerance(std::int64_t actual, std::int64_t expected) {
  if (actual < 0) return false;
  const std::int64_t difference = actual - expected;
  return difference > -kSizeToleranceBytes && difference < kSizeToleranceBytes;
}

namespace {
void AddLogLine(std::vector<std::string>& log, const char* label, const std::string& value) {
  log.push_back(label + value);
}
}  // namespace

bool SizeMatches(const SizeTestInputs& in, SizeProbe& probe, std::vector<std::string>& log) {
  const std::int64_t expected = in.autoInform ? in.sizeOfInformFile : in.sizeOfUpdateFile;
  const std::string name = LastPathElement(in.autoInform ? in.informName : in.updateName);
  const std::string& url = in.testMode ? in.testFolder : in.url;

  std::int64_t actual = -1;
  std::string tried = JoinPath(url, name);
  if (!name.empty()) {
    if (in.testMode || in.fileSystemAllowed) actual = probe.FileLength(tried);
    if (actual < 0 && !in.testMode && probe.InternetConnected()) {
      tried = JoinPath(url, name, '/');
      actual = probe.HttpFileSize(tried);
    }
  }
  if (SizeWithinTolerance(actual, expected)) return true;
  AddLogLine(log, "  InfoSize=", DecimalText(expected));
  AddLogLine(log, "  HttpSize=", DecimalText(actual));
  AddLogLine(log, "  URL=", tried);
  return false;
}

Decision DecideUpdate(const DecisionInputs& in, SizeProbe& probe) {
  Decision d;
  int stage = in.infoDownloaded ? kStageNoOriginal : kStageInfoFailed;
  if (stage == kStageNoOriginal && in.versionOriginal > 0) stage = kStageTooEarly;
  if (stage == kStageTooEarly && (in.infoStamp != in.originalStamp || ReAskDue(in.reAskInterval, in.reAskLast, in.now) ||
                                  in.cycleMode == kCycleUserCheck))
    stage = kStageNotNewer;
  if (stage == kStageNotNewer && in.versionNew > in.versionOriginal) stage = kStageNotValidFor;
  if (stage == kStageNotValidFor && IsValidVersion(in.validVersions, in.versionOriginal)) stage = kStageSizeError;
  if (stage == kStageSizeError && SizeMatches(in.size, probe, d.log)) stage = kStageOk;
  d.stage = stage;
  d.reason = DecisionReason(stage);
  std::string line = DecimalText(stage);
  line.append(" - ").append(d.reason);
  AddLogLine(d.log, "GetOkToPerformAU = ", line);
  return d;
}

}  // namespace varnel
