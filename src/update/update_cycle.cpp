#include "update/update_cycle.h"

#include <cstring>
#include <string>

#include "dialogs/message_box.h"
#include "dialogs/notice_box.h"
#include "download/http_download.h"
#include "folders/system_folders.h"
#include "package/engine_launch.h"
#include "package/package_reader.h"
#include "package/setup_window.h"
#include "package/temp_folder.h"
#include "update/test_mode.h"
#include "update/update_agent.h"
#include "utils/agent_log.h"
#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/message_pump.h"
#include "utils/processes.h"
#include "utils/system_helpers.h"
#include "utils/text_format.h"
#include "utils/text_rules.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

// The agent window of the running agent; ticks hand it in.
HWND g_agentWindow = nullptr;

unsigned long Pid() { return GetCurrentProcessId(); }
void Trace(const char* text) { DebugLine("%lu%s", Pid(), text); }

std::string WithProgName(const std::string& text, const std::string& name) {
  return ReplaceAllText(text, "PROG_NAME", name);
}
// The [AutoUpdate] text of key with the program's name in it.
std::string ProgText(const char* key, const std::string& name) {
  return WithProgName(UpdateAgentSettings().AutoUpdateText(key), name);
}

// A path as a command line gives it: quoted, as its folder may hold a blank.
std::string Quoted(const std::string& path) {
  std::string text = "\"";
  text.append(path) += '"';
  return text;
}

// The agent is ending: its countdown ran out, or a quit request waits in
// this thread's queue. Nothing new is started then.
bool QuitPending() {
  if (AgentState().stopping) return true;
  MSG m;
  return PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

std::string UpdateUrl() { return ProcessReader().GetUpdateUrl(); }

bool FetchInfo(std::string& errorText) {
  NotifyTarget(kNotifyInfoDownload, 1);
  const bool ok = DownloadFileAU(UpdateUrl(), AgentFilePaths().info, kFetchInfo, errorText);
  NotifyTarget(kNotifyInfoDownload, 2);
  return ok;
}

// Message boxes with the texts, buttons and character set of the .original.
void ErrorBox(HWND kind, const std::string& text) { AgentMsgBox(kAgentBoxError, kind, text); }
void AttentionBox(HWND kind, const std::string& text) { AgentMsgBox(kAgentBoxAttention, kind, text); }
bool ConfirmBox(HWND kind, const std::string& text) { return AgentMsgBox(kAgentBoxConfirm, kind, text); }

// The downloaded file, held open so that nobody can change or replace it
// between its proof and its use, and proved once more through that hold;
// with a key, its signed size and SHA-256 are checked through the hold.
struct HeldFile {
  FileHandle handle;
  bool refused = false;  // held and proved, but not the signed file
  bool Take(int kind, const std::string& path) {
    handle.reset(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle || !ProveAgentFile(kind, path)) return false;
    refused = !SignedFileMatches(kind, handle.get(), path);
    return !refused;
  }
  // Lets the file go; a refused one is removed.
  void Drop(const std::string& path) {
    handle.reset();
    if (refused) DeleteFileW(Wide(path).c_str());
  }
};

// Fetches the file the update folder offers (the setup or the inform text)
// under its checked name into the agent's folder, with the download notices
// around it; path gets where it lies. One body for the update and the inform
// path.
bool FetchOffered(const std::string& name, int kind, std::string& path) {
  AgentState().activity = kActivityDownload;
  NotifyTarget(kNotifySetupDownload, 1);
  std::string errorText;
  const bool ok = DownloadFileAU(UpdateAgentSettings().DownloadURL_UPDATE(), name, kind, errorText);
  NotifyTarget(kNotifySetupDownload, 2);
  path = AgentDownloadFolder() + name;
  return ok && !AgentDownloadFolder().empty();
}

bool DeveloperSwitchOn() {
  wchar_t value[8] = {};
  const DWORD n = GetEnvironmentVariableW(L"DVX", value, 8);
  return n > 0 && n < 8 && lstrcmpW(value, L"735") == 0;
}

// How long a product may take to end once asked: programs that save their
// state take seconds (under Wine one closed by WM_CLOSE takes about two).
constexpr std::uint32_t kProductEndMs = 30000;

void ShutDownProduct(const std::string& program, const std::string& method) {
  const bool wait = method != "Don't Shut Down";
  if (method == "Using WM_CLOSE") CloseProcessWindow(program, true, 0);
  else if (method == "Using WM_QUIT") QuitProcessWindow(program, true);
  else if (method == "Using Terminate Process") TerminateProcessByPath(program, true);
  // Returns as soon as the product is gone.
  if (wait && !WaitProcessGone(program, kProductEndMs) && IsProcessRunning(program))
    AgentLog("Shut Down Process() - still running: ", program);
}

}  // namespace

void SetAutoUpdateTimerCount(int count) { AgentState().timerCount = count; }
int AutoUpdateTimerCount() { return AgentState().timerCount; }

void JustDownloadInfoFile(HWND window) {
  AgentRuntime& s = AgentState();
  if (s.busy) {
    // A cycle holds the tick (a box, a download, a wait): only the
    // shut-down countdown runs, so that a stop still ends the agent. Its
    // quit request closes the boxes and ends the waits; the cycle starts
    // nothing more, and a transfer stops.
    if (RunShutDownCountdown(s)) {
      PostQuitMessage(0);
      SetDownloadAbort(true);
    }
    return;
  }
  s.busy = true;
  g_agentWindow = window;

  if (s.infoOnlyRequest) {
    DebugLine("-------------- JustDownloadInfoFile ---------------");
    s.infoOnlyRequest = false;
    std::string errorText;
    FetchInfo(errorText);
  } else {
    AgentSettings& settings = UpdateAgentSettings();
    SetMsgBoxFont(settings.FontName(), settings.FontSize(), settings.CharSet());
    s.activity = kActivityIdle;
    const TickStart tick = BeginAgentTick(s);
    if (tick.quit) {
      // The countdown has run out: the loop ends; nothing else this tick.
      PostQuitMessage(0);
    } else {
      DebugLine("%lu AutoUpdateTimerCount=%d", Pid(), s.timerCount);
      if (tick.checkDue) {
        CheckTestMode(false);
        int status = ShotTimeStatus();
        DebugLine("%lu ShotTimeStatus=%d", Pid(), status);
        if (status == 2) s.probingEnabled = false;
        if (status >= 1 && (s.cycleMode == kCycleUserCheck || settings.AskBeforeCheck()) && !AskCheckQuestion())
          status = 0;
        if (status >= 1) PerformShot();
        if (s.cycleMode == kCycleUserCheck) s.cycleMode = kCycleBackground;
      }
    }
  }
  s.activity = kActivityIdle;
  s.busy = false;
}

void PerformShot() {
  AgentRuntime& s = AgentState();
  AgentSettings& settings = UpdateAgentSettings();
  DebugLine("%lu Fire  %s", Pid(), AgentTimestampText(CurrentSeconds()).c_str());
  CheckTestMode(true);
  s.activity = kActivityInfo;
  std::string infoError;
  const bool infoOk = FetchInfo(infoError);
  settings.SetProbeSecondsLast(CurrentSeconds());

  int stage = 0;
  std::string reason;
  bool done = false;
  if (GetOkToPerformAU(infoOk, stage, reason)) {
    Trace(" ==== PerformShot-1 ====");
    settings.SetReAskSecondsLast(CurrentSeconds());
    settings.SetOriginalStamp(settings.InfoStamp());
    if (settings.AutoInform()) PerformAutoInform();
    else if (PerformAutoUpdate()) ReStartAutoUpdateExe();
    Trace(" ==== PerformShot-2 ====");
    done = true;
  }

  if (s.cycleMode != kCycleUserCheck) return;
  // The user asked for this check: say why nothing was done.
  WaitPumping(1000);
  if (g_agentWindow) ShowWindow(g_agentWindow, SW_HIDE);
  if (done || QuitPending()) return;
  const bool testMode = TestModeOn();
  std::string connectionError;
  const bool connected = InternetConnected(connectionError);
  DebugLine("%lu TestMode=%s", Pid(), TrueFalse(testMode));
  DebugLine("%lu InternetConnected=%s", Pid(), TrueFalse(connected));
  if (!testMode && !connected) {
    std::string text = settings.AutoUpdateText("s2");
    if (!connectionError.empty()) text.append("<P><P>").append(connectionError);
    ErrorBox(kMsgOwnerWithHeading, text);
  } else if (!testMode && !infoError.empty()) {
    ErrorBox(kMsgOwnerWithHeading, infoError);
  } else {
    std::string text = settings.AutoUpdateText("s21");
    // A signed .info that offers an older version than the installed one.
    if (stage == kStageNotNewer && AgentVerifiesUpdates() && settings.VersionNew() < settings.VersionOriginal()) {
      text.append("<P><P>").append(kDowngradeRefused);
    }
    if (DeveloperSwitchOn()) text.append("<P><P>(").append(DecimalText(stage)).append(" - ").append(reason).append(")   ");
    AttentionBox(kMsgOwnerActive, text);
  }
}

bool PerformAutoUpdate() {
  AgentRuntime& s = AgentState();
  AgentSettings& settings = UpdateAgentSettings();
  AgentLog("PerformAutoUpdate() - START");
  Trace(" ==== PerformAutoUpdate-4 ====");
  bool result = false;
  const std::string programName = settings.InfoProgramName();
  const bool userCheck = s.cycleMode == kCycleUserCheck;
  // The one checked name under which the setup is fetched, proved and run.
  const std::string setupName = AgentFetchName(settings.NameOfUpdateFile());

  if (!settings.DownloadURL_UPDATE().empty() && !setupName.empty()) {
    Trace(" ==== PerformAutoUpdate-5 ====");
    const bool confirmInstall = settings.RequestConfirmationBeforeInstall();
    const bool downloadForce = settings.RequestConfirmationBeforeDownloadForce();
    const std::string offer = WithProgName(
        settings.AutoUpdateText("s11") +
            settings.AutoUpdateText(downloadForce ? (confirmInstall ? "s19" : "s18") : (confirmInstall ? "s13" : "s12")),
        programName);

    bool go = true;
    if (settings.RequestConfirmationBeforeDownload() && !userCheck) {
      if (downloadForce) AttentionBox(kMsgOwnerNoClose, offer);
      else go = ConfirmBox(kMsgOwnerWithHeading, offer);
      WaitPumping(500);
    }

    if (go && !QuitPending()) {
      Trace(" ==== PerformAutoUpdate-6 ====");
      std::string setup;
      bool ok = FetchOffered(setupName, kFetchUpdate, setup);
      HeldFile held;
      if (ok && !held.Take(kFetchUpdate, setup)) {
        if (!held.refused) AgentLog("ERROR: the downloaded setup changed after its proof: ", setup);
        ok = false;
      }

      const bool installForce = settings.RequestConfirmationBeforeInstallForce();
      const std::string question = ProgText(installForce ? "s20" : "s14", programName);
      if (ok && confirmInstall && !userCheck) {
        if (installForce) AttentionBox(kMsgOwnerNoClose, question);
        else ok = ConfirmBox(kMsgOwnerWithHeading, question);
        WaitPumping(100);
      }

      if (ok && !QuitPending()) {
        Trace(" ==== PerformAutoUpdate-7 ====");
        SetInstallDirs(settings.TargetDir(), settings.SharedDir(), settings.AuxiliaryDir());
        std::string program = ExpandMacros(settings.RunningProcess(), "\\", true, true);
        const std::string infoSource = TestModeOn() ? TestFolder() : UpdateUrl();
        if (!SharePathAllowed(SearchedImageText(program), infoSource)) {
          AgentLog("ERROR: RunningProcess on a share refused: ", program);
          program.clear();
        }
        const bool wasRunning = !program.empty() && IsProcessRunning(program);
        const std::string method = settings.ShutDownMethod();
        std::string line = "Shut Down Process() - START  (";
        line.append(program).append(")  Method: ").append(method);
        AgentLog(line);
        if (method == "Issue a Message Box") {
          const std::string notice = ProgText("s15", FileNamePart(program));
          while (!program.empty() && IsProcessRunning(program) && !QuitPending())
            AttentionBox(kMsgOwnerWithHeading, notice);
        }
        Trace(" ==== PerformAutoUpdate-8 ====");
        if (!program.empty()) ShutDownProduct(program, method);
        Trace(" ==== PerformAutoUpdate-9 ====");
        AgentLog("Shut Down Process() - END");
        // Decided before the setup runs: the product ended by then.
        const bool ended = wasRunning && !IsProcessRunning(program);
        const bool restart = settings.RestartProcess() && ended;
        // A stop that came during the shut-down starts no setup.
        const bool stopped = QuitPending();
        if (stopped) AgentLog("PerformAutoUpdate() - stopped before the setup: the agent is ending");

        if (!stopped) {
          const std::string extra = "/OriginalInfoFile=" + Quoted(AgentFilePaths().info);
          s.activity = kActivitySetup;
          NotifyTarget(kNotifySetupInstall, 1);
          Trace(" ==== PerformAutoUpdate-10 ====");
          const std::string tempFolder = GetSetupTempFolder();
          result = !tempFolder.empty() &&
                   ExtractAndLaunch(tempFolder, setup, ProcessReader().GetAgentFileName(), extra,
                                    !settings.BackgroundUpdate());
          if (!tempFolder.empty()) DeleteFolderTree(tempFolder, false);
          // Each update run gets a fresh setup folder.
          ForgetSetupTempFolders();
          CurrentSetupWindow().Show(false);
          Trace(" ==== PerformAutoUpdate-11 ====");
          NotifyTarget(kNotifySetupInstall, 2);
        }

        if (result) settings.SetVersionOriginal(settings.VersionNew());
        held.handle.reset();
        DeleteFileW(Wide(setup).c_str());

        const std::string finish = ProgText("s16", programName);
        bool answer = true;
        if (result && (settings.InformFinish() || userCheck)) {
          if (restart) answer = ConfirmBox(kMsgOwnerActive, finish + settings.AutoUpdateText("s17"));
          else AttentionBox(kMsgOwnerActive, finish);
        }
        Trace(" ==== PerformAutoUpdate-12 ====");
        DebugLine("%lu restart=%s answer=%s program=%s", Pid(), TrueFalse(restart), TrueFalse(answer),
                  program.c_str());
        if (restart && answer) {
          if (HANDLE process = RunProgram(Quoted(program), SW_SHOWNORMAL)) CloseHandle(process);
        }
      } else {
        held.Drop(setup);
        if (ok) DeleteFileW(Wide(setup).c_str());
      }
    }
  }
  // Whatever the run fetched goes with its folder (a setup that failed its
  // proof or whose install was declined too).
  RemoveAgentDownloadFolder();
  Trace(" ==== PerformAutoUpdate-13 ====");
  AgentLog("PerformAutoUpdate() - END    Result=", TrueFalse(result));
  return result;
}

bool PerformAutoInform() {
  AgentSettings& settings = UpdateAgentSettings();
  AgentLog("PerformAutoInform() - START ");
  Trace(" ==== PerformAutoInform-1 ====");
  bool result = false;
  const std::string informName = AgentFetchName(settings.NameOfInformFile());
  if (!settings.DownloadURL_UPDATE().empty() && !informName.empty()) {
    Trace(" ==== PerformAutoInform-2 ====");
    std::string path;
    const bool ok = FetchOffered(informName, kFetchInform, path);
    HeldFile held;
    if (ok && held.Take(kFetchInform, path)) {
      Trace(" ==== PerformAutoInform-3 ====");
      std::string token;
      std::string text;
      std::string whole;
      ReadInformFile(path, whole);
      UnscrambleTokenText(whole, token, text);
      held.handle.reset();
      const std::string address = TrimText(settings.DownloadURL_INFORM());
      // s34 and s35 have built-in defaults ("New Version", "Download").
      result = ShowNoticeBox(g_agentWindow, settings.AutoUpdateText("s34"), settings.AutoUpdateText("s35"),
                             settings.CharSet(), settings.FontSize(), settings.FontName(),
                             static_cast<int>(settings.AutoInformW()),
                             static_cast<int>(settings.AutoInformH()), address, text);
      if (result) settings.SetVersionOriginal(settings.VersionNew());
      Trace(" ==== PerformAutoInform-4 ====");
    } else {
      held.Drop(path);
    }
  }
  RemoveAgentDownloadFolder();
  AgentLog("PerformAutoInform() - END ", TrueFalse(result));
  return result;
}

void ReStartAutoUpdateExe() {
  AgentLog(".. ReStartAutoUpdateExe() - Start");
  // A stop asked for while the setup ran ends this agent without a new one.
  if (AgentState().shutDownCountdown <= 0 && !AgentState().stopping) {
    std::string command = "\"";
    command.append(AgentFilePaths().folder).append(ProcessReader().GetAgentFileName());
    command.append("\" /_ZZ=99 /WAIT=10 /TRANSIENT=").append(SettingOverrideList());
    AgentLog(".. WinExec - ", command);
    if (HANDLE process = RunProgram(command, SW_HIDE)) {
      CloseHandle(process);
      WaitPumping(1000);
      AgentLog(".. PostMessage(WM_DESTROY)");
      if (g_agentWindow) PostMessageA(g_agentWindow, WM_DESTROY, 0, 0);
    } else {
      // Nobody would take over: this copy keeps running.
      AgentLog(".. WinExec failed, the agent keeps running: ", SystemMessageText(GetLastError()));
    }
  }
  AgentLog(".. ReStartAutoUpdateExe() - End");
}

}  // namespace varnel
