#include "package/temp_space.h"

#include "utils/text_format.h"
#include "utils/text_rules.h"

#include <cctype>
#include <cmath>

namespace varnel {
std::string SetupFolderName(std::uint16_t dosTime) {
  std::string name = "SETUP_";
  AppendDecimal(name, dosTime);
  return name;
}

std::string SetupFolderCandidate(const std::string& base, int n) {
  std::string candidate = base;
  if (n > 0) {
    candidate += '_';
    AppendDecimal(candidate, static_cast<unsigned>(n));
  }
  return candidate;
}

std::string FormatMegabytes(double bytes) {
  double mb = bytes > 0 ? bytes / 1048576.0 : 0.0;
  const int decimals = mb > 10 ? 1 : (mb >= 1 ? 2 : 3);
  return FixedDecimals(mb, decimals);
}

char ChooseTempDriveLetter(char currentDrive, const std::array<double, 3>& freeCDE) {
  const char current = static_cast<char>(std::toupper(static_cast<unsigned char>(currentDrive)));
  char best = current;
  double max = 0;
  for (int i = 0; i < 3; ++i) {
    if (freeCDE[i] > max) {
      max = freeCDE[i];
      best = static_cast<char>('C' + i);
    }
  }
  return best == current ? 0 : best;
}

std::string TempSpaceQuestion(const std::string& folder, double needed, double freeBytes,
                              bool showNotice,
                              const std::function<std::string(const char* key)>& lang) {
  std::string drive;
  if (!folder.empty()) {
    drive += static_cast<char>(std::toupper(static_cast<unsigned char>(folder[0])));
    drive += ':';
  }
  std::string text;
  if (showNotice) text = lang("s2");
  if (needed >= freeBytes) text = lang("s3");
  if (text.empty()) return {};
  for (const char* key : {"s4", "s5", "s6"}) text += lang(key);
  text = ReplaceAllText(text, "<DRIVE>", drive);
  text = ReplaceAllText(text, "<SPACE_REQ>", FormatMegabytes(needed));
  text = ReplaceAllText(text, "<SPACE_AVAIL>", FormatMegabytes(freeBytes));
  return text;
}

}  // namespace varnel
