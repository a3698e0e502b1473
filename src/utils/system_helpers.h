// Small system helpers: a millisecond clock, point-to-pixel conversion,
// opening files and addresses through the shell, and loading a library
// function by name.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <string>

namespace varnel {

// Milliseconds from the high-resolution performance counter.
std::int64_t MillisecondClock();

// points * screen pixels per inch (vertical, read once) / 72, rounded.
int PointsToPixels(int points);
// The same with the resolution given.
constexpr int PointsToPixelsAt(int points, int pixelsPerInch) {
  // MulDiv rounding: half away from zero.
  // (Unsigned: a signed 64-bit division links more runtime helpers into the
  // 32-bit stub.)
  const long long product = static_cast<long long>(points) * pixelsPerInch;
  const unsigned long long magnitude = product >= 0 ? product : 0 - static_cast<unsigned long long>(product);
  const int rounded = static_cast<int>((magnitude + 36) / 72);
  return product >= 0 ? rounded : -rounded;
}

// Opens a file or address with the default verb; true when the shell's
// result is greater than 32.
bool ShellOpen(const std::string& target, const std::string& parameters, int showCommand);

// Loads the library from the system folder (LoadSystemLibrary) and looks up
// procedure. The library handle is handed back in library (the caller frees
// it); the result is null when the handle is below 33 or the name is unknown.
FARPROC LoadAndResolve(const char* libraryName, const char* procedureName, HMODULE& library);

// Writes all `size` bytes at the file's position. A write that reports
// fewer bytes (as a full volume makes it under Wine) is followed by one for
// the rest, so a failure comes back as false with its reason in
// GetLastError(), never as success.
bool WriteWhole(HANDLE file, const char* data, std::size_t size);

// The system's text for an error code (`module`'s messages first when one is
// given), without the line break at its end; "" when there is none.
std::string SystemMessageText(DWORD code, HMODULE module = nullptr);

}  // namespace varnel
#endif
