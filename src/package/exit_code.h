// The stub's process exit code. Whenever an engine ran, its exit code is
// passed through unchanged; otherwise one of the codes below tells a calling
// program why the setup did not run (README.md, "Exit codes").
#pragma once

namespace varnel {

enum StubExitCode : int {
  kExitSuccess = 0,          // nothing went wrong (and no engine was due to run)
  kExitBadPackage = 2,       // package missing, unreadable, damaged, bad checksum, no engine member
  kExitCorruptMember = 3,    // a member's compressed data is corrupt
  kExitEngineNotStarted = 4, // the engine could not be started
  kExitCancelled = 5,        // the user declined the space question or cancelled a disk prompt
                             // (a hidden run: a disk file was missing)
  kExitNoSetupFolder = 6,    // every setup folder name is held by another running setup
  kExitDownloadFailed = 7,   // web installer: no connection, or the download failed
  kExitWrongSetupFile = 8,   // web installer: the setup file's token is not ours (or it is an error page)
  kExitUnverifiedSetup = 9,  // web installer: the setup file is not the one built with it, or not signed by its key
  kExitWriteFailed = 10,      // a file of the setup could not be written in full (a full disk, for one):
                             // a member, the update agent, the span copy, the web installer's download
};

// The code the process ends with; 0 until something sets it.
int ProcessExitCode();
void SetProcessExitCode(int code);

}  // namespace varnel
