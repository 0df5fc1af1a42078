#include "app/progress_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace pixolune {
namespace {

using std::chrono::milliseconds;

class RecordingSurface : public ProgressSurface {
 public:
  void draw(const std::string& text) override { events.push_back(text); }
  void clear() override { events.push_back("(clear)"); }
  int width() const override { return columns; }

  std::vector<std::string> events;
  int columns = 80;
};

class ProgressLineTest : public ::testing::Test {
 protected:
  ProgressLine::Clock clock() {
    return [this] { return now_; };
  }
  void advance(int ms) { now_ += milliseconds(ms); }
  const std::string& last() const { return surface_.events.back(); }

  RecordingSurface surface_;
  std::chrono::steady_clock::time_point now_{std::chrono::seconds(1000)};
};

TEST_F(ProgressLineTest, CountsRateTimeLeftAndCurrentFileThenClears) {
  ProgressLine line(4, surface_, clock());
  line.fileStarted("/in/a.psd");
  advance(1000);
  line.fileFinished("/in/a.psd");
  line.fileStarted("/in/b.psd");
  advance(500);
  line.tick();
  line.finish();
  line.fileFinished("/in/b.psd");
  advance(1000);
  line.tick();
  line.finish();
  // 1 file in 1.5 s: 0.67 files/s, 3 files left take 4.5 s.
  std::vector<std::string> expected = {"0 of 4", "1 of 4  1.0 files/s  0:03 left",
                                       "1 of 4  0.7 files/s  0:05 left  /in/b.psd", "(clear)"};
  EXPECT_EQ(expected, surface_.events);
}

TEST_F(ProgressLineTest, RedrawsAtMostOncePerIntervalAndOnlyWhenTheTextChanged) {
  ProgressLine line(3, surface_, clock());
  line.fileStarted("/in/a.psd");
  advance(199);
  line.tick();
  EXPECT_EQ(1u, surface_.events.size());
  advance(1);
  line.tick();
  EXPECT_EQ("0 of 3  /in/a.psd", last());
  advance(5000);
  line.tick();  // Nothing finished yet: the text is the same.
  EXPECT_EQ(2u, surface_.events.size());
}

TEST_F(ProgressLineTest, ShowsTheOldestFileInHandWhileSeveralAreConverted) {
  ProgressLine line(10000, surface_, clock());
  for (const char* path : {"/in/a.psd", "/in/b.psd", "/in/c.psd"}) line.fileStarted(path);
  advance(1000);
  line.fileFinished("/in/a.psd");
  EXPECT_EQ("1 of 10000  1.0 files/s  2:46:39 left  /in/b.psd", last());
}

TEST_F(ProgressLineTest, FitsTheWidthByShorteningThePathAtItsStart) {
  surface_.columns = 30;
  ProgressLine line(4, surface_, clock());
  line.fileStarted("/very/long/folder/name/file.psd");
  advance(200);
  line.tick();
  EXPECT_EQ("0 of 4  ...lder/name/file.psd", last());  // 29 columns: the last one stays free.

  surface_.columns = 18;  // Room for fewer than eight characters of the path: none shown.
  line.fileStarted("/in/b.psd");
  advance(200);
  line.tick();
  EXPECT_EQ("0 of 4", last());

  surface_.columns = 4;
  advance(200);
  line.fileFinished("/very/long/folder/name/file.psd");
  EXPECT_EQ("1 o", last());
}

TEST_F(ProgressLineTest, CountsCharactersNotBytesAndHidesControlCharacters) {
  surface_.columns = 24;
  ProgressLine line(2, surface_, clock());
  line.fileStarted("/in/\x1b]0;title\x07\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4.psd");
  advance(200);
  line.tick();
  // 23 columns: "0 of 2", two spaces, "..." and the path's last 12 characters.
  EXPECT_EQ("0 of 2  ...e?\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4.psd", last());
}

TEST(PrintableTextTest, ReplacesControlCharactersOnly) {
  EXPECT_EQ("/in/a?[2Jb?c\xc3\xa4.psd", printableText("/in/a\x1b[2Jb\nc\xc3\xa4.psd"));
  EXPECT_EQ("a?b", printableText("a\x7f" "b"));
}

}  // namespace
}  // namespace pixolune
