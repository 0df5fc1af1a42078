#include "platform/folder_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/processes.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

namespace fs = std::filesystem;

void put(const std::string& path, const std::string& bytes = "x") { std::ofstream(path, std::ios::binary) << bytes; }

class FolderFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = openFolder(dir_.path());
    ASSERT_TRUE(folder_);
  }
  testing::TempDir dir_;
  FolderHandle folder_;
};

TEST_F(FolderFilesTest, NewFilesNeverReplaceFilesOrFollowLinks) {
  int error = -1;
  OpenFile file = createNewFileIn(folder_, "new.png", &error);
  ASSERT_TRUE(file);
  EXPECT_EQ(0, error);
  EXPECT_EQ(0, file.syncToDevice());
  file.close();
  EXPECT_FALSE(file);
  EXPECT_EQ(EntryKind::kPlainFile, entryKindIn(folder_, "new.png"));
  EXPECT_FALSE(createNewFileIn(folder_, "new.png", &error));
  EXPECT_EQ(EEXIST, error);
  // A link to a missing file is not made through.
  ASSERT_EQ(0, symlink(dir_.file("target").c_str(), dir_.file("link").c_str()));
  EXPECT_FALSE(createNewFileIn(folder_, "link", &error));
  EXPECT_EQ(EEXIST, error);
  EXPECT_FALSE(fs::exists(dir_.file("target")));
  EXPECT_EQ(EntryKind::kOther, entryKindIn(folder_, "link"));
}

TEST_F(FolderFilesTest, EntriesAreNamedKindedRenamedAndRemoved) {
  put(dir_.file("a"));
  ASSERT_EQ(0, link(dir_.file("a").c_str(), dir_.file("b").c_str()));
  fs::create_directory(dir_.file("sub"));
  EXPECT_EQ(EntryKind::kLinkedFile, entryKindIn(folder_, "a"));
  EXPECT_EQ(EntryKind::kOther, entryKindIn(folder_, "sub"));
  EXPECT_EQ(EntryKind::kMissing, entryKindIn(folder_, "none"));
  std::vector<std::string> names;
  ASSERT_TRUE(entryNamesIn(folder_, &names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"a", "b", "sub"}), names);
  ASSERT_TRUE(entryNamesIn(folder_, &names));  // The folder stays open and readable.
  EXPECT_EQ(3u, names.size());
  EXPECT_EQ(0, renameFileIn(folder_, "b", "c"));
  EXPECT_EQ(ENOENT, renameFileIn(folder_, "b", "d"));
  EXPECT_TRUE(removeFileIn(folder_, "c"));
  EXPECT_FALSE(removeFileIn(folder_, "c"));
  EXPECT_EQ(EntryKind::kPlainFile, entryKindIn(folder_, "a"));
  EXPECT_FALSE(openFolder(dir_.file("a")));
  EXPECT_FALSE(deviceFull(folder_));
}

TEST_F(FolderFilesTest, IdentityFollowsTheFileNotTheName) {
  put(dir_.file("a"));
  put(dir_.file("other"));
  ASSERT_EQ(0, symlink("a", dir_.file("alias").c_str()));
  FileIdentity a, alias, other;
  ASSERT_TRUE(fileIdentity(dir_.file("a"), &a));
  ASSERT_TRUE(fileIdentity(dir_.file("alias"), &alias));
  ASSERT_TRUE(fileIdentity(dir_.file("other"), &other));
  EXPECT_EQ(a, alias);
  EXPECT_NE(a, other);
  EXPECT_FALSE(fileIdentity(dir_.file("missing"), &a));
}

TEST_F(FolderFilesTest, FoldersProbesAndProgramsAsTheUserFindsThem) {
  EXPECT_TRUE(makePrivateFolder(dir_.file("private")));
  EXPECT_FALSE(makePrivateFolder(dir_.file("private")));
  EXPECT_FALSE(makePrivateFolder(dir_.file("no/such")));
  struct stat st;
  ASSERT_EQ(0, stat(dir_.file("private").c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 0777u & ~0022u);
  EXPECT_TRUE(folderWritable(dir_.path()));
  EXPECT_EQ(0, probeFileCreation(dir_.file("probe-")));
  EXPECT_TRUE(fs::is_empty(dir_.file("private")) && std::distance(fs::directory_iterator(dir_.path()), {}) == 1);
  EXPECT_EQ(ENOENT, probeFileCreation(dir_.file("gone/probe-")));
  put(dir_.file("script"));
  EXPECT_FALSE(isExecutableFile(dir_.file("script")));
  fs::permissions(dir_.file("script"), fs::perms::owner_exec, fs::perm_options::add);
  EXPECT_TRUE(isExecutableFile(dir_.file("script")));
  EXPECT_FALSE(isExecutableFile(dir_.path()));
}

TEST_F(FolderFilesTest, ReadsWholeFilesAndNamesWhyNot) {
  const std::string big(200000, 'q');
  put(dir_.file("list"), big);
  std::string bytes = "old";
  EXPECT_EQ(0, readAllOf(dir_.file("list"), false, &bytes));
  EXPECT_EQ(big, bytes);
  EXPECT_EQ(ENOENT, readAllOf(dir_.file("missing"), false, &bytes));
  EXPECT_EQ(EISDIR, readAllOf(dir_.path(), false, &bytes));
}

TEST(ProcessesTest, ThisProcessIsKnownAndAnEndedOneIsNot) {
  EXPECT_EQ(static_cast<long>(getpid()), currentProcessId());
  EXPECT_TRUE(processMayExist(currentProcessId()));
  std::string program, name;
  ASSERT_TRUE(processProgram(currentProcessId(), &program));
  EXPECT_EQ(fs::read_symlink("/proc/self/exe").string(), program);
  ASSERT_TRUE(processName(currentProcessId(), &name));
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(std::string::npos, name.find('\n'));
  EXPECT_FALSE(processMayExist(4194304 + 1));  // Above the largest process id Linux gives.
  EXPECT_FALSE(processProgram(4194304 + 1, &program));
}

}  // namespace
}  // namespace pixolune
