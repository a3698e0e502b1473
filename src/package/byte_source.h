// Random-access input for the package reader and the member-block walker:
// a file on disk, or bytes in memory (tests, fuzzing). Every read is checked
// against the size, so a caller never reads past what the input holds.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace varnel {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Total size in bytes.
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `count` bytes at `offset`; false (and nothing promised in
  // `out`) when the range is not wholly inside the input or the read fails.
  virtual bool ReadAt(std::uint64_t offset, void* out, std::size_t count) const = 0;

  bool ReadU32(std::uint64_t offset, std::uint32_t& value) const;
  bool ReadI32(std::uint64_t offset, std::int32_t& value) const;
  // Reads `count` bytes into `text`; false when out of range.
  bool ReadString(std::uint64_t offset, std::size_t count, std::string& text) const;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, void* out, std::size_t count) const override;
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// A file opened for reading with others allowed to read and write it.
// Open() fails (false) for a missing or unreadable file.
class FileSource : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool Open(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }
  void Close();
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, void* out, std::size_t count) const override;

 private:
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
};

}  // namespace varnel
