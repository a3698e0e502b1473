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

std::string LocalSetupPath(const std::string& folder, const std::string& fileName) {
  std::string path = folder;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return JoinPath(path, fileName);
}

}  // namespace varnel
