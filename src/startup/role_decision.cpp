#include "startup/role_decision.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "startup/command_line.h"
#include "utils/text_rules.h"

namespace varnel {

std::string FileNameOfPath(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RemoveLastExtension(const std::string& path) {
  std::string name = FileNameOfPath(path);
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

bool SameFileName(const std::string& a, const std::string& b) {
  std::string x = TrimText(a), y = TrimText(b);
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(x[i])) !=
        std::tolower(static_cast<unsigned char>(y[i])))
      return false;
  return true;
}

namespace {

// A class name the ANSI window functions carry the same on every code page:
// a name longer than a class name may be, or one with characters beyond
// 7-bit ASCII (a path is UTF-8, which a DBCS code page would garble), is
// stood for by a hash of the whole name (same name, same class) followed
// by its tail, readable where it is ASCII.
std::string ClassNameOf(std::string name) {
  bool ascii = true;
  for (char c : name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii && name.size() <= kMaxWindowClassName) return name;
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a, ASCII case folded
  for (char& c : name) {
    hash ^= static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
    hash *= 1099511628211ull;
    if (static_cast<unsigned char>(c) >= 0x80) c = '_';
  }
  char prefix[24] = "#";
  for (int i = 0; i < 16; ++i) prefix[1 + i] = "0123456789abcdef"[(hash >> (60 - 4 * i)) & 15];
  prefix[17] = '#';
  prefix[18] = '\0';
  const std::size_t keep = kMaxWindowClassName - std::strlen(prefix);
  return prefix + (name.size() > keep ? name.substr(name.size() - keep) : name);
}

}  // namespace

std::string StubWindowClassName(bool isAgent, const std::string& exePath) {
  // A class name holds at most 256 characters; a longer one cannot be
  // registered and no window would appear.
  return ClassNameOf(isAgent ? ".AutoUpdate." + RemoveLastExtension(exePath) : exePath);
}

std::string XCopyWindowClassName(const std::string& agentFileName) {
  return ClassNameOf(".AutoUpdate.X_" + RemoveLastExtension(agentFileName));
}

bool IsPlainAgentExe(bool isAgent, const std::string& exePath, const std::string& agentFileName) {
  return isAgent && SameFileName(FileNameOfPath(exePath), agentFileName);
}

bool IsXCopyAgentExe(bool isAgent, const std::string& exePath, const std::string& agentFileName) {
  if (!isAgent) return false;
  std::string xName = "X_";
  xName += TrimText(agentFileName);
  return SameFileName(FileNameOfPath(exePath), xName);
}

std::int64_t SpanLevel(const std::string& argumentText) {
  return ParamIntIn(argumentText, "/SpanCdLvl=", 1);
}

StubRole ChooseStubRole(const RoleInputs& in) {
  if (in.ownClassWindowExists) return StubRole::kSecondInstance;
  if (IsPlainAgentExe(in.isAgent, in.exePath, in.agentFileName)) return StubRole::kPlainAgent;
  if (IsXCopyAgentExe(in.isAgent, in.exePath, in.agentFileName)) return StubRole::kXCopyAgent;
  if (in.restartFromTempCopy && SpanLevel(in.argumentText) == 1) return StubRole::kSpanFirstStart;
  return StubRole::kWindow;
}

bool DeletesItselfAfterWindow(const RoleInputs& in) {
  return ChooseStubRole(in) == StubRole::kWindow && SpanLevel(in.argumentText) == 2;
}

std::string SpanCopyPath(const std::string& tempFolder, const std::string& exePath) {
  std::string folder = tempFolder;
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  folder += "\\Y_";
  folder += FileNameOfPath(exePath);
  return folder;
}

std::string SpanCopyCommandLine(const std::string& copyPath, const std::string& argumentText,
                                const std::string& exePath) {
  std::string tail = argumentText;
  tail += " /SpanCdLvl=2 /SpanDiskFName1=\"";
  tail += exePath;
  tail += ".001\" /OriginExe=\"";
  tail += exePath;
  tail += '"';
  // The copy lies in the user's temporary folder, whose path often holds
  // blanks: quoted, like every program path of a command line.
  std::string command = "\"";
  command += copyPath;
  command += "\" ";
  command += TrimText(tail);
  return command;
}

}  // namespace varnel
