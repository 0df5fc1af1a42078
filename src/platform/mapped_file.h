// A regular file opened once for reading: mapped into memory whole, or,
// where it cannot be mapped, read at offsets through its descriptor.
#ifndef PIXOLUNE_PLATFORM_MAPPED_FILE_H_
#define PIXOLUNE_PLATFORM_MAPPED_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/status.h"

namespace pixolune {

/// Read-only access to one regular file, closed when the object goes away.
/// Move only. Reads never change the object: threads may read at once.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  enum class Access { kMapped, kPositional };

  /// Opens the regular file at path and maps it (with kPositional, or when
  /// it cannot be mapped, it stays open for positional reads instead). Fails with kNotFound ("the file
  /// does not exist") or kIoError ("the file cannot be examined", "not a
  /// regular file", "the file cannot be opened"); a named pipe or device is
  /// refused before it is opened, so opening never blocks. Closes what was
  /// open before.
  Status open(const std::string& path, Access access = Access::kMapped);
  void close();

  bool isOpen() const { return fd_ >= 0 || data_ != nullptr || open_empty_; }
  uint64_t size() const { return size_; }
  /// The whole file in memory, or null when it is read positionally (an
  /// empty file has no mapping either).
  const uint8_t* data() const { return data_; }

  /// Copies the n bytes at offset into out; false when they do not all lie
  /// in the file or the read fails.
  bool read(uint64_t offset, size_t n, void* out) const;

 private:
  int fd_ = -1;               // Open only while reads go through it.
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
  bool open_empty_ = false;   // An empty file: open, nothing to map or read.
};

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_MAPPED_FILE_H_
