// The plainest download of a URL into a file with WinINet: one session, one
// request, reads of 8192 bytes in a tight loop, each written to the file.
// Prints the elapsed milliseconds and the byte count.
//   download_reference URL FILE
#include <windows.h>
#include <wininet.h>

#include <cstdio>

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
  static char buffer[8192];
  unsigned long long total = 0;
  DWORD read = 0;
  while (InternetReadFile(request, buffer, sizeof buffer, &read) && read > 0) {
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
