#include "psd/psd_file.h"

#include <cstring>

namespace pixolune {

Status PsdFile::read(uint64_t offset, size_t n, void* out, const char* what) const {
  if (!fits(offset, n)) return readCorrupt(std::string(what) + ": runs past the end of the file");
  if (n == 0) return {};
  if (bytes_) {
    std::memcpy(out, bytes_ + offset, n);
    return {};
  }
  if (!file_ || !file_->isOpen()) return readFault(Status::Code::kIoError, std::string(what) + ": the file is not open");
  if (!file_->read(offset, n, out)) return readFault(Status::Code::kIoError, std::string(what) + ": read error");
  return {};
}

bool longLengthKey(const uint8_t* key) {
  static const char* const kKeys[] = {"LMsk", "Lr16", "Lr32", "Layr", "Mt16", "Mt32", "Mtrn",
                                      "Alph", "FMsk", "lnk2", "FEid", "FXid", "PxSD"};
  for (const char* k : kKeys)
    if (std::memcmp(key, k, 4) == 0) return true;
  return false;
}

bool unpackBits(const uint8_t* src, size_t n, uint8_t* dst, size_t size) {
  // Runs and literals of up to 16 bytes, the most common, are written as
  // 16 bytes at once where there is room: the bytes past the run are
  // written again by what follows.
  constexpr size_t kShort = 16;
  size_t i = 0, o = 0;
  while (i < n && o < size) {
    const int8_t code = static_cast<int8_t>(src[i++]);
    if (code >= 0) {
      const size_t len = static_cast<size_t>(code) + 1;
      if (len > n - i || len > size - o) return false;
      if (len <= kShort && n - i >= kShort && size - o >= kShort) std::memcpy(dst + o, src + i, kShort);
      else std::memcpy(dst + o, src + i, len);
      i += len, o += len;
    } else if (code != -128) {
      const size_t len = static_cast<size_t>(1 - code);
      if (i >= n || len > size - o) return false;
      if (len <= kShort && size - o >= kShort) std::memset(dst + o, src[i++], kShort);
      else std::memset(dst + o, src[i++], len);
      o += len;
    }
  }
  return o == size;
}

}  // namespace pixolune
