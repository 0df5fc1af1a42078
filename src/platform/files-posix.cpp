#include "platform/files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace pixolune {

namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// Opens one step below `at` without following a link; with `create` a
// missing step is made first. -1 with errno set on failure; a step that is
// a symbolic link fails with ELOOP whatever the kernel said.
int openStep(int at, const std::string& step, bool create) {
  int fd = openat(at, step.c_str(), kFolderFlags | O_NOFOLLOW);
  if (fd < 0 && errno == ENOENT && create) {
    if (mkdirat(at, step.c_str(), 0755) != 0 && errno != EEXIST) return -1;
    fd = openat(at, step.c_str(), kFolderFlags | O_NOFOLLOW);
  }
  if (fd >= 0 || (errno != ELOOP && errno != ENOTDIR)) return fd;
  const int error = errno;
  struct stat st;
  errno = fstatat(at, step.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode) ? ELOOP : error;
  return -1;
}

}  // namespace

FolderHandle::~FolderHandle() {
  if (fd_ >= 0) ::close(fd_);
}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool stepsBelow(const std::string& path, const std::string& folder, std::string* steps) {
  const std::string p = lexicallyNormal(path);
  const std::string f = lexicallyNormal(folder);
  if (p == f) {
    steps->clear();
    return true;
  }
  if (!isInsideFolder(p, f)) return false;
  *steps = f == "." ? p : p.substr(f == "/" ? 1 : f.size() + 1);
  return true;
}

FolderHandle openFolderBelow(const std::string& root, const std::string& steps, bool create, PathFailure* failure) {
  auto fail = [failure](const std::string& path) {
    *failure = {errno, errno == ENOENT ? withTrailingSlash(path) : path};
    return FolderHandle();
  };
  const std::string root_name = root.empty() ? "." : root;
  FolderHandle folder(open(root_name.c_str(), kFolderFlags));
  if (!folder) return fail(root_name);
  const std::string normal = lexicallyNormal(steps);
  if (normal == ".") return folder;
  std::string reached = withTrailingSlash(root_name);
  if (isAbsolutePath(normal) || normal == ".." || normal.rfind("../", 0) == 0) {
    *failure = {EXDEV, reached + normal};
    return FolderHandle();
  }
  for (const std::string& step : split(normal, '/')) {
    reached += step;
    FolderHandle next(openStep(folder.fd(), step, create));
    if (!next) return fail(reached);
    folder = std::move(next);
    reached += "/";
  }
  return folder;
}

int64_t fileSize(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool isFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool makeFolders(const std::string& path) {
  if (path.empty()) return false;
  if (isFolder(path)) return true;
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || path[pos] == '/') {
      std::string part = path.substr(0, pos);
      if (!isFolder(part) && mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return isFolder(path);
}

int64_t fileModificationTime(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_mtime);
}

bool setFileModificationTime(const std::string& path, int64_t seconds_utc) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(seconds_utc);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

std::string lexicallyNormal(const std::string& path) {
  const bool absolute = isAbsolutePath(path);
  std::vector<std::string> steps;
  for (const std::string& step : split(path, '/')) {
    if (step.empty() || step == ".") continue;
    if (step == ".." && !steps.empty() && steps.back() != "..") {
      steps.pop_back();
    } else if (step != ".." || !absolute) {
      steps.push_back(step);
    }
  }
  std::string out = absolute ? "/" : "";
  for (size_t i = 0; i < steps.size(); ++i) out += (i ? "/" : "") + steps[i];
  return out.empty() ? "." : out;
}

bool isInsideFolder(const std::string& path, const std::string& folder) {
  const std::string p = lexicallyNormal(path);
  const std::string f = lexicallyNormal(folder);
  if (f == ".") return !isAbsolutePath(p) && p != "." && p != ".." && p.rfind("../", 0) != 0;
  const std::string prefix = f == "/" ? f : f + "/";
  return p.size() > prefix.size() && p.compare(0, prefix.size(), prefix) == 0;
}

std::string absolutePath(const std::string& path) {
  if (path.empty() || isAbsolutePath(path)) return path;
  char buf[PATH_MAX];
  if (!getcwd(buf, sizeof buf)) return path;
  std::string out = lexicallyNormal(std::string(buf) + "/" + path);
  if (path.back() == '/' && out.back() != '/') out += '/';
  return out;
}

std::string programFolder() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return "./";
  buf[n] = '\0';
  return folderOf(buf);
}

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string withTrailingSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

bool readWholeFile(const std::string& path, std::string* contents) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buf;
  buf << in.rdbuf();
  if (in.bad()) return false;
  *contents = buf.str();
  return true;
}

}  // namespace pixolune
