#include "utils/process_rules.h"

#include "utils/text_format.h"
#include "utils/text_rules.h"

namespace varnel {

std::string CaptureCommandLine(const std::string& command, const std::string& parameters) {
  std::string line = command;
  if (command.find(' ') != std::string::npos && command.find('"') == std::string::npos)
    line = "\"" + command + "\"";
  if (!parameters.empty()) line += " " + parameters;
  return line;
}

std::string SearchedImageText(const std::string& path) {
  std::string text = TrimText(path);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  return text;
}

std::string FileNamePart(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ImageMatches(const ProcessImage& image, const std::string& searched, const std::string& searchedShort,
                  bool fullPathOnly, PathEquals equals) {
  if (searched.empty() || image.fullPath.empty()) return false;
  if (equals(image.fullPath, searched)) return true;
  const std::string fileName = fullPathOnly ? std::string(kNoFileName) : FileNamePart(image.fullPath);
  if (equals(fileName, searched)) return true;
  return searchedShort != kNoShortForm && image.shortPath != kNoShortForm && !searchedShort.empty() &&
         equals(image.shortPath, searchedShort);
}

std::vector<std::uint16_t> ScoreWindows(const std::vector<WindowTraits>& windows) {
  std::vector<std::uint16_t> scores(windows.size(), 0);
  for (const WindowTraits& w : windows)
    for (std::size_t i = 0; i < windows.size(); ++i)
      if (windows[i].handle == w.topOwner) ++scores[i];
  for (std::size_t i = 0; i < windows.size(); ++i)
    scores[i] = static_cast<std::uint16_t>(scores[i] * 4 + (windows[i].titled ? 2 : 0) + (windows[i].visible ? 1 : 0));
  return scores;
}

std::size_t ChooseMainWindow(const std::vector<WindowTraits>& windows) {
  const std::vector<std::uint16_t> scores = ScoreWindows(windows);
  std::size_t best = std::string::npos;
  for (std::size_t i = 0; i < scores.size(); ++i)
    if (scores[i] > 0 && (best == std::string::npos || scores[i] > scores[best])) best = i;
  return best;
}

bool SurveyRecord(TProcessData& data, const SurveyedWindow& window) {
  const bool listed = data.imagePaths.find("|" + window.imagePath + "|") != std::string::npos;
  if (data.takeAll || !listed) {
    data.processIds += DecimalText(window.processId) + "|";
    data.imagePaths += window.imagePath + "|";
    data.classNames += window.className + "|";
    data.windowHandles += DecimalText(window.handle) + "|";
    data.threadIds += DecimalText(window.threadId) + "|";
    data.titles += window.title + "|";
    data.visible += window.visible ? "1|" : "0|";
  }
  if (data.takeAll) return true;
  const bool found = window.imagePath == data.searchedPath ||
                     (data.searchedProcessId >= 0 &&
                      static_cast<long long>(window.processId) == data.searchedProcessId);
  return !found;
}

}  // namespace varnel
