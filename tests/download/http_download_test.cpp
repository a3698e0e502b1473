// HTTP_DownloadFile_Incremental and HTTP_GetFileSize against a loopback
// server (tests/e2e/loopback_server.py), under Wine. The scenario
// tests/e2e/test_http_download.py starts the server and runs this program
// with the server's addresses in the environment:
//   VARNEL_HTTP_BASE     http://127.0.0.1:PORT/
//   VARNEL_HTTP_FILES    the served folder (Windows path)
//   VARNEL_REFUSED_PORT  a loopback port where nothing listens
//   VARNEL_HTTPS_TRUSTED / VARNEL_HTTPS_UNTRUSTED  https://localhost:PORT/
//                        (only in the TLS scenario)
#include "download/http_download.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

// The blocks of 256 KiB or more that this program's `new` gave and its
// `delete` has not taken back (the download's read buffers are such blocks):
// a table of their addresses, filled and emptied by the replaced global
// operators, which otherwise do what the library's do.
struct BigBlocks {
  static constexpr std::size_t kBig = 262144;
  static std::atomic<void*> table[64];
  static int Alive() {
    int n = 0;
    for (auto& at : table) n += at.load() != nullptr;
    return n;
  }
};
std::atomic<void*> BigBlocks::table[64];

void* operator new(std::size_t n) {
  void* block = std::malloc(n ? n : 1);
  if (!block) std::abort();
  if (n >= BigBlocks::kBig) {
    for (auto& at : BigBlocks::table) {
      void* empty = nullptr;
      if (at.compare_exchange_strong(empty, block)) break;
    }
  }
  return block;
}

void operator delete(void* block) noexcept {
  if (!block) return;
  for (auto& at : BigBlocks::table) {
    void* held = block;
    if (at.compare_exchange_strong(held, nullptr)) break;
  }
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

namespace varnel {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string ReadAll(const std::string& path) {
  FileHandle f(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr));
  if (!f) return "<missing>";
  std::string data;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(f.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) data.append(buffer, read);
  return data;
}

void Write(const std::string& path, const std::string& data) {
  SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  FileHandle f(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(f && WriteFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
}

// The partial files of `destination` (destination + "." + digits).
std::vector<std::string> PartialFiles(const std::string& destination) {
  std::vector<std::string> names;
  const std::string name = destination.substr(destination.find_last_of('\\') + 1);
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(Wide(destination + ".*").c_str(), &data));
  if (find) do {
      if (IsPartialFileOf(name, Utf8(data.cFileName))) names.push_back(Utf8(data.cFileName));
    } while (FindNextFileW(find.get(), &data));
  return names;
}

bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// Names in `folder` matching the pattern.
std::vector<std::string> Found(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(Wide(pattern).c_str(), &data));
  if (find) do {
      names.push_back(Utf8(data.cFileName));
    } while (FindNextFileW(find.get(), &data));
  return names;
}

// What the progress sink saw, and what the test wants done at a step.
struct Recorder {
  static std::vector<int> inits;  // maximum of each start
  static std::vector<std::string> texts;  // the text of each step event
  static int steps;                       // steps made in all
  static std::string watchPattern;  // files looked for at each step
  static std::vector<std::string> seenDuringTransfer;
  static HWND postAtStep;           // a window to post WM_USER to at the first step
  static void Sink(int kind, int, int maximum, const std::string& text, int step) {
    if (kind == kProgressInit) inits.push_back(maximum);
    if (kind != kProgressSteps) return;
    texts.push_back(text);
    steps += step;
    if (!watchPattern.empty())
      for (const std::string& n : Found(watchPattern)) seenDuringTransfer.push_back(n);
    if (postAtStep) {
      PostMessageA(postAtStep, WM_USER, 0, 0);
      postAtStep = nullptr;
    }
  }
  static void Reset() {
    inits.clear();
    texts.clear();
    steps = 0;
    watchPattern.clear();
    seenDuringTransfer.clear();
    postAtStep = nullptr;
  }
};
std::vector<int> Recorder::inits;
std::vector<std::string> Recorder::texts;
int Recorder::steps = 0;
std::string Recorder::watchPattern;
std::vector<std::string> Recorder::seenDuringTransfer;
HWND Recorder::postAtStep = nullptr;

void NoPump() {}
std::uint32_t Tick() { return GetTickCount(); }

class HttpDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = Env("VARNEL_HTTP_BASE");
    files_ = Env("VARNEL_HTTP_FILES");
    if (base_.empty()) GTEST_SKIP() << "no loopback server (run by tests/e2e/test_http_download.py)";
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    // Paths are UTF-8: the destination's folder is named in three scripts,
    // which no ANSI code page holds together.
    folder_ = Utf8(temp) + "varnel_http_\xD0\xA3\xD1\x81\xD1\x82 \xE5\xAE\x89\xE8\xA3\x85 \xCE\x95\xCE\xBB_" +
              std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(Wide(folder_).c_str(), nullptr));
    dest_ = folder_ + "\\setup.exe";
    Recorder::Reset();
    SetDownloadAbort(false);
  }
  void TearDown() override {
    for (const std::string& n : Found(folder_ + "\\*")) {
      if (n == "." || n == "..") continue;
      SetFileAttributesW(Wide(folder_ + "\\" + n).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(Wide(folder_ + "\\" + n).c_str());
    }
    RemoveDirectoryW(Wide(folder_).c_str());
  }
  std::string Served(const std::string& name) { return ReadAll(files_ + "\\" + name); }
  // The partial file name of `destinationName` for the served file: its
  // length + the DOS time of Last-Modified (its write time, whole seconds).
  std::string PartialNameOf(const std::string& destinationName, const std::string& servedName) {
    WIN32_FILE_ATTRIBUTE_DATA served;
    if (!GetFileAttributesExA((files_ + "\\" + servedName).c_str(), GetFileExInfoStandard, &served)) return "?";
    SYSTEMTIME st;
    FileTimeToSystemTime(&served.ftLastWriteTime, &st);
    st.wMilliseconds = 0;
    FILETIME whole;
    SystemTimeToFileTime(&st, &whole);
    WORD date = 0, time = 0;
    FileTimeToDosDateTime(&whole, &date, &time);
    return destinationName + "." +
           std::to_string(static_cast<std::uint32_t>(served.nFileSizeLow + (std::uint32_t(date) << 16 | time)));
  }

  // Downloads path (relative to the server) into dest_ (or into content).
  bool Get(const std::string& path, bool toFile = true, TProgBar* progress = nullptr) {
    error_ = "unset";
    return HTTP_DownloadFile_Incremental(nullptr, base_ + path, toFile ? dest_ : std::string(), error_, progress,
                                         content_);
  }

  std::string base_, files_, folder_, dest_, error_, content_;
};

TEST_F(HttpDownload, FileWithLengthArrivesWholeThroughItsPartialFile) {
  TProgBar progress(&Recorder::Sink, &NoPump, &Tick);
  Recorder::watchPattern = dest_ + ".*";
  // Left-overs: an earlier partial file goes, files that merely share the
  // name's start stay.
  Write(dest_ + ".987", "old partial");
  Write(dest_ + ".txt", "keep");
  Write(folder_ + "\\setup.exe2.1", "keep");
  ASSERT_TRUE(Get("files/medium.bin", true, &progress)) << error_;
  EXPECT_EQ(error_, "");
  EXPECT_EQ(ReadAll(dest_), Served("medium.bin"));
  EXPECT_FALSE(Exists(dest_ + ".987"));
  EXPECT_TRUE(Exists(dest_ + ".txt"));
  EXPECT_TRUE(Exists(folder_ + "\\setup.exe2.1"));

  // During the transfer the bytes went to setup.exe.N, N = length + the
  // DOS time of Last-Modified (the served file's write time, whole seconds).
  WIN32_FILE_ATTRIBUTE_DATA served;
  ASSERT_TRUE(GetFileAttributesExA((files_ + "\\medium.bin").c_str(), GetFileExInfoStandard, &served));
  SYSTEMTIME st;
  FileTimeToSystemTime(&served.ftLastWriteTime, &st);
  st.wMilliseconds = 0;
  FILETIME whole;
  SystemTimeToFileTime(&st, &whole);
  WORD date = 0, time = 0;
  FileTimeToDosDateTime(&whole, &date, &time);
  const std::string partial =
      "setup.exe." + std::to_string(static_cast<std::uint32_t>(served.nFileSizeLow + (std::uint32_t(date) << 16 | time)));
  ASSERT_FALSE(Recorder::seenDuringTransfer.empty());
  for (const std::string& n : Recorder::seenDuringTransfer) {
    // The pattern also matches the plain name and the kept files.
    if (n != "setup.exe.txt" && n != "setup.exe") {
      EXPECT_EQ(n, partial);
    }
  }
}

TEST_F(HttpDownload, ProgressStartsAtOneAndStepsOncePerChunkInFewEvents) {
  TProgBar progress(&Recorder::Sink, &NoPump, &Tick);
  ASSERT_TRUE(Get("files/fifty.bin", true, &progress)) << error_;
  EXPECT_EQ(Recorder::inits, std::vector<int>{11});
  EXPECT_EQ(Recorder::steps, 10);
  EXPECT_EQ(Recorder::texts.back().rfind("50/50 BytesArr", 0), 0u) << Recorder::texts.back();

  Recorder::Reset();
  ASSERT_TRUE(Get("files/medium.bin", true, &progress)) << error_;  // 300000 bytes: KB mode
  EXPECT_EQ(Recorder::inits, std::vector<int>{(300000 + 8191) / 8192 + 1});
  EXPECT_EQ(Recorder::steps, (300000 + 8191) / 8192);
  // The bar hears of the steps a few dozen times a second at most: a
  // loopback transfer of 37 chunks gives a handful of events.
  EXPECT_LT(Recorder::texts.size(), 10u);
  EXPECT_EQ(Recorder::texts.back().rfind("293.0/293.0 KB", 0), 0u) << Recorder::texts.back();
}

TEST_F(HttpDownload, WithoutLengthOrIntoAStringOrWithoutScheme) {
  ASSERT_TRUE(Get("nolength/medium.bin")) << error_;
  EXPECT_EQ(ReadAll(dest_), Served("medium.bin"));

  ASSERT_TRUE(Get("files/medium.bin", false)) << error_;
  EXPECT_EQ(content_, Served("medium.bin"));
  EXPECT_FALSE(Exists(dest_ + ".300000"));

  const std::string noScheme = base_.substr(std::string("http://").size()) + "files/fifty.bin";
  content_.clear();
  ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, noScheme, "", error_, nullptr, content_)) << error_;
  EXPECT_EQ(content_, Served("fifty.bin"));
}

TEST_F(HttpDownload, FailuresLeaveTheDestinationAsItWasAndSayWhy) {
  const std::string url404 = base_ + "html404/setup.exe";
  const std::string refused = "http://127.0.0.1:" + Env("VARNEL_REFUSED_PORT") + "/files/medium.bin";
  const struct {
    std::string url;
    std::string error;  // expected text, or its start when it ends in "*"
  } cases[] = {
      {url404, ErrorPageMessage(url404)},
      {base_ + "error500/setup.exe", base_ + "error500/setup.exe --- HTTP status 500"},
      {base_ + "short/medium.bin", "medium.bin --- Download incomplete: 150000 of 300000 bytes"},
      {base_ + "empty/setup.exe", base_ + "empty/setup.exe --- File Not Found !"},
      {refused, "Unable to open Internet Connection: " + refused + " (*"},
  };
  for (const auto& c : cases) {
    Write(dest_, "the old file");
    EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, c.url, dest_, error_, nullptr, content_)) << c.url;
    if (c.error.back() == '*') EXPECT_EQ(error_.rfind(c.error.substr(0, c.error.size() - 1), 0), 0u) << error_;
    else EXPECT_EQ(error_, c.error);
    EXPECT_EQ(ReadAll(dest_), "the old file") << c.url;
    EXPECT_EQ(PartialFiles(dest_).size(), 0u) << c.url << ": a partial file stayed";
  }
}

// Replies that are no file, cut replies, and bodies that break what the
// caller knows of the file: each fails, says why, and leaves neither the
// destination changed nor a partial file behind.
TEST_F(HttpDownload, OnlyAWholeReplyOf200WithinTheLimitsIsTheFile) {
  DownloadLimits known;
  known.expectedBytes = 300000;
  DownloadLimits smaller;
  smaller.expectedBytes = 200000;
  DownloadLimits capped;
  capped.capBytes = 100000;
  const DownloadLimits none;
  const struct {
    std::string path;
    const DownloadLimits& limits;
    std::string error;  // expected text, or its start when it ends in "*"
  } cases[] = {
      {"status/204/medium.bin", none, base_ + "status/204/medium.bin --- HTTP status 204"},
      {"status/206/medium.bin", none, base_ + "status/206/medium.bin --- HTTP status 206"},
      {"status/302/medium.bin", none, base_ + "status/302/medium.bin --- HTTP status 302"},
      {"status/300/medium.bin", none, base_ + "status/300/medium.bin --- HTTP status 300"},
      // WinINet (Wine 8) ends a chunked reply cut before its last chunk as
      // if it were whole: only a known size tells.
      {"chunkcut/medium.bin", known, "medium.bin --- Download incomplete: 150000 of 300000 bytes"},
      // A reset comes as a failed read or as an early end, by timing.
      {"reset/medium.bin", none, "medium.bin --- *"},
      {"nolengthshort/medium.bin", known, "medium.bin --- Download incomplete: 150000 of 300000 bytes"},
      {"files/medium.bin", smaller, "medium.bin --- The server announces 300000 bytes, expected 200000"},
      {"nolength/medium.bin", smaller, "medium.bin --- Download too large: more than 200000 bytes"},
      {"endless/medium.bin", capped, "medium.bin --- Download too large: more than 100000 bytes"},
      // An announced length beyond the cap is refused before any byte.
      {"files/medium.bin", capped, "medium.bin --- Download too large: more than 100000 bytes"},
      {"endless/medium.bin", known, "medium.bin --- Download too large: more than 300000 bytes"},
  };
  for (const auto& c : cases) {
    Write(dest_, "the old file");
    EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, base_ + c.path, dest_, error_, nullptr, content_,
                                               c.limits))
        << c.path;
    if (c.error.back() == '*') EXPECT_EQ(error_.rfind(c.error.substr(0, c.error.size() - 1), 0), 0u) << error_;
    else EXPECT_EQ(error_, c.error) << c.path;
    EXPECT_TRUE(ReadAll(dest_) == "the old file") << c.path;
    EXPECT_EQ(PartialFiles(dest_).size(), 0u) << c.path << ": a partial file stayed";
  }
  // The same limits hold for a download into a string.
  EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, base_ + "endless/medium.bin", "", error_, nullptr, content_,
                                             capped));
  EXPECT_EQ(error_, "medium.bin --- Download too large: more than 100000 bytes");
  EXPECT_EQ(content_, "");
  // A whole chunked reply and a reply within its limits are files.
  ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, base_ + "chunked/medium.bin", dest_, error_, nullptr, content_,
                                            known))
      << error_;
  EXPECT_EQ(ReadAll(dest_), Served("medium.bin"));
}

// A download that breaks off continues with a Range request validated by
// If-Range; a server without ranges sends the whole file again. The
// scenario checks which ranges reached the server.
TEST_F(HttpDownload, ResumeContinuesWhereTheTransferBrokeOff) {
  DownloadLimits resume;
  resume.resume = true;
  for (const char* path : {"cutonce/medium.bin", "cutnorange/medium.bin"}) {
    ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, base_ + path, dest_, error_, nullptr, content_, resume))
        << path << ": " << error_;
    EXPECT_TRUE(ReadAll(dest_) == Served("medium.bin")) << path;
    EXPECT_EQ(PartialFiles(dest_).size(), 0u) << path;
  }
  // A partial file of the same length and stamp, left by an earlier call,
  // is continued: the scenario checks that only its rest was asked for.
  const std::string partial = folder_ + "\\" + PartialNameOf("setup.exe", "sized.bin");
  Write(partial, Served("sized.bin").substr(0, 100000));
  ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, base_ + "files/sized.bin", dest_, error_, nullptr, content_,
                                            resume))
      << error_;
  EXPECT_TRUE(ReadAll(dest_) == Served("sized.bin"));
  EXPECT_FALSE(Exists(partial));
}

TEST_F(HttpDownload, RedirectsToAnotherPathAreFollowed) {
  for (const char* code : {"301", "302"}) {
    Write(dest_, "the old file");
    ASSERT_TRUE(Get(std::string("redirect/") + code + "/medium.bin")) << code << ": " << error_;
    EXPECT_EQ(ReadAll(dest_), Served("medium.bin")) << code;
  }
}

// A window whose timer sets the abort flag: a close request while the
// download waits for bytes that don't come.
LRESULT CALLBACK AbortOnTimer(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_TIMER) {
    KillTimer(window, w);
    SetDownloadAbort(true);
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

// A window of its own class whose timer asks for a close after 500 ms.
HWND AbortTimerWindow(const char* className) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = AbortOnTimer;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = className;
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  if (window) SetTimer(window, 1, 500, nullptr);
  return window;
}

TEST_F(HttpDownload, NoByteWithinTheStallDeadlineFailsAndAnAbortEndsTheWaitAtOnce) {
  DownloadLimits quick;
  quick.stallMs = 1000;
  Write(dest_, "the old file");
  DWORD started = GetTickCount();
  EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, base_ + "stall/medium.bin", dest_, error_, nullptr, content_,
                                             quick));
  EXPECT_EQ(error_, "medium.bin --- No data for 1 seconds");
  EXPECT_LT(GetTickCount() - started, 10000u);
  EXPECT_TRUE(ReadAll(dest_) == "the old file");
  EXPECT_EQ(PartialFiles(dest_).size(), 0u);

  // A trickle is no stall: every byte counts, not every full chunk.
  ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, base_ + "trickle/fifty.bin", dest_, error_, nullptr, content_,
                                            quick))
      << error_;
  EXPECT_EQ(ReadAll(dest_), Served("fifty.bin"));

  // With the default deadline (30 s), a close request ends the wait.
  HWND window = AbortTimerWindow("VarnelAbortTimer");
  ASSERT_TRUE(window);
  started = GetTickCount();
  EXPECT_FALSE(Get("stall/medium.bin"));
  EXPECT_EQ(error_, "Download Aborted");
  EXPECT_LT(GetTickCount() - started, 5000u);
  EXPECT_EQ(PartialFiles(dest_).size(), 0u);
  DestroyWindow(window);
}

TEST_F(HttpDownload, AReadGivenUpOnAStallFreesItsBufferOnceTheServerLetsGo) {
  // Each download gives its pending read up after a second without a byte;
  // the server closes the connection a second later, which ends the read.
  DownloadLimits quick;
  quick.stallMs = 1000;
  const int before = BigBlocks::Alive();
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, base_ + "stallclose/medium.bin", dest_, error_, nullptr,
                                               content_, quick));
    EXPECT_EQ(error_, "medium.bin --- No data for 1 seconds");
  }
  for (DWORD started = GetTickCount(); BigBlocks::Alive() > before && GetTickCount() - started < 10000;) Sleep(50);
  EXPECT_EQ(BigBlocks::Alive(), before);
}

TEST_F(HttpDownload, ASizeQueryWithoutReplyEndsOnTheStallDeadlineOrAClose) {
  // The server takes the HEAD and never answers it.
  DWORD started = GetTickCount();
  EXPECT_EQ(HTTP_GetFileSize(base_ + "headstall/medium.bin", 1000), -1);
  EXPECT_LT(GetTickCount() - started, 5000u);

  // With the default deadline (30 s), a close request ends the wait.
  HWND window = AbortTimerWindow("VarnelAbortSizeTimer");
  ASSERT_TRUE(window);
  started = GetTickCount();
  EXPECT_EQ(HTTP_GetFileSize(base_ + "headstall/medium.bin"), -1);
  EXPECT_LT(GetTickCount() - started, 5000u);
  DestroyWindow(window);
}

TEST_F(HttpDownload, APartialFileThatCannotBeWrittenIsAnError) {
  Recorder::watchPattern = dest_ + ".*";
  TProgBar progress(&Recorder::Sink, &NoPump, &Tick);
  ASSERT_TRUE(Get("files/fifty.bin", true, &progress)) << error_;
  ASSERT_FALSE(Recorder::seenDuringTransfer.empty());
  // The same reply again names the same partial file; a folder of that name
  // is no left-over the clean-up removes, and can't be written.
  const std::string partial = folder_ + "\\" + Recorder::seenDuringTransfer.front();
  ASSERT_TRUE(CreateDirectoryW(Wide(partial).c_str(), nullptr));
  Write(dest_, "the old file");
  EXPECT_FALSE(Get("files/fifty.bin"));
  EXPECT_EQ(error_.rfind("Unable to write " + partial, 0), 0u) << error_;
  EXPECT_EQ(ReadAll(dest_), "the old file");
  RemoveDirectoryW(Wide(partial).c_str());
}

TEST_F(HttpDownload, HtmlPageWithStatus200IsTheFileAndRecognisedAsErrorPage) {
  ASSERT_TRUE(Get("html200/setup.exe")) << error_;
  const std::string url = base_ + "html200/setup.exe";
  EXPECT_EQ(HTTP_404Message(dest_, "", url, "Bad Secret Token!"), ErrorPageMessage(url));
  EXPECT_EQ(HTTP_404Message("", "MZ...", url, "Bad Secret Token!"), "Bad Secret Token!");
}

LRESULT CALLBACK AbortOnUser(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_USER) SetDownloadAbort(true);
  return DefWindowProcA(window, message, w, l);
}

TEST_F(HttpDownload, AbortPostedToAWindowStopsTheTransferAfterAChunkOrTwo) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = AbortOnUser;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VarnelAbortTest";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(window);
  // The message reaches the window only through the download's own pumping.
  Recorder::postAtStep = window;
  TProgBar progress(&Recorder::Sink, &NoPump, &Tick);
  Write(dest_, "the old file");
  EXPECT_FALSE(Get("slow/medium.bin", true, &progress));
  EXPECT_EQ(error_, "Download Aborted");
  EXPECT_LE(Recorder::steps, 4);
  EXPECT_EQ(ReadAll(dest_), "the old file");
  DestroyWindow(window);
}

TEST_F(HttpDownload, SizeQueryAnswersTheServedLengthOrMinusOne) {
  // sized.bin is asked for its size only: the scenario checks that no GET
  // reached the server for it (a GET closed early costs a whole transfer).
  EXPECT_EQ(HTTP_GetFileSize(base_ + "files/sized.bin"), 300000);
  EXPECT_EQ(HTTP_GetFileSize(base_.substr(7) + "files/fifty.bin"), 50);
  EXPECT_EQ(HTTP_GetFileSize(base_ + "html404/x.bin"), -1);
  // A refused HEAD, or one without a length, is asked again with a GET of
  // one byte: a 206's Content-Range or a 200's Content-Length tells.
  EXPECT_EQ(HTTP_GetFileSize(base_ + "nohead/medium.bin"), 300000);
  EXPECT_EQ(HTTP_GetFileSize(base_ + "headnolength/medium.bin"), 300000);
  EXPECT_EQ(HTTP_GetFileSize(base_ + "nohead/missing.bin"), -1);
  EXPECT_EQ(HTTP_GetFileSize("http://127.0.0.1:" + Env("VARNEL_REFUSED_PORT") + "/x"), -1);
  std::string why;
  EXPECT_TRUE(InternetConnected(why)) << why;
}

// Against Debian's nginx (and through tinyproxy), started by
// tests/e2e/test_real_servers.py with VARNEL_REAL_SERVER naming the phase:
// "direct", "proxy" (the prefix's system proxy is tinyproxy) or "refusing"
// (the system proxy is a port where nothing listens).
class RealServer : public HttpDownload {
 protected:
  void SetUp() override {
    phase_ = Env("VARNEL_REAL_SERVER");
    if (phase_.empty()) GTEST_SKIP() << "no real servers (run by tests/e2e/test_real_servers.py)";
    HttpDownload::SetUp();
    https_ = Env("VARNEL_HTTPS_BASE");
  }
  std::string phase_, https_;
};

TEST_F(RealServer, Direct) {
  if (phase_ != "direct") GTEST_SKIP();
  for (const std::string& url : {base_ + "files/medium.bin", base_ + "moved301/medium.bin",
                                 base_ + "moved302/medium.bin", base_ + "tohttps/medium.bin",
                                 https_ + "files/medium.bin"}) {
    Write(dest_, "the old file");
    ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, url, dest_, error_, nullptr, content_)) << url << ": " << error_;
    EXPECT_TRUE(ReadAll(dest_) == Served("medium.bin")) << url;
  }
  EXPECT_EQ(HTTP_GetFileSize(base_ + "files/medium.bin"), 300000);
  EXPECT_EQ(HTTP_GetFileSize(https_ + "files/medium.bin"), 300000);
  // nginx honours the range that continues a partial file of an earlier call.
  DownloadLimits resume;
  resume.resume = true;
  const std::string partial = folder_ + "\\" + PartialNameOf("setup.exe", "sized.bin");
  Write(partial, Served("sized.bin").substr(0, 100000));
  ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, base_ + "files/sized.bin", dest_, error_, nullptr, content_,
                                            resume))
      << error_;
  EXPECT_TRUE(ReadAll(dest_) == Served("sized.bin"));
}

TEST_F(RealServer, ThroughTheSystemProxy) {
  if (phase_ != "proxy") GTEST_SKIP();
  for (const std::string& url : {base_ + "files/medium.bin", https_ + "files/medium.bin"}) {
    ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, url, dest_, error_, nullptr, content_)) << url << ": " << error_;
    EXPECT_TRUE(ReadAll(dest_) == Served("medium.bin")) << url;
  }
}

TEST_F(RealServer, ARefusingProxyIsAClearError) {
  if (phase_ != "refusing") GTEST_SKIP();
  const std::string url = base_ + "files/medium.bin";
  EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, url, dest_, error_, nullptr, content_));
  EXPECT_EQ(error_.rfind("Unable to open Internet Connection: " + url + " (", 0), 0u) << error_;
}

TEST(Https, TrustedCertificateDownloadsUntrustedIsRefused) {
  const std::string trusted = Env("VARNEL_HTTPS_TRUSTED");
  const std::string untrusted = Env("VARNEL_HTTPS_UNTRUSTED");
  if (trusted.empty()) GTEST_SKIP() << "no TLS servers (run by tests/e2e/test_https_download.py)";
  std::string error, content;
  ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, trusted + "files/medium.bin", "", error, nullptr, content))
      << error;
  EXPECT_EQ(content.size(), 300000u);
  EXPECT_EQ(HTTP_GetFileSize(trusted + "files/medium.bin"), 300000);

  EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, untrusted + "files/medium.bin", "", error, nullptr, content));
  EXPECT_EQ(error.rfind("Unable to open Internet Connection: " + untrusted + "files/medium.bin "
                        "(the server's certificate was refused (error ", 0), 0u)
      << error;
}

}  // namespace
}  // namespace varnel
