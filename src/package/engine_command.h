// Building the setup engine's command line from the engine member's name,
// the stub's own arguments and the launch context. Platform-free.
#pragma once
#include <string>
#include <vector>

namespace varnel {

// Deletes the first switch that begins with `prefix` (its value and the
// blanks after it) up to the next "/" or the end of the line.
std::string RemoveSwitch(const std::string& commandLine, const std::string& prefix);

// What the engine is started with.
struct EngineLaunchInput {
  std::string tempFolder;   // folder the package was extracted into
  std::string engineEntry;  // the engine member's name as stored, "*" and extra text included
  std::string extraArgs;    // the stub's own argument text
  std::string threadTag;    // "_" + thread id
  std::string stubPath;     // full path of the running stub
  bool isUpdateAgent = false;
};

// The program path of a command line in double quotes.
std::string QuoteProgramPath(const std::string& path);

// One shortcut that a successful run may remove: its path (from the
// ".original" file) and whether the ".info" file asks for its removal.
struct ShortcutSetting {
  std::string path;
  bool remove = false;
};
// The shortcut files to delete after a successful run: none unless this
// process is an update agent, and only paths that name ".lnk" files.
std::vector<std::string> ShortcutsToRemove(bool isUpdateAgent, const ShortcutSetting& startUp,
                                           const ShortcutSetting& checkForUpdate);

// "_" followed by the decimal thread id.
std::string ThreadTag(unsigned long threadId);

// The complete engine command line: the engine path (quoted), the arguments, "/TH_ID=",
// "/OriginExe=" unless already given, "/AutoUpdateProg" for an agent, without
// the span switches.
std::string BuildEngineCommand(const EngineLaunchInput& in);

}  // namespace varnel
