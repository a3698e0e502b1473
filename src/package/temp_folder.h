// The folders the package is extracted into, and the free-space question.
//
// The setup folder is the system's temporary folder + "SETUP_" + the
// time-of-day half of the stub file's DOS time stamp, created empty at the
// first call. Two copies of one setup file started side by side would share
// that name; so the process that owns a setup folder holds the lock file
// "<folder>.lock" beside it open (exclusively, deleted when closed, also
// when the process dies). A later start that finds the lock held leaves that
// folder alone and takes the next free name "<folder>_1", "<folder>_2" ...
//
// When the temporary drive is short of space, another fixed drive among
// C, D and E with more room gives an alternative folder (X:\TEMP_<n> or
// X:\TEMP\TEMP_<n>).
#pragma once
#include <functional>
#include <string>

namespace varnel {

class TGFileInfo;

// The setup folder (no trailing backslash), created empty at the first
// call and then kept for the process; "" when every one of the candidate
// names is held by another running setup.
const std::string& GetSetupTempFolder();

// True when Folder exists and the package at PackagePath needs less than
// the free space of Folder's drive.
bool HasTempSpace(const std::string& folder, const std::string& packagePath);
// The same for a package already read.
bool HasTempSpace(const std::string& folder, const TGFileInfo& reader);

// Looks for a fixed drive (C, D, E) with more free space than the current
// temporary drive; true when one was found (an alternative base is set).
bool ChooseTempDrive();

// The alternative folder, created empty at the first call that finds a
// base: a new folder (an existing name is passed over) that only the
// current user can reach; "" when there is none.
const std::string& GetAltTempFolder();

// Deletes the alternative folder tree, if there is one.
void RemoveAltTempFolder();

// Lets the folders go once a run has removed them: the next
// GetSetupTempFolder makes a fresh one (under a free name, with its lock),
// and the next ChooseTempDrive probes the drives again, so a later run in
// the same process (the update agent runs one setup per update) never uses
// a folder that is gone, and an alternative folder is again made private.
void ForgetSetupTempFolders();

// Asks the free-space question when the package asks for the notice or
// the space is short; true to go on with the setup (also when nothing
// was asked). The reader stays the caller's.
bool ConfirmTempSpace(const std::string& folder, const std::string& packagePath,
                      const TGFileInfo& reader);

// The question itself with given figures: what ConfirmTempSpace asks once
// it has read them from the reader and the drive. `lang` gives a language
// string by key, its built-in default included.
bool ConfirmTempSpaceWith(const std::string& folder, double needed, double freeBytes,
                          bool showNotice, const std::function<std::string(const char*)>& lang,
                          int charset);

}  // namespace varnel
