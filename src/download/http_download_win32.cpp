#include "download/http_download.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "download/internet_library.h"
#include "utils/debug_stream.h"
#include "utils/message_pump.h"
#include "utils/system_helpers.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

// While the body is read on its own thread, the calling thread dispatches
// its messages as they come and looks at the bytes arrived this often for
// the progress and for a stop.
constexpr DWORD kProgressSliceMs = 25;
// A wait for WinINet looks at the abort flag and the clock this often.
constexpr DWORD kWaitSliceMs = 50;
constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
// One read takes at most this much of what has arrived: a fast line moves
// in few large reads, each one call, not one call per 8 KiB (under Wine a
// call costs about as much as copying a few hundred KiB).
constexpr DWORD kReadBytes = 1048576;

// Where the bytes of an asynchronous call land. A call that is given up
// (abort, stall) may still complete on WinINet's thread and write here, so
// such a slot is left to it until it ends.
struct AsyncSlot {
  char data[kReadBytes];
  DWORD count;
  INTERNET_BUFFERSA buffers;
  DWORD_PTR context;  // given up: the context of the call that holds it
  AsyncSlot* next;    // given up: the next such slot
};

// The completion of the asynchronous call under way. WinINet's status
// callback runs on a thread of WinINet's: it records the result of the
// transfer whose context is current and signals the event; the completion
// of a call given up earlier frees the slot that call was left.
struct AsyncState {
  CRITICAL_SECTION lock;
  AsyncSlot* orphans = nullptr;  // slots of calls given up, not yet ended
  HANDLE event = nullptr;
  DWORD_PTR context = 0;
  bool completed = false;
  DWORD_PTR result = 0;
  DWORD error = 0;
};

struct DownloadState {
  bool abort = false;
  bool writeFailed = false;  // the last download's file could not be written in full
  std::unique_ptr<TProgBar> progress;
  AsyncState async;
  DWORD_PTR lastContext = 0;
};

DownloadState g_download;

void PumpPending() { YieldX(0); }
std::uint32_t Tick() { return GetTickCount(); }

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
  if (status != INTERNET_STATUS_REQUEST_COMPLETE || !info) return;
  AsyncState& a = g_download.async;
  const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
  EnterCriticalSection(&a.lock);
  if (context == a.context) {
    a.result = result->dwResult;
    a.error = result->dwError;
    a.completed = true;
    SetEvent(a.event);
  } else {
    for (AsyncSlot** at = &a.orphans; *at; at = &(*at)->next) {
      if ((*at)->context != context) continue;
      AsyncSlot* ended = *at;
      *at = ended->next;
      delete ended;
      break;
    }
  }
  LeaveCriticalSection(&a.lock);
}

// A new context for a transfer (completions of older ones no longer count);
// 0 when the event can't be made.
DWORD_PTR NewContext() {
  AsyncState& a = g_download.async;
  if (!a.event) {
    InitializeCriticalSection(&a.lock);
    a.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!a.event) return 0;
  }
  EnterCriticalSection(&a.lock);
  a.context = ++g_download.lastContext;
  LeaveCriticalSection(&a.lock);
  return a.context;
}

// Before an asynchronous call: no completion seen yet. The event is reset
// when a completion is taken (Await), not here: most calls of a fast
// transfer complete at once and never touch it.
void Arm() {
  AsyncState& a = g_download.async;
  EnterCriticalSection(&a.lock);
  a.completed = false;
  LeaveCriticalSection(&a.lock);
}

// Completions of the current transfer no longer count.
void Forget() {
  AsyncState& a = g_download.async;
  if (!a.event) return;
  EnterCriticalSection(&a.lock);
  a.context = 0;
  LeaveCriticalSection(&a.lock);
}

std::string ErrorText(DWORD code) {
  if (code == 0) return {};
  const InternetApi* api = InternetLibrary();
  // WinINet's own error numbers are described by its library.
  const bool internet = code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST && api;
  return SystemMessageText(code, internet ? api->module : nullptr);
}

std::string LastResponseText(const InternetApi& api) {
  DWORD code = 0;
  char buffer[512];
  DWORD length = sizeof buffer;
  if (!api.lastResponseInfo(&code, buffer, &length)) return {};
  if (length >= sizeof buffer) length = sizeof buffer - 1;
  return std::string(buffer, length);
}

InternetHandle OpenSession(const InternetApi& api, const char* agent, DWORD flags = 0) {
  return InternetHandle(api.open(agent, INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, flags));
}

// The five time-outs of a download on a session or request handle.
void SetTimeouts(const InternetApi& api, HINTERNET handle, DWORD ms) {
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
    api.setOption(handle, option, &ms, sizeof ms);
  }
}

// A numeric header of the reply; false when it is missing.
bool QueryNumber(const InternetApi& api, HINTERNET request, DWORD what, std::uint64_t& value) {
  char buffer[32];
  DWORD length = sizeof buffer - 1;
  DWORD index = 0;
  if (!api.queryInfo(request, what, buffer, &length, &index)) return false;
  buffer[length < sizeof buffer ? length : sizeof buffer - 1] = 0;
  // Decimal digits after optional blanks; false for none or for a number
  // beyond 64 bits.
  const char* at = buffer;
  while (*at == ' ' || *at == '\t') ++at;
  std::uint64_t n = 0;
  const char* digits = at;
  for (; *at >= '0' && *at <= '9'; ++at) {
    const unsigned d = static_cast<unsigned>(*at - '0');
    if (n > (UINT64_MAX - d) / 10) return false;
    n = n * 10 + d;
  }
  if (at == digits) return false;
  value = n;
  return true;
}

// The reply's Last-Modified time as a DOS date-time, 0 when it has none.
std::uint32_t LastModifiedStamp(const InternetApi& api, HINTERNET request) {
  SYSTEMTIME time = {};
  DWORD length = sizeof time;
  DWORD index = 0;
  if (!api.queryInfo(request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &time, &length, &index))
    return 0;
  FILETIME fileTime;
  WORD date = 0;
  WORD clock = 0;
  if (!SystemTimeToFileTime(&time, &fileTime) || !FileTimeToDosDateTime(&fileTime, &date, &clock)) return 0;
  return static_cast<std::uint32_t>(date) << 16 | clock;
}

// Removes the partial files that earlier downloads of `destination` left:
// destination + "." + digits, nothing else (the name may come from the
// network, and "MyApp" must not take "MyApp.exe" with it). Read-only ones
// are not forced.
void DeletePartialFiles(const std::string& destination, const std::string& keep) {
  // npos + 1 is 0: a destination without folder is a name only.
  const std::size_t nameAt = destination.find_last_of("\\/") + 1;
  const std::string_view name = std::string_view(destination).substr(nameAt);
  std::string path = destination;
  path += ".*";
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileW(Wide(path).c_str(), &found));
  if (!find) return;
  do {
    const std::string foundName = Utf8(found.cFileName);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsPartialFileOf(name, foundName)) {
      path.replace(nameAt, std::string::npos, foundName);
      if (path != keep) DeleteFileW(Wide(path).c_str());
    }
  } while (FindNextFileW(find.get(), &found));
}

// The partial file could not be made or written: the text with the
// system's reason for the last error.
std::string WriteFailed(const std::string& path) {
  g_download.writeFailed = true;
  return WriteFailedText(path, ErrorText(GetLastError()));
}

// A text header of the reply; empty when it is missing.
std::string QueryText(const InternetApi& api, HINTERNET request, DWORD what) {
  char buffer[256];
  DWORD length = sizeof buffer - 1;
  DWORD index = 0;
  if (!api.queryInfo(request, what, buffer, &length, &index)) return {};
  return std::string(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
}

enum class Awaited { kDone, kStopped, kStalled };

struct Transfer {
  Transfer(const InternetApi& a, const DownloadLimits& l) : api(a), limits(l) {}
  const InternetApi& api;
  const DownloadLimits& limits;
  HINTERNET request = nullptr;
  std::string_view label;  // the file's name in the URL
  std::uint64_t length = kUnknownLength;  // for the progress and the rate
  std::uint64_t limit = 0;                // more bytes than this fail (0: none)
  TProgBar* progress = nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;     // the partial file, or none for content
  std::string* content = nullptr;
  std::string partialName;
  std::uint64_t done = 0;
  DWORD lastByte = 0;  // tick of the last byte (or of the start)
  bool quit = false;   // the thread's loop was asked to end
  // While the body is read on the reading thread: its id, the bytes it has
  // kept so far (for the progress), the caller's stop for it, its result.
  DWORD reader = 0;
  std::atomic<std::uint64_t> kept{0};
  std::atomic<bool> stop{false};
  std::string readError;
  std::unique_ptr<AsyncSlot> slot;  // made for a request's body
  bool abandoned = false;  // a call was given up (its slot left to it)
  bool retriable = false;  // the failure may pass: a resume may follow
};

bool OnReader(const Transfer& t) { return t.reader == GetCurrentThreadId(); }

// True when the transfer is to stop: on the reading thread, when the caller
// said so; on the caller's, on an abort, a quit or a cancelled bar.
bool Stopped(const Transfer& t) {
  if (OnReader(t)) return t.stop.load(std::memory_order_relaxed);
  return g_download.abort || t.quit || (t.progress && t.progress->Cancelled);
}

// Waits for the completion of the asynchronous call under way, until it
// completes, the transfer is stopped or no byte came within the stall
// deadline. The caller's thread dispatches its messages meanwhile; the
// reading thread has none.
Awaited Await(Transfer& t) {
  AsyncState& a = g_download.async;
  const bool reader = OnReader(t);
  for (;;) {
    EnterCriticalSection(&a.lock);
    const bool completed = a.completed;
    // Taken: the event is clear for the next call. A wake without a
    // completion (one given up earlier) is cleared too.
    ResetEvent(a.event);
    LeaveCriticalSection(&a.lock);
    if (completed) return Awaited::kDone;
    if (Stopped(t)) return Awaited::kStopped;
    const DWORD quiet = GetTickCount() - t.lastByte;
    if (quiet >= t.limits.stallMs) return Awaited::kStalled;
    const DWORD slice = t.limits.stallMs - quiet < kWaitSliceMs ? t.limits.stallMs - quiet : kWaitSliceMs;
    if (reader) {
      WaitForSingleObject(a.event, slice);
    } else if (MsgWaitForMultipleObjectsEx(1, &a.event, slice, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
               WAIT_OBJECT_0 + 1) {
      if (!YieldX(0)) t.quit = true;
    }
  }
}

// The text for a call that was given up. A call that reads (`reads`) may
// still write into the slot: the slot is left to it and freed when WinINet
// ends the call (closing the request does not; the server letting the
// connection go does); its context no longer counts for the transfer.
std::string GiveUp(Transfer& t, Awaited how, bool reads) {
  t.abandoned = true;
  t.retriable = how == Awaited::kStalled;
  if (reads && t.slot) {
    AsyncState& a = g_download.async;
    EnterCriticalSection(&a.lock);
    if (!a.completed) {
      AsyncSlot* left = t.slot.release();
      left->context = a.context;
      left->next = a.orphans;
      a.orphans = left;
      a.context = 0;
    }
    LeaveCriticalSection(&a.lock);
  }
  PinInternetLibrary();
  return how == Awaited::kStalled ? StalledText(t.label, t.limits.stallMs) : AbortedText();
}

// One asynchronous call (`call` starts it): kNow when it succeeded at
// once, kLater when it succeeded on completion; kFailed with `error` set.
enum class Called { kNow, kLater, kFailed };
template <typename Call>
Called Complete(Transfer& t, Call call, std::string& error) {
  Arm();
  if (call()) return Called::kNow;
  DWORD code = GetLastError();
  if (code == ERROR_IO_PENDING) {
    const Awaited how = Await(t);
    if (how != Awaited::kDone) {
      error = GiveUp(t, how, true);
      return Called::kFailed;
    }
    const AsyncState& a = g_download.async;
    if (a.result) return Called::kLater;
    code = a.error;
  }
  std::string detail = ErrorText(code);
  if (detail.empty()) detail = LastResponseText(t.api);
  error = ReadFailedText(t.label, detail);
  t.retriable = true;
  return Called::kFailed;
}

// A request whose reply headers are read and whose body is never read (the
// size query), sent on the asynchronous session like a download: the wait
// for the reply obeys the stall deadline and stops with the transfer.
// `request` is empty when the address is unusable, the request could not be
// sent or the wait was given up (`t.abandoned` tells the last).
struct HeaderRequest {
  InternetHandle connection;
  InternetHandle request;

  HeaderRequest(Transfer& t, HINTERNET session, const std::string& url, const char* verb, const char* headers,
                DWORD_PTR context) {
    const InternetApi& api = t.api;
    const std::string address = DownloadUrl(url);
    char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    std::string path(address.size() + 1, '\0');
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = &path[0];
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.dwExtraInfoLength = 1;  // the query stays part of the path
    if (!api.crackUrl(address.c_str(), 0, 0, &parts)) return;
    path.resize(parts.dwUrlPathLength);
    if (parts.lpszExtraInfo && parts.dwExtraInfoLength > 0) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    connection = InternetHandle(
        api.connect(session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, context));
    if (!connection) return;
    DWORD flags = kOpenFlags;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    request = InternetHandle(api.openRequest(connection.get(), verb, path.empty() ? "/" : path.c_str(), nullptr,
                                             nullptr, nullptr, flags, context));
    if (!request) return;
    const DWORD headerLength = headers ? static_cast<DWORD>(std::strlen(headers)) : 0;
    std::string error;
    t.lastByte = GetTickCount();
    if (Complete(t, [&] { return api.sendRequest(request.get(), headers, headerLength, nullptr, 0) != FALSE; },
                 error) == Called::kFailed)
      request.reset();
  }
};

// Reads what has arrived of the body, at most `most` bytes, into the slot
// (waiting for it when nothing has arrived yet); false with `error` set
// when that fails. count 0: the body ended. A read that does not wait
// (IRF_NO_WAIT) hands over at once whatever is there, so a fast line moves
// in large reads that complete without a hand-off through WinINet's
// thread, and every byte of a slow line counts against the stall deadline.
// When nothing is there the call completes once data came (without reading
// it): the read is asked again.
bool ReadChunk(Transfer& t, DWORD most, std::string& error) {
  AsyncSlot* slot = t.slot.get();
  for (;;) {
    INTERNET_BUFFERSA& buffers = slot->buffers;
    buffers = INTERNET_BUFFERSA();
    buffers.dwStructSize = sizeof buffers;
    buffers.lpvBuffer = slot->data;
    buffers.dwBufferLength = most;
    const Called read = Complete(
        t, [&] { return t.api.readFileEx(t.request, &buffers, IRF_NO_WAIT, 0) != FALSE; }, error);
    if (read == Called::kFailed) return false;
    if (read == Called::kNow && buffers.dwBufferLength > 0) {
      slot->count = buffers.dwBufferLength;
      return true;
    }
    if (read == Called::kLater) continue;
    // Nothing at once: the end of the body, unless the data is merely late
    // (a query of what is available waits for it, and says 0 at the end).
    slot->count = 0;
    const Called asked = Complete(
        t, [&] { return t.api.queryDataAvailable(t.request, &slot->count, 0, 0) != FALSE; }, error);
    if (asked == Called::kFailed) return false;
    if (asked == Called::kNow && slot->count == 0) return true;
  }
}

// The body of an error reply, as much as is needed to recognise an error page.
std::string ReadErrorPage(Transfer& t) {
  std::string page;
  std::string error;
  while (page.size() < 1000 && ReadChunk(t, kReadBytes, error) && t.slot->count > 0)
    page.append(t.slot->data, t.slot->count);
  return page;
}

// Hands a chunk to the partial file or to the content; the error text.
std::string Keep(Transfer& t, const char* data, DWORD count) {
  if (t.file != INVALID_HANDLE_VALUE) {
    if (!WriteWhole(t.file, data, count)) return WriteFailed(t.partialName);
  } else {
    t.content->append(data, count);
  }
  return {};
}

// Reads the body until it ends, fails, breaks a limit or is stopped, and
// keeps each chunk; returns the error text (empty when the stream ended
// normally). Each read takes what has arrived (at most kReadBytes), so a
// slow line still counts every byte against the stall deadline.
std::string ReadBody(Transfer& t) {
  std::string error;
  for (;;) {
    // Read on the caller's thread (no thread to be had), a stop comes
    // through its messages.
    if (!OnReader(t) && !YieldX(0)) t.quit = true;
    if (Stopped(t)) return AbortedText();
    if (!ReadChunk(t, kReadBytes, error)) return error;
    const AsyncSlot* slot = t.slot.get();
    const DWORD read = slot->count;
    if (read == 0) return {};
    t.lastByte = GetTickCount();
    if (t.limit && t.done + read > t.limit) return TooLargeText(t.label, t.limit);
    t.done += read;
    error = Keep(t, slot->data, read);
    if (!error.empty()) return error;
    t.kept.store(t.done, std::memory_order_release);
  }
}

// The thread that reads the body of one request. It is started before the
// request is sent, so that its start-up overlaps the wait for the reply,
// and waits to be told to read (RunTransfer); unused, it ends with this.
struct Reader {
  Transfer& t;
  KernelHandle go;
  KernelHandle thread;
  DWORD id = 0;
  bool read = false;  // set before `go`: the body is to be read

  static DWORD WINAPI Run(void* self) {
    Reader& r = *static_cast<Reader*>(self);
    WaitForSingleObject(r.go.get(), INFINITE);
    if (r.read) r.t.readError = ReadBody(r.t);
    return 0;
  }

  explicit Reader(Transfer& transfer) : t(transfer) {
    go.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (go) thread.reset(CreateThread(nullptr, 0, &Run, this, 0, &id));
  }
  ~Reader() { Finish(); }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Lets the thread end (it reads nothing unless told to) and waits for it.
  void Finish() {
    if (!thread) return;
    SetEvent(go.get());
    WaitForSingleObject(thread.get(), INFINITE);
    thread.reset();
  }
};

// Reads the body on the reader's thread while this thread dispatches its
// messages, shows the progress and passes a stop on: the reads and writes
// of a fast line never wait for a repaint, and a stop or a stall still ends
// the transfer within a wait slice (the reading thread gives up a pending
// call as this one would). Without a thread the body is read here. The
// window, when there is one, is shown once the reading has begun (mapping
// it takes a while). Returns the error text.
std::string RunTransfer(Transfer& t, Reader& reader, HWND window) {
  const ProgressPlan plan(t.length);
  if (t.progress) t.progress->Start(1, plan.maximum);
  TBytesRate rate = TBytesRate::ForLength(t.length);
  std::uint64_t stepsSent = 0;
  std::uint64_t shown = t.done;  // a resumed transfer's rate counts its new bytes only
  auto showProgress = [&] {
    const std::uint64_t kept = t.kept.load(std::memory_order_acquire);
    if (kept == shown) return;
    const std::string text = rate.Text(t.length, kept, static_cast<std::uint32_t>(kept - shown), Tick());
    shown = kept;
    const std::uint64_t due = plan.StepsDue(kept);
    if (t.progress && due > stepsSent) t.progress->Step(text, static_cast<int>(due - stepsSent));
    stepsSent = due;
  };
  t.kept.store(t.done, std::memory_order_relaxed);
  t.stop.store(false, std::memory_order_relaxed);
  t.readError.clear();
  if (reader.thread) {
    t.reader = reader.id;
    reader.read = true;
    SetEvent(reader.go.get());
    if (window) ShowWindow(window, SW_SHOW);
    HANDLE ended = reader.thread.get();
    for (;;) {
      const DWORD woke = MsgWaitForMultipleObjectsEx(1, &ended, kProgressSliceMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      if (woke == WAIT_OBJECT_0 + 1 && !YieldX(0)) t.quit = true;
      if (Stopped(t)) t.stop.store(true, std::memory_order_relaxed);
      if (woke == WAIT_OBJECT_0) break;
      showProgress();
    }
    reader.Finish();
    t.reader = 0;
  } else {
    if (window) ShowWindow(window, SW_SHOW);
    t.readError = ReadBody(t);
  }
  showProgress();
  if (t.progress) t.progress->Flush();
  std::string error = std::move(t.readError);
  if (error.empty() && Stopped(t)) error = AbortedText();
  return error;
}

// Opens the address on the asynchronous session: the request, or none with
// the error text.
InternetHandle OpenAsync(Transfer& t, HINTERNET session, const std::string& url, const std::string& headers,
                         DWORD_PTR context, std::string& error) {
  HINTERNET opened = nullptr;
  Arm();
  opened = t.api.openUrl(session, DownloadUrl(url).c_str(), headers.empty() ? nullptr : headers.c_str(),
                         static_cast<DWORD>(headers.size()), kOpenFlags, context);
  DWORD code = opened ? 0 : GetLastError();
  if (!opened && code == ERROR_IO_PENDING) {
    const Awaited how = Await(t);
    if (how != Awaited::kDone) {
      error = GiveUp(t, how, false);
      return InternetHandle();
    }
    opened = reinterpret_cast<HINTERNET>(g_download.async.result);
    code = opened ? 0 : g_download.async.error;
  }
  if (!opened) error = OpenFailedText(url, code, ErrorText(code));
  return InternetHandle(opened);
}

// Waits ms while dispatching messages; false when the transfer is stopped.
bool Pause(Transfer& t, DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    if (Stopped(t)) return false;
    if (!YieldX(10)) t.quit = true;
  }
  return !Stopped(t);
}

// The partial file from its start (CREATE_ALWAYS) or continued at its end.
bool OpenPartial(Transfer& t, FileHandle& file, bool fresh) {
  file.reset(CreateFileW(Wide(t.partialName).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         fresh ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER end = {};
  if (file && !fresh && !SetFilePointerEx(file.get(), end, nullptr, FILE_END)) file.reset();
  t.file = file ? file.get() : INVALID_HANDLE_VALUE;
  return static_cast<bool>(file);
}

// The first partial file of `destination` that a search finds, or "".
std::string ExistingPartialFile(const std::string& destination) {
  const std::size_t nameAt = destination.find_last_of("\\/") + 1;
  const std::string_view name = std::string_view(destination).substr(nameAt);
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileW(Wide(destination + ".*").c_str(), &found));
  if (!find) return {};
  do {
    const std::string foundName = Utf8(found.cFileName);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsPartialFileOf(name, foundName))
      return destination.substr(0, nameAt) + foundName;
  } while (FindNextFileW(find.get(), &found));
  return {};
}

// The size of a file, -1 when it is missing.
std::int64_t FileLength(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
}

enum class Step { kDone, kFailed, kAgain };

// What one request of a download keeps for the next.
struct Session {
  HINTERNET handle;
  HWND window;
  const std::string& url;
  const std::string& destination;
  FileHandle file;
  std::string validator;  // the first reply's ETag or Last-Modified, for If-Range
};

// The headers of a 200 that starts the file anew: checks them, names and
// opens the partial file.
Step StartFile(Transfer& t, Session& s, std::string& error) {
  const DownloadLimits& limits = t.limits;
  std::uint64_t length = 0;
  const bool announced = QueryNumber(t.api, t.request, HTTP_QUERY_CONTENT_LENGTH, length);
  const std::uint32_t stamp = LastModifiedStamp(t.api, t.request);
  if (announced && length == 0) error = FileNotFoundText(s.url);
  else if (announced && limits.expectedBytes && length != limits.expectedBytes)
    error = WrongLengthText(t.label, length, limits.expectedBytes);
  else if (announced && !limits.expectedBytes && limits.capBytes && length > limits.capBytes)
    error = TooLargeText(t.label, limits.capBytes);  // an announced length is no licence to pass the cap
  if (!error.empty()) return Step::kFailed;
  t.length = announced ? length : limits.expectedBytes ? limits.expectedBytes : kUnknownLength;
  t.limit = announced ? length : limits.expectedBytes ? limits.expectedBytes : limits.capBytes;
  t.done = 0;
  s.validator = ResumeValidator(QueryText(t.api, t.request, HTTP_QUERY_ETAG),
                                QueryText(t.api, t.request, HTTP_QUERY_LAST_MODIFIED));
  if (!announced) s.validator.clear();  // a range needs the whole length
  if (s.destination.empty()) {
    t.content->clear();
    return Step::kDone;
  }
  const std::string name = PartialFileName(s.destination, announced ? length : kUnknownLength, stamp);
  const bool same = name == t.partialName;
  if (!same && !t.partialName.empty()) {
    s.file.reset();
    DeleteFileW(Wide(t.partialName).c_str());
  }
  t.partialName = name;
  DeletePartialFiles(s.destination, t.partialName);
  // Kept open for the whole transfer; every chunk is written as it comes,
  // so the file holds every byte received so far.
  s.file.reset();
  if (!OpenPartial(t, s.file, true)) {
    error = WriteFailed(t.partialName);
    return Step::kFailed;
  }
  return Step::kDone;
}

// One request: the reply's status, then the body. t.done > 0 asks for the
// rest of the file (Range, validated by If-Range).
Step Attempt(Transfer& t, Session& s, std::string& error) {
  const DWORD_PTR context = NewContext();
  if (!context) {
    error = InitFailedText();
    return Step::kFailed;
  }
  if (!t.slot) t.slot.reset(new AsyncSlot);
  const bool ranged = t.done > 0;
  const std::string headers = ranged ? RangeRequestHeaders(t.done, s.validator) : std::string();
  Reader reader(t);
  t.lastByte = GetTickCount();
  InternetHandle request = OpenAsync(t, s.handle, s.url, headers, context, error);
  if (!request) {
    // A stall or a lost connection while opening may pass; a refusal
    // before any byte came is final.
    t.retriable = ranged || t.abandoned;
    return Step::kFailed;
  }
  t.request = request.get();

  std::uint64_t status = 0;
  QueryNumber(t.api, t.request, HTTP_QUERY_STATUS_CODE, status);
  if (ranged && status == 416 && s.validator.empty()) {
    // A left partial file no shorter than the file: start anew.
    s.file.reset();
    DeleteFileW(Wide(t.partialName).c_str());
    t.partialName.clear();
    t.done = 0;
    return Step::kAgain;
  }
  if (status >= 400) {
    const std::string page = ReadErrorPage(t);
    error = HTTP_Is404Page(page) ? ErrorPageMessage(s.url) : StatusErrorText(s.url, static_cast<unsigned>(status));
    return Step::kFailed;
  }
  if (ranged && status == 206) {
    ContentRange range;
    const bool parsed = ParseContentRange(QueryText(t.api, t.request, HTTP_QUERY_CONTENT_RANGE), range) &&
                        range.first == t.done && range.total >= 0;
    const std::uint64_t total = parsed ? static_cast<std::uint64_t>(range.total) : 0;
    if (parsed && s.validator.empty()) {
      // The rest of a partial file left by an earlier call: it belongs to
      // this file when the name it was given (length and stamp) is the one
      // this reply gives.
      const std::uint32_t stamp = LastModifiedStamp(t.api, t.request);
      if (PartialFileName(s.destination, total, stamp) != t.partialName ||
          (t.limits.expectedBytes && total != t.limits.expectedBytes) ||
          (!t.limits.expectedBytes && t.limits.capBytes && total > t.limits.capBytes)) {
        s.file.reset();
        DeleteFileW(Wide(t.partialName).c_str());
        t.partialName.clear();
        t.done = 0;
        return Step::kAgain;
      }
      t.length = t.limit = total;
      s.validator = ResumeValidator(QueryText(t.api, t.request, HTTP_QUERY_ETAG),
                                    QueryText(t.api, t.request, HTTP_QUERY_LAST_MODIFIED));
    } else if (!parsed || total != t.length) {
      error = StatusErrorText(s.url, 206);
      return Step::kFailed;
    }
  } else if (status == 200) {
    // A first reply, or a server that sends the whole file again (no
    // ranges, or the file changed): it starts over.
    const Step started = StartFile(t, s, error);
    if (started != Step::kDone) return started;
  } else {
    // Only a 200 is the file: a 204, a 206 nobody asked for or a redirect
    // that was not followed is not.
    error = StatusErrorText(s.url, static_cast<unsigned>(status));
    return Step::kFailed;
  }

  error = RunTransfer(t, reader, reinterpret_cast<UINT_PTR>(s.window) > 10 ? s.window : nullptr);
  if (error.empty() && t.done == 0) error = FileNotFoundText(s.url);
  if (error.empty() && t.length != kUnknownLength && t.done != t.length) {
    error = IncompleteText(t.label, t.done, t.length);
    t.retriable = true;
  }
  return error.empty() ? Step::kDone : Step::kFailed;
}

// Everything from opening the address to the finished destination; returns
// the error text. With limits.resume a transfer that broke off (a failed
// read, a stall, a cut) continues where it stopped, up to kResumeTries
// times after growing pauses, and a partial file that could be continued
// stays when the download fails.
std::string Download(const InternetApi& api, HINTERNET session, HWND window, const std::string& url,
                     const std::string& destination, TProgBar* progress, std::string& content,
                     const DownloadLimits& limits) {
  SetTimeouts(api, session, limits.stallMs);
  api.setStatusCallback(session, &OnStatus);
  Transfer t(api, limits);
  t.label = FileLabel(url);
  t.progress = progress;
  t.content = &content;
  Session s{session, window, url, destination, FileHandle(), std::string()};
  std::string error;
  if (limits.resume && !destination.empty()) {
    // A partial file of an earlier call: its rest is asked for first.
    t.partialName = ExistingPartialFile(destination);
    const std::int64_t kept = t.partialName.empty() ? -1 : FileLength(t.partialName);
    if (kept > 0 && OpenPartial(t, s.file, false)) t.done = static_cast<std::uint64_t>(kept);
    else t.partialName.clear();
  }
  for (unsigned retries = 0;;) {
    error.clear();
    t.retriable = false;
    t.abandoned = false;
    const Step step = Attempt(t, s, error);
    if (step == Step::kDone) break;
    if (step == Step::kAgain) continue;
    if (!limits.resume || !t.retriable || Stopped(t) || retries >= kResumeTries) break;
    DebugLine("HTTP_DownloadFile_Incremental: %s; again from byte %llu", error.c_str(),
              static_cast<unsigned long long>(t.done));
    if (!Pause(t, kResumePauseMs << retries)) {
      error = AbortedText();
      break;
    }
    ++retries;
    if (s.validator.empty()) t.done = 0;  // nothing to validate a range with
  }
  s.file.reset();
  if (!error.empty()) {
    const bool keep = limits.resume && !s.validator.empty() && t.done > 0 && (t.retriable || Stopped(t));
    if (!t.partialName.empty() && !keep) DeleteFileW(Wide(t.partialName).c_str());
    if (destination.empty()) content.clear();
    return error;
  }
  if (!destination.empty() &&
      !MoveFileExW(Wide(t.partialName).c_str(), Wide(destination).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
    error = RenameFailedText(t.partialName, destination, ErrorText(GetLastError()));
    DeleteFileW(Wide(t.partialName).c_str());
  }
  return error;
}

// The length a header request's reply gives for the whole file: a 200's
// Content-Length or the total of a 206's Content-Range; -1 when none.
std::int64_t ReplyFileLength(const InternetApi& api, HINTERNET request) {
  std::uint64_t status = 0;
  std::uint64_t length = 0;
  QueryNumber(api, request, HTTP_QUERY_STATUS_CODE, status);
  if (status == 206) {
    ContentRange range;
    if (!ParseContentRange(QueryText(api, request, HTTP_QUERY_CONTENT_RANGE), range)) return -1;
    return range.total;
  }
  if (status != 200 || !QueryNumber(api, request, HTTP_QUERY_CONTENT_LENGTH, length)) return -1;
  return static_cast<std::int64_t>(length);
}

// The size query (or, with connectOnly, one HEAD to prime the connection)
// on an asynchronous session: each request obeys the stall deadline, and a
// close or a stop ends the query within a wait slice (-1).
std::int64_t QuerySize(const std::string& url, std::uint32_t stallMs, bool connectOnly) {
  const InternetApi* api = InternetLibrary();
  if (!api) return -1;
  InternetHandle session = OpenSession(*api, "HTTP_Connect_2", INTERNET_FLAG_ASYNC);
  const DWORD_PTR context = session ? NewContext() : 0;
  if (!context) return -1;
  SetTimeouts(*api, session.get(), stallMs);
  api->setStatusCallback(session.get(), &OnStatus);
  DownloadLimits limits;
  limits.stallMs = stallMs;
  Transfer t(*api, limits);
  t.label = FileLabel(url);
  std::int64_t length = -1;
  bool again = true;
  {
    HeaderRequest head(t, session.get(), url, "HEAD", nullptr, context);
    std::uint64_t status = 0;
    if (head.request) QueryNumber(*api, head.request.get(), HTTP_QUERY_STATUS_CODE, status);
    // An error reply's length is not the file's; only a refused HEAD, or
    // one without a length, is asked again.
    if (status == 200) length = ReplyFileLength(*api, head.request.get());
    else again = status == 405 || status == 501;
  }
  if (length < 0 && again && !connectOnly && !Stopped(t)) {
    // One byte asked for: the reply's headers tell the whole length, and
    // closing the request costs at most that byte.
    HeaderRequest get(t, session.get(), url, "GET", "Range: bytes=0-0\r\n", context);
    if (get.request) length = ReplyFileLength(*api, get.request.get());
  }
  Forget();
  if (connectOnly || length < 0) return -1;
  DebugLine("HTTP_GetFileSize=%llu  %s", static_cast<unsigned long long>(length), url.c_str());
  return length;
}

}  // namespace

bool DownloadAbort() { return g_download.abort; }
bool DownloadWriteFailed() { return g_download.writeFailed; }
void SetDownloadAbort(bool abort) { g_download.abort = abort; }

TProgBar& DownloadProgressBar(ProgressCallbackFn sink) {
  std::unique_ptr<TProgBar>& bar = g_download.progress;
  if (!bar) bar = std::make_unique<TProgBar>(sink, &PumpPending, &Tick);
  return *bar;
}

bool InternetConnected(std::string& errorText) {
  errorText.clear();
  const InternetApi* api = InternetLibrary();
  DWORD flags = 0;
  if (api && api->getConnectedState(&flags, 0)) return true;
  errorText = ErrorText(GetLastError());
  return false;
}

void HTTP_Connect(const std::string& url) { QuerySize(url, kStallDeadlineMs, true); }

std::int64_t HTTP_GetFileSize(const std::string& url, std::uint32_t stallMs) {
  return QuerySize(url, stallMs, false);
}

bool HTTP_DownloadFile_Incremental(HWND window, const std::string& url, const std::string& destination,
                                   std::string& errorText, TProgBar* progress, std::string& content,
                                   const DownloadLimits& limits) {
  errorText.clear();
  content.clear();
  g_download.writeFailed = false;
  const InternetApi* api = InternetLibrary();
  InternetHandle session;
  if (api) session = OpenSession(*api, "HTTP_Connect_3", INTERNET_FLAG_ASYNC);
  if (!session) errorText = InitFailedText();
  else errorText = Download(*api, session.get(), window, url, destination, progress, content, limits);
  Forget();
  if (!errorText.empty()) {
    DebugLine("%lu HTTP_DownloadFile_Incremental: %s", GetCurrentProcessId(), errorText.c_str());
  }
  return errorText.empty();
}

std::string HTTP_404Message(const std::string& filePath, const std::string& content, const std::string& url,
                            const std::string& defaultText) {
  std::string text = content;
  if (!filePath.empty() && GetFileAttributesW(Wide(filePath).c_str()) != INVALID_FILE_ATTRIBUTES) {
    text.clear();
    FileHandle file(CreateFileW(Wide(filePath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[1000];
    DWORD read = 0;
    if (file && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) text.assign(buffer, read);
  }
  return HTTP_404Message(text, url, defaultText);
}

}  // namespace varnel
