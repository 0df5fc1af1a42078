#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/failing_file_system.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::FailingFileSystem;
using Step = FailingFileSystem::Step;

class FileReplacementTest : public ::testing::Test {
 protected:
  size_t filesInFolder() const {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) n += entry.is_regular_file();
    return n;
  }

  testing::TempDir dir;
  const std::string target = dir.file("list.txt");
};

TEST_F(FileReplacementTest, ReplacesTheOldFileAndKeepsItsPermissions) {
  testing::writeText(target, "old");
  chmod(target.c_str(), 0600);
  ASSERT_TRUE(replaceFile(target, "new bytes").ok());
  EXPECT_EQ("new bytes", testing::readText(target));
  struct stat st;
  ASSERT_EQ(0, stat(target.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 07777);
  EXPECT_EQ(1u, filesInFolder());
}

TEST_F(FileReplacementTest, ANewFileIsReadableByOthers) {
  ASSERT_TRUE(replaceFile(target, "x").ok());
  struct stat st;
  ASSERT_EQ(0, stat(target.c_str(), &st));
  EXPECT_EQ(0644u, st.st_mode & 07777);
}

TEST_F(FileReplacementTest, AFailureAtAnyStepLeavesTheOldFileAndNoTemporary) {
  for (Step step : {Step::kCreate, Step::kAppend, Step::kSync, Step::kClose, Step::kRename}) {
    testing::writeText(target, "old");
    FailingFileSystem fs(step);
    Status st = replaceFile(target, "new", fs);
    EXPECT_EQ(Status::Code::kIoError, st.code()) << static_cast<int>(step);
    EXPECT_NE(std::string::npos, st.message().find("fake error")) << st.message();
    EXPECT_EQ("old", testing::readText(target));
    EXPECT_EQ(1u, filesInFolder()) << static_cast<int>(step);
  }
}

TEST_F(FileReplacementTest, TheTemporaryFileLiesBesideTheTargetUnderAUniqueName) {
  FailingFileSystem fs(Step::kNothing);
  FileReplacement first(fs), second(fs);
  ASSERT_TRUE(first.begin(target).ok());
  ASSERT_TRUE(second.begin(target).ok());
  ASSERT_EQ(2u, fs.created().size());
  EXPECT_NE(fs.created()[0], fs.created()[1]);
  for (const std::string& name : fs.created()) EXPECT_EQ(0u, name.rfind(target + ".", 0)) << name;
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(FileReplacementTest, AnUncommittedReplacementIsDropped) {
  testing::writeText(target, "old");
  {
    FileReplacement replacement;
    ASSERT_TRUE(replacement.begin(target).ok());
    ASSERT_TRUE(replacement.append("half").ok());
  }
  EXPECT_EQ("old", testing::readText(target));
  EXPECT_EQ(1u, filesInFolder());
}

TEST_F(FileReplacementTest, AFailedAppendSticksUntilCommit) {
  testing::writeText(target, "old");
  FailingFileSystem fs(Step::kAppend);
  FileReplacement replacement(fs);
  ASSERT_TRUE(replacement.begin(target).ok());
  EXPECT_FALSE(replacement.append("a").ok());
  EXPECT_FALSE(replacement.append("b").ok());
  EXPECT_FALSE(replacement.commit().ok());
  EXPECT_EQ("old", testing::readText(target));
  EXPECT_EQ(1u, filesInFolder());
}

TEST_F(FileReplacementTest, ASyncedFileStaysForTheCallerToRename) {
  const std::string temporary = dir.file("out.png.part");
  auto write = [](const std::string& path) {
    testing::writeText(path, "pixels");
    return Status();
  };
  ASSERT_TRUE(writeSyncedFile(temporary, write).ok());
  EXPECT_EQ("pixels", testing::readText(temporary));

  FailingFileSystem fs(Step::kSync);
  EXPECT_FALSE(writeSyncedFile(temporary, write, fs).ok());
  EXPECT_FALSE(std::filesystem::exists(temporary));
  auto failing_write = [](const std::string& path) {
    testing::writeText(path, "half");
    return Status::ioError(path + ": disk full");
  };
  EXPECT_EQ("disk full", writeSyncedFile(temporary, failing_write).message().substr(temporary.size() + 2));
  EXPECT_FALSE(std::filesystem::exists(temporary));
}

}  // namespace
}  // namespace pixolune
