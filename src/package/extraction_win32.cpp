// The Win32 side of the extraction: real files and folders, the stub
// window's progress bars, message dispatching and the message boxes.
#include <windows.h>

#include "dialogs/message_box.h"
#include "package/extraction.h"
#include "package/setup_window.h"
#include "utils/file_helpers.h"
#include "utils/message_pump.h"
#include "utils/system_helpers.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

// Dispatching messages costs a round trip to the window system; between
// blocks and read chunks it is done at most this often, which keeps the
// window answering without slowing the extraction down.
constexpr DWORD kPumpIntervalMs = 10;
// The progress bars repaint themselves at every step; steps that come
// faster than this are handed on together (a step per small file would
// otherwise cost more than writing the file). Ten moves a second still
// look continuous.
constexpr DWORD kProgressIntervalMs = 100;

std::string SystemErrorText(DWORD code) { return SystemMessageText(code); }

bool IsFolder(const std::string& path) {
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
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
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return (FileDate(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

class Win32ExtractionHost : public ExtractionHost {
 public:
  explicit Win32ExtractionHost(ProgressCallbackFn progress) : progress_(progress) {}
  ~Win32ExtractionHost() override { FlushProgress(); }

  bool FileExists(const std::string& path) override {
    const DWORD a = GetFileAttributesW(Wide(path).c_str());
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
    if (CreateDirectoryW(Wide(path).c_str(), nullptr) || IsFolder(path)) return true;
    lastError_ = GetLastError();
    return false;
  }
  bool AppendToFile(const std::string& path, const std::string& data, std::uint32_t dosTime,
                    bool& created) override {
    // Opened here rather than through WriteFileText: the open tells whether
    // the file is new, which saves a second lookup of the name per member.
    created = false;
    FileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      lastError_ = GetLastError();
      return false;
    }
    created = GetLastError() != ERROR_ALREADY_EXISTS;
    SetFilePointer(file.get(), 0, nullptr, FILE_END);
    if (!WriteWhole(file.get(), data.data(), data.size())) {
      lastError_ = GetLastError();
      return false;
    }
    const FileDate date = DosTimeToFileDate(dosTime);
    if (date) {
      FILETIME ft;
      ft.dwLowDateTime = static_cast<DWORD>(date);
      ft.dwHighDateTime = static_cast<DWORD>(date >> 32);
      SetFileTime(file.get(), nullptr, nullptr, &ft);
    }
    return true;
  }
  bool ReplaceFile(const std::string& path, const std::string& data, const std::string& timeSource) override {
    if (WriteFileText(path, data, LastWriteTimeOf(timeSource), false)) return true;
    lastError_ = GetLastError();
    return false;
  }
  std::uint64_t FileSize(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  double DiskFreeBytes(const std::string& path) override { return varnel::DiskFreeBytes(path); }
  std::string LastErrorText() override { return SystemErrorText(lastError_); }
  std::string ShownPath(const std::string& path) override { return AnsiText(path); }
  std::string NameFromPackage(const std::string& name) override { return Utf8(Wide(name)); }

  void Pump() override {
    const DWORD now = GetTickCount();
    if (now - lastPump_ < kPumpIntervalMs) return;
    lastPump_ = now;
    if (pendingSteps_ && now - lastProgress_ >= kProgressIntervalMs) FlushProgress();
    YieldX(0);
  }
  void WaitPumping(unsigned milliseconds) override {
    FlushProgress();
    varnel::WaitPumping(milliseconds);
  }
  std::uint32_t TickCount() override { return GetTickCount(); }
  unsigned long ProcessId() override { return GetCurrentProcessId(); }

  void ProgressInit(int total) override {
    FlushProgress();
    if (progress_) progress_(kProgressInit, 0, total, std::string(), 1);
  }
  void ProgressStep() override {
    ++pendingSteps_;
    if (GetTickCount() - lastProgress_ >= kProgressIntervalMs) FlushProgress();
  }

  void RegisterAutoPlayRefusal() override { CurrentSetupWindow().RefuseAutoPlay(); }
  void EjectMedium(const std::string& path) override { EjectCD(path); }
  bool AskOkCancel(const std::string& text, const std::string& title, const std::string& buttons,
                   int charset) override {
    FlushProgress();
    return MsgBoxOkCancel(nullptr, text, title, buttons, charset);
  }
  bool StopRequested() override { return CurrentSetupWindow().CloseRequested(); }

 private:
  // Hands the pending steps on in one go and paints the bars at once.
  void FlushProgress() {
    lastProgress_ = GetTickCount();
    if (!pendingSteps_) return;
    CurrentSetupWindow().ProgressSteps(progress_, pendingSteps_);
    pendingSteps_ = 0;
  }

  int pendingSteps_ = 0;
  DWORD lastProgress_ = 0;
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
