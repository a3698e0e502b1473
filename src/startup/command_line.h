// Command-line switches of the stub: the argument text (the command line
// without the program's own name) and the rules by which a switch is read
// from it. The *In/*Of forms work on given texts and need no system; the
// short forms read this process's command line.
#pragma once
#include <cstdint>
#include <string>

namespace varnel {

// The raw command line with the program's own name taken off: the text up to
// and including the first of (file name + '"', file name, full path) that
// occurs, each found without regard to case; for the full path only the path
// itself is cut out. Trimmed; a single character left over counts as empty.
std::string ArgumentTextOf(const std::string& rawCommandLine, const std::string& exePath);

// Value of a switch such as "/SpanCdLvl=" or "-x" in an argument text; the
// default when the switch is absent, "" when it is given without a value.
std::string ParamValueIn(const std::string& argumentText, const std::string& name,
                         const std::string& defaultValue);
// The same read as a signed decimal; the default when absent or not a number.
std::int64_t ParamIntIn(const std::string& argumentText, const std::string& name,
                        std::int64_t defaultValue);
// True when the flag stands in the text followed by a blank or the end.
bool HasParamIn(const std::string& argumentText, const std::string& flag);

// Signed decimal with optional sign; false for anything else or overflow.
bool ParseInt64(const std::string& text, std::int64_t& value);

// ASCII case-insensitive search; npos when absent.
std::size_t FindNoCase(const std::string& text, const std::string& what, std::size_t from = 0);

// This process's command line (Windows only).
std::string GetArgumentText();
// (Names and defaults are literals at every call: taken as C strings, they
// cost the callers no temporary std::string.)
std::string GetParamValue(const char* name, const char* defaultValue);
std::int64_t GetParamInt(const char* name, std::int64_t defaultValue);
bool HasParam(const char* flag);

}  // namespace varnel
