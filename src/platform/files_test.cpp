#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "support/test_util.h"

namespace pixolune {
namespace {

namespace fs = std::filesystem;

class FolderBelowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root());
    fs::create_directories(dir_.file("outside"));
  }
  std::string root() const { return dir_.file("out"); }
  size_t entriesOutside() const {
    size_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.file("outside"))) n += !entry.path().empty();
    return n;
  }
  testing::TempDir dir_;
};

TEST_F(FolderBelowTest, MissingStepsAreMadeOneByOne) {
  PathFailure failure;
  FolderHandle folder = openFolderBelow(root() + "/", "a/b/./c/", true, &failure);
  ASSERT_TRUE(folder) << failure.path << ": " << failure.error;
  EXPECT_TRUE(isFolder(root() + "/a/b/c"));
  // The handle is the folder itself: a file made through it lands there.
  ASSERT_EQ(0, mkdirat(folder.fd(), "d", 0755));
  EXPECT_TRUE(isFolder(root() + "/a/b/c/d"));
  // Without `create` nothing is made, and the missing step is named.
  EXPECT_FALSE(openFolderBelow(root(), "a/x/y", false, &failure));
  EXPECT_EQ(ENOENT, failure.error);
  EXPECT_EQ(root() + "/a/x/", failure.path);
  EXPECT_FALSE(fs::exists(root() + "/a/x"));
}

TEST_F(FolderBelowTest, APlantedLinkIsNeverFollowed) {
  ASSERT_EQ(0, symlink(dir_.file("outside").c_str(), (root() + "/sub").c_str()));
  fs::create_directories(root() + "/a");
  ASSERT_EQ(0, symlink("../../outside", (root() + "/a/up").c_str()));
  for (const char* steps : {"sub", "sub/deeper/still", "a/up/x"}) {
    for (bool create : {true, false}) {
      PathFailure failure;
      EXPECT_FALSE(openFolderBelow(root(), steps, create, &failure)) << steps;
      EXPECT_EQ(ELOOP, failure.error) << steps;
      EXPECT_EQ(std::string(steps).rfind("a/", 0) == 0 ? root() + "/a/up" : root() + "/sub", failure.path);
    }
  }
  EXPECT_EQ(0u, entriesOutside());
  // A plain file where a folder should be is named as such.
  testing::writeText(root() + "/file", "x");
  PathFailure failure;
  EXPECT_FALSE(openFolderBelow(root(), "file/x", true, &failure));
  EXPECT_EQ(ENOTDIR, failure.error);
  EXPECT_EQ(root() + "/file", failure.path);
}

TEST_F(FolderBelowTest, TheRootIsOpenedAsNamedButStepsStayBelowIt) {
  // The user's own choice of folder may be a link.
  ASSERT_EQ(0, symlink(root().c_str(), dir_.file("chosen").c_str()));
  PathFailure failure;
  EXPECT_TRUE(openFolderBelow(dir_.file("chosen"), "made", true, &failure));
  EXPECT_TRUE(isFolder(root() + "/made"));
  EXPECT_FALSE(openFolderBelow(root(), "made/../../outside", true, &failure));
  EXPECT_EQ(EXDEV, failure.error);
  EXPECT_FALSE(openFolderBelow(dir_.file("gone"), "", true, &failure));
  EXPECT_EQ(ENOENT, failure.error);
  EXPECT_EQ(dir_.file("gone") + "/", failure.path);
  EXPECT_FALSE(fs::exists(dir_.file("gone")));
}

TEST(StepsBelow, GivesTheLexicalStepsInsideTheFolderOnly) {
  std::string steps;
  EXPECT_TRUE(stepsBelow("/o//a/./b/", "/o/", &steps));
  EXPECT_EQ("a/b", steps);
  EXPECT_TRUE(stepsBelow("/o/", "/o", &steps));
  EXPECT_EQ("", steps);
  EXPECT_TRUE(stepsBelow("a/b", ".", &steps));
  EXPECT_EQ("a/b", steps);
  EXPECT_FALSE(stepsBelow("/o/../p/a", "/o", &steps));
  EXPECT_FALSE(stepsBelow("/other", "/o", &steps));
}

}  // namespace
}  // namespace pixolune
