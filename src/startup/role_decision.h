// Which role a start of the stub takes, decided from the package, the
// executable's own file name, the command line and the windows that exist.
// Platform-free: the Win32 side gathers the inputs (role_dispatch.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace varnel {

// File name without folder, cut once at its last "." ("App.AutoUpdate.exe"
// gives "App.AutoUpdate").
std::string RemoveLastExtension(const std::string& path);
// File-name part of a path.
std::string FileNameOfPath(const std::string& path);
// Both sides trimmed, compared without regard to case.
bool SameFileName(const std::string& a, const std::string& b);

// Longest window class name used: the system keeps class names as atoms,
// which hold at most 255 characters.
constexpr std::size_t kMaxWindowClassName = 255;

// Class name of the stub window, which is also the single-instance key:
// ".AutoUpdate." + own name without extension for an agent, else the path.
// A longer name than kMaxWindowClassName, or one with characters beyond
// 7-bit ASCII, becomes a hash of the whole name followed by its tail ('_'
// for bytes beyond ASCII), the same for the same name in any ASCII letter
// case.
std::string StubWindowClassName(bool isAgent, const std::string& exePath);
// Class name of the running X_ copy of an agent.
std::string XCopyWindowClassName(const std::string& agentFileName);

bool IsPlainAgentExe(bool isAgent, const std::string& exePath, const std::string& agentFileName);
bool IsXCopyAgentExe(bool isAgent, const std::string& exePath, const std::string& agentFileName);

enum class StubRole {
  kSecondInstance,  // a window of the same class exists: nothing runs
  kPlainAgent,      // make and start the X_ copy
  kXCopyAgent,      // test mode, window, then delete own file
  kSpanFirstStart,  // copy to the temporary folder and restart from there
  kWindow,          // window; the span copy deletes itself and its folder after
};

struct RoleInputs {
  bool isAgent = false;
  bool restartFromTempCopy = false;
  bool ownClassWindowExists = false;
  std::string exePath;
  std::string agentFileName;
  std::string argumentText;
};

StubRole ChooseStubRole(const RoleInputs& in);
// "/SpanCdLvl=" with default 1 (also when not a number).
std::int64_t SpanLevel(const std::string& argumentText);
// The window role ends with self-deletion of file and folder (span copy).
bool DeletesItselfAfterWindow(const RoleInputs& in);

// Path of the span copy: temporary folder + "\Y_" + own file name.
std::string SpanCopyPath(const std::string& tempFolder, const std::string& exePath);
// Command line that restarts the span copy.
std::string SpanCopyCommandLine(const std::string& copyPath, const std::string& argumentText,
                                const std::string& exePath);

}  // namespace varnel
