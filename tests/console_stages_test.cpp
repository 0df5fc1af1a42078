// Stage options reach the pixels through the real command line.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

struct Rgb {
  int r, g, b;
};

// 40 x 20 document in four solid quadrants.
const Rgb kTopLeft{200, 0, 0}, kTopRight{0, 200, 0}, kBottomLeft{0, 0, 200}, kBottomRight{100, 100, 100};

PsdDocument quadrants() {
  return makeDocument(PsdMode::kRgb, 8, 40, 20, 0, [](int c, int x, int y) {
    const Rgb& q = y < 10 ? (x < 20 ? kTopLeft : kTopRight) : (x < 20 ? kBottomLeft : kBottomRight);
    return static_cast<double>(c == 0 ? q.r : c == 1 ? q.g : q.b);
  });
}

int grey(const Rgb& c) { return static_cast<int>(0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b + 0.5); }

class ConsoleStagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("out"));
    fs::create_directories(dir_.file("home"));
    ASSERT_TRUE(writePsdFile(dir_.file("doc.psd"), quadrants()));
  }
  RunResult run(std::vector<std::string> args) {
    args.insert(args.begin(), {"-q", "-i", dir_.file("doc.psd"), "-o", dir_.file("out")});
    return runPixolune(args, dir_.path(), dir_.file("home"));
  }
  TempDir dir_;
};

TEST_F(ConsoleStagesTest, TurnFlipHalveAndGreyscale) {
  RunResult r = run({"--rotation=90", "--flip-horizontal", "--width=50", "--height=50", "--width-unit=percent",
                     "--height-unit=percent", "--greyscale"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  Pixels px = readImage(dir_.file("out/doc.png"));
  ASSERT_TRUE(px.ok());
  // Turned a quarter counter-clockwise (20 x 40), mirrored, halved (10 x 20).
  ASSERT_EQ(10, px.width);
  ASSERT_EQ(20, px.height);
  // After the turn: top-left holds the old top-right, bottom-left the old top-left,
  // top-right the old bottom-right, bottom-right the old bottom-left; the mirror
  // then swaps left and right.
  const struct {
    int x, y;
    Rgb source;
  } expected[] = {{2, 4, kBottomRight}, {7, 4, kTopRight}, {2, 15, kBottomLeft}, {7, 15, kTopLeft}};
  for (const auto& e : expected) {
    const uint8_t* p = px.at(e.x, e.y);
    EXPECT_NEAR(grey(e.source), p[0], 2) << e.x << "," << e.y;
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[0], p[2]);
  }
}

TEST_F(ConsoleStagesTest, FrameAndExpandedTextWatermark) {
  RunResult r = run({"--wm-text=%filename% %width%x%height%", "--wm-font-color=FFFF00", "--wm-text-position=topleft",
                     "--wm-text-x-offset=10", "--wm-text-y-offset=2", "--fr-solid-left=8",
                     "--fr-solid-left-color=00FF00"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  Pixels px = readImage(dir_.file("out/doc.png"));
  ASSERT_EQ(40, px.width);
  // The left band is the frame colour, the rest of the bottom row the picture.
  EXPECT_EQ(0, px.at(3, 18)[0]);
  EXPECT_EQ(255, px.at(3, 18)[1]);
  EXPECT_EQ(kBottomRight.r, px.at(35, 19)[0]);
  // Yellow glyph pixels appear right of the offset, none left of it.
  int yellow_right = 0, yellow_left = 0;
  for (int y = 0; y < px.height; ++y)
    for (int x = 0; x < px.width; ++x) {
      const uint8_t* p = px.at(x, y);
      if (p[0] == 255 && p[1] == 255 && p[2] == 0) (x >= 10 ? yellow_right : yellow_left)++;
    }
  EXPECT_GT(yellow_right, 10);
  EXPECT_EQ(0, yellow_left);
}

TEST_F(ConsoleStagesTest, UnknownFontEndsTheRun) {
  RunResult r = run({"--wm-text=Hello", "--wm-font=Nosuchfont"});
  EXPECT_EQ("Error: Invalid watermark font\n", r.err);
  EXPECT_EQ(1, r.exit_code);
  EXPECT_FALSE(fs::exists(dir_.file("out/doc.png")));
}

}  // namespace
}  // namespace pixolune::testing
