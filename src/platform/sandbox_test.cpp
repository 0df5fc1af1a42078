#include "platform/sandbox.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/io_uring.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/helper_process.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

// What the probe may touch: its folder, a file outside it and a process
// it has nothing to do with.
struct ProbeTargets {
  std::string inside;
  std::string outside_file;
  pid_t stranger = -1;
};

volatile sig_atomic_t own_signal_arrived = 0;

// Each attempt a confined process makes, by the name the tests expect.
std::vector<std::pair<std::string, std::function<bool()>>> attempts(const ProbeTargets& t) {
  auto creates = [](const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) close(fd);
    return fd >= 0;
  };
  const char* victim = t.outside_file.c_str();
  return {
      {"write inside", [=] { return creates(t.inside + "/new.png"); }},
      {"thread",
       [] {
         bool ran = false;
         std::thread([&ran] { ran = true; }).join();
         return ran;
       }},
      {"signal itself",
       [] {
         signal(SIGUSR1, [](int) { own_signal_arrived = 1; });
         return raise(SIGUSR1) == 0 && kill(getpid(), 0) == 0 && own_signal_arrived == 1;
       }},
      {"write outside", [=] { return creates(folderOf(t.outside_file) + "new.png"); }},
      {"truncate outside", [=] { return truncate(victim, 0) == 0; }},
      {"open outside with O_TRUNC",
       [=] {
         int fd = open(victim, O_RDONLY | O_TRUNC);
         if (fd >= 0) close(fd);
         return fd >= 0;
       }},
      {"chmod outside", [=] { return chmod(victim, 0600) == 0; }},
      {"fchmod outside",
       [=] {
         int fd = open(victim, O_RDONLY);
         bool changed = fd >= 0 && fchmod(fd, 0600) == 0;
         if (fd >= 0) close(fd);
         return changed;
       }},
      {"chown outside", [=] { return chown(victim, getuid(), getgid()) == 0; }},
      {"date outside", [=] { return utimensat(AT_FDCWD, victim, nullptr, 0) == 0; }},
      // ENOTSUP comes from a file system without such attributes: the call got through.
      {"xattr outside", [=] { return setxattr(victim, "user.pixolune", "1", 1, 0) == 0 || errno == ENOTSUP; }},
      {"signal a stranger", [=] { return kill(t.stranger, SIGTERM) == 0; }},
      {"io_uring",
       [] {
         io_uring_params params{};
         return syscall(SYS_io_uring_setup, 4, &params) >= 0;
       }},
      {"unshare", [] { return unshare(CLONE_NEWUSER) == 0 || unshare(CLONE_NEWNS) == 0; }},
      {"tcp socket", [] { return socket(AF_INET, SOCK_STREAM, 0) >= 0; }},
      {"unix socket", [] { return socket(AF_UNIX, SOCK_STREAM, 0) >= 0; }},
      {"fork",
       [] {
         pid_t child = fork();
         if (child == 0) _exit(0);
         return child > 0;
       }},
      {"exec",
       [] {
         char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
         execv("/bin/true", argv);  // Returns only when refused.
         return false;
       }},
  };
}

struct ProbeResult {
  Confinement confinement;
  std::set<std::string> could;  // Names of the attempts that succeeded.
};

// Confines a forked child exactly as a helper confines itself, lets it
// try everything and reads back what it could do through a pipe.
ProbeResult probeConfinedProcess(const ProbeTargets& targets) {
  int ends[2];
  EXPECT_EQ(0, pipe2(ends, O_CLOEXEC));
  pid_t pid = fork();
  if (pid == 0) {
    close(ends[0]);
    const Confinement c = confineHelperProcess(0, targets.inside);
    std::string report = std::string(c.limits ? "L" : "-") + (c.privileges ? "P" : "-") +
                         (c.system_calls ? "S" : "-") + (c.writes ? "W" : "-") + (c.truncation ? "T" : "-") + "\n";
    for (const auto& [name, attempt] : attempts(targets))
      if (attempt()) report += name + "\n";
    [[maybe_unused]] ssize_t n = write(ends[1], report.data(), report.size());
    _exit(0);
  }
  close(ends[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  close(ends[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the probe ended with status " << status;
  ProbeResult result;
  const std::string flags = text.substr(0, text.find('\n'));
  EXPECT_EQ(5u, flags.size()) << text;
  if (flags.size() != 5) return result;
  result.confinement.limits = flags[0] == 'L';
  result.confinement.privileges = flags[1] == 'P';
  result.confinement.system_calls = flags[2] == 'S';
  result.confinement.writes = flags[3] == 'W';
  result.confinement.truncation = flags[4] == 'T';
  for (size_t at = flags.size() + 1, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
    result.could.insert(text.substr(at, nl - at));
  return result;
}

class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(makeFolders(dir.file("inside")));
    ASSERT_TRUE(makeFolders(dir.file("outside")));
    targets.inside = dir.file("inside");
    targets.outside_file = dir.file("outside/kept.txt");
    testing::writeText(targets.outside_file, "keep");
    ASSERT_EQ(0, chmod(targets.outside_file.c_str(), 0644));
    ASSERT_EQ(0, stat(targets.outside_file.c_str(), &before));
    targets.stranger = fork();
    if (targets.stranger == 0) {
      pause();
      _exit(0);
    }
    ASSERT_GT(targets.stranger, 0);
  }
  void TearDown() override {
    if (targets.stranger > 0) {
      kill(targets.stranger, SIGKILL);
      waitpid(targets.stranger, nullptr, 0);
    }
  }
  bool strangerAlive() const { return waitpid(targets.stranger, nullptr, WNOHANG) == 0; }

  testing::TempDir dir;
  ProbeTargets targets;
  struct stat before {};
};

TEST_F(SandboxTest, AConfinedProcessWritesOnlyInsideItsFolderAndReachesNothingElse) {
  const ProbeResult r = probeConfinedProcess(targets);
  ASSERT_TRUE(r.confinement.limits && r.confinement.privileges && r.confinement.system_calls)
      << "a confinement did not take effect";
  std::set<std::string> expected = {"write inside", "thread", "signal itself"};
  if (!r.confinement.writes) expected.insert("write outside");
  if (!r.confinement.truncation) expected.insert("open outside with O_TRUNC");
  EXPECT_EQ(expected, r.could);
  EXPECT_TRUE(strangerAlive());
  EXPECT_EQ(r.confinement.writes, !pathExists(dir.file("outside/new.png")));
  if (!r.confinement.writes) GTEST_SKIP() << "this kernel has no Landlock: writes outside the output folder stay possible";
}

TEST_F(SandboxTest, AConfinedProcessLeavesFilesOutsideItsFolderAsTheyWere) {
  const ProbeResult r = probeConfinedProcess(targets);
  ASSERT_TRUE(r.confinement.system_calls);
  for (const char* change : {"truncate outside", "chmod outside", "fchmod outside", "chown outside", "date outside",
                             "xattr outside"})
    EXPECT_EQ(0u, r.could.count(change)) << change;
  struct stat after {};
  ASSERT_EQ(0, stat(targets.outside_file.c_str(), &after));
  EXPECT_EQ(before.st_mode, after.st_mode);
  char value[8];
  EXPECT_LT(getxattr(targets.outside_file.c_str(), "user.pixolune", value, sizeof value), 0);
  if (!r.confinement.truncation) GTEST_SKIP() << "without Landlock truncation rights opening with O_TRUNC empties files";
  EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  EXPECT_EQ("keep", testing::readText(targets.outside_file));
}

}  // namespace
}  // namespace pixolune
