// The plainest download of a URL into a file with WinINet: one session, one
// request, blocking reads of READ bytes (default 8192, at most 1 MiB) in a
// tight loop, each written to the file. Prints the elapsed milliseconds and
// the byte count.
//   download_reference URL FILE [READ]
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  HINTERNET session = InternetOpenA("reference", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET request = session ? InternetOpenUrlA(session, argv[1], nullptr, 0,
                                                 INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                              : nullptr;
  HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!request || file == INVALID_HANDLE_VALUE) return 1;
  static char buffer[1 << 20];
  DWORD size = argc > 3 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : 8192;
  if (size == 0 || size > sizeof buffer) size = 8192;
  unsigned long long total = 0;
  DWORD read = 0;
  while (InternetReadFile(request, buffer, size, &read) && read > 0) {
    DWORD written = 0;
    WriteFile(file, buffer, read, &written, nullptr);
    total += read;
  }
  CloseHandle(file);
  InternetCloseHandle(request);
  InternetCloseHandle(session);
  QueryPerformanceCounter(&end);
  std::printf("ms=%.1f bytes=%llu\n", (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart, total);
  return 0;
}
