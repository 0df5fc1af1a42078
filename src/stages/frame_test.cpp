#include "stages/frame.h"

#include <gtest/gtest.h>

#include "settings/settings.h"
#include "support/convert_fixture.h"

namespace pixolune {
namespace {

using testing::Box;
using testing::changedBox;
using testing::Pixels;
using testing::Rgb;
using testing::rgbAt;
using testing::solidDocument;

constexpr Rgb kGrey{128, 128, 128};

class FrameTest : public testing::ConvertFixture {
 protected:
  void SetUp() override {
    ConvertFixture::SetUp();
    settings().do_frame = true;
  }
};

TEST(ParseHexColorAlpha, ReadsRedGreenBlueAndAlpha) {
  EXPECT_EQ(0xFF0080FFu, parseHexColorAlpha("FF8000", 255));
  EXPECT_EQ(0x800080FFu, parseHexColorAlpha("ff8000", 128));
  EXPECT_EQ(0x7F000000u, parseHexColorAlpha("FFF", 127));
  EXPECT_EQ(0xFF000000u, parseHexColorAlpha("", 255));
  EXPECT_EQ(0xFF000000u, parseHexColorAlpha("FF80001", 255));
}

TEST_F(FrameTest, CornerIsSplitOnItsDiagonal) {
  settings().solid_left = settings().solid_top = 20;
  settings().solid_left_color = "FF0000";
  settings().solid_top_color = "0000FF";
  Pixels px = convert(solidDocument(100, 80, kGrey));
  ASSERT_TRUE(px.ok());
  EXPECT_EQ(24, px.bpp);
  for (int a = 0; a < 20; ++a) {
    for (int b = a + 2; b < 20; ++b) {
      EXPECT_EQ((Rgb{0, 0, 255}), rgbAt(px, b, a)) << "above the diagonal at " << b << "," << a;
      EXPECT_EQ((Rgb{255, 0, 0}), rgbAt(px, a, b)) << "below the diagonal at " << a << "," << b;
    }
  }
  EXPECT_EQ((Rgb{0, 0, 255}), rgbAt(px, 99, 19));
  EXPECT_EQ(kGrey, rgbAt(px, 99, 20));
  EXPECT_EQ((Rgb{255, 0, 0}), rgbAt(px, 19, 79));
  EXPECT_EQ(kGrey, rgbAt(px, 20, 79));
  EXPECT_EQ(kGrey, rgbAt(px, 20, 20));
}

TEST_F(FrameTest, SingleSideIsCutSquare) {
  settings().solid_left = 10;
  settings().solid_left_color = "00FF00";
  Pixels px = convert(solidDocument(100, 80, kGrey));
  ASSERT_TRUE(px.ok());
  Box box = changedBox(px, kGrey);
  EXPECT_EQ(0, box.x);
  EXPECT_EQ(0, box.y);
  EXPECT_EQ(10, box.width);
  EXPECT_EQ(80, box.height);
  for (int y : {0, 40, 79})
    for (int x : {0, 9}) EXPECT_EQ((Rgb{0, 255, 0}), rgbAt(px, x, y)) << x << "," << y;
}

TEST_F(FrameTest, FourSidesEachInTheirColour) {
  Settings& s = settings();
  s.solid_left = 5, s.solid_right = 6, s.solid_top = 7, s.solid_bottom = 8;
  s.solid_left_color = "FF0000", s.solid_right_color = "00FF00";
  s.solid_top_color = "0000FF", s.solid_bottom_color = "FFFF00";
  Pixels px = convert(solidDocument(60, 50, kGrey));
  ASSERT_TRUE(px.ok());
  EXPECT_EQ((Rgb{255, 0, 0}), rgbAt(px, 4, 25));
  EXPECT_EQ(kGrey, rgbAt(px, 5, 25));
  EXPECT_EQ((Rgb{0, 255, 0}), rgbAt(px, 54, 25));
  EXPECT_EQ(kGrey, rgbAt(px, 53, 25));
  EXPECT_EQ((Rgb{0, 0, 255}), rgbAt(px, 30, 6));
  EXPECT_EQ(kGrey, rgbAt(px, 30, 7));
  EXPECT_EQ((Rgb{255, 255, 0}), rgbAt(px, 30, 42));
  EXPECT_EQ(kGrey, rgbAt(px, 30, 41));
}

TEST_F(FrameTest, OpacityBlendsTheWholeFrame) {
  settings().solid_left = 10;
  settings().solid_left_color = "FFFFFF";
  settings().solid_opacity = 0;
  Pixels clear = convert(solidDocument(40, 30, kGrey));
  ASSERT_TRUE(clear.ok());
  EXPECT_EQ(0, changedBox(clear, kGrey).width);

  settings().solid_opacity = 128;
  Pixels half = convert(solidDocument(40, 30, kGrey));
  ASSERT_TRUE(half.ok());
  Rgb c = rgbAt(half, 5, 15);
  EXPECT_NEAR(192, c.r, 2);  // 255 * 128/255 + 128 * 127/255.
  EXPECT_EQ(c, rgbAt(half, 0, 0));
  EXPECT_EQ(kGrey, rgbAt(half, 10, 15));
}

TEST_F(FrameTest, ZeroWidthsKeepTheTransparency) {
  // A transparent document keeps its alpha through the frame stage even when
  // no side is drawn.
  testing::PsdDocument doc = testing::makeDocument(testing::PsdMode::kRgb, 8, 20, 10, 1, [](int c, int x, int) {
    return c == 3 ? (x < 10 ? 0.0 : 255.0) : 100.0;
  });
  doc.write_layers = true;
  doc.layer_count = -1;
  settings().do_frame = false;
  Pixels plain = convert(doc);
  ASSERT_TRUE(plain.ok());
  ASSERT_EQ(0, plain.at(0, 5)[3]) << "the document should decode with transparency";
  settings().do_frame = true;
  Pixels px = convert(doc);
  ASSERT_TRUE(px.ok());
  EXPECT_EQ(32, px.bpp);
  EXPECT_EQ(0, px.at(0, 5)[3]);
  EXPECT_EQ(255, px.at(15, 5)[3]);
  EXPECT_EQ((Rgb{100, 100, 100}), rgbAt(px, 15, 5));
}

TEST_F(FrameTest, SidesWiderThanTheImageStillConvert) {
  settings().solid_left = settings().solid_right = 70;
  settings().solid_top = settings().solid_bottom = 70;
  Pixels px = convert(solidDocument(100, 80, kGrey));
  ASSERT_TRUE(px.ok());
  EXPECT_EQ(100, px.width);
  EXPECT_EQ((Rgb{0, 0, 0}), rgbAt(px, 0, 40));
}

}  // namespace
}  // namespace pixolune
