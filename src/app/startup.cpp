#include "app/startup.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/command_line.h"
#include "engine/conversion_job.h"
#include "engine/format_table.h"
#include "engine/pipeline.h"
#include "platform/console.h"
#include "platform/instance.h"

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

}  // namespace

std::string formatVersion(int n) {
  std::string s = std::to_string(n);
  if (s.size() >= 2) s.insert(1, ".");
  if (s.size() >= 4) s.insert(3, ".");
  if (!s.empty() && s.back() == '0') s = s.substr(0, 3);
  return s;
}

std::string makeTitle(const std::string& name, int version) { return name + " " + formatVersion(version); }

const std::string& programTitle() { return titleStorage(); }

int acquireSingleInstance(const std::string& name, bool console_run) {
  int handle = lockSingleInstance(name);
  if (handle >= 0) return handle;
  if (console_run) {
    consolePrint("Error: Another instance of " + std::string(kProgramName) + " is running");
    endProgram(1);
  }
  endProgram(0);
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
  initImageLibrary();
  createFormatLists();
  ConversionJob& job = conversionJob();
  job.sequence_number = 1;
  job.random_number = drawRandomNumber();
  titleStorage() = makeTitle(kProgramName, kProgramVersion);
  instance_lock = acquireSingleInstance(programTitle(), asksForConsoleRun(argc, argv));
  runConsoleMode(argc, argv);
  window_mode();
  endProgram(0);
}

}  // namespace pixolune
