// The WinINet binding: the library is loaded from the system folder on the
// first call that needs it (never from the setup file's folder) and its
// functions are looked up by name; the stub window releases it when its loop
// ends.
#pragma once
#ifdef _WIN32
#include <windows.h>
#include <wininet.h>

namespace varnel {

struct InternetApi {
  decltype(&::InternetGetConnectedState) getConnectedState = nullptr;
  decltype(&::InternetOpenA) open = nullptr;
  decltype(&::InternetOpenUrlA) openUrl = nullptr;
  decltype(&::HttpQueryInfoA) queryInfo = nullptr;
  decltype(&::InternetReadFile) readFile = nullptr;
  decltype(&::InternetCloseHandle) closeHandle = nullptr;
  decltype(&::InternetSetOptionA) setOption = nullptr;
  decltype(&::InternetGetLastResponseInfoA) lastResponseInfo = nullptr;
  decltype(&::InternetCrackUrlA) crackUrl = nullptr;
  decltype(&::InternetConnectA) connect = nullptr;
  decltype(&::HttpOpenRequestA) openRequest = nullptr;
  decltype(&::HttpSendRequestA) sendRequest = nullptr;
  decltype(&::InternetSetStatusCallbackA) setStatusCallback = nullptr;
  decltype(&::InternetQueryDataAvailable) queryDataAvailable = nullptr;
  decltype(&::InternetReadFileExA) readFileEx = nullptr;
  HMODULE module = nullptr;
};

// The bound functions, or null when the library or one of them is missing.
const InternetApi* InternetLibrary();
// Keeps the library loaded for the rest of the process: called when an
// asynchronous call is given up while WinINet's thread still runs it.
void PinInternetLibrary();

// Closes a WinINet handle when it goes away.
class InternetHandle {
 public:
  InternetHandle() = default;
  explicit InternetHandle(HINTERNET h) : h_(h) {}
  ~InternetHandle() { reset(); }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  InternetHandle(InternetHandle&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
  InternetHandle& operator=(InternetHandle&& o) noexcept {
    if (this != &o) {
      reset(o.h_);
      o.h_ = nullptr;
    }
    return *this;
  }
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void reset(HINTERNET h = nullptr);

 private:
  HINTERNET h_ = nullptr;
};

}  // namespace varnel
#endif

namespace varnel {

// Frees the internet library when a download loaded it; otherwise nothing.
// A library with an abandoned asynchronous call stays loaded (its thread
// may still return into it).
void UnloadInternetLibrary();

}  // namespace varnel
