#include "utils/system_helpers.h"

#include <shellapi.h>

#include "utils/dll_hardening.h"
#include "utils/wide_text_win32.h"

namespace varnel {
namespace {

struct SystemHelperState {
  std::uint64_t frequency = 0;  // performance counter ticks per second, read once
  int pixelsPerInch = 0;        // vertical screen resolution, read once
};

SystemHelperState& Helpers() {
  static SystemHelperState state;
  return state;
}

}  // namespace

std::int64_t MillisecondClock() {
  SystemHelperState& s = Helpers();
  if (s.frequency == 0) {
    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) return GetTickCount();
    s.frequency = static_cast<std::uint64_t>(frequency.QuadPart);
  }
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  // Whole seconds and the rest apart: counter * 1000 could overflow after
  // weeks on a fast counter. Rounded to the nearest millisecond.
  const std::uint64_t ticks = static_cast<std::uint64_t>(counter.QuadPart);
  const std::uint64_t rest = ticks % s.frequency;
  return static_cast<std::int64_t>(ticks / s.frequency * 1000 + (rest * 1000 + s.frequency / 2) / s.frequency);
}

int PointsToPixels(int points) {
  SystemHelperState& s = Helpers();
  if (s.pixelsPerInch == 0) {
    HDC screen = GetDC(nullptr);
    s.pixelsPerInch = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    if (s.pixelsPerInch <= 0) s.pixelsPerInch = 96;
  }
  return PointsToPixelsAt(points, s.pixelsPerInch);
}

bool WriteWhole(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, want, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

std::string SystemMessageText(DWORD code, HMODULE module) {
  char buffer[512];
  // With a module, its messages are searched first, then the system's.
  const DWORD flags =
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | (module ? FORMAT_MESSAGE_FROM_HMODULE : 0);
  DWORD n = FormatMessageA(flags, module, code, 0, buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ')) --n;
  return std::string(buffer, n);
}

bool ShellOpen(const std::string& target, const std::string& parameters, int showCommand) {
  const std::wstring wideParameters = Wide(parameters);
  HINSTANCE result = ShellExecuteW(GetDesktopWindow(), nullptr, Wide(target).c_str(),
                                   parameters.empty() ? nullptr : wideParameters.c_str(), nullptr, showCommand);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

FARPROC LoadAndResolve(const char* libraryName, const char* procedureName, HMODULE& library) {
  library = LoadSystemLibrary(libraryName);
  if (reinterpret_cast<UINT_PTR>(library) < 33) return nullptr;
  return GetProcAddress(library, procedureName);
}

}  // namespace varnel
