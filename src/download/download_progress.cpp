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
  for (; pending_ > 0; --pending_)
    if (sink_) sink_(kProgressStep, 0, 0, pendingText_, 1);
  Pump();
}

std::string GroupedOneDecimal(double value) {
  const std::string plain = FixedDecimals(value, 1);
  const std::size_t dot = plain.find('.');
  const std::string whole = plain.substr(0, dot);
  const std::size_t digitsStart = (!whole.empty() && whole[0] == '-') ? 1 : 0;
  std::string grouped;
  for (std::size_t i = 0; i < whole.size(); ++i) {
    grouped += whole[i];
    const std::size_t left = whole.size() - 1 - i;
    if (i >= digitsStart && left > 0 && left % 3 == 0) grouped += ',';
  }
  return grouped + plain.substr(dot);
}

std::string TBytesRate::Text(std::uint64_t total, std::uint64_t done, std::uint32_t chunk, std::uint32_t nowTick) {
  std::string text;
  if (mbMode_) {
    text = GroupedOneDecimal(done / 1048576.0) + "/" + GroupedOneDecimal(total / 1048576.0) + " MB";
  } else if (kbMode_) {
    text = GroupedOneDecimal(done / 1024.0) + "/" + GroupedOneDecimal(total / 1024.0) + " KB";
  } else {
    text = std::to_string(done) + "/" + std::to_string(total) + " BytesArr";
  }

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
  if (!rateText_.empty()) text += "   -   " + rateText_ + " KB/Sec";
  return text;
}

}  // namespace varnel
