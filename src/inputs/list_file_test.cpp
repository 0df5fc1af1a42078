#include "inputs/list_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "platform/text.h"
#include "support/failing_file_system.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::readText;
using testing::TempDir;
using testing::writeText;

// "/in/é𝄞.psd" in the encodings a list file may come in.
const std::string kUtf8Path = "/in/\xC3\xA9\xF0\x9D\x84\x9E.psd";

std::string utf16(const std::u16string& text, bool big_endian) {
  std::string bytes;
  for (char16_t unit : text) {
    char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
    bytes += big_endian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return bytes;
}

TEST(ListFileDecodeTest, MarkChoosesTheEncoding) {
  const std::u16string wide = u"/in/\u00E9\U0001D11E.psd\r\n";
  EXPECT_EQ(kUtf8Path + "\r\n", decodeTextFile("\xEF\xBB\xBF" + kUtf8Path + "\r\n"));
  EXPECT_EQ(kUtf8Path + "\r\n", decodeTextFile(kUtf8Path + "\r\n"));
  EXPECT_EQ(kUtf8Path + "\r\n", decodeTextFile("\xFF\xFE" + utf16(wide, false)));
  EXPECT_EQ(kUtf8Path + "\r\n", decodeTextFile("\xFE\xFF" + utf16(wide, true)));
  std::string utf32 = std::string("\x00\x00\xFE\xFF", 4);
  for (char32_t c : std::u32string(U"/in/\u00E9\U0001D11E.psd"))
    utf32 += std::string{static_cast<char>(c >> 24), static_cast<char>(c >> 16), static_cast<char>(c >> 8),
                         static_cast<char>(c)};
  EXPECT_EQ(kUtf8Path, decodeTextFile(utf32));
  std::string utf32le = std::string("\xFF\xFE\x00\x00", 4);
  for (char32_t c : std::u32string(U"/in/\u00E9\U0001D11E.psd"))
    utf32le += std::string{static_cast<char>(c), static_cast<char>(c >> 8), static_cast<char>(c >> 16),
                           static_cast<char>(c >> 24)};
  EXPECT_EQ(kUtf8Path, decodeTextFile(utf32le));
}

TEST(ListFileDecodeTest, UnmarkedLinesThatAreNotUtf8AreLatin1) {
  // A UTF-8 line, a Latin-1 line ("été"), an overlong "/" and a lone surrogate.
  const std::string bytes = kUtf8Path + "\r\n/in/\xE9t\xE9.psd\r\n\xC0\xAF\n\xED\xA0\x80";
  EXPECT_EQ(kUtf8Path + "\r\n/in/\xC3\xA9t\xC3\xA9.psd\r\n\xC3\x80\xC2\xAF\n\xC3\xAD\xC2\xA0\xC2\x80",
            decodeTextFile(bytes));
}

TEST(ListFileDecodeTest, BrokenUtf16BecomesReplacementCharacters) {
  // A lone high surrogate, then "a", then an odd trailing byte.
  std::string bytes = std::string("\xFF\xFE", 2) + std::string("\x00\xD8", 2) + std::string("a\x00", 2) + "b";
  EXPECT_EQ("\xEF\xBF\xBD" "a\xEF\xBF\xBD", decodeTextFile(bytes));
}

TEST(ListFileDecodeTest, LinesEndAtCrLfOrBothAndLoseOnlySpaces) {
  std::string text = "  /a.psd  \r\n/b.psd\r/c.psd\n\n   \r\n\t/d.psd\t\n/e f.psd";
  EXPECT_EQ((std::vector<std::string>{"/a.psd", "/b.psd", "/c.psd", "\t/d.psd\t", "/e f.psd"}), splitListLines(text));
  EXPECT_TRUE(splitListLines("").empty());
}

TEST(ListFileReadTest, ReadsUtf16FilesAndFailsOnMissingOnes) {
  TempDir dir;
  writeText(dir.file("list.txt"), "\xFF\xFE" + utf16(u"  /in/\u00E9\U0001D11E.psd  \r\n/in/b.psd\r\n", false));
  std::vector<std::string> lines;
  ASSERT_TRUE(readListFile(dir.file("list.txt"), &lines));
  EXPECT_EQ((std::vector<std::string>{kUtf8Path, "/in/b.psd"}), lines);
  EXPECT_FALSE(readListFile(dir.file("missing.txt"), &lines));
  EXPECT_TRUE(lines.empty());
}

TEST(ListFileReadTest, StreamsGiveLinesOrNulSeparatedFieldsAsTheyStand) {
  TempDir dir;
  const char kFields[] = "/in/a b.psd\0 /in/ lead.psd\0\0/in/c\nd.psd\0";
  writeText(dir.file("nul"), std::string(kFields, sizeof kFields - 1));
  std::vector<std::string> lines;
  ASSERT_TRUE(readListStream(dir.file("nul"), true, &lines).ok());
  EXPECT_EQ((std::vector<std::string>{"/in/a b.psd", " /in/ lead.psd", "/in/c\nd.psd"}), lines);
  ASSERT_TRUE(readListStream(dir.file("nul"), false, &lines).ok());
  EXPECT_EQ(2u, lines.size());  // By lines the NUL bytes stay inside them.

  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  std::thread writer([&] { writeText(fifo, "\xEF\xBB\xBF/in/a.psd\r\n/in/b.psd\n"); });
  ASSERT_TRUE(readListStream(fifo, false, &lines).ok());
  writer.join();
  EXPECT_EQ((std::vector<std::string>{"/in/a.psd", "/in/b.psd"}), lines);

  const Status missing = readListStream(dir.file("missing"), false, &lines);
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ("No such file or directory", missing.message());
}

TEST(ListFileWriterTest, WritesTheMarkAndCrLfAfterEveryLine) {
  TempDir dir;
  ListFileWriter writer;
  ASSERT_TRUE(writer.open(dir.file("out.txt")));
  EXPECT_TRUE(writer.writeLine("/in/a.psd"));
  EXPECT_TRUE(writer.writeLine(kUtf8Path));
  ASSERT_TRUE(writer.commit());
  EXPECT_EQ("\xEF\xBB\xBF/in/a.psd\r\n" + kUtf8Path + "\r\n", readText(dir.file("out.txt")));
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()), {}));  // No temporary left.

  ListFileWriter empty;
  ASSERT_TRUE(empty.open(dir.file("empty.txt")));
  ASSERT_TRUE(empty.commit());
  EXPECT_EQ("\xEF\xBB\xBF", readText(dir.file("empty.txt")));
}

TEST(ListFileWriterTest, UncommittedOrFailedWritesLeaveTheOldFile) {
  TempDir dir;
  writeText(dir.file("old.txt"), "old contents");
  {
    ListFileWriter writer;
    ASSERT_TRUE(writer.open(dir.file("old.txt")));
    writer.writeLine("/in/new.psd");
  }
  EXPECT_EQ("old contents", readText(dir.file("old.txt")));
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()), {}));

  ListFileWriter writer;
  EXPECT_FALSE(writer.open(dir.file("missing/list.txt")));
  EXPECT_FALSE(writer.writeLine("/in/a.psd"));
  EXPECT_FALSE(writer.commit());
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing/list.txt")));
}

TEST(ListFileWriterTest, AWriteThatFailsPastTheFirstBlockKeepsTheOldFile) {
  TempDir dir;
  writeText(dir.file("old.txt"), "old contents");
  for (auto step : {testing::FailingFileSystem::Step::kAppend, testing::FailingFileSystem::Step::kSync}) {
    testing::FailingFileSystem fs(step);
    ListFileWriter writer(fs);
    writer.open(dir.file("old.txt"));
    for (int i = 0; i < 10000; ++i) writer.writeLine("/in/a long enough path to fill blocks " + std::to_string(i));
    EXPECT_FALSE(writer.commit());
    EXPECT_EQ("old contents", readText(dir.file("old.txt")));
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
  }
}

TEST(CountLineFeedsTest, CountsAcrossBlocks) {
  TempDir dir;
  std::string text(200000, 'x');
  for (size_t i = 0; i < text.size(); i += 1000) text[i] = '\n';
  text += "\r\n\r";
  writeText(dir.file("big.txt"), text);
  EXPECT_EQ(201, countLineFeeds(dir.file("big.txt")));
  EXPECT_EQ(0, countLineFeeds(dir.file("missing.txt")));
}

}  // namespace
}  // namespace pixolune
