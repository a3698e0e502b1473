// The plainest extraction of a setup file: read each member block, inflate
// it with zlib into one reused buffer, write the file. No window, no message
// dispatching, no progress, no checks beyond what keeps it from crashing.
// Prints "ReferenceTime: <ms> MS" and "ReferenceBytes: <n>".
//
//   extract_reference SETUP DESTFOLDER
#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::uint32_t U32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
}

bool ReadAt(std::FILE* f, std::uint64_t offset, void* out, std::size_t n) {
  return _fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0 && std::fread(out, 1, n, f) == n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string dest = argv[2];
  CreateDirectoryA(dest.c_str(), nullptr);
  const DWORD start = GetTickCount();

  std::FILE* f = std::fopen(argv[1], "rb");
  if (!f) return 1;
  _fseeki64(f, 0, SEEK_END);
  const std::uint64_t size = static_cast<std::uint64_t>(_ftelli64(f));
  unsigned char head[0x104] = {};
  ReadAt(f, 0, head, sizeof head);
  std::uint64_t end = size;
  if (head[0] == 'M' && head[1] == 'Z' && head[0x100] == 'P' && head[0x101] == 'E' && U32(head + 0xFC))
    end = U32(head + 0xFC);
  unsigned char trailer[74];
  if (!ReadAt(f, end - 74, trailer, 74)) return 1;
  std::uint64_t pos = U32(trailer + 4);
  const int headers = trailer[1] ? trailer[1] : 2;

  std::vector<unsigned char> block, out(6 * 1024 * 1024);
  std::uint64_t bytes = 0;
  for (int i = 0; pos + 74 < end; ++i) {
    unsigned char len4[4];
    if (!ReadAt(f, pos, len4, 4)) return 1;
    const std::int32_t length = static_cast<std::int32_t>(U32(len4));
    const std::uint32_t stored = length < 0 ? 0u - static_cast<std::uint32_t>(length) : length;
    pos += 4 + stored;
    if (i < headers || stored == 0) continue;
    block.resize(stored);
    if (std::fread(block.data(), 1, stored, f) != stored) return 1;
    const unsigned char* payload = block.data();
    std::size_t payloadSize = stored;
    if (length > 0) {
      uLongf produced = static_cast<uLongf>(out.size());
      if (uncompress(out.data(), &produced, block.data(), stored) != Z_OK) return 1;
      payload = out.data();
      payloadSize = produced;
    }
    const void* zero = std::memchr(payload, 0, payloadSize);
    if (!zero) continue;
    const std::size_t headerSize = static_cast<const unsigned char*>(zero) - payload;
    const std::string header(reinterpret_cast<const char*>(payload), headerSize);
    std::string name = header.substr(1, header.find('|', 1) - 1);
    name = name.substr(0, name.find('*'));
    const std::string target = dest + "\\" + name;
    HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const std::size_t contentSize = payloadSize - headerSize - 1;
    WriteFile(file, payload + headerSize + 1, static_cast<DWORD>(contentSize), &written, nullptr);
    // After writing: the member's time, as the stub sets it: packed DOS date and time, local.
    const unsigned long dosTime = std::strtoul(header.c_str() + header.find('|', 1) + 1, nullptr, 10);
    FILETIME local, utc;
    if (dosTime && DosDateTimeToFileTime(static_cast<WORD>(dosTime >> 16), static_cast<WORD>(dosTime),
                                         &local) &&
        LocalFileTimeToFileTime(&local, &utc))
      SetFileTime(file, nullptr, nullptr, &utc);
    CloseHandle(file);
    bytes += contentSize;
  }
  std::fclose(f);
  std::printf("ReferenceTime: %lu MS\nReferenceBytes: %llu\n", GetTickCount() - start,
              static_cast<unsigned long long>(bytes));
  return 0;
}
