// The Win32 side of the extraction: real files and folders, the stub
// window's progress bars, message dispatching and the message boxes.
#include <windows.h>

#include "dialogs/message_box.h"
#include "package/extraction.h"
#include "startup/stub_window.h"
#include "utils/file_helpers.h"
#include "utils/message_pump.h"

namespace varnel {
namespace {

// Dispatching messages costs a round trip to the window system; between
// blocks and read chunks it is done at most this often, which keeps the
// window answering without slowing the extraction down.
constexpr DWORD kPumpIntervalMs = 10;

std::string SystemErrorText(DWORD code) {
  char buffer[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                           buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ')) --n;
  return std::string(buffer, n);
}

bool IsFolder(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// DOS date (high half) and time (low half), local time, as a file time.
FileDate DosTimeToFileDate(std::uint32_t dosTime) {
  FILETIME local, utc;
  if (dosTime == 0 || !DosDateTimeToFileTime(static_cast<WORD>(dosTime >> 16),
                                             static_cast<WORD>(dosTime & 0xFFFF), &local) ||
      !LocalFileTimeToFileTime(&local, &utc))
    return 0;
  return (FileDate(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
}

FileDate LastWriteTimeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (FileDate(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

class Win32ExtractionHost : public ExtractionHost {
 public:
  explicit Win32ExtractionHost(ProgressCallbackFn progress) : progress_(progress) {}

  bool FileExists(const std::string& path) override {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
  }
  std::unique_ptr<ByteSource> OpenPackageFile(const std::string& path) override {
    auto file = std::make_unique<FileSource>();
    if (!file->Open(path)) return nullptr;
    return file;
  }
  bool CreateFolderTree(const std::string& path) override {
    if (path.empty() || IsFolder(path)) return true;
    const std::size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 2 && !CreateFolderTree(path.substr(0, slash))) return false;
    if (CreateDirectoryA(path.c_str(), nullptr) || IsFolder(path)) return true;
    lastError_ = GetLastError();
    return false;
  }
  bool AppendToFile(const std::string& path, const std::string& data, std::uint32_t dosTime) override {
    SetLastError(0);
    if (WriteFileText(path, data, DosTimeToFileDate(dosTime), true)) return true;
    lastError_ = GetLastError();
    return false;
  }
  bool ReplaceFile(const std::string& path, const std::string& data, const std::string& timeSource) override {
    return WriteFileText(path, data, LastWriteTimeOf(timeSource), false);
  }
  std::uint64_t FileSize(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  double DiskFreeBytes(const std::string& path) override { return varnel::DiskFreeBytes(path); }
  std::string LastErrorText() override { return SystemErrorText(lastError_); }

  void Pump() override {
    const DWORD now = GetTickCount();
    if (now - lastPump_ < kPumpIntervalMs) return;
    lastPump_ = now;
    YieldX(0);
  }
  void WaitPumping(unsigned milliseconds) override { varnel::WaitPumping(milliseconds); }
  std::uint32_t TickCount() override { return GetTickCount(); }
  unsigned long ProcessId() override { return GetCurrentProcessId(); }

  void ProgressInit(int total) override {
    if (progress_) progress_(kProgressInit, 0, total, std::string(), 1);
  }
  void ProgressStep() override {
    if (progress_) progress_(kProgressStep, 0, 0, std::string(), 1);
  }

  void RegisterAutoPlayRefusal() override { RegisterAutoPlayQuery(); }
  void EjectMedium(const std::string& path) override { EjectCD(path); }
  bool AskOkCancel(const std::string& text, const std::string& title, const std::string& buttons,
                   int charset) override {
    return MsgBoxOkCancel(nullptr, text, title, buttons, charset);
  }
  void ShowError(const std::string& text) override { MsgBoxError(nullptr, text); }
  bool StopRequested() override { return LoopExitRequested(); }

 private:
  ProgressCallbackFn progress_;
  DWORD lastError_ = 0;
  DWORD lastPump_ = 0;
};

}  // namespace

ExtractResult ExtractPackage(const ExtractRequest& request, ProgressCallbackFn progress) {
  Win32ExtractionHost host(progress);
  return ExtractPackageWith(host, request);
}

}  // namespace varnel
