#include "engine/psd_file.h"

#include <cstring>

#include <errno.h>
#include <sys/stat.h>

namespace pixolune {

Status PsdFile::open(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
    return errno == ENOENT ? readFault(Status::Code::kNotFound, "the file does not exist")
                           : readFault(Status::Code::kIoError, "the file cannot be examined");
  if (!S_ISREG(st.st_mode)) return readFault(Status::Code::kIoError, "not a regular file");
  file_.reset(fopen(path.c_str(), "rb"));
  if (!file_) return readFault(Status::Code::kIoError, "the file cannot be opened");
  size_ = static_cast<uint64_t>(st.st_size);
  return {};
}

Status PsdFile::read(uint64_t offset, size_t n, void* out, const char* what) {
  if (!fits(offset, n)) return readCorrupt(std::string(what) + ": runs past the end of the file");
  if (n == 0) return {};
  if (fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) != 0 || fread(out, 1, n, file_.get()) != n)
    return readFault(Status::Code::kIoError, std::string(what) + ": read error");
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
  size_t i = 0, o = 0;
  while (i < n && o < size) {
    const int8_t code = static_cast<int8_t>(src[i++]);
    if (code >= 0) {
      const size_t len = static_cast<size_t>(code) + 1;
      if (len > n - i || len > size - o) return false;
      std::memcpy(dst + o, src + i, len);
      i += len, o += len;
    } else if (code != -128) {
      const size_t len = static_cast<size_t>(1 - code);
      if (i >= n || len > size - o) return false;
      std::memset(dst + o, src[i++], len);
      o += len;
    }
  }
  return o == size;
}

}  // namespace pixolune
