// What the fuzz targets share: each input is written to one in-memory
// file, opened as a conversion opens its document (mapped), and the same memory limit the decoder
// applies before it reads pixels keeps lying sizes from exhausting memory.
#ifndef PIXOLUNE_TESTS_FUZZ_FUZZ_INPUT_H_
#define PIXOLUNE_TESTS_FUZZ_FUZZ_INPUT_H_

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "psd/psd_header.h"

namespace pixolune::fuzz {

/// One file in memory that holds the current input; its path names it.
class InputFile {
 public:
  InputFile() : fd_(memfd_create("fuzz-input", MFD_CLOEXEC)), path_("/proc/self/fd/" + std::to_string(fd_)) {
    if (fd_ < 0) std::abort();
  }
  /// The path of a file holding exactly data[0..size).
  const std::string& hold(const uint8_t* data, size_t size) {
    if (ftruncate(fd_, 0) != 0 || (size > 0 && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size))) std::abort();
    return path_;
  }

 private:
  int fd_;
  std::string path_;
};

/// Bytes the pixels of a document of this header take (at least four
/// channels of at least a byte), as the decoder counts them.
inline uint64_t pixelBytes(const PsdHeader& h) {
  const uint64_t channels = h.channels > 4 ? static_cast<uint64_t>(h.channels) : 4;
  const uint64_t sample = h.depth > 8 ? static_cast<uint64_t>(h.depth) / 8 : 1;
  return static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height) * channels * sample;
}

/// The decoder refuses documents beyond its memory limit unread; the
/// targets refuse beyond this one.
constexpr uint64_t kPixelBudget = 64ull << 20;

/// Stops the run on a broken promise of a reader, as a crash would.
inline void require(bool promise) {
  if (!promise) __builtin_trap();
}

}  // namespace pixolune::fuzz

#endif  // PIXOLUNE_TESTS_FUZZ_FUZZ_INPUT_H_
