#include "utils/self_delete_script.h"

#include "utils/text_format.h"
#include "utils/text_rules.h"

#include <algorithm>

namespace varnel {

namespace {

// before + quote + path + quote + after, appended to the script; a path
// beyond ASCII as "%variable%" (or the given stand-in) in quotes.
void AppendLine(std::string& script, const char* before, const std::string& quote, const std::string& path,
                const char* variable, const char* after) {
  script += before;
  if (IsAsciiText(path)) {
    script += quote;
    script += path;
    script += quote;
  } else {
    script += '"';
    if (variable[0] == '%') {
      script += variable;
    } else {
      script += '%';
      script += variable;
      script += '%';
    }
    script += '"';
  }
  script += after;
}

}  // namespace

std::string BuildSelfDeleteScript(const std::string& exe, const std::string& folder,
                                  const std::string& batchPath, bool removeFolder, const std::string& quote) {
  std::string script = "SET /A TRIES=0\r\n:START\r\n";
  // Forced: a read-only executable (copied from a read-only agent file)
  // is deleted too.
  AppendLine(script, "DEL /F ", quote, exe, kSelfDeleteExeVariable, "\r\n");
  AppendLine(script, "IF NOT exist ", quote, exe, kSelfDeleteExeVariable, " GOTO DONE\r\n");
  script += "SET /A TRIES+=1\r\nIF %TRIES% GEQ ";
  AppendDecimal(script, kSelfDeleteTries);
  // A pause without a sleep command of its own: two pings of the local
  // host are a second apart.
  script += " GOTO DONE\r\nPING -n 2 127.0.0.1 >NUL\r\nGOTO START\r\n:DONE\r\n";
  if (removeFolder) AppendLine(script, "RD ", quote, folder, kSelfDeleteFolderVariable, "\r\n");
  AppendLine(script, "DEL ", quote, batchPath, "%~f0", "\r\n");
  return script;
}

std::string SelfDeleteBatchName(unsigned long processId) {
  std::string name = "_DEL_ME_";
  AppendDecimal(name, processId);
  name += ".BAT";
  return name;
}

std::string ParentFolderForQuery(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '/') c = '\\';
  // The part that is never cut: "C:\" or "\\server\share\".
  std::size_t keep = 0;
  if (p.size() >= 2 && p[1] == ':') {
    keep = 3;
  } else if (p.compare(0, 2, "\\\\") == 0) {
    const std::size_t server = p.find('\\', 2);
    const std::size_t share = server == std::string::npos ? server : p.find('\\', server + 1);
    if (share == std::string::npos) return std::string();
    keep = share + 1;
  }
  while (p.size() > keep && p.back() == '\\') p.pop_back();
  const std::size_t slash = p.find_last_of('\\');
  if (p.size() <= keep || slash == std::string::npos || slash + 1 < keep) return std::string();
  return p.substr(0, std::max(slash + 1, keep));
}

}  // namespace varnel
