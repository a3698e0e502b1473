// One-line reports of failures on the debug stream, in the form the
// project's traces have always used for caught exceptions.
#pragma once
#include <string>
#include <string_view>

namespace varnel {

// " --- " followed by " [ Method = ... ] ", " [ Remark = ... ] ",
// " [ SX = ... ] ", " [ ErrMsg = ... ] " for each non-empty text, in order.
std::string ExceptionReportLine(std::string_view method, std::string_view remark, std::string_view sx,
                                std::string_view errorMessage);

// Writes the report line of a failure to the debug stream.
void LogException(std::string_view errorMessage, std::string_view method, std::string_view remark = {});

}  // namespace varnel
