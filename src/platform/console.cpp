#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "platform/mutex.h"

namespace pixolune {

namespace {

Mutex& consoleLock() {
  static Mutex lock;
  return lock;
}

ConsoleSink& activeSink() {
  static ConsoleSink sink;
  return sink;
}

// The live line on standard error, guarded by consoleLock().
struct LiveLine {
  bool shown = false;
  std::string text;
};

LiveLine& liveLine() {
  static LiveLine live;
  return live;
}

constexpr char kClearLine[] = "\r\x1b[K";

void writeAll(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

bool isErrorLine(const std::string& line) { return line.rfind("Error: ", 0) == 0; }

// A line on standard output shares the live line's terminal only when
// standard output is a terminal too; into a pipe it leaves the live line be.
void printToTerminal(const std::string& line, bool to_error) {
  FILE* stream = to_error ? stderr : stdout;
  const bool around_live = liveLine().shown && (to_error || isatty(STDOUT_FILENO));
  if (around_live) writeAll(stderr, kClearLine);
  writeAll(stream, line + "\n");
  if (around_live) writeAll(stderr, liveLine().text + "\x1b[K");
}

void printLine(const std::string& line, bool to_error) {
  MutexLock hold(&consoleLock());
  if (activeSink()) activeSink()(line);
  else printToTerminal(line, to_error);
}

}  // namespace

void consolePrint(const std::string& line) { printLine(line, isErrorLine(line)); }

void consolePrintError(const std::string& line) { printLine(line, true); }

void consoleShowLiveLine(const std::string& text) {
  MutexLock hold(&consoleLock());
  liveLine().shown = true;
  liveLine().text = text;
  writeAll(stderr, "\r" + text + "\x1b[K");
}

void consoleClearLiveLine() {
  MutexLock hold(&consoleLock());
  if (!liveLine().shown) return;
  liveLine() = LiveLine{};
  writeAll(stderr, kClearLine);
}

bool consoleErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

int consoleWidth() {
  struct winsize size {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void ignoreBrokenPipes() { signal(SIGPIPE, SIG_IGN); }

void setConsoleSink(ConsoleSink sink) {
  MutexLock hold(&consoleLock());
  activeSink() = std::move(sink);
}

}  // namespace pixolune
