// Random access to a document file whose every read is checked against its
// size; shared by the header reader and the layer reader.
#ifndef PIXOLUNE_PSD_PSD_FILE_H_
#define PIXOLUNE_PSD_PSD_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "psd/psd_header.h"

namespace pixolune {

inline Status readFault(Status::Code kind, const std::string& message) { return Status::withCode(kind, message); }
inline Status readCorrupt(const std::string& message) { return Status::corrupt(message); }

/// Expands PackBits data into exactly `size` bytes; false when it does not fit.
bool unpackBits(const uint8_t* src, size_t n, uint8_t* dst, size_t size);

/// True for the keys of additional layer information whose lengths take 8
/// bytes in the large document format.
bool longLengthKey(const uint8_t* key);

/// The big-endian unsigned number in the `bytes` bytes at p.
inline uint64_t bigEndian(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

class PsdFile {
 public:
  PsdFile() = default;
  ~PsdFile();
  PsdFile(PsdFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}
  PsdFile& operator=(PsdFile&& other) noexcept;
  PsdFile(const PsdFile&) = delete;
  PsdFile& operator=(const PsdFile&) = delete;

  /// Opens a regular file: kNotFound, kIoError on failure.
  Status open(const std::string& path);
  uint64_t size() const { return size_; }
  bool fits(uint64_t offset, uint64_t n) const { return offset <= size_ && n <= size_ - offset; }
  /// Reads n bytes at offset; kCorrupt (naming `what`) when they are not all
  /// in the file, kIoError when the read fails. Threads may read at once.
  Status read(uint64_t offset, size_t n, void* out, const char* what);

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_PSD_FILE_H_
