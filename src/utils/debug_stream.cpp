#include "utils/debug_stream.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace varnel {
namespace {

constexpr std::size_t kDeviceBuffer = 128;

struct DebugStreamState {
  std::mutex lock;  // serialises the hand-over of the buffer
  DebugSink sink = nullptr;
  char buffer[kDeviceBuffer];
  std::size_t used = 0;
  char last = 0;  // last character written, across calls
};

DebugStreamState& State() {
  static DebugStreamState state;
  return state;
}

void FlushLocked(DebugStreamState& s) {
  if (s.used == 0) return;
  std::string piece(s.buffer, s.used);
  s.used = 0;
  if (s.sink) {
    try {
      s.sink(piece);
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
  std::lock_guard<std::mutex> guard(s.lock);
  for (char c : text) {
    // A bare LF becomes CR LF; text that already ends its lines in CR LF
    // passes unchanged.
    if (c == '\n' && s.last != '\r') PutLocked(s, '\r');
    PutLocked(s, c);
    s.last = c;
  }
  FlushLocked(s);
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
  std::lock_guard<std::mutex> guard(s.lock);
  FlushLocked(s);
}

}  // namespace varnel
