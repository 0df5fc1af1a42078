#include "platform/instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace pixolune {

namespace {

// Characters unsafe in file names replaced.
std::string safeName(const std::string& name) {
  std::string safe;
  for (char c : name) safe += (c == '/' || c == ' ') ? '_' : c;
  return safe;
}

std::string temporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp && *tmp == '/') ? tmp : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

// The runtime folder $XDG_RUNTIME_DIR names: it is the session's, so it is
// only checked to be there.
std::string runtimeFolder(const std::string& runtime, std::string* problem) {
  struct stat st;
  if (stat(runtime.c_str(), &st) != 0) {
    *problem = errno == ENOENT ? "the runtime folder " + quoted(runtime) + " (XDG_RUNTIME_DIR) does not exist"
                               : "the runtime folder " + quoted(runtime) + " (XDG_RUNTIME_DIR) cannot be used: " +
                                     std::strerror(errno);
    return "";
  }
  if (!S_ISDIR(st.st_mode)) {
    *problem = "the runtime folder " + quoted(runtime) + " (XDG_RUNTIME_DIR) is not a folder";
    return "";
  }
  return runtime;
}

// This user's own lock folder in the shared temporary folder, made when
// missing and used only when nobody else can have put a lock in it.
std::string ownFolder(const std::string& name, std::string* problem) {
  const std::string first = name.substr(0, name.find(' '));
  const std::string folder = temporaryFolder() + "/" + safeName(first) + "-" + std::to_string(geteuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    *problem = "the lock folder " + quoted(folder) + " cannot be made: " + std::strerror(errno);
    return "";
  }
  struct stat st;
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const bool own = fd >= 0 && fstat(fd, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 07777) == 0700;
  if (fd >= 0) close(fd);
  if (!own) {
    *problem = "the lock folder " + quoted(folder) + " is not a folder of this user's own with mode 0700";
    return "";
  }
  return folder;
}

}  // namespace

std::string instanceLockFolder(const std::string& name, std::string* problem) {
  problem->clear();
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/') return runtimeFolder(runtime, problem);
  return ownFolder(name, problem);
}

int lockSingleInstance(const std::string& name, std::string* problem) {
  const std::string folder = instanceLockFolder(name, problem);
  if (folder.empty()) return -1;
  const std::string path = folder + "/" + safeName(name) + ".lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *problem = "the lock file " + quoted(path) + " cannot be opened: " + std::strerror(errno);
    return -1;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) *problem = "the lock file " + quoted(path) + " cannot be locked: " + std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

void unlockSingleInstance(int handle) {
  if (handle < 0) return;
  flock(handle, LOCK_UN);
  close(handle);
}

}  // namespace pixolune
