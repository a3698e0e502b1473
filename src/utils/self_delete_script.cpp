#include "utils/self_delete_script.h"

namespace varnel {

std::string BuildSelfDeleteScript(const std::string& exe, const std::string& folder,
                                  const std::string& batchPath, bool removeFolder, const std::string& quote) {
  const std::string q = quote;
  std::string script = ":START\r\n";
  script += "DEL " + q + exe + q + "\r\n";
  script += "IF exist " + q + exe + q + " GOTO START\r\n";
  if (removeFolder) script += "RD " + q + folder + q + "\r\n";
  script += "DEL " + q + batchPath + q + "\r\n";
  return script;
}

std::string FreeSpaceQueryPath(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '/') c = '\\';
  std::size_t cut = p.size() > 3 ? p.find('\\', 3) : std::string::npos;
  return cut == std::string::npos ? p : p.substr(0, cut);
}

}  // namespace varnel
