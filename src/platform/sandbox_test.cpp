#include "platform/sandbox.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/files.h"
#include "platform/folders.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

// Runs `body` in a confined child process; its exit status is a bit set of
// what it could do (1 write inside, 2 write outside, 4 socket, 8 fork,
// 16 exec, 32 thread), or 128 when a confinement did not take effect.
int whatAConfinedProcessCanDo(const std::string& inside, const std::string& outside, bool need_writes) {
  pid_t pid = fork();
  if (pid == 0) {
    Confinement c = confineProcess(0, inside);
    if (!c.limits || !c.system_calls || (need_writes && !c.writes)) _exit(128);
    int can = 0;
    auto creates = [](const std::string& path) {
      int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd >= 0) close(fd);
      return fd >= 0;
    };
    if (creates(inside + "/new.png")) can |= 1;
    if (creates(outside + "/new.png")) can |= 2;
    if (socket(AF_INET, SOCK_STREAM, 0) >= 0 || socket(AF_UNIX, SOCK_STREAM, 0) >= 0) can |= 4;
    pid_t child = fork();
    if (child == 0) _exit(0);
    if (child > 0) can |= 8;
    char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
    execv("/bin/true", argv);  // Returns only when refused.
    bool ran = false;
    std::thread([&ran] { ran = true; }).join();
    if (ran) can |= 32;
    _exit(can);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool kernelHasLandlock() {
  pid_t pid = fork();
  if (pid == 0) _exit(confineProcess(0, "").writes ? 0 : 1);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SandboxTest, AConfinedProcessWritesOnlyInsideItsFolderAndReachesNothingElse) {
  testing::TempDir dir;
  ASSERT_TRUE(makeFolders(dir.file("inside")));
  ASSERT_TRUE(makeFolders(dir.file("outside")));
  const bool landlock = kernelHasLandlock();
  const int can = whatAConfinedProcessCanDo(dir.file("inside"), dir.file("outside"), landlock);
  ASSERT_NE(128, can) << "a confinement did not take effect";
  EXPECT_EQ(1 | 32 | (landlock ? 0 : 2), can);
  EXPECT_FALSE(pathExists(dir.file("outside/new.png")) && landlock);
  if (!landlock) GTEST_SKIP() << "this kernel has no Landlock: writes outside the output folder stay possible";
}

}  // namespace
}  // namespace pixolune
