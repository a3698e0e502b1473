#include "utils/processes.h"

#include <tlhelp32.h>
#include <wtsapi32.h>

#include <vector>

#include "utils/dll_hardening.h"
#include "utils/message_pump.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

constexpr DWORD kPipeReadLimit = 30000;
constexpr DWORD kQueryLimitedInformation = 0x1000;  // PROCESS_QUERY_LIMITED_INFORMATION, Vista and later
constexpr WPARAM kUpdateCycleWParam = 15;
constexpr LPARAM kUpdateCycleLParam = 255;

template <typename Fn>
Fn Kernel32Function(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

// Names compared as the file system compares them: every letter without
// regard to case, not only ASCII ones.
bool SamePathText(const std::string& a, const std::string& b) {
  using OrdinalFn = int(WINAPI*)(LPCWSTR, int, LPCWSTR, int, BOOL);
  static const OrdinalFn ordinal = Kernel32Function<OrdinalFn>("CompareStringOrdinal");
  const std::wstring wa = Wide(a), wb = Wide(b);
  if (ordinal) return ordinal(wa.data(), static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, wa.data(), static_cast<int>(wa.size()), wb.data(),
                        static_cast<int>(wb.size())) == CSTR_EQUAL;
}

std::string ShortFormOf(const std::string& path) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD n = GetShortPathNameW(Wide(path).c_str(), buffer, MAX_PATH * 2);
  return n == 0 || n >= MAX_PATH * 2 ? std::string(kNoShortForm) : Utf8(buffer, n);
}

// The image of an opened process. The full-name query reads 64-bit and
// elevated processes too; before Vista the process's first module does.
std::string ImagePathOfHandle(HANDLE process, unsigned long processId) {
  using QueryFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
  static const QueryFn query = Kernel32Function<QueryFn>("QueryFullProcessImageNameW");
  if (query) {
    wchar_t buffer[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    return query(process, 0, buffer, &size) ? Utf8(buffer, size) : std::string();
  }
  FileHandle modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
  MODULEENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  if (!modules || !Module32FirstW(modules.get(), &entry)) return std::string();
  return Utf8(entry.szExePath);
}

DWORD QueryAccess() {
  return Kernel32Function<FARPROC>("QueryFullProcessImageNameW") ? kQueryLimitedInformation
                                                                 : PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
}

DWORD SessionOf(DWORD processId) {
  DWORD session = 0;
  return ProcessIdToSessionId(processId, &session) ? session : 0xFFFFFFFF;
}

// The processes of one session. The session of each process comes from the
// terminal-services list, which needs no handle to it: ProcessIdToSessionId
// needs a query right that an unelevated agent does not get on an elevated
// product, which would then never be found. Where that list can't be had
// (or comes back empty), each process is asked one by one.
class SessionProcesses {
 public:
  explicit SessionProcesses(DWORD session) : session_(session) {
    using EnumFn = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, PWTS_PROCESS_INFOW*, DWORD*);
    using FreeFn = void(WINAPI*)(PVOID);
    static const HMODULE library = LoadSystemLibrary("wtsapi32.dll");
    if (!library) return;
    const auto enumerate =
        reinterpret_cast<EnumFn>(reinterpret_cast<void*>(GetProcAddress(library, "WTSEnumerateProcessesW")));
    const auto release = reinterpret_cast<FreeFn>(reinterpret_cast<void*>(GetProcAddress(library, "WTSFreeMemory")));
    PWTS_PROCESS_INFOW list = nullptr;
    DWORD count = 0;
    if (!enumerate || !release || !enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count)) return;
    for (DWORD i = 0; i < count; ++i)
      if (list[i].SessionId == session) ids_.push_back(list[i].ProcessId);
    if (list) release(list);
    listed_ = count > 0;
  }
  bool Holds(DWORD processId) const {
    if (!listed_) return SessionOf(processId) == session_;
    for (DWORD id : ids_)
      if (id == processId) return true;
    return false;
  }

 private:
  DWORD session_;
  bool listed_ = false;
  std::vector<DWORD> ids_;
};

struct SearchedImage {
  std::string text;
  std::string shortForm;
  bool fullPathOnly;
};

SearchedImage Searched(const std::string& path, bool fullPathOnly) {
  SearchedImage s{SearchedImageText(path), std::string(kNoShortForm), fullPathOnly};
  if (!s.text.empty()) s.shortForm = ShortFormOf(s.text);
  return s;
}

bool Matches(const std::string& imagePath, const SearchedImage& searched) {
  ProcessImage image{imagePath, std::string(kNoShortForm)};
  if (ImageMatches(image, searched.text, searched.shortForm, searched.fullPathOnly, SamePathText)) return true;
  if (searched.shortForm == kNoShortForm) return false;
  image.shortPath = ShortFormOf(imagePath);
  return ImageMatches(image, searched.text, searched.shortForm, searched.fullPathOnly, SamePathText);
}

unsigned long FindProcess(const SearchedImage& searched) {
  if (searched.text.empty()) return 0;
  FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  const SessionProcesses session(SessionOf(GetCurrentProcessId()));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  unsigned long found = 0;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == 0 || !session.Holds(entry.th32ProcessID)) continue;
    // The last match in snapshot order wins.
    if (Matches(ProcessImagePath(entry.th32ProcessID), searched)) found = entry.th32ProcessID;
  }
  return found;
}

// Moves what a pipe holds (at most one read) into text; true when more
// than one read could take was waiting.
bool ReadPipe(HANDLE pipe, std::string& text, CaptureCallback callback, void* user, bool& stop) {
  DWORD available = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return false;
  std::string piece(available < kPipeReadLimit ? available : kPipeReadLimit, '\0');
  DWORD read = 0;
  if (!ReadFile(pipe, &piece[0], static_cast<DWORD>(piece.size()), &read, nullptr) || read == 0) return false;
  piece.resize(read);
  OemToCharBuffA(piece.c_str(), &piece[0], read);
  text += piece;
  if (callback) callback(user, piece, stop);
  return available > kPipeReadLimit;
}

std::string LastErrorText() {
  char* message = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, GetLastError(), 0, reinterpret_cast<LPSTR>(&message), 0, nullptr);
  std::string text = n && message ? std::string(message, n) : std::string();
  if (message) LocalFree(message);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

struct Pipe {
  KernelHandle read, write;
  // The end this process keeps is not inherited by the child.
  bool Create(bool childReads) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    if (!CreatePipe(read.out(), write.out(), &sa, 0)) return false;
    return SetHandleInformation(childReads ? write.get() : read.get(), HANDLE_FLAG_INHERIT, 0) != 0;
  }
};

}  // namespace

CaptureResult RunAndCapture(const std::string& command, const std::string& parameters, int showState,
                            CaptureCallback callback, void* user, std::uint32_t extraWaitMs,
                            std::uint32_t timeLimitMs) {
  CaptureResult result;
  std::string line = CaptureCommandLine(command, parameters);
  Pipe in, out, err;
  const bool piped = in.Create(true) && out.Create(false) && err.Create(false);

  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES | STARTF_FORCEOFFFEEDBACK;
  si.wShowWindow = static_cast<WORD>(showState);
  si.hStdInput = in.read.get();
  si.hStdOutput = out.write.get();
  si.hStdError = err.write.get();
  PROCESS_INFORMATION pi = {};
  // The command line's own buffer: CreateProcessW may write into it.
  std::wstring buffer = Wide(line);
  if (!piped || line.size() > kMaxCommandLine ||
      !CreateProcessW(nullptr, &buffer[0], nullptr, nullptr, TRUE, IDLE_PRIORITY_CLASS, nullptr, nullptr, &si,
                      &pi)) {
    result.exitCode = kCaptureStartFailed;
    result.errors = line.size() > kMaxCommandLine ? "Command line is too long"
                                                  : LastErrorText() + " --- " + line.substr(0, 256);
    bool ignored = false;
    if (callback) callback(user, result.errors + "\r\n", ignored);
    return result;
  }
  KernelHandle process(pi.hProcess), thread(pi.hThread);
  // The child holds its own copies now; ours would keep the pipes open.
  in.read.reset();
  out.write.reset();
  err.write.reset();

  const DWORD started = GetTickCount();
  DWORD interval = callback ? 1 : 100;
  bool stop = false, timedOut = false, more = true;
  while (more) {
    const bool ended = WaitForSingleObject(process.get(), interval) == WAIT_OBJECT_0;
    const std::size_t before = result.output.size();
    bool outMore = ReadPipe(out.read.get(), result.output, callback, user, stop);
    bool errMore = ReadPipe(err.read.get(), result.errors, callback, user, stop);
    if (result.output.size() > before && interval > 10) interval -= 10;
    if (!ended && timeLimitMs > 0 && GetTickCount() - started >= timeLimitMs) stop = timedOut = true;
    if (stop && !ended) {
      TerminateProcess(process.get(), kCaptureStopped);
      WaitForSingleObject(process.get(), 5000);
      stop = false;
    }
    more = !ended || outMore || errMore;
  }
  WaitPumping(extraWaitMs);
  bool ignored = false;
  while (ReadPipe(out.read.get(), result.output, callback, user, ignored) ||
         ReadPipe(err.read.get(), result.errors, callback, user, ignored)) {
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  result.exitCode = code;
  result.success = code == 0 && !timedOut;
  return result;
}

std::string ProcessImagePath(unsigned long processId) {
  KernelHandle process(OpenProcess(QueryAccess(), FALSE, processId));
  return process ? ImagePathOfHandle(process.get(), processId) : std::string();
}

void TAnalizer::Collect() {
  windows_.clear();
  EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
}

BOOL CALLBACK TAnalizer::Visit(HWND window, LPARAM self) {
  TAnalizer& a = *reinterpret_cast<TAnalizer*>(self);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == a.processId_) a.windows_.push_back(window);
  return a.windows_.size() < kMaxWindows;
}

HWND TAnalizer::MainWindow() const {
  std::vector<WindowTraits> traits;
  traits.reserve(windows_.size());
  for (HWND window : windows_) {
    HWND top = window;
    for (HWND owner = GetWindow(top, GW_OWNER); owner; owner = GetWindow(top, GW_OWNER)) top = owner;
    WindowTraits t;
    t.handle = reinterpret_cast<std::uintptr_t>(window);
    t.topOwner = reinterpret_cast<std::uintptr_t>(top);
    t.titled = GetWindowTextLengthA(window) > 0;
    t.visible = IsWindowVisible(window) != 0;
    traits.push_back(t);
  }
  const std::size_t best = ChooseMainWindow(traits);
  return best == std::string::npos ? nullptr : windows_[best];
}

unsigned long FindProcessId(const std::string& imagePath, bool fullPathMatching) {
  return FindProcess(Searched(imagePath, fullPathMatching));
}

HWND FindMainWindow(const std::string& imagePath, bool fullPathMatching) {
  const unsigned long processId = FindProcessId(imagePath, fullPathMatching);
  if (processId == 0) return nullptr;
  TAnalizer analizer(processId);
  analizer.Collect();
  return analizer.MainWindow();
}

bool PostProcessMessage(const std::string& imagePath, bool fullPathMatching, UINT message, LPARAM lParam,
                        WPARAM wParam) {
  const SearchedImage searched = Searched(imagePath, fullPathMatching);
  const unsigned long processId = FindProcess(searched);
  if (processId == 0) return false;
  // The id may have been given to another program since the lookup: the
  // opened process must still run the searched image, and while it is held
  // open its id can't be given to another one.
  KernelHandle process(OpenProcess(QueryAccess(), FALSE, processId));
  if (!process || !Matches(ImagePathOfHandle(process.get(), processId), searched)) return false;
  TAnalizer analizer(processId);
  analizer.Collect();
  HWND window = analizer.MainWindow();
  return window && PostMessageA(window, message, wParam, lParam);
}

HWND FindProcessWindowOfClass(const std::string& imagePath, const std::string& className) {
  const SearchedImage searched = Searched(imagePath, true);
  for (HWND window = FindWindowExA(nullptr, nullptr, className.c_str(), nullptr); window;
       window = FindWindowExA(nullptr, window, className.c_str(), nullptr)) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != 0 && Matches(ProcessImagePath(processId), searched)) return window;
  }
  return nullptr;
}

bool CloseProcessWindow(const std::string& imagePath, bool fullPathMatching, std::uint32_t waitMs) {
  const bool posted = PostProcessMessage(imagePath, fullPathMatching, WM_CLOSE, kUpdateCycleLParam, kUpdateCycleWParam);
  if (waitMs > 0) WaitProcessGone(imagePath, waitMs);
  return posted;
}

bool QuitProcessWindow(const std::string& imagePath, bool fullPathMatching) {
  return PostProcessMessage(imagePath, fullPathMatching, WM_QUIT, kUpdateCycleLParam, kUpdateCycleWParam);
}

bool TerminateProcessByPath(const std::string& imagePath, bool fullPathMatching) {
  const SearchedImage searched = Searched(imagePath, fullPathMatching);
  const unsigned long processId = FindProcess(searched);
  if (processId == 0) return false;
  KernelHandle process(OpenProcess(PROCESS_TERMINATE | QueryAccess(), FALSE, processId));
  // The id may have been given to another program since the lookup.
  if (!process || !Matches(ImagePathOfHandle(process.get(), processId), searched)) return false;
  return TerminateProcess(process.get(), 0) != 0;
}

bool IsProcessRunning(const std::string& imagePath) { return FindProcessId(imagePath, true) != 0; }

bool WaitProcessGone(const std::string& imagePath, std::uint32_t limitMs) {
  const DWORD limit = limitMs == 0 ? 1000 : limitMs;
  const DWORD started = GetTickCount();
  for (;;) {
    if (!IsProcessRunning(imagePath)) return true;
    // A pending quit request: the caller is ending and waits no longer.
    if (GetTickCount() - started >= limit || !WaitPumping(100)) return false;
  }
}

void WaitWhileWindow(const std::string& className, const std::string& title) {
  while (FindWindowA(className.empty() ? nullptr : className.c_str(), title.empty() ? nullptr : title.c_str()))
    if (!YieldX(100)) Sleep(100);  // a pending quit request returns at once
}

namespace {

struct Survey {
  TProcessData data;
  std::vector<std::pair<DWORD, std::string>> images;  // looked up once per process

  const std::string& ImageOf(DWORD processId) {
    for (const auto& known : images)
      if (known.first == processId) return known.second;
    images.emplace_back(processId, ProcessImagePath(processId));
    return images.back().second;
  }

  static BOOL CALLBACK Visit(HWND window, LPARAM self) {
    Survey& s = *reinterpret_cast<Survey*>(self);
    SurveyedWindow w;
    DWORD processId = 0;
    w.threadId = GetWindowThreadProcessId(window, &processId);
    w.processId = processId;
    w.imagePath = s.ImageOf(processId);
    char text[1025];
    const int classLength = GetClassNameA(window, text, sizeof text);
    w.className.assign(text, classLength > 0 ? classLength : 0);
    const int titleLength = GetWindowTextA(window, text, sizeof text);
    w.title.assign(text, titleLength > 0 ? titleLength : 0);
    w.handle = reinterpret_cast<std::uintptr_t>(window);
    w.visible = IsWindowVisible(window) != 0;
    return SurveyRecord(s.data, w);
  }
};

}  // namespace

TProcessData SurveyWindows(bool takeAll, const std::string& searchedPath, long long searchedProcessId) {
  Survey survey;
  survey.data.takeAll = takeAll;
  survey.data.searchedPath = searchedPath.empty() ? "*" : searchedPath;
  survey.data.searchedProcessId = searchedProcessId;
  EnumWindows(Survey::Visit, reinterpret_cast<LPARAM>(&survey));
  return survey.data;
}

}  // namespace varnel
