#include "platform/cores.h"

#include <dirent.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>

namespace pixolune {

namespace {

// True when process `pid` is running or waiting for the disk: converting.
bool processBusy(const std::string& pid) {
  std::ifstream stat("/proc/" + pid + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const size_t name_end = line.rfind(')');
  return name_end != std::string::npos && name_end + 2 < line.size() &&
         (line[name_end + 2] == 'R' || line[name_end + 2] == 'D');
}

// Busy child processes of this process's parent other than this one: the
// run's other helpers at work. Children are listed per thread of the parent.
int busySiblings() {
  const std::string parent = "/proc/" + std::to_string(getppid()) + "/task";
  const std::string self = std::to_string(getpid());
  std::unique_ptr<DIR, int (*)(DIR*)> tasks(opendir(parent.c_str()), closedir);
  if (!tasks) return 0;
  int busy = 0;
  while (const dirent* task = readdir(tasks.get())) {
    if (task->d_name[0] == '.') continue;
    std::ifstream children(parent + "/" + task->d_name + "/children");
    std::string pid;
    while (children >> pid)
      if (pid != self && processBusy(pid)) ++busy;
  }
  return busy;
}

}  // namespace

int processCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

int idleCores() {
  const int cores = processCores();
  return cores <= 1 ? 1 : std::clamp(cores - busySiblings(), 1, cores);
}

}  // namespace pixolune
