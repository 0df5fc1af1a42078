#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "run/conversion_job.h"
#include "run/pipeline.h"
#include "stages/watermark.h"
#include "platform/drawing.h"
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

constexpr Rgb kGrey{100, 100, 100};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kWhite{255, 255, 255};

class TextWatermarkTest : public testing::ConvertFixture {
 protected:
  void SetUp() override {
    ConvertFixture::SetUp();
    Settings& s = settings();
    s.do_watermark = 1;
    s.watermark_text = "Hello";
    s.watermark_font = "Arial";
    s.font_size = 14;
    s.font_color = "FFFFFF";
    s.back_color = "FF0000";
    s.back_opacity = 255;
    s.text_opacity = 255;
    s.text_antialiasing = false;  // Plain glyphs unless a test asks for smooth ones.
    font_ = loadFont(FontRequest{"Arial", 14});
    ASSERT_TRUE(font_);
  }

  TextSize measure(const std::string& text) { return measureText(*font_, text); }

  // Pixels of the box that are neither the picture nor the block's background.
  static int inkIn(const Pixels& px, int x0, int y0, int x1, int y1) {
    int ink = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) ink += rgbAt(px, x, y) != kGrey && rgbAt(px, x, y) != kRed;
    return ink;
  }

  // Leftmost and rightmost ink columns between rows y0 and y1 (-1 without ink).
  static std::pair<int, int> inkColumns(const Pixels& px, int y0, int y1) {
    int first = -1, last = -1;
    for (int x = 0; x < px.width; ++x)
      if (inkIn(px, x, y0, x + 1, y1) > 0) (first < 0 ? first : last) = x, last = x;
    return {first, last};
  }

  FontPtr font_;
};

TEST_F(TextWatermarkTest, PlainBlockLandsAtItsAnchor) {
  TextSize size = measure("Hello");
  Pixels px = convert(solidDocument(640, 480, kGrey));
  ASSERT_TRUE(px.ok());
  Box box = changedBox(px, kGrey);
  EXPECT_EQ(640 - size.width - 10, box.x);
  EXPECT_EQ(480 - size.height - 10, box.y);
  EXPECT_EQ(size.width, box.width);
  EXPECT_EQ(size.height, box.height);
  int white = 0;
  for (int y = box.y; y < box.y + box.height; ++y) {
    for (int x = box.x; x < box.x + box.width; ++x) {
      Rgb c = rgbAt(px, x, y);
      ASSERT_TRUE(c == kRed || c == kWhite) << "plain text is not blended at " << x << "," << y;
      white += c == kWhite;
    }
  }
  EXPECT_GT(white, 20);
}

TEST_F(TextWatermarkTest, PaddingSurroundsTheText) {
  settings().text_padding = 6;
  settings().text_position = 0;
  TextSize size = measure("Hello");
  Pixels px = convert(solidDocument(200, 100, kGrey));
  Box box = changedBox(px, kGrey);
  EXPECT_EQ(10, box.x);
  EXPECT_EQ(size.width + 12, box.width);
  EXPECT_EQ(size.height + 12, box.height);
  EXPECT_EQ(0, inkIn(px, box.x, box.y, box.x + box.width, box.y + 6));
  EXPECT_EQ(0, inkIn(px, box.x, box.y, box.x + 6, box.y + box.height));
  EXPECT_GT(inkIn(px, box.x, box.y, box.x + box.width, box.y + box.height), 20);
}

TEST_F(TextWatermarkTest, LineBreakInAnyCaseStacksLines) {
  settings().watermark_text = "AB%EOL%CD";
  settings().font_leading = 3;
  settings().text_position = 0;
  const int line_h = std::max({10, measure("AB").height, measure("CD").height});
  const int width = std::max({10, measure("AB").width, measure("CD").width});
  Pixels px = convert(solidDocument(200, 100, kGrey));
  Box box = changedBox(px, kGrey);
  EXPECT_EQ(width, box.width);
  EXPECT_EQ(2 * line_h + 3, box.height);
  EXPECT_GT(inkIn(px, box.x, box.y, box.x + box.width, box.y + line_h), 10);
  EXPECT_GT(inkIn(px, box.x, box.y + line_h + 3, box.x + box.width, box.y + box.height), 10);
}

TEST_F(TextWatermarkTest, AlignmentPlacesTheShorterLine) {
  settings().watermark_text = "WWWWWW%eol%i";
  settings().text_position = 0;
  settings().back_opacity = 0;
  const int line_h = std::max(10, measure("WWWWWW").height);
  const int block_w = measure("WWWWWW").width, i_w = measure("i").width;
  const int centre_x = 10 + static_cast<int>(std::lround((block_w - i_w) / 2.0));
  const int expected[3] = {10, centre_x, 10 + block_w - i_w};
  for (int alignment = 0; alignment < 3; ++alignment) {
    settings().text_alignment = static_cast<uint8_t>(alignment);
    auto [first, last] = inkColumns(convert(solidDocument(200, 100, kGrey)), 10 + line_h, 10 + 2 * line_h);
    ASSERT_GE(first, 0);
    EXPECT_GE(first, expected[alignment]) << alignment;
    EXPECT_LT(last, expected[alignment] + i_w) << alignment;
  }
}

TEST_F(TextWatermarkTest, WithoutBackgroundOnlyGlyphsShow) {
  settings().back_opacity = 0;
  Pixels plain = convert(solidDocument(200, 100, kGrey));
  Box box = changedBox(plain, kGrey);
  ASSERT_GT(box.width, 0);
  for (int y = box.y; y < box.y + box.height; ++y)
    for (int x = box.x; x < box.x + box.width; ++x)
      ASSERT_TRUE(rgbAt(plain, x, y) == kGrey || rgbAt(plain, x, y) == kWhite) << x << "," << y;

  settings().text_antialiasing = true;
  Pixels smooth = convert(solidDocument(200, 100, kGrey));
  int partial = 0, full = 0;
  for (int y = 0; y < smooth.height; ++y) {
    for (int x = 0; x < smooth.width; ++x) {
      Rgb c = rgbAt(smooth, x, y);
      ASSERT_TRUE(c.r == c.g && c.g == c.b && c.r >= kGrey.r) << "not a grey-to-white blend at " << x << "," << y;
      partial += c.r > kGrey.r && c.r < 255;
      full += c.r == 255;
    }
  }
  EXPECT_GT(partial, 10) << "vector text is anti-aliased";
  EXPECT_GT(full, 10);
}

TEST_F(TextWatermarkTest, OpacitiesBlendTheBlock) {
  settings().text_padding = 4;
  settings().back_opacity = 128;
  for (bool antialias : {false, true}) {
    settings().text_antialiasing = antialias;
    Pixels px = convert(solidDocument(200, 100, kGrey));
    Box box = changedBox(px, kGrey);
    Rgb corner = rgbAt(px, box.x, box.y);
    EXPECT_NEAR(178, corner.r, 2) << antialias;  // 255 * 128/255 + 100 * 127/255.
    EXPECT_NEAR(50, corner.g, 2) << antialias;
  }
}

TEST_F(TextWatermarkTest, TokensAreExpandedBeforeMeasuring) {
  settings().watermark_text = "%WIDTH%x%height%";
  Box box = changedBox(convert(solidDocument(64, 48, kGrey)), kGrey);
  EXPECT_EQ(measure("64x48").width, box.width);
}

// The depth token names this file's output depth, also when the file before
// it was written at another depth.
TEST_F(TextWatermarkTest, DepthTokenNamesThisFilesDepth) {
  testing::PsdDocument deep = testing::makeDocument(testing::PsdMode::kRgb, 16, 64, 48, 0,
                                                    [](int, int, int) { return 25700.0; });
  testing::PsdDocument grey = testing::makeDocument(testing::PsdMode::kGrey, 8, 64, 48, 0,
                                                    [](int, int, int) { return 100.0; });
  settings().back_opacity = 0;  // Only the glyphs show, white on the grey picture.
  settings().watermark_text = "8";
  Pixels want = convert(grey);
  settings().watermark_text = "%bpp%";
  ASSERT_TRUE(convert(deep).ok());
  EXPECT_EQ(48, target_bpp_);
  Pixels got = convert(grey);
  ASSERT_TRUE(got.ok() && want.ok());
  EXPECT_EQ(8, got.bpp);
  EXPECT_EQ(want.rgba, got.rgba);
  settings().watermark_text = "48";
  EXPECT_NE(want.rgba, convert(grey).rgba) << "the texts should differ";
}

// Glyphs that reach past their advance (italic overhangs) are not cut off
// by a block without padding: the same glyph pixels show with and without.
TEST_F(TextWatermarkTest, OverhangingGlyphsAreNotClipped) {
  settings().watermark_text = "jfff";
  settings().font_style = 2;
  settings().font_size = 24;
  settings().back_opacity = 0;
  settings().text_position = 0;
  for (bool antialias : {false, true}) {
    settings().text_antialiasing = antialias;
    settings().text_padding = 0;
    Pixels tight = convert(solidDocument(200, 100, kGrey));
    settings().text_padding = 12;
    Pixels padded = convert(solidDocument(200, 100, kGrey));
    ASSERT_TRUE(tight.ok() && padded.ok());
    const int ink = inkIn(padded, 0, 0, 200, 100);
    EXPECT_GT(ink, 50);
    EXPECT_EQ(ink, inkIn(tight, 0, 0, 200, 100)) << "antialias " << antialias;
  }
}

// A turned block is resampled on premultiplied colours: white glyphs on a
// clear background leave a white picture white, with no dark rims.
TEST_F(TextWatermarkTest, TurnedBlockHasNoDarkRims) {
  settings().text_rotation = 30;
  settings().back_opacity = 0;
  settings().text_antialiasing = true;
  Pixels px = convert(solidDocument(200, 100, kWhite));
  ASSERT_TRUE(px.ok());
  EXPECT_EQ(0, changedBox(px, kWhite).width);
}

TEST_F(TextWatermarkTest, RotationSwapsTheSides) {
  settings().text_rotation = 90;
  TextSize size = measure("Hello");
  Box box = changedBox(convert(solidDocument(640, 480, kGrey)), kGrey);
  EXPECT_EQ(640 - size.height - 10, box.x);
  EXPECT_EQ(480 - size.width - 10, box.y);
  EXPECT_EQ(size.height, box.width);
  EXPECT_EQ(size.width, box.height);
}

TEST_F(TextWatermarkTest, EffectsDrawALineAcrossTheText) {
  settings().watermark_text = "i i i i i i";
  settings().back_opacity = 0;
  auto widestInkRow = [this] {
    Pixels px = convert(solidDocument(200, 100, kGrey));
    Box box = changedBox(px, kGrey);
    int widest = 0;
    for (int y = box.y; y < box.y + box.height; ++y) widest = std::max(widest, inkIn(px, 0, y, px.width, y + 1));
    return widest;
  };
  const int text_w = measure("i i i i i i").width;
  EXPECT_LT(widestInkRow(), text_w / 2);
  settings().font_effect = 1;
  EXPECT_GT(widestInkRow(), text_w * 8 / 10);
  settings().font_effect = 2;
  EXPECT_GT(widestInkRow(), text_w * 8 / 10);
}

TEST_F(TextWatermarkTest, UnknownFontFailsPreparation) {
  settings().watermark_font = "Arail";
  Status prep = prepareWatermarkRun(watermarkOptionsFrom(settings()));
  EXPECT_EQ(Status::Code::kUnsupported, prep.code());
  EXPECT_NE(std::string::npos, prep.message().find("\"Arail\"")) << prep.message();
  EXPECT_FALSE(watermarkFontLoaded());
  RunOptions run;
  EXPECT_FALSE(prepareRun(settings(), &run).ok());
  for (const char* family : {"Arial", "DejaVu Sans", "Times New Roman"}) {
    settings().watermark_font = family;
    EXPECT_TRUE(prepareWatermarkRun(watermarkOptionsFrom(settings())).ok()) << family;
  }
}

TEST_F(TextWatermarkTest, WithoutLoadedFontTheImageIsOnlyConverted) {
  const std::string input = dir_.file("input.psd");
  ASSERT_TRUE(testing::writePsdFile(input, solidDocument(50, 40, kGrey)));
  ConversionRequest request;
  request.input_path = input;
  request.output_folder = dir_.path() + "/";
  RunOptions run;
  ASSERT_TRUE(prepareRun(settings(), &run).ok());
  freeWatermarkFont();
  const ConversionResult result = convertFile(request, run);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(0, changedBox(testing::readImage(result.output_path), kGrey).width);
}

}  // namespace
}  // namespace pixolune
