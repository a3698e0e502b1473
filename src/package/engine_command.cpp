#include "package/engine_command.h"

#include <algorithm>
#include <cctype>

#include "utils/text_rules.h"

namespace varnel {
namespace {

bool ContainsNoCase(const std::string& text, const std::string& part) {
  auto it = std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
  return it != text.end();
}

}  // namespace

std::string RemoveSwitch(const std::string& commandLine, const std::string& prefix) {
  if (prefix.empty()) return commandLine;
  std::size_t start = commandLine.find(prefix);
  if (start == std::string::npos) return commandLine;
  std::size_t end = commandLine.find('/', start + 1);
  if (end == std::string::npos) end = commandLine.size();
  return commandLine.substr(0, start) + commandLine.substr(end);
}

std::string ThreadTag(unsigned long threadId) { return "_" + std::to_string(threadId); }

std::string BuildEngineCommand(const EngineLaunchInput& in) {
  std::string engineName = in.engineEntry;
  std::string args = in.extraArgs;
  std::size_t star = in.engineEntry.find('*');
  if (star != std::string::npos) {
    engineName = TrimText(in.engineEntry.substr(0, star));
    args = TrimText(args + " " + TrimText(in.engineEntry.substr(star + 1)));
  }

  std::string folder = in.tempFolder;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  std::string command = folder + "\\" + engineName;
  if (!args.empty()) command += " " + args;
  command += " /TH_ID=" + in.threadTag;
  // A restarted span copy already carries the origin of the first start;
  // the engine must see that one, and only once.
  if (!ContainsNoCase(command, "/OriginExe=")) command += " /OriginExe=\"" + in.stubPath + "\"";
  if (in.isUpdateAgent) command += " /AutoUpdateProg";
  command = RemoveSwitch(command, "/SpanCdLvl=");
  command = RemoveSwitch(command, "/SpanDiskFName1=");
  return command;
}

}  // namespace varnel
