// The update agent's process-wide side: its state (overrides, cycle mode,
// probing), its settings files read through the system's INI functions,
// the two decisions as the update cycle calls them, and the fetch of its
// files (DownloadFileAU). Win32.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "update/agent_commands.h"
#include "update/agent_files.h"
#include "update/update_decision.h"
#include "update/update_settings.h"

namespace varnel {

// The agent's folder (with its trailing "\") and the files that the
// process-wide package reader names there. Until it is called, the folder
// of the running executable.
void InitUpdateAgent(const std::string& agentFolder);
const AgentFiles& AgentFilePaths();
// The agent's private download folder (with its trailing "\"): the setup
// and the notice text are fetched into it, run and read from there, so a
// fetched file never takes the place of a file it did not create (the
// product's program, the agent's files, their short-name aliases). Made
// afresh at the first call of a run, readable by this user alone, beside
// the agent's file ("X_" + agent name without extension + ".downloads");
// "" when it can't be made.
const std::string& AgentDownloadFolder();
// Removes that folder with what it holds; the next call makes a new one.
void RemoveAgentDownloadFolder();
// The settings of both files, with the process-wide overrides.
AgentSettings& UpdateAgentSettings();

// The agent's process-wide state (cycle mode, tick count, countdown,
// requests, activity, overrides).
AgentRuntime& AgentState();

// The window to notify and the message to post there (wm_LocalMsg); while
// either is 0 nothing is posted.
void SetNotificationTarget(HWND window, UINT message);
void NotifyTarget(unsigned code, LPARAM value);

// wm_AgentMsg: runs the command and returns its 32-bit result (see
// agent_commands.h for how values are passed).
LRESULT RunAgentCommand(WPARAM code, LPARAM value);

// Overrides 1..8 (255 = the .info decides) and their list form.
void SetSettingOverride(int number, std::uint8_t value);
std::uint8_t SettingOverrideValue(int number);
std::string SettingOverrideList();
void ReadSettingOverrideList(const std::string& text);

// Cycle mode: 0 background, 2 user-requested check pending, 1 in progress.
int CycleModeValue();
void SetCycleMode(int mode);
// Probing enabled (cleared after the only check of interval 0).
bool ProbingEnabled();
void SetProbingEnabled(bool enabled);
// Set by the agent command that requests a check; ShotTimeStatus clears it.
void SetCycleRequested();

// The length of an existing file; -1 for a folder or a path that does not
// exist.
std::int64_t ExistingFileLength(const std::string& path);

// Local time now, in seconds since 30 December 1899.
std::int64_t CurrentSeconds();

// 0 no check, 1 check now, 2 check now and only this once.
int ShotTimeStatus();
// After a .info fetch: true when the offer passes all six stages; writes
// the debug trace and the agent-log lines.
bool GetOkToPerformAU(bool infoDownloaded, int& stage, std::string& reason);

// A message box with the title, buttons and character set of the .original
// ([MsgBox]); true when a confirmation is answered Yes. UTF-8 text (paths)
// is shown in the system's ANSI code page (AnsiText).
enum AgentBoxKind : int { kAgentBoxError, kAgentBoxAttention, kAgentBoxConfirm };
bool AgentMsgBox(AgentBoxKind kind, HWND owner, const std::string& text);

// The checked name (CheckedFetchName) of an UPDATE or INFORM file in the
// agent folder: the update cycle runs, reads and deletes exactly the file
// that DownloadFileAU fetched and proved under this name. "" when refused.
std::string AgentFetchName(const std::string& name);

// Brings one of the agent's files from `folder` (the update URL, a local
// folder or a share; the test folder in test mode) into the agent folder:
// kind 1 the .info file, 2 the UPDATE file (a setup carrying the agent's
// update token), 3 the INFORM file (carrying it too). True when the file
// was obtained (and for kinds 2 and 3 proved). errorText keeps the
// transfer's error text, or the error-page message of a .info.
// The text of an INFORM file, read only up to kMaxInformFileBytes; false
// (text empty) for a larger file.
bool ReadInformFile(const std::string& path, std::string& text);
// The token proof of a fetched UPDATE (kind 2) or INFORM (kind 3) file.
bool ProveAgentFile(int kind, const std::string& path);

bool DownloadFileAU(const std::string& folder, const std::string& fileName, int kind, std::string& errorText);

// The package carries a key (update block item 5): the agent then takes
// only a .info signed by it and not expired, and only UPDATE and INFORM
// files of the signed size and SHA-256. False for a package without one
// (a damaged item counts as a key that verifies nothing).
bool AgentVerifiesUpdates();
// The text of a signed offer of an older version than the installed one
// (the agent log's line and the user-requested check's box).
constexpr const char* kDowngradeRefused = "The update offers an older version than the installed one: refused.";

// With a key: the held file (`file`, open for reading) has exactly the
// signed size and SHA-256 of its kind in the .info; read in one pass
// through the handle. A refusal is logged with its reason. Always true for
// a package without a key.
bool SignedFileMatches(int kind, HANDLE file, const std::string& path);

}  // namespace varnel
