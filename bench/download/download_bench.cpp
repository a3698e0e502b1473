// HTTP_DownloadFile_Incremental into a file, with the process-wide progress
// object (its sink does nothing here: there is no window). Prints the
// elapsed milliseconds and the byte count.
//   download_bench URL FILE [resume]
#include <windows.h>

#include <cstdio>
#include <string>

#include "download/http_download.h"

namespace {
void NoWindow(int, int, int, const std::string&, int) {}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  std::string error, content;
  if (argc > 3 && std::string(argv[3]) == "connect") {
    varnel::HTTP_Connect(argv[1]);
    QueryPerformanceCounter(&end);
    std::printf("connect ms=%.1f\n", (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart);
    return 0;
  }
  varnel::DownloadLimits limits;
  limits.resume = argc > 3 && std::string(argv[3]) == "resume";
  const bool ok = varnel::HTTP_DownloadFile_Incremental(nullptr, argv[1], argv[2], error,
                                                        &varnel::DownloadProgressBar(&NoWindow), content, limits);
  QueryPerformanceCounter(&end);
  if (!ok) {
    std::printf("error=%s\n", error.c_str());
    return 1;
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  unsigned long long total = 0;
  if (GetFileAttributesExA(argv[2], GetFileExInfoStandard, &data))
    total = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  std::printf("ms=%.1f bytes=%llu\n", (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart, total);
  return 0;
}
