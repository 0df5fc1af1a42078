#include "platform/signals.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

namespace pixolune {

namespace {

// Set from signal handlers: lock-free atomics only.
std::atomic<int> stop_signal{0};
std::atomic<int> stop_pipe_read{-1};
std::atomic<int> stop_pipe_write{-1};
std::atomic<int> end_how{static_cast<int>(SignalEnd::kExit)};
std::atomic<unsigned> watched_signals{0};  // Bit (1 << signal) for each signal watchStopSignals took.

// One place of the removal table. `state` says whether `path` may be read
// by the handler; it is never kSet while `path` is being written.
enum : int { kFree = 0, kFilling = 1, kSet = 2 };
struct RemovalSlot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};
RemovalSlot removal_slots[kRemovalSlots];
unsigned removal_cursor = 0;  // Where the next search for a free place begins.

static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need lock-free atomics");

void noteStopSignal(int signal) {
  const int saved = errno;
  int none = 0;
  stop_signal.compare_exchange_strong(none, signal);
  const int fd = stop_pipe_write.load();
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(fd, &byte, 1);  // A full pipe is already readable.
  }
  errno = saved;
}

void removeListedFiles() {
  for (RemovalSlot& slot : removal_slots)
    if (slot.state.load(std::memory_order_acquire) == kSet) unlink(slot.path);
}

void removeFilesAndEnd(int signal) {
  removeListedFiles();
  if (end_how.load() == static_cast<int>(SignalEnd::kExit)) _exit(128 + signal);
  raise(signal);  // The action was reset on entry; the signal ends the process once the handler returns.
}

bool takenByStopWatch(int signal) { return (watched_signals.load() & (1u << signal)) != 0; }

// A signal the program was started with ignored (nohup, a background job
// of a script) stays ignored, so the run keeps behaving as its starter asked.
bool ignoredAtStart(int signal) {
  struct sigaction old;
  return sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN;
}

}  // namespace

bool watchStopSignals() {
  if (stop_pipe_write.load() >= 0) return true;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  stop_pipe_read.store(ends[0]);
  stop_pipe_write.store(ends[1]);
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = noteStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // Reads and waits elsewhere go on; poll() still returns early.
  for (int signal : {SIGINT, SIGTERM}) {
    if (ignoredAtStart(signal)) continue;
    watched_signals.fetch_or(1u << signal);
    sigaction(signal, &action, nullptr);
  }
  return true;
}

int stopSignal() { return stop_signal.load(); }

int stopSignalFd() { return stop_pipe_read.load(); }

int removeFileOnSignal(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  int chosen = -1;
  for (int probe = 0; probe < kRemovalSlots && chosen < 0; ++probe) {
    const int at = static_cast<int>((removal_cursor + probe) % kRemovalSlots);
    if (removal_slots[at].state.load() == kFree) chosen = at;
  }
  if (chosen < 0) chosen = static_cast<int>(removal_cursor % kRemovalSlots);  // The oldest is given up.
  removal_cursor = static_cast<unsigned>(chosen) + 1;
  RemovalSlot& slot = removal_slots[chosen];
  slot.state.store(kFilling, std::memory_order_release);
  memcpy(slot.path, path.c_str(), path.size() + 1);
  slot.state.store(kSet, std::memory_order_release);
  return chosen;
}

void forgetFileOnSignal(int ticket, const std::string& path) {
  if (ticket < 0 || ticket >= kRemovalSlots) return;
  RemovalSlot& slot = removal_slots[ticket];
  if (slot.state.load() != kSet || path != slot.path) return;
  slot.state.store(kFree, std::memory_order_release);
}

void removeFilesOnSignalListNow() { removeListedFiles(); }

void removeFilesOnEndingSignals(SignalEnd end) {
  end_how.store(static_cast<int>(end));
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = removeFilesAndEnd;
  sigemptyset(&action.sa_mask);
  // No second ending signal breaks into the removal.
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&action.sa_mask, signal);
  action.sa_flags = end == SignalEnd::kResignal ? SA_RESETHAND : 0;
  for (int signal : {SIGTERM, SIGINT, SIGHUP})
    if (!takenByStopWatch(signal) && !ignoredAtStart(signal)) sigaction(signal, &action, nullptr);
}

void ignoreFileSizeSignal() { signal(SIGXFSZ, SIG_IGN); }

}  // namespace pixolune
