#include "tool_files.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <sys/utime.h>
#include <windows.h>
#include <sddl.h>
// The tool's own ReplaceFile, not the system's ReplaceFileA macro.
#undef ReplaceFile
#else
#include <unistd.h>
#include <utime.h>
#endif

#include "package/package_writer.h"
#include "utils/utf8_files.h"
#ifdef _WIN32
#include "utils/wide_text_win32.h"
#endif

namespace varnel::pack {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

#ifdef _WIN32
// A security descriptor whose protected access list lets only the current
// user in (a private key file); null when the token can't be read.
PSECURITY_DESCRIPTOR OwnerOnlyDescriptor() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  alignas(TOKEN_USER) unsigned char buffer[256];
  DWORD size = 0;
  const bool got = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
  CloseHandle(token);
  if (!got) return nullptr;
  char* sid = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) return nullptr;
  const std::string sddl = std::string("D:P(A;;FA;;;") + sid + ")";
  LocalFree(sid);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return nullptr;
  return descriptor;
}
#endif

// A filesystem path from a UTF-8 path: the plain std::string constructor
// would read it in the ANSI code page on Windows.
std::filesystem::path FsPath(const std::string& path) { return std::filesystem::u8path(path); }

bool LocalTime(std::time_t t, std::tm& out) {
#ifdef _WIN32
  return localtime_s(&out, &t) == 0;
#else
  return localtime_r(&t, &out) != nullptr;
#endif
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(FsPath(path), ec)) return false;
  FilePtr f(OpenFileUtf8(path, "rb"));
  if (!f) return false;
  bytes.clear();
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) bytes.append(buffer, n);
  return !std::ferror(f.get());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, bool append) {
  FilePtr f(OpenFileUtf8(path, append ? "ab" : "wb"));
  if (!f) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
    return false;
  return std::fclose(f.release()) == 0;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(FsPath(path), ec);
}

bool WriteNewFile(const std::string& path, const std::string& bytes, bool ownerOnly) {
#ifdef _WIN32
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  if (ownerOnly) {
    attributes.lpSecurityDescriptor = OwnerOnlyDescriptor();
    if (!attributes.lpSecurityDescriptor) return false;
  }
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (attributes.lpSecurityDescriptor) LocalFree(attributes.lpSecurityDescriptor);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  ok = CloseHandle(file) && ok;
  if (!ok) DeleteFileW(Wide(path).c_str());
  return ok;
#else
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, ownerOnly ? 0600 : 0644);
  if (fd < 0) return false;
  // The mode given to open() passes through the umask; set it outright.
  bool ok = !ownerOnly || fchmod(fd, 0600) == 0;
  ok = ok && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  return close(fd) == 0 && ok;
#endif
}

bool ReplaceFile(const std::string& path, const std::string& bytes) {
  const std::string part = path + ".part";
  if (!WriteWholeFile(part, bytes)) {
    RemoveFileUtf8(part);
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(FsPath(part), FsPath(path), ec);
  if (ec) RemoveFileUtf8(part);
  return !ec;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(FsPath(a), FsPath(b), ec);
}

bool MakeFolders(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(FsPath(path), ec);
  return std::filesystem::is_directory(FsPath(path), ec);
}

std::uint32_t FileDosTime(const std::string& path) {
#ifdef _WIN32
  struct _stat64 st;
  if (_wstat64(Wide(path).c_str(), &st) != 0) return 0;
#else
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
#endif
  std::tm tm{};
  if (!LocalTime(static_cast<std::time_t>(st.st_mtime), tm)) return 0;
  return PackDosTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                     tm.tm_sec);
}

bool SetFileDosTime(const std::string& path, std::uint32_t dosTime) {
  std::tm tm{};
  tm.tm_year = static_cast<int>((dosTime >> 25) & 0x7F) + 80;
  tm.tm_mon = static_cast<int>((dosTime >> 21) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>((dosTime >> 16) & 0x1F);
  tm.tm_hour = static_cast<int>((dosTime >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((dosTime >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>((dosTime & 0x1F) * 2);
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return false;
#ifdef _WIN32
  struct _utimbuf times {t, t};
  return _wutime(Wide(path).c_str(), &times) == 0;
#else
  struct utimbuf times {t, t};
  return utime(path.c_str(), &times) == 0;
#endif
}

std::string DosTimeText(std::uint32_t d) {
  if (d == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", ((d >> 25) & 0x7F) + 1980,
                (d >> 21) & 0x0F, (d >> 16) & 0x1F, (d >> 11) & 0x1F, (d >> 5) & 0x3F,
                (d & 0x1F) * 2);
  return text;
}

bool ParseDosTime(const std::string& text, std::uint32_t& dosTime) {
  int y, mo, d, h, mi, s;
  char sep;
  char rest;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%c", &y, &mo, &d, &sep, &h, &mi, &s,
                  &rest) == 7 &&
      (sep == 'T' || sep == ' ')) {
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
    dosTime = PackDosTime(y, mo, d, h, mi, s);
    return dosTime != 0;
  }
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const unsigned long long v = std::stoull(text);
  if (v > 0xFFFFFFFFull) return false;
  dosTime = static_cast<std::uint32_t>(v);
  return true;
}

std::string BaseName(const std::string& path) {
#ifdef _WIN32
  const std::size_t slash = path.find_last_of("/\\:");
#else
  const std::size_t slash = path.find_last_of('/');
#endif
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
#ifdef _WIN32
  const char sep = '\\';
#else
  const char sep = '/';
#endif
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == '/' || last == '\\') return folder + name;
  return folder + sep + name;
}

}  // namespace varnel::pack
