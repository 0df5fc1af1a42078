#include "stages/transform.h"

#include <gtest/gtest.h>

#include <array>

#include "run/pipeline.h"
#include "stages/stage_test_support.h"
#include "settings/settings.h"

namespace pixolune {
namespace {

using testing::staged;
using testing::decodeTestDocument;
using testing::Pixels;
using testing::pixelsOf;
using testing::rgbDocument;
using testing::rgbText;

// The stages with the options a run builds from the current settings.
Status rotateStage(BitmapPtr& image) { return pixolune::rotateStage(image, transformOptionsFrom(settings())); }
Status resizeStage(BitmapPtr& image, int width, int height) {
  return pixolune::resizeStage(image, width, height, transformOptionsFrom(settings()));
}
Status flipStage(BitmapPtr& image) { return pixolune::flipStage(image, transformOptionsFrom(settings())); }

// Every pixel different: red from x, green from y, blue constant.
std::array<int, 3> gradient(int x, int y) { return {x * 2, y * 5, 77}; }

class TransformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initImageLibrary();
    applyDefaultSettings(true);
  }
  BitmapPtr gradientImage(int width, int height) { return decodeTestDocument(dir_, rgbDocument(width, height, gradient)); }
  BitmapPtr greyImage(int width, int height, int depth = 8) {
    double top = depth == 16 ? 65535.0 : 255.0;
    return decodeTestDocument(dir_, testing::makeDocument(testing::PsdMode::kGrey, depth, width, height, 0,
                                                          [&](int, int x, int) { return x % 2 ? top : 0.0; }));
  }
  BitmapPtr solidImage(int width, int height, std::array<int, 3> rgb) {
    return decodeTestDocument(dir_, rgbDocument(width, height, [&](int, int) { return rgb; }));
  }
  void turnOn(int angle, int type) {
    settings().do_image_rotation = true;
    settings().image_rotation = angle;
    settings().image_rotation_type = static_cast<uint8_t>(type);
  }
  void resizeTo(int width, int height, int unit = 0) {
    settings().do_image_resize = true;
    settings().image_width = width;
    settings().image_height = height;
    settings().image_width_unit = settings().image_height_unit = static_cast<uint8_t>(unit);
  }
  // Runs the resize stage the way the pipeline does and returns the size.
  std::pair<int, int> resized(int width, int height) {
    BitmapPtr out = staged(resizeStage, gradientImage(width, height), width, height);
    if (!out) return {0, 0};
    return {static_cast<int>(FreeImage_GetWidth(out.get())), static_cast<int>(FreeImage_GetHeight(out.get()))};
  }

  testing::TempDir dir_;
};

TEST(ParseHexColor, ReadsRedGreenBlueInEitherCase) {
  RGBQUAD c = parseHexColor("FF8001");
  EXPECT_EQ(255, c.rgbRed);
  EXPECT_EQ(128, c.rgbGreen);
  EXPECT_EQ(1, c.rgbBlue);
  EXPECT_EQ(0, c.rgbReserved);
  RGBQUAD lower = parseHexColor("0a0bFc");
  EXPECT_EQ(10, lower.rgbRed);
  EXPECT_EQ(11, lower.rgbGreen);
  EXPECT_EQ(252, lower.rgbBlue);
}

TEST(ParseHexColor, AnyOtherLengthIsBlack) {
  for (const char* text : {"", "FFFFF", "FFFFFFF", " FFFFFF"}) {
    RGBQUAD c = parseHexColor(text);
    EXPECT_EQ(0, c.rgbRed + c.rgbGreen + c.rgbBlue) << '"' << text << '"';
  }
}

TEST(ScaledLength, PixelsPassPercentRoundsTiesToEven) {
  EXPECT_EQ(640, scaledLength(640, 0, 1000));
  EXPECT_EQ(-5, scaledLength(-5, 0, 1000));
  EXPECT_EQ(400, scaledLength(50, 1, 801));   // 400.5
  EXPECT_EQ(300, scaledLength(50, 1, 601));   // 300.5
  EXPECT_EQ(402, scaledLength(50, 1, 803));   // 401.5
  EXPECT_EQ(4, scaledLength(150, 1, 3));      // 4.5
  EXPECT_EQ(333, scaledLength(33, 1, 1010));  // 333.3
  EXPECT_EQ(0, scaledLength(50, 2, 800));
}

TEST(ResizeFilter, MapsTheSixAlgorithmsAndFallsBackToBicubic) {
  EXPECT_EQ(FILTER_BOX, resizeFilter(0));
  EXPECT_EQ(FILTER_BILINEAR, resizeFilter(1));
  EXPECT_EQ(FILTER_BSPLINE, resizeFilter(2));
  EXPECT_EQ(FILTER_BICUBIC, resizeFilter(3));
  EXPECT_EQ(FILTER_CATMULLROM, resizeFilter(4));
  EXPECT_EQ(FILTER_LANCZOS3, resizeFilter(5));
  EXPECT_EQ(FILTER_BICUBIC, resizeFilter(6));
  EXPECT_EQ(FILTER_BICUBIC, resizeFilter(-1));
}

TEST_F(TransformTest, NinetyDegreesTurnsCounterClockwiseOntoAnUprightCanvas) {
  turnOn(90, 0);
  BitmapPtr out(staged(rotateStage, gradientImage(100, 50)));
  Pixels px = pixelsOf(out.get());
  ASSERT_EQ(50, px.width);
  ASSERT_EQ(100, px.height);
  EXPECT_EQ(24, px.bpp);
  // The source's top row becomes the left column, read bottom to top.
  int wrong = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 50; ++x) {
      std::array<int, 3> want = gradient(99 - y, x);
      const uint8_t* p = px.at(x, y);
      if (p[0] != want[0] || p[1] != want[1] || p[2] != want[2]) ++wrong;
    }
  EXPECT_EQ(0, wrong) << "top-left is " << rgbText(px, 0, 0);
}

TEST_F(TransformTest, FortyFiveDegreesGrowsTheCanvasWithBackColourCorners) {
  turnOn(45, 0);
  settings().image_rotation_back_color = "FF8000";
  BitmapPtr out(staged(rotateStage, solidImage(100, 50, {0, 0, 255})));
  Pixels px = pixelsOf(out.get());
  ASSERT_TRUE(px.ok());
  EXPECT_GT(px.width, 100);
  EXPECT_GT(px.height, 100);  // (100 + 50) / sqrt(2) is about 106.
  for (auto [x, y] : {std::pair{0, 0}, {px.width - 1, 0}, {0, px.height - 1}, {px.width - 1, px.height - 1}})
    EXPECT_EQ("255,128,0", rgbText(px, x, y)) << x << "," << y;
  EXPECT_EQ("0,0,255", rgbText(px, px.width / 2, px.height / 2));
}

TEST_F(TransformTest, FortyFiveDegreesAboutTheCentreKeepsTheSize) {
  turnOn(45, 1);
  BitmapPtr out(staged(rotateStage, solidImage(100, 50, {0, 0, 255})));
  Pixels px = pixelsOf(out.get());
  EXPECT_EQ(100, px.width);
  EXPECT_EQ(50, px.height);
  EXPECT_EQ(24, px.bpp);
  EXPECT_EQ("0,0,255", rgbText(px, 50, 25));
}

TEST_F(TransformTest, AnglesOutsideOneTo359LeaveTheImageUntouchedAndUnconverted) {
  for (int angle : {0, 360, -90, 400}) {
    turnOn(angle, 0);
    BitmapPtr out = greyImage(6, 4);
    FIBITMAP* grey = out.get();
    EXPECT_TRUE(rotateStage(out).ok());
    EXPECT_EQ(grey, out.get()) << angle;
    EXPECT_EQ(8u, FreeImage_GetBPP(out.get())) << angle;
  }
  settings().do_image_rotation = false;
  settings().image_rotation = 90;
  BitmapPtr owned = greyImage(6, 4);
  FIBITMAP* grey = owned.get();
  EXPECT_TRUE(rotateStage(owned).ok());
  EXPECT_EQ(grey, owned.get());
}

TEST_F(TransformTest, RotationKeepsGreyGreyUnlessTheCornersBringColour) {
  turnOn(30, 0);
  BitmapPtr out(staged(rotateStage, greyImage(6, 4)));
  ASSERT_TRUE(out);
  EXPECT_EQ(8u, FreeImage_GetBPP(out.get()));
  EXPECT_EQ(FIC_MINISBLACK, FreeImage_GetColorType(out.get()));
  settings().image_rotation_back_color = "FF8000";
  BitmapPtr coloured(staged(rotateStage, greyImage(6, 4)));
  ASSERT_TRUE(coloured);
  EXPECT_EQ(24u, FreeImage_GetBPP(coloured.get()));
  // An unknown type does not turn and leaves grey alone.
  turnOn(90, 2);
  Pixels px = pixelsOf(BitmapPtr(staged(rotateStage, greyImage(6, 4))).get());
  EXPECT_EQ(8, px.bpp);
  ASSERT_EQ(6, px.width);
  EXPECT_EQ("0,0,0", rgbText(px, 0, 0));
  EXPECT_EQ("255,255,255", rgbText(px, 1, 3));
}

TEST_F(TransformTest, SixteenBitGreyIsRotatedAtSixteenBits) {
  turnOn(90, 0);
  BitmapPtr out(staged(rotateStage, greyImage(6, 4, 16)));
  Pixels px = pixelsOf(out.get());
  ASSERT_TRUE(px.ok());
  EXPECT_EQ(FIT_UINT16, px.type);
  EXPECT_EQ(4, px.width);
  EXPECT_EQ(6, px.height);
  EXPECT_EQ("255,255,255", rgbText(px, 0, 0));  // Source column 5 is white.
  EXPECT_EQ("0,0,0", rgbText(px, 0, 1));
}

TEST_F(TransformTest, PercentTargetsRoundHalvesToEven) {
  resizeTo(50, 50, 1);
  EXPECT_EQ(std::make_pair(400, 300), resized(801, 601));
}

TEST_F(TransformTest, KeptRatioUsesTheTargetOfTheLongerSide) {
  resizeTo(200, 999);
  settings().keep_aspect_ratio = true;
  EXPECT_EQ(std::make_pair(200, 150), resized(400, 300));
  resizeTo(999, 200);
  EXPECT_EQ(std::make_pair(150, 200), resized(300, 400));
  resizeTo(10, 10);
  EXPECT_EQ(std::make_pair(10, 1), resized(1000, 2));  // 0.02 would be no image at all.
  resizeTo(70, 1);
  EXPECT_EQ(std::make_pair(70, 35), resized(2, 1));
  resizeTo(5, 1);
  EXPECT_EQ(std::make_pair(5, 2), resized(600, 200));  // 1.666... rounds up.
  resizeTo(10, 10);
  EXPECT_EQ(std::make_pair(10, 8), resized(640, 480));  // 7.5 rounds half away from zero.
  EXPECT_EQ(std::make_pair(8, 10), resized(480, 640));
}

TEST_F(TransformTest, ResizeWithoutAPositiveTargetOrChangeKeepsTheImage) {
  for (auto [w, h] : {std::pair{200, 0}, {0, 150}, {-5, 150}}) {
    resizeTo(w, h);
    settings().keep_aspect_ratio = true;
    BitmapPtr out = gradientImage(400, 300);
    FIBITMAP* in = out.get();
    EXPECT_TRUE(resizeStage(out, 400, 300).ok());
    EXPECT_EQ(in, out.get()) << w << "x" << h;
  }
  resizeTo(40, 30);
  BitmapPtr out = gradientImage(40, 30);
  FIBITMAP* in = out.get();
  EXPECT_TRUE(resizeStage(out, 40, 30).ok());
  EXPECT_EQ(in, out.get());
  settings().image_width_unit = 2;  // No target at all.
  BitmapPtr kept = gradientImage(20, 30);
  FIBITMAP* other = kept.get();
  EXPECT_TRUE(resizeStage(kept, 20, 30).ok());
  EXPECT_EQ(other, kept.get());
}

TEST_F(TransformTest, ResizeTypeOneDoesNotEnlarge) {
  resizeTo(800, 600);
  settings().image_resize_type = 1;
  EXPECT_EQ(std::make_pair(640, 480), resized(640, 480));
  EXPECT_EQ(std::make_pair(800, 600), resized(1024, 400));
  settings().image_resize_type = 0;
  EXPECT_EQ(std::make_pair(800, 600), resized(640, 480));
}

// The kept ratio follows one target only: a square grows to the width
// target even when that overflows the height target.
TEST_F(TransformTest, KeptRatioIgnoresTheOtherTarget) {
  resizeTo(800, 600);
  settings().keep_aspect_ratio = true;
  EXPECT_EQ(std::make_pair(800, 800), resized(400, 400));
  EXPECT_EQ(std::make_pair(800, 400), resized(1000, 500));
  EXPECT_EQ(std::make_pair(300, 600), resized(300, 600));
}

TEST_F(TransformTest, FitInsideTakesTheLargestSizeWithinBothTargets) {
  resizeTo(800, 600);
  settings().fit_inside = true;
  for (bool kept : {false, true}) {  // The kept ratio makes no difference.
    settings().keep_aspect_ratio = kept;
    EXPECT_EQ(std::make_pair(600, 600), resized(400, 400));
    EXPECT_EQ(std::make_pair(800, 400), resized(1000, 500));
    EXPECT_EQ(std::make_pair(200, 600), resized(300, 900));
    EXPECT_EQ(std::make_pair(800, 600), resized(1600, 1200));
    EXPECT_EQ(std::make_pair(800, 1), resized(3000, 2));  // Never no pixels.
  }
  resizeTo(10, 10);
  EXPECT_EQ(std::make_pair(10, 8), resized(640, 480));  // 7.5 rounds half away from zero.
  // An image that already touches the box from inside is kept as it is.
  resizeTo(800, 600);
  BitmapPtr image = gradientImage(800, 300);
  FIBITMAP* in = image.get();
  EXPECT_TRUE(resizeStage(image, 800, 300).ok());
  EXPECT_EQ(in, image.get());
}

TEST_F(TransformTest, FitInsideOfLargeImagesOnlyEverShrinks) {
  resizeTo(800, 600);
  settings().fit_inside = true;
  settings().image_resize_type = kResizeLargeImages;
  EXPECT_EQ(std::make_pair(400, 400), resized(400, 400));
  EXPECT_EQ(std::make_pair(800, 300), resized(800, 300));
  EXPECT_EQ(std::make_pair(800, 400), resized(1000, 500));
  EXPECT_EQ(std::make_pair(300, 600), resized(400, 800));
}

// A document of 32-bit floating-point samples with transparency is brought
// to 8 bits per channel for the resampling, keeping where it is transparent.
TEST_F(TransformTest, FloatingPointImagesWithAlphaAreResized) {
  BitmapPtr image = decodeTestDocument(dir_, testing::makeDocument(testing::PsdMode::kRgb, 32, 40, 20, 1,
                                                                   [](int c, int x, int) {
                                                                     return c == 3 ? (x < 20 ? 1.0 : 0.0) : 0.5;
                                                                   }));
  ASSERT_TRUE(image);
  ASSERT_EQ(FIT_RGBA16, FreeImage_GetImageType(image.get()));  // Encoded for display at 16 bits.
  resizeTo(20, 10);
  ASSERT_TRUE(resizeStage(image, 40, 20).ok());
  ASSERT_TRUE(image);
  Pixels px = pixelsOf(image.get());
  ASSERT_EQ(20, px.width);
  ASSERT_EQ(10, px.height);
  EXPECT_EQ(255, px.at(2, 5)[3]);
  EXPECT_EQ(0, px.at(17, 5)[3]);
}

TEST_F(TransformTest, EveryFilterKeepsAPlainColour) {
  resizeTo(23, 17);
  for (int algorithm = 0; algorithm <= 6; ++algorithm) {
    settings().image_resize_algorithm = static_cast<uint8_t>(algorithm);
    Pixels px = pixelsOf(BitmapPtr(staged(resizeStage, solidImage(40, 30, {200, 90, 10}), 40, 30)).get());
    ASSERT_EQ(23, px.width);
    ASSERT_EQ(17, px.height);
    int off = 0;
    for (int y = 0; y < px.height; ++y)
      for (int x = 0; x < px.width; ++x) {
        const uint8_t* p = px.at(x, y);
        if (std::abs(p[0] - 200) > 1 || std::abs(p[1] - 90) > 1 || std::abs(p[2] - 10) > 1) ++off;
      }
    EXPECT_EQ(0, off) << "algorithm " << algorithm;
  }
}

TEST_F(TransformTest, FlipsMoveKnownPixels) {
  auto flipped = [&](bool horizontal, bool vertical) {
    settings().do_image_flip_horizontal = horizontal;
    settings().do_image_flip_vertical = vertical;
    BitmapPtr image = gradientImage(3, 2);
    EXPECT_TRUE(flipStage(image).ok());
    return pixelsOf(image.get());
  };
  auto source = [](int x, int y) {
    std::array<int, 3> c = gradient(x, y);
    return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
  };
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(source(x, y), rgbText(flipped(false, false), x, y));
      EXPECT_EQ(source(2 - x, y), rgbText(flipped(true, false), x, y));
      EXPECT_EQ(source(x, 1 - y), rgbText(flipped(false, true), x, y));
      EXPECT_EQ(source(2 - x, 1 - y), rgbText(flipped(true, true), x, y));
    }
  BitmapPtr none;
  ignoreStatus(flipStage(none));  // Only that a null image does not crash matters here.
}

TEST_F(TransformTest, NullPassesThrough) {
  turnOn(90, 0);
  resizeTo(10, 10);
  BitmapPtr none;
  // Only that nothing appears matters here, not what the stages report.
  ignoreStatus(rotateStage(none));
  EXPECT_EQ(nullptr, none);
  ignoreStatus(resizeStage(none, 0, 0));
  EXPECT_EQ(nullptr, none);
}

}  // namespace
}  // namespace pixolune
