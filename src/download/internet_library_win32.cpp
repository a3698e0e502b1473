#include "download/internet_library.h"

#include <cstddef>
#include <cstring>

namespace varnel {
namespace {

InternetApi& Binding() {
  static InternetApi api;
  return api;
}

// Every function of InternetApi with its exported name.
struct Export {
  const char* name;
  std::size_t offset;
};
constexpr Export kExports[] = {
    {"InternetGetConnectedState", offsetof(InternetApi, getConnectedState)},
    {"InternetOpenA", offsetof(InternetApi, open)},
    {"InternetOpenUrlA", offsetof(InternetApi, openUrl)},
    {"HttpQueryInfoA", offsetof(InternetApi, queryInfo)},
    {"InternetReadFile", offsetof(InternetApi, readFile)},
    {"InternetCloseHandle", offsetof(InternetApi, closeHandle)},
    {"InternetSetOptionA", offsetof(InternetApi, setOption)},
    {"InternetGetLastResponseInfoA", offsetof(InternetApi, lastResponseInfo)},
    {"InternetCrackUrlA", offsetof(InternetApi, crackUrl)},
    {"InternetConnectA", offsetof(InternetApi, connect)},
    {"HttpOpenRequestA", offsetof(InternetApi, openRequest)},
    {"HttpSendRequestA", offsetof(InternetApi, sendRequest)},
    {"InternetSetStatusCallbackA", offsetof(InternetApi, setStatusCallback)},
    {"InternetQueryDataAvailable", offsetof(InternetApi, queryDataAvailable)},
    {"InternetReadFileExA", offsetof(InternetApi, readFileEx)},
};
static_assert(sizeof(FARPROC) == sizeof(InternetApi::open), "function pointers of one size");

}  // namespace

const InternetApi* InternetLibrary() {
  InternetApi& api = Binding();
  if (!api.module) {
    wchar_t path[MAX_PATH + 16];
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    std::memcpy(path + n, L"\\wininet.dll", sizeof L"\\wininet.dll");
    api.module = LoadLibraryW(path);
    if (!api.module) return nullptr;
    for (const Export& e : kExports) {
      const FARPROC fn = GetProcAddress(api.module, e.name);
      if (!fn) {
        UnloadInternetLibrary();
        return nullptr;
      }
      // Each member is a function pointer of its own type, the size of FARPROC.
      std::memcpy(reinterpret_cast<char*>(&api) + e.offset, &fn, sizeof fn);
    }
  }
  return &api;
}

void PinInternetLibrary() {
  HMODULE pinned = nullptr;
  const InternetApi& api = Binding();
  if (api.module)
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(api.readFile), &pinned);
}

void InternetHandle::reset(HINTERNET h) {
  if (h_ && Binding().closeHandle) Binding().closeHandle(h_);
  h_ = h;
}

void UnloadInternetLibrary() {
  InternetApi& api = Binding();
  if (api.module) FreeLibrary(api.module);
  api = InternetApi();
}

}  // namespace varnel
