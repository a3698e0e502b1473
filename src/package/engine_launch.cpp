#include "package/engine_launch.h"


#include "dialogs/message_box.h"
#include "package/extraction.h"
#include "package/language_strings.h"
#include "package/package_reader.h"
#include "package/setup_window.h"
#include "package/temp_folder.h"
#include "package/web_installer.h"
#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/ini_registry.h"
#include "utils/message_pump.h"
#include "utils/system_helpers.h"
#include "utils/text_format.h"
#include "utils/text_rules.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

constexpr UINT_PTR kStubTimer = 1;
constexpr const char* kAtomPrefix = "AutoUpdateAtomTokenByVarnel";
constexpr const char* kEngineDialogClassPrefix = ".SDialog_Class_Name.";
constexpr const char* kForcePromptKey = "HKEY_CURRENT_USER\\Software\\Dravenic\\Varnel\\SpanDisk";

// The status label's font: made here, kept until the next one replaces it
// or the process ends.
struct StatusFont {
  HFONT font = nullptr;
  ~StatusFont() {
    if (font) DeleteObject(font);
  }
};
StatusFont& CurrentStatusFont() {
  static StatusFont font;
  return font;
}

bool FileExists(const std::string& path) {
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// The web installer's update agent: its own file, cut at the package end
// when only a signature follows, marked as an agent.
// False when it could not be written in full (reported).
bool WriteWebInstallerAgent(const std::string& agentName, bool hidden) {
  const std::string self = ExePath(false);
  std::string bytes = ReadFilePart(self);
  if (bytes.size() >= 0x100) {
    const std::uint32_t end = static_cast<unsigned char>(bytes[0xFC]) |
                              static_cast<unsigned char>(bytes[0xFD]) << 8 |
                              static_cast<unsigned char>(bytes[0xFE]) << 16 |
                              static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0xFF])) << 24;
    if (end < bytes.size() && bytes.size() - end < 10000) bytes.resize(end);
  }
  if (bytes.size() >= 6) bytes[bytes.size() - 5] = 1;
  WIN32_FILE_ATTRIBUTE_DATA data;
  FileDate date = 0;
  if (GetFileAttributesExW(Wide(self).c_str(), GetFileExInfoStandard, &data))
    date = (FileDate(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  const std::string path = JoinPath(GetSetupTempFolder(), agentName);
  if (WriteFileText(path, bytes, date, false)) return true;
  ReportUnsavedFile(path, hidden);
  return false;
}

// Waits while the engine shows a dialog window of its class: a window that
// may outlive the engine's process (a lingering copy shows it), so its
// presence itself is watched. Nothing is waited once it is gone.
void WaitForEngineDialogs(const std::string& tag) {
  const std::string className = kEngineDialogClassPrefix + tag;
  // A pending quit request makes the pump return at once: sleep instead of
  // spinning.
  while (FindWindowA(className.c_str(), nullptr))
    if (!WaitPumping(100)) Sleep(100);
}

// Starts the engine and waits for it and its dialogs; true when the engine
// removed the atom (its sign of success).
bool LaunchEngine(const std::string& tempFolder, const std::string& engineEntry,
                  const std::string& extraArgs, bool foreground) {
  EngineLaunchInput in;
  in.tempFolder = tempFolder;
  in.engineEntry = engineEntry;
  in.extraArgs = extraArgs;
  in.threadTag = ThreadTag(GetCurrentThreadId());
  in.stubPath = ExePath(false);
  in.isUpdateAgent = CurrentSetupRun().isUpdateAgent;
  const std::string command = BuildEngineCommand(in);

  // The shortcuts are an update agent's business only (ShortcutsToRemove).
  std::string startUpLink, checkLink;
  if (in.isUpdateAgent) {
    const std::string original = GetOriginalFilePath();
    startUpLink = ReadIniString(original, "UnInstall", "StartUpLink", "");
    checkLink = ReadIniString(original, "UnInstall", "CheckforNewUpdateLink", "");
  }

  DebugEvent("WinExec(Engine.exe) >>%s<<", command.c_str());
  const std::string atomName = kAtomPrefix + in.threadTag;
  GlobalAddAtomA(atomName.c_str());

  KernelHandle engine(RunProgram(command, foreground ? SW_SHOWNORMAL : SW_HIDE));
  CurrentSetupWindow().Show(false);
  // The process handle tells when the engine ends; no time is waited on top.
  WaitForProcess(engine.get());
  DWORD exitCode = 0;
  if (engine && GetExitCodeProcess(engine.get(), &exitCode))
    SetProcessExitCode(static_cast<int>(exitCode));
  else
    SetProcessExitCode(kExitEngineNotStarted);
  WaitForEngineDialogs(in.threadTag);

  const ATOM left = GlobalFindAtomA(atomName.c_str());
  const bool success = left == 0;
  if (left) GlobalDeleteAtom(left);
  if (success && in.isUpdateAgent) {
    const std::string info = ExeFolder(true) + ProcessReader().GetInfoFileName();
    const ShortcutSetting startUp{startUpLink,
                                  ReadIniString(info, "NewSetup", "RemoveStartUpShortcut", "0") == "1"};
    const ShortcutSetting check{checkLink,
                                ReadIniString(info, "NewSetup", "RemoveCheckForNewUpdateShortcut", "0") == "1"};
    for (const std::string& link : ShortcutsToRemove(in.isUpdateAgent, startUp, check))
      if (FileExists(link)) DeleteFileW(Wide(link).c_str());
  }
  return success;
}

}  // namespace

// Tells the user that no setup folder is free (every name is held by
// another running setup); only the exit code in a hidden run.
void ReportNoSetupFolder(bool hidden) {
  SetProcessExitCode(kExitNoSetupFolder);
  const std::string folder = TempFolder(true);
  const char* const why =
      "<P><P>No free setup folder: too many setups are running at the same time.<P>"
      "Please finish them and start this setup again.";
  DebugEvent("%s%s", folder.c_str(), why);
  if (!hidden) MsgBoxError(nullptr, AnsiText(folder) + why);
}

void ReportUnsavedFile(const std::string& path, bool hidden) {
  const DWORD error = GetLastError();  // the failed write's reason
  std::string why = "<P><P>Unable to save Extracted File!<P><P>";
  why += SystemMessageText(error);
  why += "<P>  Bytes Free: <T>";
  AppendDecimal(why, static_cast<std::uint64_t>(DiskFreeBytes(path)));
  why += " Bytes";
  SetProcessExitCode(kExitWriteFailed);
  DebugEvent("Setup ends: %s%s", path.c_str(), why.c_str());
  // The box shows its text in the system's code page.
  if (!hidden) MsgBoxError(nullptr, AnsiText(path) + why, LangText(ProcessReader(), "Error"), LangText(ProcessReader(), "BtnText"),
                           ProcessReader().GetCharset());
}

void RunStubRole(HWND window) {
  KillTimer(window, kStubTimer);
  const TGFileInfo& reader = ProcessReader();
  const SetupRunFacts& facts = CurrentSetupRun();
  const bool hidden = facts.hideSwitch || reader.RunHidden();
  if (GetSetupTempFolder().empty()) {
    // Every setup folder name is held by another running setup.
    ReportNoSetupFolder(hidden);
    PostQuitMessage(0);
    return;
  }
  std::string downloadUrl = reader.GetDownloadUrl();
  // A path part: UTF-8 (an older package names it in the ANSI code page).
  const std::string agentName = reader.WriteUpdateAgent() ? Utf8(Wide(reader.GetAgentFileName())) : std::string();

  if (reader.IsWebInstaller()) {
    if (!reader.NoLocalSetupCopy() && FileExists(ExeFolder(true) + Utf8(Wide(reader.GetSetupFileName()))))
      downloadUrl = ExeFolder(false);
    const WebInstallRun run{CurrentSetupWindow(), reader, facts.argumentText, hidden};
    if (agentName.empty() || WriteWebInstallerAgent(agentName, hidden))
      WebInstall(run, GetSetupTempFolder(), downloadUrl, reader.GetSetupFileName());
  } else {
    std::string packagePath = facts.spanFirstDisk;
    if (packagePath.empty()) packagePath = ExePath(false);
    ExtractAndLaunch(GetSetupTempFolder(), packagePath, agentName, facts.argumentText, !hidden);
  }
  DeleteFolderTree(GetSetupTempFolder(), false);
  PostQuitMessage(0);
}

bool ExtractAndLaunch(std::string tempFolder, const std::string& packagePath,
                      const std::string& agentName, const std::string& extraArgs, bool foreground,
                      const ByteSource* held) {
  bool success = false;
  TGFileInfo reader = held ? TGFileInfo::Create(*held) : TGFileInfo::Create(packagePath);
  SetupWindow& window = CurrentSetupWindow();
  if (reader.ShowActivityBar()) window.ShowActivityBar(true);
  SetStatusText(window.StatusLabel(), LangText(reader, "s1"), reader.GetFontName(), reader.GetCharset(),
                reader.GetFontSize());
  if (!HasTempSpace(tempFolder, reader) && ChooseTempDrive() && !GetAltTempFolder().empty())
    tempFolder = GetAltTempFolder();
  DebugLine("========= ForegroundOp=%s ==========", foreground ? "TRUE" : "FALSE");

  ExtractRequest request;
  request.packagePath = packagePath;
  request.firstDisk = held;
  request.destFolder = tempFolder;
  request.agentName = agentName;
  request.diskPrompt = LangText(reader, "s8");
  request.promptTitle = LangText(reader, "Attention");
  request.buttons = LangText(reader, "BtnText");
  request.charset = reader.GetCharset();
  request.forcePrompt = ForcePromptSet();
  request.hidden = !foreground;

  if (foreground && !ConfirmTempSpace(tempFolder, packagePath, reader)) {
    SetProcessExitCode(kExitCancelled);
  } else {
    if (foreground) window.Show(true);
    // Paints the window and takes a close that is already waiting; nothing
    // more: a hidden run has nobody to wait for.
    YieldX(0);
    ExtractResult extracted;
    // A window closed before the extraction has ended the setup already.
    if (window.CloseRequested()) extracted.cancelled = true;
    else extracted = ExtractPackage(request, window.ProgressSink());
    // A shown window stays up long enough to be seen (no flash); after a
    // longer extraction, and in a hidden run, this takes no time.
    window.LetBeSeen();
    // The user closed the window: its folder is gone and no engine may start.
    if (window.CloseRequested()) {
      extracted.engineEntry.clear();
      extracted.cancelled = true;
    }

    const SetupEnd end = SetupEndFor(extracted);
    if (end == SetupEnd::kStartEngine) {
      success = LaunchEngine(tempFolder, extracted.engineEntry, extraArgs, foreground);
    } else {
      // A corrupt member or a file cut short ends the setup: the engine
      // must not run on a partial folder. A bad checksum shows the
      // package's own text; a package that is incomplete, damaged or has no
      // engine names the file as well. In a hidden run nobody would answer
      // a box: the exit code tells.
      std::string text;
      int code = kExitBadPackage;
      switch (end) {
        case SetupEnd::kCorruptMember: text = extracted.corruptMember; code = kExitCorruptMember; break;
        case SetupEnd::kWriteFailed: text = extracted.writeFailure; code = kExitWriteFailed; break;
        case SetupEnd::kCancelled: code = kExitCancelled; break;
        case SetupEnd::kDamaged: text = AnsiText(packagePath); text += "<P><P>"; break;
        default: break;
      }
      if (end == SetupEnd::kDamaged || end == SetupEnd::kBadChecksum) text += LangText(reader, "s7");
      SetProcessExitCode(code);
      if (!text.empty()) {
        DebugEvent("Setup ends: %s", text.c_str());
        if (foreground) MsgBoxError(nullptr, text, LangText(reader, "Error"), request.buttons, request.charset);
      }
    }
  }
  RemoveAltTempFolder();
  return success;
}

void SetStatusText(HWND label, const std::string& text, const std::string& fontFace, int charset,
                   int pointSize) {
  if (!label) return;
  const bool rightToLeft = charset == 177 || charset == 178;
  SetWindowLongA(label, GWL_EXSTYLE, rightToLeft ? WS_EX_RTLREADING : 0);
  SetWindowLongA(label, GWL_STYLE, rightToLeft ? (WS_CHILD | WS_VISIBLE | SS_RIGHT) : (WS_CHILD | WS_VISIBLE));
  HFONT font = CreateFontA(-PointsToPixels(pointSize), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                           static_cast<BYTE>(charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH, fontFace.c_str());
  SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  StatusFont& current = CurrentStatusFont();
  if (current.font) DeleteObject(current.font);
  current.font = font;
  SetWindowTextA(label, text.c_str());
}

HANDLE RunProgram(const std::string& commandLine, int showMode) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(showMode);
  PROCESS_INFORMATION pi = {};
  std::wstring cmd = Wide(commandLine);  // CreateProcessW may write into the buffer
  if (cmd.empty() ||
      !CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

void WaitForProcess(HANDLE process) {
  // The process handle itself says when the process has ended: its exit
  // code cannot, as an engine may well end with 259 (STILL_ACTIVE).
  if (!process) return;
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &process, FALSE, 500, QS_ALLINPUT);
    if (r != WAIT_OBJECT_0 + 1 && r != WAIT_TIMEOUT) break;  // ended, or the handle is unusable
    // A pending quit request keeps the queue signalled: wait on the
    // process alone for a while instead of spinning.
    if (!YieldX(0)) WaitForSingleObject(process, 100);
  }
}

bool ForcePromptSet() {
  return ReadRegistryString(kForcePromptKey, "ForcePrompt", "0", false) == "1";
}

}  // namespace varnel
