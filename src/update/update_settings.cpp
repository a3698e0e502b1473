#include "update/update_settings.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "package/package_reader.h"
#include "utils/civil_days.h"
#include "utils/text_format.h"
#include "utils/registry_text.h"

namespace varnel {
namespace {

constexpr const char* kOriginalSetup = "OriginalSetup";
constexpr const char* kNewSetup = "NewSetup";
constexpr const char* kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr std::int64_t kSecondsPerDay = 86400;

const std::int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

std::int32_t As32(std::int64_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }

}  // namespace

std::int64_t SecondsSince1899(const LocalDateTime& t) {
  const std::int64_t days = DaysFromCivil(t.year, t.month, t.day) - kEpochDays;
  return days * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second + (t.millisecond >= 500 ? 1 : 0);
}

LocalDateTime DateTimeOfSeconds(std::int64_t seconds) {
  const std::int64_t days = FloorDivide(seconds, kSecondsPerDay);
  const int rest = static_cast<int>(seconds - days * kSecondsPerDay);  // 0..86399
  LocalDateTime t;
  CivilFromDays(days + kEpochDays, t.year, t.month, t.day);
  t.hour = rest / 3600;
  t.minute = rest / 60 % 60;
  t.second = rest % 60;
  return t;
}

std::string AgentDateText(const LocalDateTime& t) {
  char text[32];
  const int month = t.month >= 1 && t.month <= 12 ? t.month - 1 : 0;
  FormatText(text, sizeof text, "%02d-%s-%04d", t.day, kMonths[month], t.year);
  return text;
}

std::string AgentTimestampText(std::int64_t seconds) {
  const LocalDateTime t = DateTimeOfSeconds(seconds);
  char time[16];
  FormatText(time, sizeof time, " %02d:%02d:%02d", t.hour, t.minute, t.second);
  std::string text = AgentDateText(t);
  text += time;
  return text;
}

AgentFiles AgentFilesFor(const std::string& agentFolder, const TGFileInfo& reader) {
  return {agentFolder, agentFolder + reader.GetInfoFileName(), agentFolder + reader.GetOriginalFileName()};
}

std::string OverrideListText(const SettingOverrides& overrides) {
  std::string text = "|";
  for (std::uint8_t v : overrides.value) text.append(DecimalText(v)) += '|';
  return text;
}

void ParseOverrideList(const std::string& text, SettingOverrides& overrides) {
  // Fields follow the leading "|"; the last one may lack its closing "|".
  std::size_t begin = text.empty() ? 0 : 1;
  for (int n = 1; n <= 8 && begin < text.size(); ++n) {
    std::size_t end = text.find('|', begin);
    if (end == std::string::npos) end = text.size();
    // Decimal; an override is a byte, and like the agent commands 20 to 25
    // it takes the low byte of the number (256 is 0, "no").
    const std::int64_t none = INT64_MIN;
    const std::int64_t number = DecimalTextToInt64(text.substr(begin, end - begin), none);
    if (number != none) overrides.Set(n, static_cast<std::uint8_t>(number & 0xFF));
    begin = end + 1;
  }
}

const char* AutoUpdateDefault(const char* key) {
  static const struct {
    const char* key;
    const char* text;
  } kDefaults[] = {
      {"s3", "File Download Aborted!"},       {"s4", "File not Found!"},
      {"s5", "Unable to Download File!"},     {"s31", "Downloading INFO File..."},
      {"s32", "Downloading UPDATE File..."},  {"s33", "Downloading INFORM File..."},
      {"s34", "New Version"},                 {"s35", "Download"},
  };
  for (const auto& d : kDefaults)
    if (std::strcmp(key, d.key) == 0) return d.text;
  return "";
}

std::string AgentSettings::Text(const std::string& file, const char* section, const char* key,
                                CText fallback) const {
  return store_.Read(file, section, key, fallback);
}

std::int64_t AgentSettings::Number(const std::string& file, const char* section, const char* key,
                                   std::int64_t fallback) const {
  // A missing key reads as "", which converts to the fallback.
  // Plain decimal, as the agent writes them ("0x10" is not a number).
  return DecimalTextToInt64(store_.Read(file, section, key, ""), fallback);
}

bool AgentSettings::YesNo(const std::string& file, const char* section, const char* key) const {
  return store_.Read(file, section, key, "0") == "1";
}

bool AgentSettings::YesNoOverridden(int override, const char* key) const {
  const std::uint8_t v = overrides_.Get(override);
  if (v != kOverrideUseFile) return v == 1;
  return YesNo(files_.info, kNewSetup, key);
}

std::int64_t AgentSettings::OriginalSetupNumber(const char* key) const {
  return Number(files_.original, kOriginalSetup, key, 0);
}
std::int64_t AgentSettings::NewSetupNumber(const char* key) const { return Number(files_.info, kNewSetup, key, 0); }
std::string AgentSettings::NewSetupText(const char* key) const { return Text(files_.info, kNewSetup, key); }

void AgentSettings::WriteNumber(const char* key, std::int64_t value) {
  store_.Write(files_.original, kOriginalSetup, key, DecimalText(value));
}

std::int64_t AgentSettings::ProbeSecondsInterval() const {
  return OriginalSetupNumber("ProbeSecondsInterval");
}
std::int64_t AgentSettings::ProbeSecondsLast() const {
  return OriginalSetupNumber("ProbeSecondsLast");
}
std::int64_t AgentSettings::ReAskSecondsInterval() const {
  return OriginalSetupNumber("ReAskSecondsInterval");
}
std::int64_t AgentSettings::ReAskSecondsLast() const {
  return OriginalSetupNumber("ReAskSecondsLast");
}
std::int32_t AgentSettings::VersionOriginal() const {
  return As32(OriginalSetupNumber("VersionOriginal"));
}
std::int32_t AgentSettings::OriginalStamp() const {
  return As32(OriginalSetupNumber("Stamp"));
}
std::string AgentSettings::OriginalProgramName() const {
  return Text(files_.original, kOriginalSetup, "ProgramName");
}

void AgentSettings::SetProbeSecondsInterval(std::int64_t s) { WriteNumber("ProbeSecondsInterval", s); }
void AgentSettings::SetReAskSecondsInterval(std::int64_t s) { WriteNumber("ReAskSecondsInterval", s); }
void AgentSettings::SetVersionOriginal(std::int64_t v) { WriteNumber("VersionOriginal", v); }
void AgentSettings::SetOriginalStamp(std::int64_t v) { WriteNumber("Stamp", v); }

void AgentSettings::WriteTime(const char* shadowKey, std::int64_t seconds) {
  WriteNumber(shadowKey + 2, seconds);  // the key without its "__"
  store_.Write(files_.original, kOriginalSetup, shadowKey, AgentTimestampText(seconds));
}

void AgentSettings::SetProbeSecondsLast(std::int64_t seconds) { WriteTime("__ProbeSecondsLast", seconds); }
void AgentSettings::SetReAskSecondsLast(std::int64_t seconds) { WriteTime("__ReAskSecondsLast", seconds); }

std::string AgentSettings::TargetDir() const { return Text(files_.original, "Directories", "TargetDir"); }
std::string AgentSettings::SharedDir() const { return Text(files_.original, "Directories", "SharedDir"); }
std::string AgentSettings::AuxiliaryDir() const { return Text(files_.original, "Directories", "AuxiliaryDir"); }
std::string AgentSettings::StartUpLink() const { return Text(files_.original, "UnInstall", "StartUpLink"); }
std::string AgentSettings::CheckforNewUpdateLink() const {
  return Text(files_.original, "UnInstall", "CheckforNewUpdateLink");
}
std::string AgentSettings::BtnText() const {
  return Text(files_.original, "MsgBox", "BtnText", "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
}
std::string AgentSettings::BoxTitle(const char* key) const { return Text(files_.original, "MsgBox", key, key); }
std::string AgentSettings::ErrorTitle() const { return BoxTitle("Error"); }
std::string AgentSettings::ConfirmTitle() const { return BoxTitle("Confirm"); }
std::string AgentSettings::AttentionTitle() const { return BoxTitle("Attention"); }
int AgentSettings::CharSet() const { return As32(Number(files_.original, "MsgBox", "CharSet", 0)); }
std::string AgentSettings::FontName() const { return Text(files_.original, "MsgBox", "FontName", "Tahoma"); }
int AgentSettings::FontSize() const { return As32(Number(files_.original, "MsgBox", "FontSize", 8)); }

std::string AgentSettings::AutoUpdateText(const char* key) const {
  return store_.Read(files_.original, "AutoUpdate", key, AutoUpdateDefault(key));
}
std::string AgentSettings::AutoUpdateText(const char* key, CText fallback) const {
  return store_.Read(files_.original, "AutoUpdate", key, fallback);
}

std::string AgentSettings::DownloadURL_UPDATE() const { return NewSetupText("DownloadURL_UPDATE"); }
std::string AgentSettings::NameOfUpdateFile() const { return NewSetupText("NameOfUpdateFile"); }
std::int32_t AgentSettings::SizeOfUpdateFile() const {
  return As32(NewSetupNumber("SizeOfUpdateFile"));
}
bool AgentSettings::RequestConfirmationBeforeDownload() const {
  return YesNoOverridden(kOverrideConfirmDownload, "RequestConfirmationBeforeDownload");
}
bool AgentSettings::RequestConfirmationBeforeDownloadForce() const {
  return YesNoOverridden(kOverrideConfirmDownloadForce, "RequestConfirmationBeforeDownloadForce");
}
bool AgentSettings::RequestConfirmationBeforeInstall() const {
  return YesNoOverridden(kOverrideConfirmInstall, "RequestConfirmationBeforeInstall");
}
bool AgentSettings::RequestConfirmationBeforeInstallForce() const {
  return YesNoOverridden(kOverrideConfirmInstallForce, "RequestConfirmationBeforeInstallForce");
}
bool AgentSettings::BackgroundUpdate() const {
  return YesNoOverridden(kOverrideBackgroundUpdate, "BackgroundUpdate");
}
std::string AgentSettings::ShutDownMethod() const { return NewSetupText("ShutDownMethod"); }
bool AgentSettings::RestartProcess() const { return YesNoOverridden(kOverrideRestartProcess, "RestartProcess"); }
bool AgentSettings::InformFinish() const { return YesNoOverridden(kOverrideInformFinish, "InformFinish"); }
std::string AgentSettings::RunningProcess() const { return NewSetupText("RunningProcess"); }
std::string AgentSettings::InfoProgramName() const { return NewSetupText("ProgramName"); }
std::int32_t AgentSettings::VersionNew() const { return As32(NewSetupNumber("VersionNew")); }
std::int32_t AgentSettings::InfoStamp() const { return As32(NewSetupNumber("Stamp")); }
std::string AgentSettings::ValidVersions() const { return NewSetupText("ValidVersions"); }
bool AgentSettings::RemoveStartUpShortcut() const { return YesNo(files_.info, kNewSetup, "RemoveStartUpShortcut"); }
bool AgentSettings::RemoveCheckForNewUpdateShortcut() const {
  return YesNo(files_.info, kNewSetup, "RemoveCheckForNewUpdateShortcut");
}

bool AgentSettings::AutoInform() const { return Number(files_.info, "General", "AutoInform", 0) == 1; }
std::string AgentSettings::DownloadURL_INFORM() const {
  return Text(files_.info, "AutoInform", "DownloadURL_INFORM");
}
std::string AgentSettings::NameOfInformFile() const { return Text(files_.info, "AutoInform", "NameOfInformFile"); }
std::int32_t AgentSettings::SizeOfInformFile() const {
  return As32(Number(files_.info, "AutoInform", "SizeOfInformFile", 0));
}
std::string AgentSettings::SHA256OfUpdateFile() const { return NewSetupText("SHA256OfUpdateFile"); }
std::string AgentSettings::SHA256OfInformFile() const { return Text(files_.info, "AutoInform", "SHA256OfInformFile"); }
std::int64_t AgentSettings::SignedSizeOfUpdateFile() const {
  return Number(files_.info, "NewSetup", "SizeOfUpdateFile", -1);
}
std::int64_t AgentSettings::SignedSizeOfInformFile() const {
  return Number(files_.info, "AutoInform", "SizeOfInformFile", -1);
}
std::int64_t AgentSettings::AutoInformW() const { return Number(files_.info, "AutoInform", "AutoInformW", 360); }
std::int64_t AgentSettings::AutoInformH() const { return Number(files_.info, "AutoInform", "AutoInformH", 360); }

}  // namespace varnel
