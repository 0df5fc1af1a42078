// Geometry and colour stages seen through whole conversions: PSD in, PNG out.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>

#include "run/conversion_job.h"
#include "image/format_table.h"
#include "run/pipeline.h"
#include "settings/settings.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::Pixels;
using testing::readImage;

using Rgb = std::array<int, 3>;

// 80 x 40 in four plain quadrants of 40 x 20, each with its own luminance.
constexpr Rgb kTopLeft{200, 30, 30}, kTopRight{30, 200, 30}, kBottomLeft{30, 30, 200}, kBottomRight{250, 250, 250};

Rgb quadrant(double x, double y) {
  if (y < 20) return x < 40 ? kTopLeft : kTopRight;
  return x < 40 ? kBottomLeft : kBottomRight;
}

int luminance(Rgb c) { return static_cast<int>(std::lround(0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2])); }

class StagesPipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initImageLibrary();
    createFormatLists();
    buildFormatTable();
    applyDefaultSettings(true);
    settings().output_format = "png";
  }
  // Converts the document and reads the written PNG back (width 0 on failure).
  Pixels convert(const testing::PsdDocument& doc) {
    ConversionRequest request;
    request.input_path = in_.file("picture.psd");
    request.output_folder = out_.path() + "/";
    RunOptions run;
    result_ = ConversionResult();
    if (!testing::writePsdFile(request.input_path, doc) || !prepareRun(settings(), &run).ok()) return {};
    result_ = convertFile(request, run);
    if (!result_.ok()) return {};
    return readImage(result_.output_path);
  }
  ConversionResult result_;  // What the last convert() gave.
  static testing::PsdDocument quadrants() {
    return testing::makeDocument(testing::PsdMode::kRgb, 8, 80, 40, 0,
                                 [](int c, int x, int y) { return static_cast<double>(quadrant(x, y)[c]); });
  }

  testing::TempDir in_;
  testing::TempDir out_;
};

TEST_F(StagesPipelineTest, ResizeTargetsApplyToTheTurnedImage) {
  Settings& s = settings();
  s.do_image_rotation = true;
  s.image_rotation = 90;
  s.do_image_resize = true;
  s.image_width = 50;
  s.image_height = 20;
  s.image_width_unit = s.image_height_unit = 1;
  Pixels px = convert(testing::makeDocument(testing::PsdMode::kRgb, 8, 100, 50, 0, [](int, int, int) { return 90.0; }));
  ASSERT_TRUE(px.ok()) << result_.failureReason();
  EXPECT_EQ(25, px.width);   // 50 % of the turned width 50.
  EXPECT_EQ(20, px.height);  // 20 % of the turned height 100.
  EXPECT_EQ(25, result_.result_width);
  EXPECT_EQ(20, result_.result_height);
}

TEST_F(StagesPipelineTest, TurnFlipHalveAndGreyscaleTogether) {
  Settings& s = settings();
  s.do_image_rotation = true;
  s.image_rotation = 90;
  s.do_image_flip_horizontal = true;
  s.do_image_resize = true;
  s.image_width = s.image_height = 50;
  s.image_width_unit = s.image_height_unit = 1;
  s.do_image_greyscale = true;
  Pixels px = convert(quadrants());
  ASSERT_TRUE(px.ok()) << result_.failureReason();
  ASSERT_EQ(20, px.width);
  ASSERT_EQ(40, px.height);
  // Turning a quarter counter-clockwise and mirroring left-right maps the
  // output point (x, y) to the source point (79 - y, 39 - x): a transpose
  // through the far corner. Halving takes each output pixel from a 2 x 2
  // block; only pixels whose block lies well inside a quadrant are checked.
  int checked = 0;
  for (int y = 0; y < px.height; ++y)
    for (int x = 0; x < px.width; ++x) {
      double sx = 79.0 - (2 * y + 0.5), sy = 39.0 - (2 * x + 0.5);
      if (std::abs(sx - 40) < 6 || std::abs(sy - 20) < 6) continue;
      const uint8_t* p = px.at(x, y);
      int want = luminance(quadrant(sx, sy));
      EXPECT_NEAR(want, p[0], 1) << x << "," << y;
      EXPECT_EQ(p[0], p[1]);
      EXPECT_EQ(p[0], p[2]);
      ++checked;
    }
  EXPECT_GT(checked, 300);
}

TEST_F(StagesPipelineTest, FortyFiveDegreesFillsTheCornersWithTheBackColour) {
  settings().do_image_rotation = true;
  settings().image_rotation = 45;
  settings().image_rotation_back_color = "00ff80";
  Pixels px = convert(quadrants());
  ASSERT_TRUE(px.ok()) << result_.failureReason();
  EXPECT_GT(px.width, 80);
  EXPECT_GT(px.height, 40);
  const uint8_t* corner = px.at(px.width - 1, px.height - 1);
  EXPECT_EQ(0, corner[0]);
  EXPECT_EQ(255, corner[1]);
  EXPECT_EQ(128, corner[2]);
}

TEST_F(StagesPipelineTest, ThresholdAfterGreyscaleSplitsByLuminance) {
  settings().do_image_greyscale = true;
  settings().do_image_threshold = true;
  settings().image_threshold = 100;  // Red (66) and blue (42) fall below, green (152) and white not.
  Pixels px = convert(quadrants());
  ASSERT_TRUE(px.ok()) << result_.failureReason();
  for (auto [x, y] : {std::pair{5, 5}, {75, 5}, {5, 35}, {75, 35}}) {
    int want = luminance(quadrant(x, y)) < 100 ? 0 : 255;
    EXPECT_EQ(want, px.at(x, y)[0]) << x << "," << y;
  }
  settings().image_threshold = 0;
  Pixels white = convert(quadrants());
  ASSERT_TRUE(white.ok());
  int dark = 0;
  for (size_t i = 0; i < white.rgba.size(); i += 4) dark += white.rgba[i] != 255;
  EXPECT_EQ(0, dark);
}

}  // namespace
}  // namespace pixolune
