// Download progress: TProgBar forwards start and step events to a sink,
// TBytesRate turns byte counts into "done/total" texts with a transfer rate.
// Platform-free: the clock and the message pump are handed in.
#pragma once
#include <cstdint>
#include <string>

#include "download/progress_sink.h"

namespace varnel {

using TickFn = std::uint32_t (*)();
using PumpFn = void (*)();

// Forwards start and step events to the sink, dispatching pending messages
// (pump) before and after each event it hands on. Steps are handed on at
// most every kStepIntervalMs, all steps of the interval as one kind-2 event
// (one repaint), and only when there are steps to make, so that a fast
// transfer does not spend its time repainting bars and pumping; the final
// steps are handed on by Flush().
class TProgBar {
 public:
  static constexpr std::uint32_t kStepIntervalMs = 40;

  TProgBar(ProgressCallbackFn sink, PumpFn pump, TickFn tick) : sink_(sink), pump_(pump), tick_(tick) {}

  // Kind 0 with the maximum, step size 1 and the start position.
  void Start(int position, int maximum);
  // Kind 1 with the text, `count` times (handed on now or with a later step).
  void Step(const std::string& text, int count = 1);
  // Hands on the steps still held back.
  void Flush();

  // Set to stop a running download after its current chunk.
  bool Cancelled = false;

 private:
  void Pump() const {
    if (pump_) pump_();
  }

  ProgressCallbackFn sink_;
  PumpFn pump_;
  TickFn tick_;
  int pending_ = 0;
  std::string pendingText_;
  std::uint32_t lastForward_ = 0;
  bool forwarded_ = false;
};

// "done/total" in bytes, KB or MB, followed by the rate over the last chunks
// once five chunks were seen ("   -   12.34 KB/Sec"), recomputed at most
// every 500 ms.
class TBytesRate {
 public:
  TBytesRate(bool kbMode, bool mbMode) : kbMode_(kbMode), mbMode_(mbMode) {}
  // The modes the download picks for a total length.
  static TBytesRate ForLength(std::uint64_t total) {
    return TBytesRate(total > 102400, total > 10485760);
  }

  std::string Text(std::uint64_t total, std::uint64_t done, std::uint32_t chunk, std::uint32_t nowTick);

 private:
  static constexpr int kWindow = 5;
  std::uint32_t ticks_[kWindow] = {};
  std::uint32_t bytes_[kWindow] = {};
  bool kbMode_;
  bool mbMode_;
  std::string rateText_;
  std::uint32_t lastUpdate_ = 0;
};

// value with one decimal and "," between groups of three digits of the
// whole part: 4567.5 -> "4,567.5".
std::string GroupedOneDecimal(double value);

}  // namespace varnel
