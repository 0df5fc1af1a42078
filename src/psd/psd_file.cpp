#include "psd/psd_file.h"

#include <cstring>

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

namespace pixolune {

Status PsdFile::open(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
    return errno == ENOENT ? readFault(Status::Code::kNotFound, "the file does not exist")
                           : readFault(Status::Code::kIoError, "the file cannot be examined");
  if (!S_ISREG(st.st_mode)) return readFault(Status::Code::kIoError, "not a regular file");
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return readFault(Status::Code::kIoError, "the file cannot be opened");
  size_ = static_cast<uint64_t>(st.st_size);
  return {};
}

Status PsdFile::read(uint64_t offset, size_t n, void* out, const char* what) {
  if (!fits(offset, n)) return readCorrupt(std::string(what) + ": runs past the end of the file");
  if (n == 0) return {};
  if (fd_ < 0) return readFault(Status::Code::kIoError, std::string(what) + ": the file is not open");
  auto* to = static_cast<uint8_t*>(out);
  for (size_t done = 0; done < n;) {
    const ssize_t got = pread(fd_, to + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return readFault(Status::Code::kIoError, std::string(what) + ": read error");
    done += static_cast<size_t>(got);
  }
  return {};
}

PsdFile::~PsdFile() {
  if (fd_ >= 0) ::close(fd_);
}

PsdFile& PsdFile::operator=(PsdFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
  }
  return *this;
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
