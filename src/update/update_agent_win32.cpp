#include <memory>

#include "dialogs/message_box.h"
#include "package/package_reader.h"
#include "download/http_download.h"
#include "update/test_mode.h"
#include "update/update_agent.h"
#include "utils/agent_log.h"
#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/ini_registry.h"
#include "utils/private_folder.h"
#include "utils/text_format.h"
#include "utils/text_rules.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

class SystemIniStore : public IniStore {
 public:
  std::string Read(CText file, CText section, CText key, CText fallback) const override {
    return ReadIniString(file, section, key, fallback);
  }
  void Write(CText file, CText section, CText key, CText value) override {
    WriteIniString(file, section, key, value);
  }
};

struct UpdateAgentState {
  SystemIniStore store;
  AgentRuntime runtime;
  std::unique_ptr<AgentSettings> settings;
  HWND targetWindow = nullptr;
  UINT targetMessage = 0;
  std::string downloadFolder;  // "" until made for a run
  FileHandle downloadHold;     // keeps it from being renamed or removed
};

UpdateAgentState& State() {
  static UpdateAgentState state;
  return state;
}

class SystemSizeProbe : public SizeProbe {
 public:
  std::int64_t FileLength(const std::string& path) override { return ExistingFileLength(path); }
  bool InternetConnected() override {
    std::string reason;
    return varnel::InternetConnected(reason);
  }
  std::int64_t HttpFileSize(const std::string& url) override { return HTTP_GetFileSize(url); }
};

}  // namespace

void InitUpdateAgent(const std::string& agentFolder) {
  UpdateAgentState& s = State();
  // Another agent folder has a download folder of its own.
  s.downloadHold.reset();
  s.downloadFolder.clear();
  s.settings = std::make_unique<AgentSettings>(s.store, AgentFilesFor(agentFolder, ProcessReader()),
                                               s.runtime.overrides);
}

AgentSettings& UpdateAgentSettings() {
  if (!State().settings) InitUpdateAgent(ExeFolder(true));
  return *State().settings;
}

const AgentFiles& AgentFilePaths() { return UpdateAgentSettings().Files(); }

const std::string& AgentDownloadFolder() {
  UpdateAgentState& s = State();
  if (!s.downloadFolder.empty()) return s.downloadFolder;
  std::string base = AgentFilePaths().folder;
  const std::string agent = LastPathElement(ProcessReader().GetAgentFileName());
  base.append("X_").append(agent, 0, agent.rfind('.')).append(".downloads");
  for (unsigned n = 0; n < 10; ++n) {
    std::string folder = base;
    if (n > 0) {
      folder += '_';
      AppendDecimal(folder, n);
    }
    // One left by an agent that did not end its run is emptied first; one
    // that can't be removed is someone else's and is passed over.
    if (GetFileAttributesW(Wide(folder).c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFolderTree(folder, true);
    if (CreateFreshPrivateFolder(folder, s.downloadHold)) {
      s.downloadFolder = JoinPath(folder, "");
      break;
    }
  }
  if (s.downloadFolder.empty()) AgentLog("ERROR: no download folder beside ", base);
  return s.downloadFolder;
}

void RemoveAgentDownloadFolder() {
  UpdateAgentState& s = State();
  s.downloadHold.reset();
  if (!s.downloadFolder.empty()) DeleteFolderTree(SetTrailingBackslash(s.downloadFolder, false), true);
  s.downloadFolder.clear();
}

AgentRuntime& AgentState() { return State().runtime; }

void SetSettingOverride(int number, std::uint8_t value) {
  if (number >= 1 && number <= 8) AgentState().overrides.Set(number, value);
}
std::uint8_t SettingOverrideValue(int number) {
  return number >= 1 && number <= 8 ? AgentState().overrides.Get(number) : kOverrideUseFile;
}
std::string SettingOverrideList() { return OverrideListText(AgentState().overrides); }
void ReadSettingOverrideList(const std::string& text) { ParseOverrideList(text, AgentState().overrides); }

int CycleModeValue() { return AgentState().cycleMode; }
void SetCycleMode(int mode) { AgentState().cycleMode = mode; }
bool ProbingEnabled() { return AgentState().probingEnabled; }
void SetProbingEnabled(bool enabled) { AgentState().probingEnabled = enabled; }
void SetCycleRequested() { AgentState().cycleRequested = true; }

void SetNotificationTarget(HWND window, UINT message) {
  State().targetWindow = window;
  State().targetMessage = message;
}

void NotifyTarget(unsigned code, LPARAM value) {
  const UpdateAgentState& s = State();
  if (s.targetWindow && s.targetMessage) PostMessageA(s.targetWindow, s.targetMessage, code, value);
}

LRESULT RunAgentCommand(WPARAM code, LPARAM value) {
  const std::uint32_t result = RunAgentCommandOn(AgentState(), UpdateAgentSettings(), static_cast<std::uint32_t>(code),
                                                 static_cast<std::uint32_t>(value));
  DebugLine("%lu AgentCommand(%u, %u)=%u", GetCurrentProcessId(), static_cast<unsigned>(code),
            static_cast<unsigned>(value), static_cast<unsigned>(result));
  // The caller reads the low 32 bits; on a 64-bit system they are handed
  // back unsigned, so that a time above 2^31 arrives whole.
  return static_cast<LRESULT>(static_cast<ULONG_PTR>(result));
}

std::int64_t ExistingFileLength(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return -1;
  return static_cast<std::int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::int64_t CurrentSeconds() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return SecondsSince1899({t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds});
}

int ShotTimeStatus() {
  AgentRuntime& s = AgentState();
  ShotTimeInputs in;
  in.probingEnabled = s.probingEnabled;
  in.cycleRequested = s.cycleRequested;
  if (in.probingEnabled || in.cycleRequested) {
    const AgentSettings& settings = UpdateAgentSettings();
    in.testMode = TestModeOn();
    in.storedInterval = settings.ProbeSecondsInterval();
    in.probeSecondsLast = settings.ProbeSecondsLast();
    in.now = CurrentSeconds();
  }
  s.cycleRequested = false;
  return ShotTimeStatusFor(in);
}

bool GetOkToPerformAU(bool infoDownloaded, int& stage, std::string& reason) {
  const AgentSettings& settings = UpdateAgentSettings();
  // Built in place, field by field in the order of the declarations (each
  // text is constructed once, not assigned).
  const DecisionInputs in{
      infoDownloaded,
      settings.VersionOriginal(),
      settings.VersionNew(),
      settings.InfoStamp(),
      settings.OriginalStamp(),
      settings.ReAskSecondsInterval(),
      settings.ReAskSecondsLast(),
      CurrentSeconds(),
      AgentState().cycleMode,
      settings.ValidVersions(),
      SizeTestInputs{
          settings.DownloadURL_UPDATE(),
          AgentFetchName(settings.NameOfUpdateFile()),
          AgentFetchName(settings.NameOfInformFile()),
          settings.AutoInform(),
          settings.SizeOfUpdateFile(),
          settings.SizeOfInformFile(),
          TestModeOn(),
          TestFolder(),
          FileSystemFolderAllowed(ProcessReader().GetUpdateUrl()),
      },
  };

  SystemSizeProbe probe;
  const Decision d = DecideUpdate(in, probe);
  stage = d.stage;
  reason = d.reason;
  DebugLine("%lu GetOkToPerformAU=%d", GetCurrentProcessId(), d.stage);
  for (const std::string& line : d.log) AgentLog(line);
  if (d.stage == kStageNotNewer && in.versionNew < in.versionOriginal && AgentVerifiesUpdates())
    AgentLog("ERROR: ", kDowngradeRefused);
  return d.ok();
}

bool AgentMsgBox(AgentBoxKind kind, HWND owner, const std::string& text) {
  // An agent that is ending shows nothing more (a box would close at once).
  if (AgentState().stopping) return false;
  static const char* const kTitleKeys[] = {"Error", "Attention", "Confirm"};
  const AgentSettings& settings = UpdateAgentSettings();
  const std::string title = settings.BoxTitle(kTitleKeys[kind]);
  const std::string buttons = settings.BtnText();
  const int charset = settings.CharSet();
  // The box shows ANSI text. A text that is UTF-8 as a whole (a path or a
  // system message in ASCII words) is converted; one holding the package's
  // own ANSI letters is not UTF-8 and passes unchanged.
  const std::string shown = AnsiText(text);
  switch (kind) {
    case kAgentBoxError: MsgBoxError(owner, shown, title, buttons, charset); return false;
    case kAgentBoxAttention: MsgBoxAttention(owner, shown, title, buttons, charset); return false;
    default: return MsgBoxConfirm(owner, shown, title, buttons, charset);
  }
}

std::string AgentFetchName(const std::string& name) {
  const TGFileInfo& reader = ProcessReader();
  return CheckedFetchName(name, {reader.GetAgentFileName(), reader.GetInfoFileName(), reader.GetOriginalFileName()});
}

}  // namespace varnel
