// Text rules of the file helpers that need no system: the self-deletion
// batch script and the path handed to the free-space query.
#pragma once
#include <string>

namespace varnel {

// The batch file's name for the process `processId`: each self-deleting
// copy writes its own.
std::string SelfDeleteBatchName(unsigned long processId);

// Tries to delete exe deletes before the script gives up; between two
// tries it pauses about a second.
constexpr int kSelfDeleteTries = 300;

// Environment variables that carry the executable's and the folder's paths
// to the script when a path holds characters beyond ASCII: the script file
// is read in the console's code page, which can't name them, while the
// environment reaches the command interpreter in UTF-16.
constexpr const char* kSelfDeleteExeVariable = "VARNEL_DELETE_EXE";
constexpr const char* kSelfDeleteFolderVariable = "VARNEL_DELETE_FOLDER";

// The script that tries to delete exe until it is gone (at most
// kSelfDeleteTries times, pausing between tries), optionally removes folder,
// then deletes itself. Lines end in CR LF; quote is "\"" or "" (short names).
// A path beyond ASCII is written as its variable above, in quotes (the
// caller sets the variables); the script then names itself as "%~f0".
std::string BuildSelfDeleteScript(const std::string& exe, const std::string& folder,
                                  const std::string& batchPath, bool removeFolder, const std::string& quote);

// The folder that holds `path` one level up ("/" counts as "\"): its parent
// with a trailing "\" ("C:\a\b" gives "C:\a\", "C:\a" gives "C:\"); ""
// when nothing is above it (a drive root, "\\server\share\", a bare name).
// The free-space query walks up this way from a folder that is not there yet
// to the nearest one that is: a folder on a volume mounted beneath another
// answers for its own volume, never for the drive root's.
std::string ParentFolderForQuery(const std::string& path);

}  // namespace varnel
