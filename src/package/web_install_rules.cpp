#include "package/web_install_rules.h"

#include "package/temp_space.h"
#include "utils/text_rules.h"

namespace varnel {

std::string DownloadQuestion(const std::string& question, const std::string& sizeItem) {
  // A size item of digits only; anything else shows 0. Read by hand: the
  // stub links no string-to-floating-point parser.
  double bytes = 0;
  std::size_t digits = 0;
  while (digits < sizeItem.size() && sizeItem[digits] >= '0' && sizeItem[digits] <= '9') ++digits;
  if (digits > 0 && digits == sizeItem.size())
    for (char c : sizeItem) bytes = bytes * 10 + (c - '0');
  return ReplaceAllText(question, "<SIZE>", FormatMegabytes(bytes));
}

std::uint64_t SetupFileBytes(const std::string& sizeItem) {
  std::uint64_t bytes = 0;
  if (sizeItem.empty()) return 0;
  for (char c : sizeItem) {
    if (c < '0' || c > '9') return 0;
    const unsigned d = static_cast<unsigned>(c - '0');
    if (bytes > (UINT64_MAX - d) / 10) return 0;
    bytes = bytes * 10 + d;
  }
  return bytes;
}

std::string ServedFileName(const std::string& fileName) {
  std::size_t at = fileName.size();
  while (at > 0 && fileName[at - 1] != '/' && fileName[at - 1] != '\\') --at;
  const std::string name = fileName.substr(at);
  if (name.empty() || name == "." || name == "..") return std::string();
  for (unsigned char c : name)
    if (c < 32 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
      return std::string();
  // The system drops trailing dots and blanks.
  if (name.back() == '.' || name.back() == ' ') return std::string();
  return name;
}

std::string RefusedNameText(const std::string& fileName) { return "Refused file name: " + fileName; }

std::string NoDownloadFolderText(const std::string& tempFolder) {
  return "Unable to create a download folder in " + tempFolder;
}

std::string LocalSetupPath(const std::string& folder, const std::string& fileName) {
  std::string path = folder;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return JoinPath(path, fileName);
}

}  // namespace varnel
