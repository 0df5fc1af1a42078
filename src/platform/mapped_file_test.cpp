#include "platform/mapped_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/test_util.h"

namespace pixolune {
namespace {

const MappedFile::Access kBothWays[] = {MappedFile::Access::kMapped, MappedFile::Access::kPositional};

// Every byte reads back as written, mapped or at offsets, from several
// threads at once; nothing past the end is read, and a read of nothing at
// the end succeeds.
TEST(MappedFileTest, ReadsEveryByteEitherWayAndNothingPastTheEnd) {
  testing::TempDir dir;
  std::string bytes;
  for (int i = 0; i < 100000; ++i) bytes.push_back(static_cast<char>(i * 7 + i / 251));
  testing::writeText(dir.file("f"), bytes);
  for (MappedFile::Access access : kBothWays) {
    MappedFile file;
    ASSERT_TRUE(file.open(dir.file("f"), access).ok());
    EXPECT_TRUE(file.isOpen());
    EXPECT_EQ(bytes.size(), file.size());
    EXPECT_EQ(access == MappedFile::Access::kMapped, file.data() != nullptr);
    if (file.data()) {
      EXPECT_EQ(0, std::memcmp(bytes.data(), file.data(), bytes.size()));
    }
    std::vector<std::thread> readers;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t)
      readers.emplace_back([&, t] {
        char piece[333];
        for (size_t at = static_cast<size_t>(t) * 97; at + sizeof piece <= bytes.size(); at += 1201)
          if (!file.read(at, sizeof piece, piece) || std::memcmp(piece, bytes.data() + at, sizeof piece) != 0) ++wrong[t];
      });
    for (std::thread& r : readers) r.join();
    EXPECT_EQ(std::vector<int>(4, 0), wrong);
    char tail[4] = {};
    EXPECT_TRUE(file.read(bytes.size() - 4, 4, tail));
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string(tail, 4));
    EXPECT_FALSE(file.read(bytes.size() - 3, 4, tail));
    EXPECT_FALSE(file.read(UINT64_MAX, 1, tail));
    EXPECT_TRUE(file.read(bytes.size(), 0, tail));
    // Moved, the file goes with it; closed, nothing is read.
    MappedFile moved = std::move(file);
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(moved.read(10, 4, tail));
    EXPECT_EQ(bytes.substr(10, 4), std::string(tail, 4));
    moved.close();
    EXPECT_FALSE(moved.isOpen());
    EXPECT_FALSE(moved.read(0, 1, tail));
  }
}

TEST(MappedFileTest, RefusesWhatIsNotARegularFileWithoutBlocking) {
  testing::TempDir dir;
  MappedFile file;
  Status st = file.open(dir.file("absent"));
  EXPECT_EQ(Status::Code::kNotFound, st.code());
  EXPECT_EQ("the file does not exist", st.message());
  st = file.open(dir.file(""));
  EXPECT_EQ(Status::Code::kIoError, st.code());
  EXPECT_EQ("not a regular file", st.message());
  ASSERT_EQ(0, mkfifo(dir.file("pipe").c_str(), 0600));
  st = file.open(dir.file("pipe"));  // Opening a pipe for reading would wait for a writer.
  EXPECT_EQ("not a regular file", st.message());
  EXPECT_FALSE(file.isOpen());
  // An empty file is open, with nothing to map or read.
  testing::writeText(dir.file("empty"), "");
  ASSERT_TRUE(file.open(dir.file("empty")).ok());
  EXPECT_TRUE(file.isOpen());
  EXPECT_EQ(0u, file.size());
  EXPECT_EQ(nullptr, file.data());
  char c;
  EXPECT_TRUE(file.read(0, 0, &c));
  EXPECT_FALSE(file.read(0, 1, &c));
}

}  // namespace
}  // namespace pixolune
