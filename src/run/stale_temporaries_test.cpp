#include "run/stale_temporaries.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/helper_process.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::TempDir;

TEST(TemporaryName, OnlyTheExactPatternIsATemporaryName) {
  long pid = 0;
  EXPECT_TRUE(parseTemporaryName("a.png.pxl-1234-0", &pid));
  EXPECT_EQ(1234, pid);
  EXPECT_TRUE(parseTemporaryName("x.pxl-.pxl-7-12", &pid));
  EXPECT_EQ(7, pid);
  for (const char* name : {".pxl-12-3", "a.png.pxl-12-", "a.png.pxl--3", "a.png.pxl-12", "a.pxl-12-3.png",
                           "a.png.pxl-x2-3", "a.png.pxl-12-3x", "a.png.pxl-0-3", "a.png.pxl-99999999999-1",
                           "a.png.PXL-12-3", "a.png"})
    EXPECT_FALSE(parseTemporaryName(name, &pid)) << name;
}

// A process running `argv` (exec done when this returns), with `fd3` as its
// descriptor 3 when not -1.
pid_t startProgram(std::vector<std::string> argv, int fd3) {
  int exec_seen[2];
  EXPECT_EQ(0, pipe2(exec_seen, O_CLOEXEC));
  pid_t pid = fork();
  if (pid == 0) {
    if (fd3 >= 0) dup2(fd3, kHelperSocketFd);  // dup2 clears close-on-exec.
    int null = open("/dev/null", O_RDWR);
    dup2(null, 1), dup2(null, 2);
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(exec_seen[1]);
  char byte;
  while (read(exec_seen[0], &byte, 1) > 0) {
  }  // End of file: the exec closed the pipe (or the child ended).
  close(exec_seen[0]);
  return pid;
}

pid_t deadProcessId() {
  pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

class StaleTemporariesTest : public ::testing::Test {
 protected:
  std::string put(const std::string& name, pid_t pid, int number) {
    const std::string path = dir_.file(name + ".pxl-" + std::to_string(pid) + "-" + std::to_string(number));
    testing::writeText(path, "partial");
    return path;
  }
  TempDir dir_;
};

TEST_F(StaleTemporariesTest, OnlyFilesOfEndedWritersAreRemoved) {
  const pid_t dead = deadProcessId();
  ASSERT_EQ(-1, kill(dead, 0));
  int sockets[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets));
  // A helper of the real program, waiting for its run's setup.
  const pid_t ours = startProgram({PIXOLUNE_BINARY, "--internal-conversion-helper"}, sockets[1]);
  const pid_t foreign = startProgram({"/bin/sleep", "60"}, -1);  // An id now used by another program.
  close(sockets[1]);

  const std::string stale = put("a.png", dead, 0), reused = put("b.png", foreign, 3);
  const std::string running = put("c.png", ours, 1), own = put("d.png", getpid(), 2);
  const std::string unrelated[] = {dir_.file("a.png"), dir_.file("a.png.pxl-" + std::to_string(dead) + "-x"),
                                   dir_.file(".pxl-" + std::to_string(dead) + "-1")};
  for (const std::string& path : unrelated) testing::writeText(path, "keep");
  const std::string dead_name = ".pxl-" + std::to_string(dead) + "-";
  std::filesystem::create_directory(dir_.file("folder.png" + dead_name + "4"));
  std::filesystem::create_directory(dir_.file("sub"));
  const std::string below = put("sub/e.png", dead, 5);
  TempDir elsewhere;
  const std::string target = elsewhere.file("target.png");
  testing::writeText(target, "someone's file");
  ASSERT_EQ(0, symlink(target.c_str(), dir_.file("link.png" + dead_name + "6").c_str()));

  EXPECT_EQ(2, removeStaleTemporaries(dir_.path()));
  EXPECT_FALSE(pathExists(stale));
  EXPECT_FALSE(pathExists(reused));
  EXPECT_TRUE(pathExists(running));
  EXPECT_TRUE(pathExists(own));
  for (const std::string& path : unrelated) EXPECT_EQ("keep", testing::readText(path)) << path;
  EXPECT_TRUE(isFolder(dir_.file("folder.png" + dead_name + "4")));
  EXPECT_TRUE(pathExists(below));  // Only the folder itself is swept.
  EXPECT_TRUE(std::filesystem::is_symlink(dir_.file("link.png" + dead_name + "6")));
  EXPECT_EQ("someone's file", testing::readText(target));

  close(sockets[0]);  // The helper ends when its socket closes.
  kill(foreign, SIGKILL);
  waitpid(ours, nullptr, 0);
  waitpid(foreign, nullptr, 0);
}

TEST_F(StaleTemporariesTest, AFolderThatCannotBeReadRemovesNothing) {
  EXPECT_EQ(0, removeStaleTemporaries(dir_.file("missing")));
  const std::string file = put("a.png", deadProcessId(), 0);
  EXPECT_EQ(0, removeStaleTemporaries(file));  // A file, not a folder.
  EXPECT_TRUE(pathExists(file));
}

}  // namespace
}  // namespace pixolune
