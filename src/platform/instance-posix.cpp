#include "platform/instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace pixolune {

namespace {

std::string lockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/') return runtime;
  const char* tmp = std::getenv("TMPDIR");
  return (tmp && *tmp == '/') ? tmp : "/tmp";
}

// The lock file name: the title with characters unsafe in file names replaced.
std::string lockFileName(const std::string& name) {
  std::string safe;
  for (char c : name) safe += (c == '/' || c == ' ') ? '_' : c;
  return safe + ".lock";
}

}  // namespace

int lockSingleInstance(const std::string& name) {
  std::string path = lockFolder() + "/" + lockFileName(name);
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
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
