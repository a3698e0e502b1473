#include "package/byte_source.h"

#include <cstring>

#include "utils/utf8_files.h"

#ifdef _WIN32
#include <io.h>
#endif

namespace varnel {
namespace {

bool InRange(std::uint64_t size, std::uint64_t offset, std::size_t count) {
  return offset <= size && count <= size - offset;
}

bool Seek(std::FILE* f, std::uint64_t offset) {
#ifdef _WIN32
  // msvcrt's fpos_t is the 64-bit offset from the start: set directly, it
  // needs no seek wrapper from the toolchain's own library.
  const fpos_t position = static_cast<fpos_t>(offset);
  return fsetpos(f, &position) == 0;
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

bool ByteSource::ReadU32(std::uint64_t offset, std::uint32_t& value) const {
  unsigned char b[4];
  if (!ReadAt(offset, b, 4)) return false;
  value = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
          std::uint32_t(b[3]) << 24;
  return true;
}

bool ByteSource::ReadI32(std::uint64_t offset, std::int32_t& value) const {
  std::uint32_t u;
  if (!ReadU32(offset, u)) return false;
  value = static_cast<std::int32_t>(u);
  return true;
}

bool ByteSource::ReadString(std::uint64_t offset, std::size_t count, std::string& text) const {
  if (!InRange(Size(), offset, count)) return false;
  text.resize(count);
  return count == 0 || ReadAt(offset, &text[0], count);
}

bool MemorySource::ReadAt(std::uint64_t offset, void* out, std::size_t count) const {
  if (!InRange(bytes_.size(), offset, count)) return false;
  if (count) std::memcpy(out, bytes_.data() + offset, count);
  return true;
}

FileSource::~FileSource() { Close(); }

bool FileSource::Open(const std::string& path) {
  Close();
  // fopen shares the file for reading and writing with other processes.
  file_ = OpenFileUtf8(path, "rb");
  if (!file_) return false;
#ifdef _WIN32
  const long long end = _filelengthi64(_fileno(file_));
#else
  if (fseeko(file_, 0, SEEK_END) != 0) { Close(); return false; }
  long long end = ftello(file_);
#endif
  if (end < 0) { Close(); return false; }
  size_ = static_cast<std::uint64_t>(end);
  return true;
}

void FileSource::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
}

bool FileSource::ReadAt(std::uint64_t offset, void* out, std::size_t count) const {
  if (!file_ || !InRange(size_, offset, count)) return false;
  if (count == 0) return true;
  if (!Seek(file_, offset)) return false;
  return std::fread(out, 1, count, file_) == count;
}

}  // namespace varnel
