#include "package/engine_command.h"

#include <algorithm>
#include <cctype>

#include "utils/text_format.h"
#include "utils/text_rules.h"

namespace varnel {
namespace {

bool ContainsNoCase(const std::string& text, const char* part, std::size_t from = 0) {
  return FindAsciiNoCase(text, part, from) != std::string::npos;
}

}  // namespace

std::string RemoveSwitch(const std::string& commandLine, const std::string& prefix) {
  if (prefix.empty()) return commandLine;
  std::size_t start = commandLine.find(prefix);
  if (start == std::string::npos) return commandLine;
  std::size_t end = commandLine.find('/', start + 1);
  if (end == std::string::npos) end = commandLine.size();
  std::string out = commandLine.substr(0, start);
  out.append(commandLine, end, std::string::npos);
  return out;
}

std::string QuoteProgramPath(const std::string& path) {
  std::string quoted = "\"";
  quoted += path;
  quoted += '"';
  return quoted;
}

std::vector<std::string> ShortcutsToRemove(bool isUpdateAgent, const ShortcutSetting& startUp,
                                           const ShortcutSetting& checkForUpdate) {
  std::vector<std::string> out;
  // A plain setup runs from wherever it was saved (a Downloads folder, say),
  // where anyone can put settings files beside it: only an update agent's
  // own settings are trusted, and only shortcut files are ever removed.
  if (!isUpdateAgent) return out;
  for (const ShortcutSetting* s : {&startUp, &checkForUpdate}) {
    const std::string path = TrimText(s->path);
    if (s->remove && path.size() > 4 && ContainsNoCase(path, ".lnk", path.size() - 4))
      out.push_back(path);
  }
  return out;
}

std::string ThreadTag(unsigned long threadId) {
  std::string tag = "_";
  AppendDecimal(tag, threadId);
  return tag;
}

std::string BuildEngineCommand(const EngineLaunchInput& in) {
  std::string engineName = in.engineEntry;
  std::string args = in.extraArgs;
  std::size_t star = in.engineEntry.find('*');
  if (star != std::string::npos) {
    engineName = TrimText(in.engineEntry.substr(0, star));
    args += ' ';
    args += TrimText(in.engineEntry.substr(star + 1));
    args = TrimText(args);
  }

  std::string folder = in.tempFolder;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  // Quoted: an unquoted path with blanks ("C:\Users\John Smith\...") makes
  // Windows try "C:\Users\John.exe" first, and the engine would read its
  // own path as two arguments.
  folder += '\\';
  folder += engineName;
  std::string command = QuoteProgramPath(folder);
  if (!args.empty()) {
    command += ' ';
    command += args;
  }
  command += " /TH_ID=";
  command += in.threadTag;
  // A restarted span copy already carries the origin of the first start;
  // the engine must see that one, and only once.
  if (!ContainsNoCase(command, "/OriginExe=")) {
    command += " /OriginExe=\"";
    command += in.stubPath;
    command += '"';
  }
  if (in.isUpdateAgent) command += " /AutoUpdateProg";
  command = RemoveSwitch(command, "/SpanCdLvl=");
  command = RemoveSwitch(command, "/SpanDiskFName1=");
  return command;
}

}  // namespace varnel
