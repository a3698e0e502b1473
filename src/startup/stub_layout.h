// Geometry of the stub window and its controls, in client pixels. Hebrew and
// Arabic character sets (177, 178) mirror the status text and activity bar.
#pragma once

namespace varnel {

struct ControlRect {
  int x, y, width, height;
};

constexpr int kStubWindowWidth = 492;
constexpr int kStubWindowHeight = 110;
constexpr int kStubIconX = 18;
constexpr int kStubIconY = 20;

struct StubLayout {
  ControlRect statusText;
  ControlRect progressBar;
  ControlRect activityBar;
};

constexpr bool IsRightToLeftCharset(int charset) { return charset == 177 || charset == 178; }

constexpr StubLayout StubLayoutFor(int charset) {
  const bool rtl = IsRightToLeftCharset(charset);
  return StubLayout{{rtl ? 122 : 70, 20, 340, 18}, {70, 38, 392, 13}, {rtl ? 70 : 416, 20, 46, 13}};
}

// Top-left corner that centres a window of the given size in a work area;
// halves round toward zero.
constexpr ControlRect CentredIn(int areaLeft, int areaTop, int areaWidth, int areaHeight,
                                int width, int height) {
  return ControlRect{areaLeft + (areaWidth - width) / 2, areaTop + (areaHeight - height) / 2,
                     width, height};
}

// Position of the activity bar after one more step: 1, 2, 3, 4, 5, 0, 1, ...
constexpr int NextActivityPosition(int counter) { return counter + 1 > 5 ? 0 : counter + 1; }

}  // namespace varnel
