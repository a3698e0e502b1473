#include "download/download_progress.h"

#include "utils/text_format.h"

namespace varnel {

void TProgBar::Start(int position, int maximum) {
  pending_ = 0;
  pendingText_.clear();
  forwarded_ = false;
  Pump();
  if (sink_) sink_(kProgressInit, position, maximum, std::string(), 1);
  Pump();
}

void TProgBar::Step(const std::string& text, int count) {
  if (count <= 0) return;
  pending_ += count;
  pendingText_ = text;
  const std::uint32_t now = tick_ ? tick_() : 0;
  if (forwarded_ && now - lastForward_ < kStepIntervalMs) return;
  lastForward_ = now;
  forwarded_ = true;
  Flush();
}

void TProgBar::Flush() {
  if (pending_ == 0) return;
  Pump();
  if (sink_) sink_(kProgressSteps, 0, 0, pendingText_, pending_);
  pending_ = 0;
  Pump();
}

std::string GroupedOneDecimal(double value) {
  std::string text = FixedDecimals(value, 1);
  // A "," before every group of three digits left of the point, never
  // right after the sign.
  const std::size_t first = text[0] == '-' ? 1 : 0;
  for (std::size_t at = text.find('.'); at > first + 3;) {
    at -= 3;
    text.insert(at, 1, ',');
  }
  return text;
}

std::string TBytesRate::Text(std::uint64_t total, std::uint64_t done, std::uint32_t chunk, std::uint32_t nowTick) {
  // Bytes, or KB / MB with one decimal and grouped digits.
  const double unit = mbMode_ ? 1048576.0 : 1024.0;
  auto amount = [&](std::uint64_t n) {
    return mbMode_ || kbMode_ ? GroupedOneDecimal(n / unit) : DecimalText(n);
  };
  std::string text = amount(done);
  text += '/';
  text += amount(total);
  text += mbMode_ ? " MB" : kbMode_ ? " KB" : " BytesArr";

  for (int i = 0; i + 1 < kWindow; ++i) {
    ticks_[i] = ticks_[i + 1];
    bytes_[i] = bytes_[i + 1];
  }
  ticks_[kWindow - 1] = nowTick;
  bytes_[kWindow - 1] = chunk;
  const std::uint32_t ms = ticks_[kWindow - 1] - ticks_[0];
  std::uint64_t bytes = 0;
  for (int i = 1; i < kWindow; ++i) bytes += bytes_[i];
  if (ticks_[0] != 0 && ms != 0 && nowTick - lastUpdate_ > 500) {
    lastUpdate_ = nowTick;
    rateText_ = FixedDecimals(static_cast<double>(bytes) / (ms / 1000.0) / 1024.0, 2);
  }
  if (!rateText_.empty()) {
    text += "   -   ";
    text += rateText_;
    text += " KB/Sec";
  }
  return text;
}

}  // namespace varnel
