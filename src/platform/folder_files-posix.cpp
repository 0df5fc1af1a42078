#include "platform/folder_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/signals.h"

namespace pixolune {

OpenFile& OpenFile::operator=(OpenFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

int OpenFile::syncToDevice() { return fsync(fd_) == 0 ? 0 : errno; }

int OpenFile::writeAll(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

void OpenFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

OpenFile createNewFileIn(const FolderHandle& folder, const std::string& name, int* error) {
  const int fd = openat(folder.fd(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  *error = fd < 0 ? errno : 0;
  return OpenFile(fd);
}

bool removeFileIn(const FolderHandle& folder, const std::string& name) {
  return unlinkat(folder.fd(), name.c_str(), 0) == 0;
}

int renameFileIn(const FolderHandle& folder, const std::string& from, const std::string& to) {
  return renameat(folder.fd(), from.c_str(), folder.fd(), to.c_str()) == 0 ? 0 : errno;
}

EntryKind entryKindIn(const FolderHandle& folder, const std::string& name) {
  struct stat st;
  if (fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::kMissing;
  if (!S_ISREG(st.st_mode)) return EntryKind::kOther;
  return st.st_nlink == 1 ? EntryKind::kPlainFile : EntryKind::kLinkedFile;
}

FolderHandle openFolder(const std::string& path) {
  return FolderHandle(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool entryNamesIn(const FolderHandle& folder, std::vector<std::string>* names) {
  names->clear();
  const int fd = fcntl(folder.fd(), F_DUPFD_CLOEXEC, 0);  // closedir closes its own copy.
  if (fd < 0) return false;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return false;
  }
  rewinddir(dir);  // The copy shares the position of `folder`, which an earlier listing left at the end.
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  closedir(dir);
  return true;
}

bool deviceFull(const FolderHandle& folder) {
  struct statvfs st;
  if (fstatvfs(folder.fd(), &st) != 0) return false;
  return (geteuid() == 0 ? st.f_bfree : st.f_bavail) == 0;
}

bool fileIdentity(const std::string& path, FileIdentity* identity) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  *identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

bool folderWritable(const std::string& folder) { return access(folder.c_str(), W_OK) == 0; }

bool makePrivateFolder(const std::string& path) { return mkdir(path.c_str(), 0700) == 0; }

bool isExecutableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

int probeFileCreation(const std::string& prefix) {
  std::string probe = prefix + "XXXXXX";
  const int fd = mkostemp(probe.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  ::close(fd);
  unlink(probe.c_str());
  return 0;
}

int readAllOf(const std::string& path, bool standard_input, std::string* bytes) {
  bytes->clear();
  const int fd = standard_input ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  char block[65536];
  ssize_t n;
  while ((n = read(fd, block, sizeof block)) != 0) {
    if (n > 0) bytes->append(block, static_cast<size_t>(n));
    else if (errno != EINTR || stopSignal() != 0) break;  // Ctrl+C while a terminal is read.
  }
  const int read_errno = n < 0 ? errno : 0;
  if (!standard_input) ::close(fd);
  return read_errno;
}

}  // namespace pixolune
