// One-line reports of caught exceptions on the debug stream, for helpers
// that must not fail (version reading, message pumping).
#pragma once
#include <exception>
#include <string>
#include <string_view>

namespace varnel {

// " --- " followed by " [ Method = ... ] ", " [ Remark = ... ] ",
// " [ SX = ... ] ", " [ ErrMsg = ... ] " for each non-empty text, in order.
std::string ExceptionReportLine(std::string_view method, std::string_view remark, std::string_view sx,
                                std::string_view errorMessage);

// Writes the report line of an exception to the debug stream.
void LogException(const std::exception& error, std::string_view method, std::string_view remark = {});
// For a caught exception that is not a std::exception (catch (...)).
void LogException(std::string_view errorMessage, std::string_view method, std::string_view remark = {});

}  // namespace varnel
