#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace pixolune {

Status MappedFile::open(const std::string& path, Access access) {
  close();
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return errno == ENOENT ? Status::notFound("the file does not exist") : Status::ioError("the file cannot be examined");
  if (!S_ISREG(st.st_mode)) return Status::ioError("not a regular file");
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::ioError("the file cannot be opened");
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // Replaced between the two looks.
    ::close(fd);
    return Status::ioError("not a regular file");
  }
  size_ = static_cast<uint64_t>(st.st_size);
  if (size_ == 0) {
    ::close(fd);
    open_empty_ = true;
    return {};
  }
  if (access == Access::kMapped && size_ <= SIZE_MAX) {
    void* p = mmap(nullptr, static_cast<size_t>(size_), PROT_READ, MAP_PRIVATE, fd, 0);
    if (p != MAP_FAILED) {
      data_ = static_cast<const uint8_t*>(p);
      ::close(fd);  // The mapping outlives the descriptor.
      return {};
    }
  }
  fd_ = fd;
  return {};
}

void MappedFile::close() {
  if (data_) munmap(const_cast<uint8_t*>(data_), static_cast<size_t>(size_));
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1, data_ = nullptr, size_ = 0, open_empty_ = false;
}

bool MappedFile::read(uint64_t offset, size_t n, void* out) const {
  if (offset > size_ || n > size_ - offset) return false;
  if (n == 0) return true;
  if (data_) {
    std::memcpy(out, data_ + offset, n);
    return true;
  }
  if (fd_ < 0) return false;
  auto* to = static_cast<uint8_t*>(out);
  for (size_t done = 0; done < n;) {
    const ssize_t got = pread(fd_, to + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

MappedFile::~MappedFile() { close(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)), open_empty_(std::exchange(other.open_empty_, false)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1), data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0), open_empty_ = std::exchange(other.open_empty_, false);
  }
  return *this;
}

}  // namespace pixolune
