#include "utils/exception_report.h"

#include "utils/debug_stream.h"

namespace varnel {

std::string ExceptionReportLine(std::string_view method, std::string_view remark, std::string_view sx,
                                std::string_view errorMessage) {
  static constexpr std::string_view kLabels[] = {"Method = ", "Remark = ", "SX = ", "ErrMsg = "};
  const std::string_view texts[] = {method, remark, sx, errorMessage};
  std::string line = " --- ";
  for (int i = 0; i < 4; ++i) {
    if (texts[i].empty()) continue;
    line += " [ ";
    line += kLabels[i];
    line += texts[i];
    line += " ] ";
  }
  return line;
}

void LogException(std::string_view errorMessage, std::string_view method, std::string_view remark) {
  std::string line = ExceptionReportLine(method, remark, {}, errorMessage);
  line += '\n';
  DebugWrite(line);
}

}  // namespace varnel
