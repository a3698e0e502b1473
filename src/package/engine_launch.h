// The setup role's main line: extract the package into the temporary
// folder, start the setup engine that came in it, wait for the engine and
// its dialogs, take over its exit code and clean up.
#pragma once
#include <windows.h>

#include <string>

#include "package/byte_source.h"
#include "package/engine_command.h"
#include "package/exit_code.h"

namespace varnel {

// Runs the setup work once, on the stub window's first timer tick: stops
// timer 1 of `window`, runs the web installer or ExtractAndLaunch, removes
// the temporary folder and posts the quit message. The process exit code is
// left in ProcessExitCode().
void RunStubRole(HWND window);

// Tells the user that no setup folder is free (every name is held by
// another running setup) and sets exit code 6; in a hidden run only the
// exit code and a debug line.
void ReportNoSetupFolder(bool hidden);

// Ends a setup whose file at `path` could not be written in full (a full
// disk, for one): the error with the system's reason and the free space of
// the volume that holds it, in a box unless the run is hidden (then only
// the debug stream), and exit code 10. The caller removes the folder.
void ReportUnsavedFile(const std::string& path, bool hidden);

// Extracts the package at `packagePath` into `tempFolder` (or a folder on a
// roomier drive), starts its engine with `extraArgs` and waits for it. True
// when the engine ran and removed the global atom (its sign of success).
// `held`: the package file already open (checked by the caller); it is read
// through this source, not reopened by its path.
bool ExtractAndLaunch(std::string tempFolder, const std::string& packagePath,
                      const std::string& agentName, const std::string& extraArgs,
                      bool foreground, const ByteSource* held = nullptr);

// Puts `text` on the status label with a font of the given face, character
// set and point size; right-to-left for Hebrew (177) and Arabic (178).
void SetStatusText(HWND label, const std::string& text, const std::string& fontFace, int charset,
                   int pointSize);

// Starts a process from a command line alone with the given show mode
// (SW_SHOWNORMAL or SW_HIDE). Returns its process handle (the caller closes
// it), or nullptr when the process could not be created.
HANDLE RunProgram(const std::string& commandLine, int showMode);

// Waits, dispatching window messages, until the process has ended (or its
// exit code can no longer be read).
void WaitForProcess(HANDLE process);

// The "ForcePrompt" registry value: true when it is "1" (ask for every
// further disk even when its file is present).
bool ForcePromptSet();

}  // namespace varnel
