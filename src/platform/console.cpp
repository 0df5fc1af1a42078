#include "platform/console.h"

#include <csignal>
#include <cstdio>
#include <mutex>

namespace pixolune {

namespace {

std::mutex& consoleLock() {
  static std::mutex lock;
  return lock;
}

ConsoleSink& activeSink() {
  static ConsoleSink sink;
  return sink;
}

bool isErrorLine(const std::string& line) { return line.rfind("Error: ", 0) == 0; }

void printToTerminal(const std::string& line) {
  FILE* stream = isErrorLine(line) ? stderr : stdout;
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

}  // namespace

void consolePrint(const std::string& line) {
  std::lock_guard<std::mutex> hold(consoleLock());
  if (activeSink()) activeSink()(line);
  else printToTerminal(line);
}

void ignoreBrokenPipes() { signal(SIGPIPE, SIG_IGN); }

void setConsoleSink(ConsoleSink sink) {
  std::lock_guard<std::mutex> hold(consoleLock());
  activeSink() = std::move(sink);
}

}  // namespace pixolune
