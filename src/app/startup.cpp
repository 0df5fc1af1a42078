#include "app/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "run/conversion_helper.h"
#include "run/conversion_job.h"
#include "run/helper_pool.h"
#include "run/pipeline.h"
#include "platform/console.h"
#include "platform/helper_process.h"
#include "platform/instance.h"
#include "resources/product.h"
#include "settings/format_lists.h"

namespace pixolune {

namespace {

std::string& titleStorage() {
  static std::string title;
  return title;
}

std::vector<std::function<void()>>& releaseList() {
  static std::vector<std::function<void()>> list;
  return list;
}

int instance_lock = -1;

// A positive whole number from the environment, or `fallback`.
long environmentNumber(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  return (*end == '\0' && value > 0) ? value : fallback;
}

// Both run modes convert every file in a helper process.
void configureIsolation() {
  IsolationConfig& config = conversionIsolation();
  const char* in_process = std::getenv(kInProcessVariable);
  config.program = (in_process && std::string(in_process) == "1") ? "" : helperProgram();
  config.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  config.time_limit_ms = static_cast<int>(environmentNumber(kTimeLimitVariable, config.time_limit_ms));
  long megabytes = environmentNumber(kMemoryLimitVariable, 0);
  config.memory_limit = static_cast<uint64_t>(megabytes) << 20;
}

}  // namespace

std::string besideProgram(const std::string& name) {
  char self[4096];
  const ssize_t length = readlink(kSelfExecutable, self, sizeof self - 1);
  if (length <= 0) return "";
  self[length] = '\0';
  std::string path(self);
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return path.replace(slash + 1, std::string::npos, name);
}

std::string helperProgram() {
  const std::string path = besideProgram(kHelperProgramName);
  if (path.empty()) return kSelfExecutable;
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || access(path.c_str(), X_OK) != 0) return kSelfExecutable;
  return path;
}

const std::string& programTitle() { return titleStorage(); }

bool displayNamed() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

int acquireSingleInstance(const std::string& name, bool console_run) {
  // A console run writes only through temporary files and renames, so runs may overlap.
  if (console_run) return -1;
  std::string problem;
  const int handle = lockSingleInstance(name, &problem);
  if (handle >= 0) return handle;
  if (problem.empty()) endProgram(0);  // The running instance has the window.
  consolePrint("Error: " + std::string(kProgramName) + " cannot tell whether another instance is running: " + problem);
  endProgram(1);
}

void atProgramEnd(std::function<void()> release) { releaseList().push_back(std::move(release)); }

void endProgram(int code) {
  auto& list = releaseList();
  while (!list.empty()) {
    auto release = std::move(list.back());
    list.pop_back();
    release();
  }
  if (instance_lock >= 0) unlockSingleInstance(instance_lock);
  instance_lock = -1;
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(code);
}

void runProgram(int argc, char** argv, void (*window_mode)()) {
  ignoreBrokenPipes();
  initImageLibrary();
  if (argc == 2 && std::string(argv[1]) == kConversionHelperArgument) endProgram(runConversionHelper(kHelperSocketFd));
  configureIsolation();
  createFormatLists();
  ConversionJob& job = conversionJob();
  job.sequence_number = 1;
  job.random_number = drawRandomNumber();
  titleStorage() = productTitle();
  instance_lock = acquireSingleInstance(programTitle(), asksForConsoleRun(argc, argv));
  runConsoleMode(argc, argv);
  window_mode();
  endProgram(0);
}

}  // namespace pixolune
