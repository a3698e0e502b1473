// The debug stream: formatted trace text, handed on in pieces of at most
// 128 characters (a line with its CR LF usually arrives as one piece).
// Platform-free; the Win32 side installs the sink that delivers a piece to
// the debug viewer (DebugSend). Without a sink, text is dropped.
#pragma once
#include <string>
#include <string_view>

namespace varnel {

using DebugSink = void (*)(const std::string& piece);

// Installs the function that receives every piece; nullptr drops them.
void SetDebugSink(DebugSink sink);

// Writes text to the stream; a "\n" not preceded by "\r" is written as CR LF.
void DebugWrite(std::string_view text);
// printf-style line: the formatted text followed by CR LF.
void DebugLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The process id that event lines start with (set once, at start-up).
void SetDebugProcessId(unsigned long processId);
// An event line of this process: "<process id> ==== " and the formatted text.
void DebugEvent(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Hands whatever is buffered to the sink.
void DebugFlush();

// "TRUE" or "FALSE", as trace lines write a flag.
const char* TrueFalse(bool value);

}  // namespace varnel
