#include "download/internet_library.h"

#include <string>

namespace varnel {
namespace {

InternetApi& Binding() {
  static InternetApi api;
  return api;
}

template <typename Fn>
bool Resolve(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return fn != nullptr;
}

}  // namespace

const InternetApi* InternetLibrary() {
  InternetApi& api = Binding();
  if (!api.module) {
    char system[MAX_PATH];
    const UINT n = GetSystemDirectoryA(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    api.module = LoadLibraryA((std::string(system, n) + "\\wininet.dll").c_str());
    if (!api.module) return nullptr;
    const bool all = Resolve(api.module, "InternetGetConnectedState", api.getConnectedState) &
                     Resolve(api.module, "InternetOpenA", api.open) &
                     Resolve(api.module, "InternetOpenUrlA", api.openUrl) &
                     Resolve(api.module, "HttpQueryInfoA", api.queryInfo) &
                     Resolve(api.module, "InternetReadFile", api.readFile) &
                     Resolve(api.module, "InternetCloseHandle", api.closeHandle) &
                     Resolve(api.module, "InternetSetOptionA", api.setOption) &
                     Resolve(api.module, "InternetGetLastResponseInfoA", api.lastResponseInfo) &
                     Resolve(api.module, "InternetCrackUrlA", api.crackUrl) &
                     Resolve(api.module, "InternetConnectA", api.connect) &
                     Resolve(api.module, "HttpOpenRequestA", api.openRequest) &
                     Resolve(api.module, "HttpSendRequestA", api.sendRequest);
    if (!all) {
      UnloadInternetLibrary();
      return nullptr;
    }
  }
  return &api;
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
