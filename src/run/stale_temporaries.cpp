#include "run/stale_temporaries.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <map>

#include "platform/files.h"
#include "resources/product.h"

namespace pixolune {

namespace {

constexpr char kMarker[] = ".pxl-";

// Digits from `at` up to `end` (at least one) as a number, or -1 when they
// are not all digits or the number is larger than a process id can be.
long long digitsAt(const std::string& text, size_t at, size_t end) {
  if (at >= end || end - at > 10) return -1;
  long long value = 0;
  for (size_t i = at; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

std::string procEntry(pid_t pid, const char* what) { return "/proc/" + std::to_string(pid) + "/" + what; }

// The file a process runs, without the mark of a file replaced since.
bool programOf(pid_t pid, std::string* program) {
  char target[PATH_MAX];
  const ssize_t length = readlink(procEntry(pid, "exe").c_str(), target, sizeof target - 1);
  if (length <= 0) return false;
  program->assign(target, static_cast<size_t>(length));
  const std::string deleted = " (deleted)";
  if (program->size() > deleted.size() && program->compare(program->size() - deleted.size(), deleted.size(), deleted) == 0)
    program->resize(program->size() - deleted.size());
  return true;
}

// The programs that write temporary names: this program and its helper,
// which is named after it, under their usual names or the names this
// program runs under.
bool isOurProgramName(const std::string& name) {
  for (std::string program : {std::string(kProgramFileName), std::string()}) {
    if (program.empty() && programOf(getpid(), &program)) program = fileNameOf(program);
    if (!program.empty() && (name == program || name == program + "-helper")) return true;
  }
  return false;
}

}  // namespace

bool parseTemporaryName(const std::string& name, pid_t* pid) {
  const size_t at = name.rfind(kMarker);
  if (at == std::string::npos || at == 0) return false;
  const size_t id_from = at + sizeof kMarker - 1;
  const size_t dash = name.find('-', id_from);
  if (dash == std::string::npos) return false;
  const long long id = digitsAt(name, id_from, dash);
  if (id <= 0 || id > INT_MAX || digitsAt(name, dash + 1, name.size()) < 0) return false;
  *pid = static_cast<pid_t>(id);
  return true;
}

bool temporaryWriterMayLive(pid_t pid) {
  if (pid <= 0) return false;
  if (pid == getpid()) return true;
  if (kill(pid, 0) != 0 && errno == ESRCH) return false;
  std::string program;
  if (programOf(pid, &program)) return isOurProgramName(fileNameOf(program));
  // Another user's process, or one that has ended and is not yet reaped:
  // only its name is there. A helper started as /proc/self/exe is "exe".
  std::string name;
  if (!readWholeFile(procEntry(pid, "comm"), &name)) return true;  // Nothing tells: it may be ours.
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return isOurProgramName(name) || name == "exe";
}

int removeStaleTemporaries(const std::string& folder) {
  const int dir_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) return 0;
  DIR* dir = fdopendir(dir_fd);
  if (!dir) {
    close(dir_fd);
    return 0;
  }
  std::map<pid_t, bool> may_live;  // Asked once per writer.
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    pid_t pid = 0;
    if (!parseTemporaryName(name, &pid)) continue;
    struct stat info;
    if (fstatat(dir_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) continue;
    auto known = may_live.find(pid);
    if (known == may_live.end()) known = may_live.emplace(pid, temporaryWriterMayLive(pid)).first;
    if (!known->second && unlinkat(dir_fd, name.c_str(), 0) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}

}  // namespace pixolune
