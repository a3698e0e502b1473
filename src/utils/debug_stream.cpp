#include "utils/debug_stream.h"

#include <cstdarg>
#include <vector>

#include "utils/lock.h"
#include "utils/text_format.h"

namespace varnel {
namespace {

constexpr std::size_t kDeviceBuffer = 128;

// Held in static storage only (State()), where the members without an
// initializer start at zero: no code sets them at the first call.
struct DebugStreamState {
  Lock lock;  // serialises the filling of the buffer
  DebugSink sink;
  char buffer[kDeviceBuffer];
  std::size_t used;
  char last;  // last character written, across calls
  unsigned long processId;
  std::vector<std::string> ready;  // full pieces waiting to be handed on
};

DebugStreamState& State() {
  static DebugStreamState state;
  return state;
}

// Moves the buffer's text to the pieces ready for the sink.
void FlushLocked(DebugStreamState& s) {
  if (s.used == 0) return;
  s.ready.emplace_back(s.buffer, s.used);
  s.used = 0;
}

// Hands the ready pieces to the sink outside the lock: delivering one may
// dispatch messages (a sent window message), and a handler that writes a
// trace line of its own must find the lock free.
void Deliver(std::vector<std::string>& pieces, DebugSink sink) {
  if (!sink) return;
  for (const std::string& piece : pieces) sink(piece);
}

void PutLocked(DebugStreamState& s, char c) {
  if (s.used == kDeviceBuffer) FlushLocked(s);
  s.buffer[s.used++] = c;
}

}  // namespace

void SetDebugSink(DebugSink sink) {
  DebugStreamState& s = State();
  LockGuard guard(s.lock);
  s.sink = sink;
}

void DebugWrite(std::string_view text) {
  DebugStreamState& s = State();
  std::vector<std::string> pieces;
  DebugSink sink;
  {
    LockGuard guard(s.lock);
    for (char c : text) {
      // A bare LF becomes CR LF; text that already ends its lines in CR LF
      // passes unchanged.
      if (c == '\n' && s.last != '\r') PutLocked(s, '\r');
      PutLocked(s, c);
      s.last = c;
    }
    FlushLocked(s);
    pieces.swap(s.ready);
    sink = s.sink;
  }
  Deliver(pieces, sink);
}

void DebugLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatString(format, args);
  va_end(args);
  text += '\n';
  DebugWrite(text);
}

void SetDebugProcessId(unsigned long processId) { State().processId = processId; }

void DebugEvent(const char* format, ...) {
  std::string text = DecimalText(State().processId);
  text += " ==== ";
  va_list args;
  va_start(args, format);
  text += FormatString(format, args);
  va_end(args);
  text += '\n';
  DebugWrite(text);
}

void DebugFlush() {
  DebugStreamState& s = State();
  std::vector<std::string> pieces;
  DebugSink sink;
  {
    LockGuard guard(s.lock);
    FlushLocked(s);
    pieces.swap(s.ready);
    sink = s.sink;
  }
  Deliver(pieces, sink);
}

// Out of line on purpose: inlined at each of the stub's trace lines it
// costs more than the call.
__attribute__((noinline)) const char* TrueFalse(bool value) { return value ? "TRUE" : "FALSE"; }

}  // namespace varnel
