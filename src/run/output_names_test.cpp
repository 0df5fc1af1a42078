#include "run/output_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "support/test_util.h"

namespace pixolune {
namespace {

namespace fs = std::filesystem;

class OutputNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(out() + "/sub");
    fs::create_directories(dir_.file("outside"));
  }
  std::string out() const { return dir_.file("out"); }
  // A converted file as a helper leaves it: beside its name, with the temporary suffix.
  std::string converted(const std::string& wanted, const std::string& bytes) {
    const std::string temporary = wanted + ".pxl-1-" + std::to_string(count_++);
    testing::writeText(temporary, bytes);
    return temporary;
  }
  testing::TempDir dir_;
  int count_ = 0;
};

TEST_F(OutputNamesTest, FilesInSubFoldersAreNumberedAsInTheFolderItself) {
  OutputNames names(out() + "/", {dir_.file("in/a.psd")});
  std::string path;
  for (const char* bytes : {"first", "second"}) {
    const std::string wanted = out() + "/sub/a.png";
    const Status placed = names.place(converted(wanted, bytes), wanted, &path);
    ASSERT_TRUE(placed.ok()) << placed.message();
  }
  EXPECT_EQ(out() + "/sub/a (2).png", path);
  EXPECT_EQ("first", testing::readText(out() + "/sub/a.png"));
  EXPECT_EQ("second", testing::readText(out() + "/sub/a (2).png"));
}

TEST_F(OutputNamesTest, AFolderThatIsALinkIsNamedAndNothingGoesThroughIt) {
  OutputNames names(out() + "/", {});
  // The helper wrote its file; then the folder became a link elsewhere.
  const std::string wanted = out() + "/sub/a.png";
  const std::string temporary = converted(wanted, "x");
  fs::rename(out() + "/sub", out() + "/moved");
  testing::writeText(dir_.file("outside/a.png.pxl-1-0"), "planted");
  ASSERT_EQ(0, symlink(dir_.file("outside").c_str(), (out() + "/sub").c_str()));
  std::string path, reason;
  reason = names.place(temporary, wanted, &path).message();
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ("the path passes through the symbolic link \"" + out() + "/sub\", which is not followed", reason);
  EXPECT_FALSE(fs::exists(dir_.file("outside/a.png")));
  EXPECT_EQ("planted", testing::readText(dir_.file("outside/a.png.pxl-1-0")));
}

TEST_F(OutputNamesTest, AnOutputFolderRemovedDuringTheRunIsNamed) {
  OutputNames names(out() + "/", {});
  const std::string wanted = out() + "/sub/a.png";
  const std::string temporary = converted(wanted, "x");
  fs::remove_all(out() + "/sub");
  std::string path, reason;
  reason = names.place(temporary, wanted, &path).message();
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ("the folder \"" + out() + "/sub/\" no longer exists", reason);
  fs::remove_all(out());
  reason = names.place(temporary, wanted, &path).message();
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ("the output folder \"" + out() + "/\" no longer exists", reason);
}

TEST(PathFailureReason, NamesWhatHappened) {
  const std::string folder = "/";  // There, so a missing path is below it.
  EXPECT_EQ("the file name is too long", pathFailureReason({ENAMETOOLONG, "/o/" + std::string(300, 'a')}, folder));
  EXPECT_EQ("no space left on the device", pathFailureReason({ENOSPC, "/o/a.png"}, folder));
  EXPECT_NE(std::string::npos, pathFailureReason({EFBIG, "/o/a.png"}, folder).find("no space"));
  EXPECT_NE(std::string::npos, pathFailureReason({EDQUOT, "/o/a.png"}, folder).find("no space"));
  EXPECT_EQ("no permission to write in \"/o/s/\"", pathFailureReason({EACCES, "/o/s/a.png"}, folder));
  EXPECT_EQ("the folder \"/o/s/\" no longer exists", pathFailureReason({ENOENT, "/o/s/a.png"}, folder));
  EXPECT_EQ("\"/o/a.png\" could not be written: Input/output error", pathFailureReason({EIO, "/o/a.png"}, folder));
}

}  // namespace
}  // namespace pixolune
