// The update agent's two settings files beside its executable: the
// ".original" file written at installation (what is installed, the agent's
// timers and texts) and the ".info" file fetched from the update folder at
// every check (what the update folder offers). One reader per key, each
// reading the file at every call, so a freshly fetched .info is seen at once.
//
// Platform-free: the INI access is an IniStore, which the Win32 side fills
// with the system's INI functions and tests fill with a map.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "utils/c_text.h"

namespace varnel {

class TGFileInfo;

// Local date and time (the agent's times are local, not UTC).
struct LocalDateTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Whole seconds since 30 December 1899 00:00 (the day count with its
// fraction times 86400, rounded to the nearest second).
std::int64_t SecondsSince1899(const LocalDateTime& time);
LocalDateTime DateTimeOfSeconds(std::int64_t seconds);

// "06-DEC-2026": two-digit day, three capital letters, four-digit year.
std::string AgentDateText(const LocalDateTime& time);
// "01-DEC-2025 13:05:00", the form of the shadow keys.
std::string AgentTimestampText(std::int64_t seconds);

// The agent's files: folder (with its trailing "\") + the package's .info
// name, and + its .original name.
struct AgentFiles {
  std::string folder;
  std::string info;
  std::string original;
};
AgentFiles AgentFilesFor(const std::string& agentFolder, const TGFileInfo& reader);

// INI access by file, section and key; Read gives fallback for a missing
// file, section or key.
class IniStore {
 public:
  virtual ~IniStore() = default;
  virtual std::string Read(CText file, CText section, CText key, CText fallback) const = 0;
  virtual void Write(CText file, CText section, CText key, CText value) = 0;
};

// Setting overrides 1..8: 255 = take the .info key; otherwise 1 = yes and
// any other value = no.
enum SettingOverride : int {
  kOverrideAskBeforeCheck = 1,
  kOverrideConfirmDownload = 2,
  kOverrideConfirmInstall = 3,
  kOverrideBackgroundUpdate = 4,
  kOverrideInformFinish = 5,
  kOverrideRestartProcess = 6,
  kOverrideConfirmDownloadForce = 7,
  kOverrideConfirmInstallForce = 8,
};
constexpr std::uint8_t kOverrideUseFile = 255;

struct SettingOverrides {
  std::array<std::uint8_t, 8> value{255, 255, 255, 255, 255, 255, 255, 255};
  std::uint8_t Get(int number) const { return value[number - 1]; }
  void Set(int number, std::uint8_t v) { value[number - 1] = v; }
};

// "|255|255|255|255|255|255|255|255|".
std::string OverrideListText(const SettingOverrides& overrides);
// Field n (from 1, after the leading "|") sets override n; a missing or
// non-numeric field, or a number outside 0..255, leaves it unchanged.
void ParseOverrideList(const std::string& text, SettingOverrides& overrides);

// The typed readers and the writers of both files.
class AgentSettings {
 public:
  AgentSettings(IniStore& store, AgentFiles files, const SettingOverrides& overrides)
      : store_(store), files_(std::move(files)), overrides_(overrides) {}

  const AgentFiles& Files() const { return files_; }

  // .original [OriginalSetup]
  std::int64_t ProbeSecondsInterval() const;
  std::int64_t ProbeSecondsLast() const;
  std::int64_t ReAskSecondsInterval() const;
  std::int64_t ReAskSecondsLast() const;
  std::int32_t VersionOriginal() const;
  std::int32_t OriginalStamp() const;
  std::string OriginalProgramName() const;
  void SetProbeSecondsInterval(std::int64_t seconds);
  void SetReAskSecondsInterval(std::int64_t seconds);
  void SetVersionOriginal(std::int64_t version);
  void SetOriginalStamp(std::int64_t stamp);
  // The number and its shadow key "__" + key with the same moment as text.
  void SetProbeSecondsLast(std::int64_t seconds);
  void SetReAskSecondsLast(std::int64_t seconds);

  // .original, other sections
  std::string TargetDir() const;
  std::string SharedDir() const;
  std::string AuxiliaryDir() const;
  std::string StartUpLink() const;
  std::string CheckforNewUpdateLink() const;
  std::string BtnText() const;
  std::string ErrorTitle() const;
  std::string ConfirmTitle() const;
  std::string AttentionTitle() const;
  // [MsgBox] title of a box: key "Error", "Confirm" or "Attention", with the
  // key itself as its default.
  std::string BoxTitle(const char* key) const;
  int CharSet() const;
  std::string FontName() const;
  int FontSize() const;
  // [AutoUpdate] text with its built-in default (AutoUpdateDefault), or
  // with the fallback given.
  std::string AutoUpdateText(const char* key) const;
  std::string AutoUpdateText(const char* key, CText fallback) const;

  // .info [NewSetup]
  std::string DownloadURL_UPDATE() const;
  std::string NameOfUpdateFile() const;
  std::int32_t SizeOfUpdateFile() const;
  bool RequestConfirmationBeforeDownload() const;
  bool RequestConfirmationBeforeDownloadForce() const;
  bool RequestConfirmationBeforeInstall() const;
  bool RequestConfirmationBeforeInstallForce() const;
  bool BackgroundUpdate() const;
  std::string ShutDownMethod() const;
  bool RestartProcess() const;
  bool InformFinish() const;
  std::string RunningProcess() const;
  std::string InfoProgramName() const;
  std::int32_t VersionNew() const;
  std::int32_t InfoStamp() const;
  std::string ValidVersions() const;
  bool RemoveStartUpShortcut() const;
  bool RemoveCheckForNewUpdateShortcut() const;
  // .info, other sections
  bool AutoInform() const;
  std::string DownloadURL_INFORM() const;
  std::string NameOfInformFile() const;
  std::int32_t SizeOfInformFile() const;
  std::int64_t AutoInformW() const;
  // Signed items (a package that carries a key): [NewSetup]
  // SHA256OfUpdateFile, [AutoInform] SHA256OfInformFile, and the sizes
  // as whole 64-bit numbers (-1 when missing).
  std::string SHA256OfUpdateFile() const;
  std::string SHA256OfInformFile() const;
  std::int64_t SignedSizeOfUpdateFile() const;
  std::int64_t SignedSizeOfInformFile() const;
  std::int64_t AutoInformH() const;

  // Override 1 (ask before a check): it has no file key.
  bool AskBeforeCheck() const { return overrides_.Get(kOverrideAskBeforeCheck) == 1; }

 private:
  std::string Text(const std::string& file, const char* section, const char* key,
                   CText fallback = "") const;
  std::int64_t Number(const std::string& file, const char* section, const char* key,
                      std::int64_t fallback) const;
  // [OriginalSetup] of the .original and [NewSetup] of the .info, numbers
  // with the default 0.
  std::int64_t OriginalSetupNumber(const char* key) const;
  std::int64_t NewSetupNumber(const char* key) const;
  std::string NewSetupText(const char* key) const;
  bool YesNo(const std::string& file, const char* section, const char* key) const;
  bool YesNoOverridden(int override, const char* key) const;
  void WriteNumber(const char* key, std::int64_t value);
  // The number under shadowKey without its leading "__", and the moment as
  // text under shadowKey.
  void WriteTime(const char* shadowKey, std::int64_t seconds);

  IniStore& store_;
  AgentFiles files_;
  const SettingOverrides& overrides_;
};

// The built-in default of an [AutoUpdate] text ("" for keys without one).
const char* AutoUpdateDefault(const char* key);

}  // namespace varnel
