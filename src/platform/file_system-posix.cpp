#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"

namespace pixolune {

namespace {

Status ioError(const std::string& what) { return Status::ioError(what + ": " + std::strerror(errno)); }

class PosixWritableFile : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  // A destructor cannot report; a caller that cares closes first and checks.
  ~PosixWritableFile() override { ignoreStatus(close()); }

  Status append(std::string_view bytes) override {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ioError("cannot write " + path_);
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return Status();
  }

  Status sync() override { return ::fsync(fd_) == 0 ? Status() : ioError("cannot flush " + path_); }

  void startWriteback() override {
    if (fd_ >= 0) sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
  }

  Status close() override {
    if (fd_ < 0) return Status::invalid(path_ + " is already closed");
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? Status() : ioError("cannot close " + path_);
  }

 private:
  int fd_;
  std::string path_;
};

class PosixFileSystem : public FileSystem {
 public:
  Status newTemporaryFile(const std::string& target, std::string* path,
                          std::unique_ptr<WritableFile>* file) override {
    std::string name = target + ".XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0) return ioError("cannot create a temporary file beside " + target);
    struct stat st;
    fchmod(fd, stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    *path = name;
    *file = std::make_unique<PosixWritableFile>(fd, name);
    return Status();
  }

  Status newFile(const std::string& path, std::unique_ptr<WritableFile>* file) override {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return ioError("cannot create " + path);
    *file = std::make_unique<PosixWritableFile>(fd, path);
    return Status();
  }

  Status syncFile(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ioError("cannot open " + path);
    Status st = ::fsync(fd) == 0 ? Status() : ioError("cannot flush " + path);
    ::close(fd);
    return st;
  }

  Status renameFile(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? Status() : ioError("cannot replace " + to);
  }

  Status removeFile(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 ? Status() : ioError("cannot remove " + path);
  }
};

}  // namespace

FileSystem& realFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace pixolune
