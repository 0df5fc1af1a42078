#include "platform/signals.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "platform/files.h"
#include "platform/folders.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::TempDir;

// The handlers are process-wide and a stop signal is never undone, so each
// case runs in a child process of its own: `body` prepares, then says it is
// ready; the test sends `signals` one after another and reports how the
// child ended. `body` returns the child's exit status when it comes back.
struct ChildEnd {
  bool exited = false;
  int code = -1;
  int signal = 0;
};

ChildEnd runSignalled(const std::function<int(int ready_fd)>& body, std::initializer_list<int> signals) {
  int ready[2];
  EXPECT_EQ(0, pipe(ready));
  pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    // Each case starts from the defaults, whatever the test run was started
    // with (nohup ignores SIGHUP; a shell's background job, SIGINT).
    sigset_t ending;
    sigemptyset(&ending);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
      ::signal(signal, SIG_DFL);
      sigaddset(&ending, signal);
    }
    sigprocmask(SIG_UNBLOCK, &ending, nullptr);
    _exit(body(ready[1]));
  }
  close(ready[1]);
  for (int signal : signals) {
    char byte = 0;
    if (read(ready[0], &byte, 1) != 1) break;  // The child ended before it was ready.
    kill(pid, signal);
  }
  close(ready[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ChildEnd end;
  end.exited = WIFEXITED(status);
  end.code = end.exited ? WEXITSTATUS(status) : -1;
  end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return end;
}

void sayReady(int fd) {
  const char byte = 1;
  if (write(fd, &byte, 1) != 1) _exit(99);
}

// Says it is ready, then waits for a signal's handler to run and return
// (the signals are held back until the wait has begun).
void pauseForSignal(int fd) {
  sigset_t held, before;
  sigemptyset(&held);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal);
  sigprocmask(SIG_BLOCK, &held, &before);
  sayReady(fd);
  sigsuspend(&before);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

TEST(StopSignals, TheFirstSignalIsKeptAndWakesAThreadWaitingOnTheDescriptor) {
  ChildEnd end = runSignalled(
      [](int ready) {
        if (!watchStopSignals() || stopSignal() != 0 || stopSignalFd() < 0) return 10;
        bool woke = false;
        std::thread waiter([&woke] {
          pollfd p{stopSignalFd(), POLLIN, 0};
          int r;
          while ((r = poll(&p, 1, -1)) < 0 && errno == EINTR) {
          }
          woke = r == 1;
        });
        sayReady(ready);  // SIGTERM goes to the process: any thread may take it.
        waiter.join();
        if (!woke || stopSignal() != SIGTERM) return 11;
        pauseForSignal(ready);  // SIGINT now: noted, but the first signal stays.
        if (stopSignal() != SIGTERM) return 12;
        pollfd p{stopSignalFd(), POLLIN, 0};
        return poll(&p, 1, 0) == 1 ? 0 : 13;
      },
      {SIGTERM, SIGINT});
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(0, end.code);
}

class RemovalOnSignal : public ::testing::Test {
 protected:
  std::string touch(const std::string& name) {
    testing::writeText(dir_.file(name), "x");
    return dir_.file(name);
  }
  TempDir dir_;
};

TEST_F(RemovalOnSignal, AnEndingSignalRemovesTheNamedFilesAndExits) {
  const std::string named = touch("a.png.pxl-1-0"), forgotten = touch("b.png.pxl-1-1"), other = touch("c.png");
  ChildEnd end = runSignalled(
      [&](int ready) {
        removeFileOnSignal(named);
        forgetFileOnSignal(removeFileOnSignal(forgotten), forgotten);
        removeFilesOnEndingSignals(SignalEnd::kExit);
        pauseForSignal(ready);
        return 0;
      },
      {SIGTERM});
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(128 + SIGTERM, end.code);
  EXPECT_FALSE(pathExists(named));
  EXPECT_TRUE(pathExists(forgotten));
  EXPECT_TRUE(pathExists(other));
}

TEST_F(RemovalOnSignal, AFullTableGivesUpTheOldestPath) {
  std::vector<std::string> paths;
  for (int i = 0; i <= kRemovalSlots; ++i) paths.push_back(touch("f.png.pxl-1-" + std::to_string(i)));
  ChildEnd end = runSignalled(
      [&](int ready) {
        for (const std::string& path : paths) removeFileOnSignal(path);
        removeFilesOnEndingSignals(SignalEnd::kResignal);
        pauseForSignal(ready);
        return 0;
      },
      {SIGHUP});
  EXPECT_FALSE(end.exited);
  EXPECT_EQ(SIGHUP, end.signal);  // Ended by the signal itself.
  EXPECT_TRUE(pathExists(paths[0]));
  for (size_t i = 1; i < paths.size(); ++i) EXPECT_FALSE(pathExists(paths[i])) << paths[i];
}

// A run started with SIGHUP ignored (nohup) keeps ignoring it, and a
// watched stop signal is not turned into an ending one.
TEST_F(RemovalOnSignal, IgnoredAndWatchedSignalsAreLeftAlone) {
  const std::string named = touch("a.png.pxl-1-0");
  ChildEnd end = runSignalled(
      [&](int ready) {
        signal(SIGHUP, SIG_IGN);
        watchStopSignals();
        removeFileOnSignal(named);
        removeFilesOnEndingSignals(SignalEnd::kExit);
        sayReady(ready);
        pauseForSignal(ready);  // SIGHUP first: ignored, so this waits on for SIGTERM.
        if (stopSignal() != SIGTERM || !pathExists(named)) return 20;
        pauseForSignal(ready);
        return 0;
      },
      {SIGHUP, SIGTERM, SIGINT});
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(0, end.code);
  EXPECT_TRUE(pathExists(named));
}

}  // namespace
}  // namespace pixolune
