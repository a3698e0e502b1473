#include "download/http_download.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "download/internet_library.h"
#include "utils/debug_stream.h"
#include "utils/message_pump.h"
#include "utils/system_helpers.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

constexpr DWORD kDownloadTimeoutMs = 180000;
// Pending messages are dispatched at most this often during a transfer:
// under Wine each look at the queue costs tens of microseconds, as much as
// reading a chunk on a fast line.
constexpr DWORD kPumpIntervalMs = 10;
constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

struct DownloadState {
  bool abort = false;
  bool writeFailed = false;  // the last download's file could not be written in full
  std::unique_ptr<TProgBar> progress;
};

DownloadState g_download;

void PumpPending() { YieldX(0); }
std::uint32_t Tick() { return GetTickCount(); }

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

InternetHandle OpenSession(const InternetApi& api, const char* agent) {
  return InternetHandle(api.open(agent, INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, 0));
}

InternetHandle OpenAddress(const InternetApi& api, HINTERNET session, const std::string& url) {
  return InternetHandle(api.openUrl(session, DownloadUrl(url).c_str(), nullptr, 0, kOpenFlags, 0));
}

// A HEAD request for the URL: the reply's headers without its body. A GET
// closed before its body was read would make WinINet read the whole body
// first to keep the connection (Wine does), which for a large file costs a
// second download.
struct HeadRequest {
  InternetHandle connection;
  InternetHandle request;

  HeadRequest(const InternetApi& api, HINTERNET session, const std::string& url) {
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
        api.connect(session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return;
    DWORD flags = kOpenFlags;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    request = InternetHandle(api.openRequest(connection.get(), "HEAD", path.empty() ? "/" : path.c_str(), nullptr,
                                             nullptr, nullptr, flags, 0));
    if (request && !api.sendRequest(request.get(), nullptr, 0, nullptr, 0)) request.reset();
  }
};

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
void DeletePartialFiles(const std::string& destination) {
  // npos + 1 is 0: a destination without folder is a name only.
  const std::size_t nameAt = destination.find_last_of("\\/") + 1;
  const std::string_view name = std::string_view(destination).substr(nameAt);
  std::string path = destination;
  path += ".*";
  WIN32_FIND_DATAA found;
  FindHandle find(FindFirstFileA(path.c_str(), &found));
  if (!find) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsPartialFileOf(name, found.cFileName)) {
      path.replace(nameAt, std::string::npos, found.cFileName);
      DeleteFileA(path.c_str());
    }
  } while (FindNextFileA(find.get(), &found));
}

// The body of an error reply, as much as is needed to recognise an error page.
std::string ReadErrorPage(const InternetApi& api, HINTERNET request) {
  std::string page;
  char buffer[1024];
  DWORD read = 0;
  while (page.size() < 1000 && api.readFile(request, buffer, sizeof buffer, &read) && read > 0)
    page.append(buffer, read);
  return page;
}

// The partial file could not be made or written: the text with the
// system's reason for the last error.
std::string WriteFailed(const std::string& path) {
  g_download.writeFailed = true;
  return WriteFailedText(path, ErrorText(GetLastError()));
}

struct Transfer {
  const InternetApi& api;
  HINTERNET request;
  std::string_view label;  // the file's name in the URL
  std::uint64_t length;
  TProgBar* progress;
  HANDLE file;          // the partial file, or INVALID_HANDLE_VALUE for content
  std::string* content;
  std::string partialName;
  std::uint64_t done = 0;
};

// True when the transfer is to stop after the current chunk.
bool Stopped(const Transfer& t) { return g_download.abort || (t.progress && t.progress->Cancelled); }

// Reads the body chunk by chunk until it ends, fails or is stopped; returns
// the error text (empty when the stream ended normally).
std::string RunTransfer(Transfer& t) {
  const std::uint32_t chunk = ChunkSize(t.length);
  const ProgressPlan plan(t.length);
  if (t.progress) t.progress->Start(1, plan.maximum);
  TBytesRate rate = TBytesRate::ForLength(t.length);
  std::vector<char> buffer(kChunkBytes);
  std::uint64_t stepsSent = 0;
  DWORD lastPump = GetTickCount();
  std::string error;
  for (;;) {
    const DWORD now = GetTickCount();
    if (now - lastPump >= kPumpIntervalMs) {
      PumpPending();
      lastPump = now;
    }
    DWORD read = 0;
    if (!t.api.readFile(t.request, buffer.data(), chunk, &read)) {
      std::string detail = ErrorText(GetLastError());
      if (detail.empty()) detail = LastResponseText(t.api);
      error = ReadFailedText(t.label, detail);
      break;
    }
    if (read == 0) break;
    t.done += read;
    if (t.file != INVALID_HANDLE_VALUE) {
      if (!WriteWhole(t.file, buffer.data(), read)) {
        error = WriteFailed(t.partialName);
        break;
      }
    } else {
      t.content->append(buffer.data(), read);
    }
    const std::string text = rate.Text(t.length, t.done, read, Tick());
    const std::uint64_t due = plan.StepsDue(t.done);
    if (t.progress && due > stepsSent) t.progress->Step(text, static_cast<int>(due - stepsSent));
    stepsSent = due;
    if (Stopped(t)) break;
  }
  if (t.progress) t.progress->Flush();
  if (Stopped(t)) error = AbortedText();
  return error;
}

// The five time-outs of a download on a session or request handle.
void SetTimeouts(const InternetApi& api, HINTERNET handle) {
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
    DWORD ms = kDownloadTimeoutMs;
    api.setOption(handle, option, &ms, sizeof ms);
  }
}

// Everything from opening the address to the finished destination; returns
// the error text.
std::string Download(const InternetApi& api, HINTERNET session, HWND window, const std::string& url,
                     const std::string& destination, TProgBar* progress, std::string& content) {
  SetTimeouts(api, session);
  InternetHandle request = OpenAddress(api, session, url);
  if (!request) {
    const DWORD code = GetLastError();
    return OpenFailedText(url, code, ErrorText(code));
  }
  // The request gets them too, for the reads of its body.
  SetTimeouts(api, request.get());

  std::uint64_t status = 0;
  if (QueryNumber(api, request.get(), HTTP_QUERY_STATUS_CODE, status) && status >= 400) {
    const std::string page = ReadErrorPage(api, request.get());
    return HTTP_Is404Page(page) ? ErrorPageMessage(url) : StatusErrorText(url, static_cast<unsigned>(status));
  }
  std::uint64_t length = 0;
  const bool announced = QueryNumber(api, request.get(), HTTP_QUERY_CONTENT_LENGTH, length);
  if (!announced) length = kUnknownLength;
  const std::uint32_t stamp = LastModifiedStamp(api, request.get());
  if (length == 0) return FileNotFoundText(url);

  if (reinterpret_cast<UINT_PTR>(window) > 10) ShowWindow(window, SW_SHOW);

  Transfer t{api, request.get(), FileLabel(url), length, progress, INVALID_HANDLE_VALUE, &content, {}};
  FileHandle file;
  if (!destination.empty()) {
    t.partialName = PartialFileName(destination, length, stamp);
    DeletePartialFiles(destination);
    // Kept open for the whole transfer; every chunk is written as it comes,
    // so the file holds every byte received so far.
    file.reset(CreateFileA(t.partialName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return WriteFailed(t.partialName);
    t.file = file.get();
  }

  std::string error = RunTransfer(t);
  file.reset();
  if (!error.empty()) return error;
  if (announced && t.done != length) return IncompleteText(t.label, t.done, length);
  if (!destination.empty() &&
      !MoveFileExA(t.partialName.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
    return RenameFailedText(t.partialName, destination, ErrorText(GetLastError()));
  return {};
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

void HTTP_Connect(const std::string& url) {
  const InternetApi* api = InternetLibrary();
  if (!api) return;
  InternetHandle session = OpenSession(*api, "HTTP_Connect_2");
  if (session) HeadRequest request(*api, session.get(), url);
}

std::int64_t HTTP_GetFileSize(const std::string& url) {
  HTTP_Connect(url);
  const InternetApi* api = InternetLibrary();
  if (!api) return -1;
  InternetHandle session = OpenSession(*api, "HTTP_Connect_2");
  if (!session) return -1;
  HeadRequest request(*api, session.get(), url);
  if (!request.request) return -1;
  std::uint64_t status = 0;
  std::uint64_t length = 0;
  // An error reply's length is not the file's.
  if (QueryNumber(*api, request.request.get(), HTTP_QUERY_STATUS_CODE, status) && status >= 400) return -1;
  if (!QueryNumber(*api, request.request.get(), HTTP_QUERY_CONTENT_LENGTH, length)) return -1;
  DebugLine("HTTP_GetFileSize=%llu  %s", static_cast<unsigned long long>(length), url.c_str());
  return static_cast<std::int64_t>(length);
}

bool HTTP_DownloadFile_Incremental(HWND window, const std::string& url, const std::string& destination,
                                   std::string& errorText, TProgBar* progress, std::string& content) {
  errorText.clear();
  content.clear();
  g_download.writeFailed = false;
  const InternetApi* api = InternetLibrary();
  InternetHandle session;
  if (api) session = OpenSession(*api, "HTTP_Connect_3");
  if (!session) errorText = InitFailedText();
  else errorText = Download(*api, session.get(), window, url, destination, progress, content);
  if (!errorText.empty()) {
    DebugLine("%lu HTTP_DownloadFile_Incremental: %s", GetCurrentProcessId(), errorText.c_str());
  }
  return errorText.empty();
}

std::string HTTP_404Message(const std::string& filePath, const std::string& content, const std::string& url,
                            const std::string& defaultText) {
  std::string text = content;
  if (!filePath.empty() && GetFileAttributesA(filePath.c_str()) != INVALID_FILE_ATTRIBUTES) {
    text.clear();
    FileHandle file(CreateFileA(filePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[1000];
    DWORD read = 0;
    if (file && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) text.assign(buffer, read);
  }
  return HTTP_404Message(text, url, defaultText);
}

}  // namespace varnel
