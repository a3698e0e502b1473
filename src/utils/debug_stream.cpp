#include "utils/debug_stream.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace varnel {
namespace {

constexpr std::size_t kDeviceBuffer = 128;

struct DebugStreamState {
  std::mutex lock;  // serialises the filling of the buffer
  DebugSink sink = nullptr;
  char buffer[kDeviceBuffer];
  std::size_t used = 0;
  char last = 0;  // last character written, across calls
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
  for (const std::string& piece : pieces) {
    try {
      sink(piece);
    } catch (...) {
      // A failing delivery drops the piece; tracing must never fail the caller.
    }
  }
}

void PutLocked(DebugStreamState& s, char c) {
  if (s.used == kDeviceBuffer) FlushLocked(s);
  s.buffer[s.used++] = c;
}

}  // namespace

void SetDebugSink(DebugSink sink) {
  DebugStreamState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  s.sink = sink;
}

void DebugWrite(std::string_view text) {
  DebugStreamState& s = State();
  std::vector<std::string> pieces;
  DebugSink sink;
  {
    std::lock_guard<std::mutex> guard(s.lock);
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
  char small[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string text;
  if (n < 0) {
    text = format;
  } else if (static_cast<std::size_t>(n) < sizeof small) {
    text.assign(small, n);
  } else {
    text.resize(n + 1);
    std::vsnprintf(&text[0], text.size(), format, copy);
    text.resize(n);
  }
  va_end(copy);
  text += '\n';
  DebugWrite(text);
}

void DebugFlush() {
  DebugStreamState& s = State();
  std::vector<std::string> pieces;
  DebugSink sink;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    FlushLocked(s);
    pieces.swap(s.ready);
    sink = s.sink;
  }
  Deliver(pieces, sink);
}

}  // namespace varnel
