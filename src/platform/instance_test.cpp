#include "platform/instance.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "support/test_util.h"

namespace pixolune {
namespace {

namespace fs = std::filesystem;

// Each test sets its own XDG_RUNTIME_DIR and TMPDIR; the process's are put back afterwards.
class InstanceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_runtime_ = saved("XDG_RUNTIME_DIR");
    saved_tmp_ = saved("TMPDIR");
    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    restore("XDG_RUNTIME_DIR", saved_runtime_);
    restore("TMPDIR", saved_tmp_);
  }
  static std::optional<std::string> saved(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  }
  static void restore(const char* name, const std::optional<std::string>& value) {
    if (value) setenv(name, value->c_str(), 1);
    else unsetenv(name);
  }
  std::string ownFolder() const { return dir_.file("Lockprobe-" + std::to_string(geteuid())); }

  testing::TempDir dir_;
  std::optional<std::string> saved_runtime_, saved_tmp_;
};

TEST_F(InstanceLockTest, WithoutARuntimeFolderTheUsersOwnFolderIsMadeAndUsed) {
  std::string problem;
  const int handle = lockSingleInstance("Lockprobe 1.0", &problem);
  ASSERT_GE(handle, 0) << problem;
  struct stat st;
  ASSERT_EQ(0, lstat(ownFolder().c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(0700u, st.st_mode & 07777);
  EXPECT_TRUE(fs::exists(ownFolder() + "/Lockprobe_1.0.lock"));
  // A second instance of the same user is held back, and told nothing is wrong.
  EXPECT_EQ(-1, lockSingleInstance("Lockprobe 1.0", &problem));
  EXPECT_EQ("", problem);
  unlockSingleInstance(handle);
  const int again = lockSingleInstance("Lockprobe 1.0", &problem);
  EXPECT_GE(again, 0) << problem;
  unlockSingleInstance(again);
}

TEST_F(InstanceLockTest, ALockInTheSharedTemporaryFolderIsNotInTheWay) {
  // Where every user's lock used to be: held, and not this user's to open.
  const std::string shared = dir_.file("Lockprobe_1.0.lock");
  const int other = open(shared.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(other, 0);
  ASSERT_EQ(0, flock(other, LOCK_EX | LOCK_NB));
  if (geteuid() == 0) {
    EXPECT_EQ(0, fchown(other, 4242, 4242));
  }
  std::string problem;
  const int handle = lockSingleInstance("Lockprobe 1.0", &problem);
  EXPECT_GE(handle, 0) << problem;
  unlockSingleInstance(handle);
  close(other);
}

TEST_F(InstanceLockTest, AFolderOthersCouldWriteInIsRefusedByName) {
  std::string problem;
  const std::string expected =
      "the lock folder \"" + ownFolder() + "\" is not a folder of this user's own with mode 0700";
  ASSERT_EQ(0, mkdir(ownFolder().c_str(), 0777));
  chmod(ownFolder().c_str(), 0777);
  EXPECT_EQ(-1, lockSingleInstance("Lockprobe 1.0", &problem));
  EXPECT_EQ(expected, problem);

  // A link to a folder of the right kind is not the folder itself.
  rmdir(ownFolder().c_str());
  ASSERT_EQ(0, mkdir(dir_.file("elsewhere").c_str(), 0700));
  ASSERT_EQ(0, symlink(dir_.file("elsewhere").c_str(), ownFolder().c_str()));
  EXPECT_EQ(-1, lockSingleInstance("Lockprobe 1.0", &problem));
  EXPECT_EQ(expected, problem);
  EXPECT_FALSE(fs::exists(dir_.file("elsewhere/Lockprobe_1.0.lock")));

  if (geteuid() != 0) return;  // Only the superuser can give a folder to another user.
  unlink(ownFolder().c_str());
  ASSERT_EQ(0, mkdir(ownFolder().c_str(), 0700));
  ASSERT_EQ(0, chown(ownFolder().c_str(), 4242, 4242));
  EXPECT_EQ(-1, lockSingleInstance("Lockprobe 1.0", &problem));
  EXPECT_EQ(expected, problem);
}

TEST_F(InstanceLockTest, ARuntimeFolderThatDoesNotExistIsNamed) {
  const std::string runtime = dir_.file("run/user/4242");
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  std::string problem;
  EXPECT_EQ(-1, lockSingleInstance("Lockprobe 1.0", &problem));
  EXPECT_EQ("the runtime folder \"" + runtime + "\" (XDG_RUNTIME_DIR) does not exist", problem);
  EXPECT_FALSE(fs::exists(ownFolder()));  // Not quietly replaced by another folder.

  fs::create_directories(runtime);
  const int handle = lockSingleInstance("Lockprobe 1.0", &problem);
  EXPECT_GE(handle, 0) << problem;
  EXPECT_TRUE(fs::exists(runtime + "/Lockprobe_1.0.lock"));
  unlockSingleInstance(handle);
}

}  // namespace
}  // namespace pixolune
