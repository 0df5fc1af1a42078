#include "app/startup.h"

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <thread>

#include "app/command_line.h"
#include "app/window_module.h"
#include "run/conversion_helper.h"
#include "run/conversion_job.h"
#include "run/helper_pool.h"
#include "run/pipeline.h"
#include "platform/console.h"
#include "platform/helper_process.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/install_paths.h"
#include "platform/instance.h"
#include "platform/text.h"
#include "resources/product.h"
#include "settings/format_lists.h"

namespace pixolune {

namespace {

std::string& titleStorage() {
  static std::string title;
  return title;
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

std::string helperProgram() {
  const std::string path = installedProgram(kHelperProgramName);
  if (!isExecutableFile(path)) return kSelfExecutable;
  return path;
}

const std::string& programTitle() { return titleStorage(); }

std::vector<std::string>& windowStartInputs() {
  static std::vector<std::string> inputs;
  return inputs;
}

bool readWindowStart(const std::vector<std::string>& args, std::vector<std::string>* paths, std::string* error) {
  bool window = false;
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (toUpper(arg) == "--WINDOW") window = true;
  }
  if (!window) return false;
  paths->clear();
  error->clear();
  bool options_ended = false;
  for (const std::string& arg : args) {
    if (!options_ended && arg == "--") {
      options_ended = true;
    } else if (!options_ended && toUpper(arg) == "--WINDOW") {
    } else if (!options_ended && !arg.empty() && arg[0] == '-') {
      if (error->empty()) *error = "--window takes documents and folders only, not " + arg;
    } else if (!arg.empty()) {
      paths->push_back(absolutePath(arg));
    }
  }
  return true;
}

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

void endProgram(int code) {
  if (instance_lock >= 0) unlockSingleInstance(instance_lock);
  instance_lock = -1;
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(code);
}

namespace {

// Where this program finds its parts (the internal argument
// kInstallPathsArgument), for checking an installed tree.
void printInstallPaths() {
  consolePrint("helper: " + helperProgram());
  consolePrint("window-module: " + installedProgram(kWindowModuleName));
  consolePrint("themes: " + installedDataFolder(kThemeFolderName));
  consolePrint("manual: " + installedManual());
}

}  // namespace

void runProgram(int argc, char** argv, void (*window_mode)()) {
  ignoreBrokenPipes();
  initImageLibrary();
  if (argc == 2 && std::string(argv[1]) == kConversionHelperArgument) endProgram(runConversionHelper(kHelperSocketFd));
  if (argc == 2 && std::string(argv[1]) == kInstallPathsArgument) printInstallPaths(), endProgram(0);
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  std::string window_error;
  const bool window_start = readWindowStart(args, &windowStartInputs(), &window_error);
  if (!window_error.empty()) {
    consolePrint("Error: " + window_error);
    endProgram(1);
  }
  configureIsolation();
  createFormatLists();
  nameCounters() = NameCounters{drawRandomNumber(), 1};
  titleStorage() = productTitle();
  instance_lock = acquireSingleInstance(programTitle(), !window_start && asksForConsoleRun(argc, argv));
  if (!window_start) runConsoleMode(argc, argv);
  window_mode();
  endProgram(0);
}

}  // namespace pixolune
