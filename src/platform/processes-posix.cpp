#include "platform/processes.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/files.h"

namespace pixolune {

namespace {

std::string procEntry(long pid, const char* what) { return "/proc/" + std::to_string(pid) + "/" + what; }

}  // namespace

long currentProcessId() { return static_cast<long>(getpid()); }

bool processMayExist(long pid) { return !(kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH); }

bool processProgram(long pid, std::string* program) {
  char target[PATH_MAX];
  const ssize_t length = readlink(procEntry(pid, "exe").c_str(), target, sizeof target - 1);
  if (length <= 0) return false;
  program->assign(target, static_cast<size_t>(length));
  const std::string deleted = " (deleted)";
  if (program->size() > deleted.size() && program->compare(program->size() - deleted.size(), deleted.size(), deleted) == 0)
    program->resize(program->size() - deleted.size());
  return true;
}

bool processName(long pid, std::string* name) {
  if (!readWholeFile(procEntry(pid, "comm"), name)) return false;
  while (!name->empty() && name->back() == '\n') name->pop_back();
  return true;
}

void endProcessNow(int code) { _exit(code); }

}  // namespace pixolune
