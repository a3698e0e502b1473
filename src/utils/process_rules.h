// The rules behind the process and window helpers that need no system: the
// match of a process image against a searched path, the choice of a
// process's main window, the window survey's record, and the command line
// of a captured run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace varnel {

// The longest command line Windows starts a program with.
constexpr std::size_t kMaxCommandLine = 32766;

// The command in double quotes when it holds a blank and no quote, then one
// blank and the parameters when there are any.
std::string CaptureCommandLine(const std::string& command, const std::string& parameters);

// The searched text of a process lookup: trimmed, one pair of surrounding
// double quotes taken off.
std::string SearchedImageText(const std::string& path);

// Texts that stand in for a missing file name or short form; neither can
// equal a real path.
constexpr const char* kNoFileName = "*X*";
constexpr const char* kNoShortForm = "*XX*";

// Path texts compared the way the file system compares names.
using PathEquals = bool (*)(const std::string&, const std::string&);

struct ProcessImage {
  std::string fullPath;
  std::string shortPath;  // kNoShortForm when it has none
};

// A process matches when its full path equals the searched text, or (unless
// fullPathOnly) its file name equals the searched text, or its short form
// equals the searched path's short form (searchedShort; kNoShortForm when
// it has none). An empty searched text matches nothing.
bool ImageMatches(const ProcessImage& image, const std::string& searched, const std::string& searchedShort,
                  bool fullPathOnly, PathEquals equals);

// The text after the last "\" (the whole text without one).
std::string FileNamePart(const std::string& path);

// One top-level window of a process, for the main-window choice.
struct WindowTraits {
  std::uintptr_t handle = 0;
  std::uintptr_t topOwner = 0;  // the last window of its owner chain (itself when unowned)
  bool titled = false;
  bool visible = false;
};

// Scores: every window gets 1 for each collected window whose top owner it
// is; times 4; 2 more with a title, 1 more when visible.
std::vector<std::uint16_t> ScoreWindows(const std::vector<WindowTraits>& windows);
// Index of the best-scored window (the first of equal ones); npos when all
// score 0.
std::size_t ChooseMainWindow(const std::vector<WindowTraits>& windows);

// The record of one survey of all top-level windows: every list starts as
// "|" and gets one item per recorded window.
struct TProcessData {
  bool takeAll = true;
  std::string searchedPath = "*";
  long long searchedProcessId = -1;
  std::string processIds = "|";
  std::string imagePaths = "|";
  std::string classNames = "|";
  std::string windowHandles = "|";
  std::string threadIds = "|";
  std::string titles = "|";
  std::string visible = "|";
};

struct SurveyedWindow {
  unsigned long processId = 0;
  std::string imagePath;
  std::string className;
  std::uintptr_t handle = 0;
  unsigned long threadId = 0;
  std::string title;
  bool visible = false;
};

// Adds the window by the survey's rules: with takeAll every window; else a
// window whose image is not yet listed, and the survey stops after the
// first window of the searched image (exact text) or process id. false
// when the survey stops.
bool SurveyRecord(TProcessData& data, const SurveyedWindow& window);

}  // namespace varnel
