#include "psd/layers/adjustments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "image/bitmap.h"
#include "psd/layers/layer_test_support.h"
#include "run/decode.h"
#include "run/pipeline.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::PsdDocument;
using testing::PsdLayer;
using testing::PsdMode;

std::string words(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>((v >> 8) & 0xFF), out += static_cast<char>(v & 0xFF);
  return out;
}

std::string floats(std::initializer_list<float> values) {
  std::string out;
  for (float f : values) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int i = 3; i >= 0; --i) out += static_cast<char>((bits >> (8 * i)) & 0xFF);
  }
  return out;
}

// Levels: the composite record, then one identity record per channel.
std::string levels(int in_lo, int in_hi, int out_lo, int out_hi, int gamma100) {
  std::string d = words({2, in_lo, in_hi, out_lo, out_hi, gamma100});
  for (int i = 0; i < 28; ++i) d += words({0, 255, 0, 255, 100});
  return d;
}

class AdjustmentLayerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initImageLibrary(); }
  // Colour (r, g, b) of one pixel per entry under an adjustment layer with this block.
  std::vector<std::array<int, 3>> apply(PsdMode mode, const std::vector<std::array<int, 3>>& pixels,
                                        const std::string& key, const std::string& data) {
    const int w = static_cast<int>(pixels.size());
    PsdDocument doc = testing::makeDocument(mode, 8, w, 1, 0, [](int, int, int) { return 0.0; });
    doc.resources = {testing::versionInfo(false)};
    PsdLayer base;
    base.bottom = 1, base.right = w;
    for (int c = 0; c < testing::colourChannels(mode); ++c) {
      std::vector<double> samples;
      for (const auto& p : pixels) samples.push_back(p[c]);
      base.channels.push_back({c, samples, 1});
    }
    PsdLayer adjustment;
    adjustment.blocks = {{key, data}};
    doc.layers = {base, adjustment};
    EXPECT_TRUE(testing::writePsdFile(path_, doc));
    std::string reason;
    BitmapPtr image;
    reason = decodeDocument(path_, 0, &image).message();
    EXPECT_TRUE(image) << reason;
    std::vector<std::array<int, 3>> out;
    if (!image) return out;
    BitmapPtr rgb(FreeImage_ConvertTo24Bits(image.get()));
    const BYTE* row = FreeImage_GetScanLine(rgb.get(), 0);
    for (int x = 0; x < w; ++x) out.push_back({row[3 * x + FI_RGBA_RED], row[3 * x + FI_RGBA_GREEN], row[3 * x + FI_RGBA_BLUE]});
    return out;
  }
  testing::TempDir dir_;
  std::string path_ = dir_.file("adjust.psd");
};

TEST_F(AdjustmentLayerTest, LevelsStretchTheInputRange) {
  // 50..200 onto 0..255: 125 lies halfway; below and above clip.
  auto out = apply(PsdMode::kRgb, {{125, 50, 200}, {20, 250, 125}}, "levl", levels(50, 200, 0, 255, 100));
  ASSERT_EQ(2u, out.size());
  EXPECT_EQ((std::array<int, 3>{128, 0, 255}), out[0]);
  EXPECT_EQ((std::array<int, 3>{0, 255, 128}), out[1]);
}

TEST_F(AdjustmentLayerTest, LevelsGammaInGreyUsesTheChannelRecord) {
  // Greyscale documents keep their setting in the first channel record.
  std::string d = words({2, 0, 255, 0, 255, 100}) + words({0, 255, 0, 255, 200});
  for (int i = 0; i < 27; ++i) d += words({0, 255, 0, 255, 100});
  auto out = apply(PsdMode::kGrey, {{64, 0, 0}}, "levl", d);
  ASSERT_EQ(1u, out.size());
  EXPECT_EQ(std::lround(255 * std::pow(64 / 255.0, 1 / 2.0)), out[0][0]);
}

TEST_F(AdjustmentLayerTest, CurvesPassThroughTheirPoints) {
  // The composite curve through (0, 0), (128, 64) and (255, 255); points are (output, input).
  std::string d = std::string("\0", 1) + words({1}) + std::string("\0\0\0\x01", 4) + words({3, 0, 0, 64, 128, 255, 255});
  auto out = apply(PsdMode::kRgb, {{128, 0, 255}}, "curv", d);
  ASSERT_EQ(1u, out.size());
  EXPECT_EQ((std::array<int, 3>{64, 0, 255}), out[0]);
}

TEST_F(AdjustmentLayerTest, PosterizeAndThreshold) {
  auto poster = apply(PsdMode::kRgb, {{100, 200, 255}}, "post", words({4, 0}));
  ASSERT_EQ(1u, poster.size());
  EXPECT_EQ((std::array<int, 3>{85, 255, 255}), poster[0]);  // Levels 0, 85, 170, 255.
  auto thresh = apply(PsdMode::kGrey, {{127, 0, 0}, {128, 0, 0}}, "thrs", words({128, 0}));
  ASSERT_EQ(2u, thresh.size());
  EXPECT_EQ(0, thresh[0][0]);
  EXPECT_EQ(255, thresh[1][0]);
}

TEST_F(AdjustmentLayerTest, ExposureWorksOnLinearLight) {
  auto out = apply(PsdMode::kRgb, {{128, 0, 255}}, "expA", words({1}) + floats({1.0f, 0.0f, 1.0f}));
  ASSERT_EQ(1u, out.size());
  EXPECT_NEAR(128 * std::pow(2.0, 1 / 2.2), out[0][0], 1);  // One stop up: twice the light.
  EXPECT_EQ(0, out[0][1]);
  EXPECT_EQ(255, out[0][2]);
}

TEST_F(AdjustmentLayerTest, LegacyBrightnessShiftsAndContrastStretches) {
  auto bright = apply(PsdMode::kRgb, {{100, 0, 250}}, "brit", words({20, 0, 127, 0}));
  ASSERT_EQ(1u, bright.size());
  EXPECT_EQ((std::array<int, 3>{120, 20, 255}), bright[0]);
  auto contrast = apply(PsdMode::kRgb, {{137, 117, 127}}, "brit", words({0, 50, 127, 0}));  // Twice as far from 127.
  ASSERT_EQ(1u, contrast.size());
  EXPECT_EQ((std::array<int, 3>{147, 107, 127}), contrast[0]);
}

TEST_F(AdjustmentLayerTest, CurrentBrightnessContrastBendsBetweenBlackAndWhite) {
  // "CgEd" with useLegacy off. The levels expected were read from a
  // Photoshop document holding these three settings (within 4 levels).
  const auto settings = [](int brightness, int contrast) {
    Desc d;
    d.object("null", 3).item("Brgh", "long").integer(brightness).item("Cntr", "long").integer(contrast);
    d.item("useLegacy", "bool").raw(std::string(1, 0));
    return d.block();
  };
  const std::vector<std::array<int, 3>> grey = {{0, 16, 64}, {128, 192, 255}};
  const auto levels = [&](int b, int c) {
    std::vector<int> out;
    for (const auto& px : apply(PsdMode::kRgb, grey, "CgEd", settings(b, c))) out.insert(out.end(), px.begin(), px.end());
    return out;
  };
  const struct {
    int brightness, contrast;
    std::vector<int> want;  // For 0, 16, 64, 128, 192, 255.
  } cases[] = {{150, -21, {0, 46, 158, 236, 252, 255}}, {23, 70, {0, 10, 57, 157, 229, 255}},
               {-31, 47, {0, 9, 42, 99, 171, 255}}};
  for (const auto& c : cases) {
    const std::vector<int> got = levels(c.brightness, c.contrast);
    ASSERT_EQ(6u, got.size());
    for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(c.want[i], got[i], 4) << c.brightness << "/" << c.contrast << " #" << i;
  }
  // Brightness alone, up and down, keeps the order of the levels.
  for (int b : {-150, -50, 50, 150}) {
    const std::vector<int> got = levels(b, 0);
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end())) << b;
    EXPECT_EQ(b > 0, got[3] > 128) << b;
  }
}

TEST_F(AdjustmentLayerTest, HueSaturationMasterSettings) {
  const std::string ranges = [] {
    std::string r;
    for (int i = 0; i < 6; ++i) r += words({0, 0, 0, 0, 0, 0, 0});
    return r;
  }();
  auto hue = apply(PsdMode::kRgb, {{255, 0, 0}}, "hue2", words({2, 0, 0, 0, 0, 120, 0, 0}) + ranges);
  ASSERT_EQ(1u, hue.size());
  EXPECT_EQ((std::array<int, 3>{0, 255, 0}), hue[0]);  // Red turned by 120 degrees.
  auto grey = apply(PsdMode::kRgb, {{255, 0, 0}}, "hue2", words({2, 0, 0, 0, 0, 0, 0xFF9C, 0}) + ranges);
  ASSERT_EQ(1u, grey.size());
  EXPECT_EQ((std::array<int, 3>{128, 128, 128}), grey[0]);  // Saturation -100: its lightness.
  auto light = apply(PsdMode::kRgb, {{100, 0, 255}}, "hue2", words({2, 0, 0, 0, 0, 0, 0, 50}) + ranges);
  ASSERT_EQ(1u, light.size());
  EXPECT_EQ((std::array<int, 3>{177, 127, 255}), light[0]);  // Halfway to white (50 is 255/256 of 50 %).
}

TEST_F(AdjustmentLayerTest, HueSaturationRangesAddUpInTheirOrder) {
  // Ranges over the reds (330..340..30..40 degrees), the rest empty.
  const auto block = [](std::vector<std::array<int, 3>> settings) {  // hue, saturation, lightness per range
    std::string d = words({2, 0, 0, 0, 0, 0, 0, 0});
    settings.resize(6, {0, 0, 0});
    for (const auto& r : settings) d += words({330, 340, 30, 40, r[0], r[1], r[2]});
    return d;
  };
  const std::vector<std::array<int, 3>> pixels = {{150, 100, 100}, {200, 100, 50}, {128, 128, 128}};
  // A raise of 89 then a cut of 92: the raise's gain (about 7.8) outweighs
  // the cut, and saturation stops at full without changing the lightness.
  auto boosted = apply(PsdMode::kRgb, pixels, "hue2", block({{0, 89, 0}, {0, -92, 0}}));
  ASSERT_EQ(3u, boosted.size());
  EXPECT_EQ((std::array<int, 3>{250, 0, 0}), boosted[0]);
  EXPECT_EQ((std::array<int, 3>{128, 128, 128}), boosted[2]);  // Greys are in no range.
  // Two full cuts stop at grey, and a raise of 50 after them (a gain of
  // about 1) brings the colour back: the cuts do not add up beyond grey.
  auto cut = apply(PsdMode::kRgb, pixels, "hue2", block({{0, -100, 0}, {0, -100, 0}, {0, 50, 0}}));
  ASSERT_EQ(3u, cut.size());
  EXPECT_EQ((std::array<int, 3>{150, 100, 100}), cut[0]);
  auto grey = apply(PsdMode::kRgb, pixels, "hue2", block({{0, -100, 0}, {0, -100, 0}}));
  ASSERT_EQ(3u, grey.size());
  EXPECT_EQ((std::array<int, 3>{125, 125, 125}), grey[0]);
  // A range's lightness takes a colour to its own brightest or darkest channel.
  auto darker = apply(PsdMode::kRgb, pixels, "hue2", block({{0, 0, -100}}));
  auto lighter = apply(PsdMode::kRgb, pixels, "hue2", block({{0, 0, 100}}));
  ASSERT_EQ(3u, darker.size());
  ASSERT_EQ(3u, lighter.size());
  EXPECT_EQ((std::array<int, 3>{50, 50, 50}), darker[1]);
  EXPECT_EQ((std::array<int, 3>{200, 200, 200}), lighter[1]);
  EXPECT_EQ((std::array<int, 3>{128, 128, 128}), lighter[2]);
}

TEST_F(AdjustmentLayerTest, ColourBalanceShiftsTheTonesItNames) {
  // Midtones fully towards red: a mid grey gains 0.7 of full red; a black
  // pixel is a shadow and stays.
  const std::string midtones_red = words({0, 0, 0, 100, 0, 0, 0, 0, 0}) + std::string("\0\0", 2);
  auto out = apply(PsdMode::kRgb, {{128, 128, 128}, {0, 0, 0}}, "blnc", midtones_red);
  ASSERT_EQ(2u, out.size());
  EXPECT_EQ((std::array<int, 3>{255, 128, 128}), out[0]);
  EXPECT_EQ((std::array<int, 3>{0, 0, 0}), out[1]);
  const std::string keep = words({0, 0, 0, 100, 0, 0, 0, 0, 0}) + std::string("\x01\0", 2);
  auto kept = apply(PsdMode::kRgb, {{128, 128, 128}}, "blnc", keep);
  ASSERT_EQ(1u, kept.size());
  EXPECT_NEAR(128, (std::max({kept[0][0], kept[0][1], kept[0][2]}) + std::min({kept[0][0], kept[0][1], kept[0][2]})) / 2.0, 1);
  EXPECT_GT(kept[0][0], kept[0][1]);
}

TEST_F(AdjustmentLayerTest, UndrawableAdjustmentIsNamed) {
  auto out = apply(PsdMode::kRgb, {{10, 20, 30}}, "selc", words({1, 0}));
  ASSERT_EQ(1u, out.size());
  EXPECT_EQ((std::array<int, 3>{10, 20, 30}), out[0]);
  EXPECT_EQ("drawn from its layers without selective colour", lastDecodeNote());
}

}  // namespace
}  // namespace pixolune
