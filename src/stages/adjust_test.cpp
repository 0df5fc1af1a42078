#include "stages/adjust.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "run/pipeline.h"
#include "stages/stage_test_support.h"
#include "settings/settings.h"

namespace pixolune {
namespace {

using testing::staged;
using testing::decodeTestDocument;
using testing::makeDocument;
using testing::Pixels;
using testing::pixelsOf;
using testing::PsdMode;
using testing::rgbText;

// The stages with the options a run builds from the current settings.
Status adjustStage(BitmapPtr& image) { return pixolune::adjustStage(image, adjustOptionsFrom(settings())); }
Status greyscaleStage(BitmapPtr& image) { return pixolune::greyscaleStage(image, adjustOptionsFrom(settings())); }
Status thresholdStage(BitmapPtr& image) { return pixolune::thresholdStage(image, adjustOptionsFrom(settings())); }

// Six colours in a row: black, dark grey, mid grey (127), 128, red, white.
const std::array<std::array<int, 3>, 6> kRow = {{{0, 0, 0}, {40, 40, 40}, {127, 127, 127},
                                                 {128, 128, 128}, {255, 0, 0}, {255, 255, 255}}};

class AdjustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initImageLibrary();
    applyDefaultSettings(true);
  }
  BitmapPtr rowImage() {
    return decodeTestDocument(dir_, testing::rgbDocument(6, 1, [](int x, int) { return kRow[x]; }));
  }
  // A bitmap-mode document: black where x + y is even.
  BitmapPtr oneBitImage() {
    return decodeTestDocument(dir_, makeDocument(PsdMode::kBitmap, 1, 4, 3, 0,
                                                 [](int, int x, int y) { return (x + y) % 2 == 0 ? 1.0 : 0.0; }));
  }
  static std::string colour(std::array<int, 3> c) {
    return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
  }

  testing::TempDir dir_;
};

TEST_F(AdjustTest, NeutralCorrectionKeepsPixelsAndMakesOneBitGrey) {
  BitmapPtr source = oneBitImage();
  ASSERT_EQ(1u, FreeImage_GetBPP(source.get()));
  Pixels before = pixelsOf(source.get());
  settings().do_image_color_correction = true;
  BitmapPtr out(staged(adjustStage, std::move(source)));
  Pixels after = pixelsOf(out.get());
  EXPECT_EQ(8, after.bpp);  // Black and white is grey: it stays grey, never 24-bit colour.
  EXPECT_EQ(FIC_MINISBLACK, after.color_type);
  ASSERT_EQ(before.width, after.width);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(rgbText(before, x, y), rgbText(after, x, y)) << x << "," << y;
  EXPECT_EQ("0,0,0", rgbText(after, 0, 0));
  EXPECT_EQ("255,255,255", rgbText(after, 1, 0));
}

TEST_F(AdjustTest, InvertActsOnlyInsideColourCorrection) {
  settings().image_invert = true;
  BitmapPtr same = rowImage();
  FIBITMAP* in = same.get();
  EXPECT_TRUE(adjustStage(same).ok());
  EXPECT_EQ(in, same.get());
  EXPECT_EQ("255,0,0", rgbText(pixelsOf(same.get()), 4, 0));

  settings().do_image_color_correction = true;
  Pixels px = pixelsOf(BitmapPtr(staged(adjustStage, rowImage())).get());
  for (int x = 0; x < 6; ++x)
    EXPECT_EQ(colour({255 - kRow[x][0], 255 - kRow[x][1], 255 - kRow[x][2]}), rgbText(px, x, 0)) << x;
}

TEST_F(AdjustTest, BrightnessAndGammaMoveGreyTheRightWay) {
  settings().do_image_color_correction = true;
  settings().image_brightness = 50;
  Pixels brighter = pixelsOf(BitmapPtr(staged(adjustStage, rowImage())).get());
  EXPECT_GT(brighter.at(1, 0)[0], 40);
  settings().image_brightness = 0;
  settings().image_gamma = 0.5f;
  Pixels darker = pixelsOf(BitmapPtr(staged(adjustStage, rowImage())).get());
  EXPECT_LT(darker.at(2, 0)[0], 127);
  EXPECT_EQ("0,0,0", rgbText(darker, 0, 0));
  EXPECT_EQ("255,255,255", rgbText(darker, 5, 0));
}

TEST_F(AdjustTest, GreyscaleWeighsChannelsByLuminance) {
  settings().do_image_greyscale = true;
  BitmapPtr out(staged(greyscaleStage, testing::decodeTestDocument(
                                   dir_, testing::rgbDocument(3, 1, [](int x, int) {
                                     return std::array<int, 3>{x == 0 ? 255 : 0, x == 1 ? 255 : 0, x == 2 ? 255 : 0};
                                   }))
                                   ));
  Pixels px = pixelsOf(out.get());
  EXPECT_EQ(8, px.bpp);
  const double weights[3] = {0.2126, 0.7152, 0.0722};
  for (int x = 0; x < 3; ++x) {
    EXPECT_NEAR(std::lround(255 * weights[x]), px.at(x, 0)[0], 1) << x;
    EXPECT_EQ(px.at(x, 0)[0], px.at(x, 0)[1]);
    EXPECT_EQ(px.at(x, 0)[0], px.at(x, 0)[2]);
  }
}

TEST_F(AdjustTest, ThresholdZeroIsAllWhiteAndUsesTheLowByte) {
  settings().do_image_threshold = true;
  settings().image_threshold = 0;
  Pixels white = pixelsOf(BitmapPtr(staged(thresholdStage, rowImage())).get());
  EXPECT_EQ(1, white.bpp);
  for (int x = 0; x < 6; ++x) EXPECT_EQ("255,255,255", rgbText(white, x, 0)) << x;

  settings().image_threshold = 256 + 128;
  Pixels split = pixelsOf(BitmapPtr(staged(thresholdStage, rowImage())).get());
  const char* want[6] = {"0,0,0", "0,0,0", "0,0,0", "255,255,255", "0,0,0", "255,255,255"};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(want[x], rgbText(split, x, 0)) << x;

  settings().image_threshold = 255;
  Pixels dark = pixelsOf(BitmapPtr(staged(thresholdStage, rowImage())).get());
  for (int x = 0; x < 5; ++x) EXPECT_EQ("0,0,0", rgbText(dark, x, 0)) << x;
  EXPECT_EQ("255,255,255", rgbText(dark, 5, 0));
}

TEST_F(AdjustTest, GreyscaleThenThresholdGivesOneBit) {
  settings().do_image_greyscale = true;
  settings().do_image_threshold = true;
  settings().image_threshold = 60;  // Red's luminance (54) falls below it.
  BitmapPtr grey = staged(greyscaleStage, rowImage());
  ASSERT_EQ(8u, FreeImage_GetBPP(grey.get()));
  Pixels px = pixelsOf(staged(thresholdStage, std::move(grey)).get());
  EXPECT_EQ(1, px.bpp);
  EXPECT_EQ("0,0,0", rgbText(px, 4, 0));
  EXPECT_EQ("255,255,255", rgbText(px, 2, 0));
}

TEST_F(AdjustTest, SwitchedOffOrNullPassesThrough) {
  BitmapPtr owned = rowImage();
  FIBITMAP* in = owned.get();
  for (auto stage : {adjustStage, greyscaleStage, thresholdStage}) {
    EXPECT_TRUE(stage(owned).ok());
    EXPECT_EQ(in, owned.get());
  }
  settings().do_image_color_correction = settings().do_image_greyscale = settings().do_image_threshold = true;
  for (auto stage : {adjustStage, greyscaleStage, thresholdStage}) {
    BitmapPtr none;
    ignoreStatus(stage(none));  // Only that nothing appears matters here.
    EXPECT_EQ(nullptr, none);
  }
}

}  // namespace
}  // namespace pixolune
