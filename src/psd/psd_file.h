// Random access to a document's bytes, every read checked against their
// size; shared by the header reader, the composite reader and the layer
// readers. The bytes are a file opened once (mapped, or read at offsets)
// or a buffer in memory.
#ifndef PIXOLUNE_PSD_PSD_FILE_H_
#define PIXOLUNE_PSD_PSD_FILE_H_

#include <cstdint>
#include <string>

#include "platform/mapped_file.h"
#include "platform/status.h"

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

/// A view of a document's bytes: it owns nothing, is cheap to copy, and
/// must not outlive the file or buffer it reads. Threads may read at once.
class PsdFile {
 public:
  /// No bytes: every read of a byte fails.
  PsdFile() = default;
  /// The bytes of an open file.
  explicit PsdFile(const MappedFile& file) : file_(&file), bytes_(file.data()), size_(file.size()) {}
  /// size bytes in memory.
  PsdFile(const uint8_t* bytes, uint64_t size) : bytes_(bytes), size_(size) {}

  uint64_t size() const { return size_; }
  bool fits(uint64_t offset, uint64_t n) const { return offset <= size_ && n <= size_ - offset; }
  /// All the bytes at once, or null when they are read from the file at offsets.
  const uint8_t* bytes() const { return bytes_; }
  /// Reads n bytes at offset; kCorrupt (naming `what`) when they are not all
  /// in the file, kIoError when the read fails.
  Status read(uint64_t offset, size_t n, void* out, const char* what) const;

 private:
  const MappedFile* file_ = nullptr;  // Read positionally when bytes_ is null.
  const uint8_t* bytes_ = nullptr;
  uint64_t size_ = 0;
};

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_PSD_FILE_H_
