#include "utils/self_delete_script.h"

#include "utils/text_format.h"

namespace varnel {

std::string BuildSelfDeleteScript(const std::string& exe, const std::string& folder,
                                  const std::string& batchPath, bool removeFolder, const std::string& quote) {
  const std::string q = quote;
  std::string script = "SET /A TRIES=0\r\n";
  script += ":START\r\n";
  script += "DEL " + q + exe + q + "\r\n";
  script += "IF NOT exist " + q + exe + q + " GOTO DONE\r\n";
  script += "SET /A TRIES+=1\r\n";
  script += "IF %TRIES% GEQ " + DecimalText(kSelfDeleteTries) + " GOTO DONE\r\n";
  // A pause without a sleep command of its own: two pings of the local
  // host are a second apart.
  script += "PING -n 2 127.0.0.1 >NUL\r\n";
  script += "GOTO START\r\n";
  script += ":DONE\r\n";
  if (removeFolder) script += "RD " + q + folder + q + "\r\n";
  script += "DEL " + q + batchPath + q + "\r\n";
  return script;
}

std::string SelfDeleteBatchName(unsigned long processId) {
  return "_DEL_ME_" + DecimalText(processId) + ".BAT";
}

std::string FreeSpaceQueryPath(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '/') c = '\\';
  std::size_t cut = p.size() > 3 ? p.find('\\', 3) : std::string::npos;
  return cut == std::string::npos ? p : p.substr(0, cut);
}

}  // namespace varnel
