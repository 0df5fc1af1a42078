// Every stage on every kind of document, through whole conversions. The
// expected pixels come from the plain conversion of the same document,
// moved or recoloured by the stage's own rule written out here.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <set>
#include <string>

#include "run/conversion_job.h"
#include "run/pipeline.h"
#include "settings/settings.h"
#include "support/convert_fixture.h"

namespace pixolune {
namespace {

using testing::PsdDocument;
using testing::PsdMode;
using testing::Pixels16;

struct Kind {
  const char* name;
  PsdMode mode;
  int depth;
  bool alpha;
  FREE_IMAGE_TYPE out_type;  // What automatic depth writes for it.
  int out_bpp;
};

const Kind kKinds[] = {
    {"RGB", PsdMode::kRgb, 8, false, FIT_BITMAP, 24},     {"RGBA", PsdMode::kRgb, 8, true, FIT_BITMAP, 32},
    {"grey", PsdMode::kGrey, 8, false, FIT_BITMAP, 8},     {"grey+alpha", PsdMode::kGrey, 8, true, FIT_BITMAP, 32},
    {"RGB16", PsdMode::kRgb, 16, false, FIT_RGB16, 48},    {"RGBA16", PsdMode::kRgb, 16, true, FIT_RGBA16, 64},
    {"grey16", PsdMode::kGrey, 16, false, FIT_UINT16, 16}, {"grey+alpha16", PsdMode::kGrey, 16, true, FIT_RGBA16, 64},
    {"CMYK", PsdMode::kCmyk, 8, false, FIT_BITMAP, 24},    {"CMYK16", PsdMode::kCmyk, 16, false, FIT_RGB16, 48},
};

constexpr int kWidth = 24, kHeight = 16;

// Colours differ in every channel and pixel; alpha is clear in the outer
// columns and opaque in the middle, with soft steps between.
double colourAt(int c, int x, int y) { return std::fmod(0.11 + 0.29 * c + 0.037 * x + 0.053 * y, 1.0); }
double alphaAt(int x, int) { return std::clamp(std::min(x, kWidth - 1 - x) / 5.0, 0.0, 1.0); }

// Photoshop stores a transparent composite blended over white.
PsdDocument kindDocument(const Kind& k, const std::function<double(int, int, int)>& colour,
                         const std::function<double(int, int)>& alpha, int width = kWidth, int height = kHeight) {
  const double top = k.depth == 16 ? 65535.0 : 255.0;
  const int colours = testing::colourChannels(k.mode);
  PsdDocument doc = testing::makeDocument(k.mode, k.depth, width, height, k.alpha ? 1 : 0, [&](int c, int x, int y) {
    if (c == colours) return std::round(alpha(x, y) * top);
    const double a = k.alpha ? alpha(x, y) : 1.0;
    return std::round((colour(c, x, y) * a + (1 - a)) * top);
  });
  if (k.alpha) {
    doc.write_layers = true;
    doc.layer_count = -1;
  }
  return doc;
}

double luma(const uint16_t* p) { return 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]; }

class StageKindsTest : public testing::ConvertFixture {
 protected:
  static void reset() {
    applyDefaultSettings(true);
    settings().output_format = "png";
  }
  Pixels16 convert16(const PsdDocument& doc) {
    if (!convert(doc).ok()) return {};
    return testing::readImage16(output_path_);
  }
  Pixels16 convertKind(const Kind& k) { return convert16(kindDocument(k, colourAt, alphaAt)); }

  // Every sample of `got` within `tolerance` (16-bit units) of want(x, y);
  // colours of clear pixels are not compared. Returns the number of misses.
  static int misses(const Pixels16& got, const std::function<std::array<int, 4>(int, int)>& want, int tolerance,
                    const std::string& what) {
    int wrong = 0;
    for (int y = 0; y < got.height; ++y)
      for (int x = 0; x < got.width; ++x) {
        const std::array<int, 4> w = want(x, y);
        const uint16_t* p = got.at(x, y);
        for (int c = w[3] == 0 ? 3 : 0; c < 4; ++c)
          if (std::abs(p[c] - w[c]) > tolerance && wrong++ < 3)
            ADD_FAILURE() << what << " at " << x << "," << y << " channel " << c << ": " << p[c] << " not " << w[c];
      }
    return wrong;
  }
  static std::array<int, 4> at(const Pixels16& px, int x, int y) {
    const uint16_t* p = px.at(x, y);
    return {p[0], p[1], p[2], p[3]};
  }
};

TEST_F(StageKindsTest, PlainConversionKeepsTheKindAndItsDepth) {
  for (const Kind& k : kKinds) {
    Pixels16 px = convertKind(k);
    ASSERT_TRUE(px.ok()) << k.name << ": " << failure_reason_;
    EXPECT_EQ(k.out_type, px.type) << k.name;
    EXPECT_EQ(k.out_bpp, px.bpp) << k.name;
    EXPECT_EQ(k.out_bpp, target_bpp_) << k.name;
    if (k.alpha) {
      EXPECT_EQ(0, px.at(0, 5)[3]) << k.name;
      EXPECT_EQ(65535, px.at(12, 5)[3]) << k.name;
    }
  }
}

TEST_F(StageKindsTest, FlipsAndQuarterTurnsMovePixelsExactly) {
  for (const Kind& k : kKinds) {
    reset();
    Pixels16 plain = convertKind(k);
    ASSERT_TRUE(plain.ok()) << k.name;
    settings().do_image_flip_horizontal = true;
    Pixels16 flipped = convertKind(k);
    EXPECT_EQ(0, misses(flipped, [&](int x, int y) { return at(plain, kWidth - 1 - x, y); }, 0, k.name));
    settings().do_image_flip_horizontal = false;
    settings().do_image_rotation = true;
    settings().image_rotation = 90;
    Pixels16 turned = convertKind(k);
    ASSERT_EQ(kHeight, turned.width) << k.name;
    EXPECT_EQ(k.out_bpp, turned.bpp) << k.name;
    EXPECT_EQ(0, misses(turned, [&](int x, int y) { return at(plain, kWidth - 1 - y, x); }, 0, k.name));
    settings().image_rotation = 180;
    settings().image_rotation_type = 1;  // About the centre: a half turn lands on whole pixels.
    Pixels16 half = convertKind(k);
    EXPECT_EQ(k.out_bpp, half.bpp) << k.name;
    EXPECT_EQ(0, misses(half, [&](int x, int y) { return at(plain, kWidth - 1 - x, kHeight - 1 - y); }, 0, k.name));
  }
}

TEST_F(StageKindsTest, InvertGreyscaleAndThresholdRecolourAndKeepAlpha) {
  for (const Kind& k : kKinds) {
    reset();
    Pixels16 plain = convertKind(k);
    ASSERT_TRUE(plain.ok()) << k.name;
    settings().do_image_color_correction = settings().image_invert = true;
    Pixels16 inverted = convertKind(k);
    EXPECT_EQ(k.out_bpp, inverted.bpp) << k.name;
    EXPECT_EQ(0, misses(inverted, [&](int x, int y) {
                auto p = at(plain, x, y);
                return std::array<int, 4>{65535 - p[0], 65535 - p[1], 65535 - p[2], p[3]};
              }, 0, k.name));
    settings().do_image_color_correction = false;
    settings().do_image_greyscale = true;
    Pixels16 grey = convertKind(k);
    const int grey_bpp = k.alpha ? k.out_bpp : k.depth == 16 ? 16 : 8;
    EXPECT_EQ(grey_bpp, grey.bpp) << k.name;
    EXPECT_EQ(0, misses(grey, [&](int x, int y) {
                const int v = static_cast<int>(std::lround(luma(plain.at(x, y))));
                return std::array<int, 4>{v, v, v, plain.at(x, y)[3]};
              }, k.depth == 16 ? 1 : 257, k.name));
    settings().do_image_greyscale = false;
    settings().do_image_threshold = true;
    settings().image_threshold = 128;
    Pixels16 bw = convertKind(k);
    if (k.mode == PsdMode::kGrey && k.depth == 8) {
      EXPECT_EQ(k.alpha ? 32 : 8, bw.bpp) << k.name;  // Black and white stays grey.
    }
    EXPECT_EQ(0, misses(bw, [&](int x, int y) {
                const double level = luma(plain.at(x, y)) / 257.0;
                const int v = level < 127.5 ? 0 : 65535;
                return std::array<int, 4>{v, v, v, plain.at(x, y)[3] / 257 * 257};
              }, 257, k.name));
  }
}

// Doubling with the box filter repeats every pixel; with alpha it works on
// premultiplied colours, which come back as they were.
TEST_F(StageKindsTest, DoublingWithTheBoxFilterRepeatsPixels) {
  for (const Kind& k : kKinds) {
    reset();
    Pixels16 plain = convertKind(k);
    ASSERT_TRUE(plain.ok()) << k.name;
    Settings& s = settings();
    s.do_image_resize = true;
    s.image_width = s.image_height = 200;
    s.image_width_unit = s.image_height_unit = 1;
    s.image_resize_algorithm = 0;
    Pixels16 big = convertKind(k);
    ASSERT_EQ(2 * kWidth, big.width) << k.name;
    EXPECT_EQ(k.out_bpp, big.bpp) << k.name;
    int wrong = 0;
    for (int y = 0; y < big.height; ++y)
      for (int x = 0; x < big.width; ++x) {
        const uint16_t* want = plain.at(x / 2, y / 2);
        const uint16_t* got = big.at(x, y);
        // 16-bit premultiplied colours keep alpha / 65535 of their steps.
        const int tolerance = want[3] == 0 ? 65535 : k.depth == 16 ? 65535 / want[3] + 1 : 0;
        for (int c = 0; c < 3; ++c) wrong += std::abs(got[c] - want[c]) > tolerance;
        wrong += got[3] != want[3];
      }
    EXPECT_EQ(0, wrong) << k.name;
  }
}

// Brightness, contrast and gamma at 16 bits follow FreeImage's own 8-bit
// adjustment of the same colours.
TEST_F(StageKindsTest, SixteenBitToneFollowsTheEightBitAdjustment) {
  for (int i = 0; i < 4; ++i) {
    const Kind& narrow = kKinds[i];
    const Kind& wide = kKinds[i + 4];
    reset();
    Settings& s = settings();
    s.do_image_color_correction = true;
    s.image_brightness = 20;
    s.image_contrast = 15;
    s.image_gamma = 1.4;
    Pixels16 want = convertKind(narrow);
    ASSERT_TRUE(want.ok()) << narrow.name << ": " << failure_reason_;
    Pixels16 got = convertKind(wide);
    ASSERT_TRUE(got.ok()) << wide.name << ": " << failure_reason_;
    EXPECT_EQ(wide.out_bpp, got.bpp) << wide.name;
    // Only opaque pixels: under partial alpha the 8-bit document's colours
    // were already coarse when the white matte was taken out.
    EXPECT_EQ(0, misses(got, [&](int x, int y) {
                return want.at(x, y)[3] == 65535 ? at(want, x, y) : at(got, x, y);
              }, 3 * 257, wide.name));
  }
}

TEST_F(StageKindsTest, FrameCoversTheEdgesAndLeavesTheRestAsItWas) {
  for (const Kind& k : kKinds) {
    reset();
    Pixels16 plain = convertKind(k);
    ASSERT_TRUE(plain.ok()) << k.name;
    Settings& s = settings();
    s.do_frame = true;
    s.solid_left = s.solid_right = s.solid_top = s.solid_bottom = 3;
    s.solid_left_color = s.solid_right_color = s.solid_top_color = s.solid_bottom_color = "404040";
    Pixels16 framed = convertKind(k);
    EXPECT_EQ(k.out_bpp, framed.bpp) << k.name;  // A grey frame keeps grey grey.
    EXPECT_EQ(0, misses(framed, [&](int x, int y) {
                const bool edge = x < 3 || y < 3 || x >= kWidth - 3 || y >= kHeight - 3;
                return edge ? std::array<int, 4>{0x4040, 0x4040, 0x4040, 65535} : at(plain, x, y);
              }, 0, k.name));
    s.solid_top_color = "FF0000";
    Pixels16 red = convertKind(k);
    EXPECT_EQ(65535, red.at(12, 0)[0]) << k.name;
    EXPECT_EQ(0, red.at(12, 0)[1]) << k.name;
    EXPECT_EQ(0, misses(red, [&](int x, int y) { return x < 3 || y < 3 || x >= kWidth - 3 || y >= kHeight - 3
                                                          ? at(red, x, y) : at(plain, x, y); }, 0, k.name));
  }
}

TEST_F(StageKindsTest, WatermarkChangesOnlyItsBlockAndKeepsTheKind) {
  for (const Kind& k : kKinds) {
    reset();
    Pixels16 plain = convert16(kindDocument(k, colourAt, alphaAt, 64, 40));
    ASSERT_TRUE(plain.ok()) << k.name;
    Settings& s = settings();
    s.do_watermark = 1;
    s.watermark_text = "Hi";
    s.font_size = 9;
    s.text_position = 0;
    s.text_x_offset = s.text_y_offset = 0;
    s.font_color = "E0E0E0";
    Pixels16 marked = convert16(kindDocument(k, colourAt, alphaAt, 64, 40));
    ASSERT_TRUE(marked.ok()) << k.name << ": " << failure_reason_;
    EXPECT_EQ(k.out_bpp, marked.bpp) << k.name;
    int changed = 0, outside = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 64; ++x)
        if (at(plain, x, y) != at(marked, x, y)) ++changed, outside += x >= 32 || y >= 20;
    EXPECT_GT(changed, 10) << k.name;
    EXPECT_EQ(0, outside) << k.name;
  }
}

TEST_F(StageKindsTest, FullChainKeepsTheKind) {
  for (const Kind& k : kKinds) {
    reset();
    Settings& s = settings();
    s.do_image_rotation = true;
    s.image_rotation = 30;
    s.do_image_resize = true;
    s.image_width = s.image_height = 150;
    s.image_width_unit = s.image_height_unit = 1;
    s.do_image_flip_vertical = true;
    s.do_image_color_correction = true;
    s.image_gamma = 1.3;
    s.do_frame = true;
    s.solid_left = 2;
    s.do_watermark = 1;
    s.watermark_text = "%bpp%";
    s.font_color = "FFFFFF";
    Pixels16 px = convertKind(k);
    ASSERT_TRUE(px.ok()) << k.name << ": " << failure_reason_;
    EXPECT_EQ(k.out_bpp, px.bpp) << k.name;
    EXPECT_EQ(k.out_type, px.type) << k.name;
    if (k.alpha) {
      EXPECT_EQ(0, px.at(px.width - 1, 0)[3]) << k.name;  // A corner the turn uncovered.
    }
  }
}

// A white disk with a soft edge on a clear ground.
constexpr int kDisk = 32;
double diskAlpha(int x, int y) { return std::clamp((12.0 - std::hypot(x - 15.5, y - 15.5)) / 4.0, 0.0, 1.0); }
double white(int, int, int) { return 1.0; }

using StageSetup = std::function<void(Settings&)>;

const std::pair<const char*, StageSetup> kDiskStages[] = {
    {"downsize", [](Settings& s) { s.do_image_resize = true; s.image_width = s.image_height = 37;
                                   s.image_width_unit = s.image_height_unit = 1; }},
    {"enlarge", [](Settings& s) { s.do_image_resize = true; s.image_width = s.image_height = 180;
                                  s.image_width_unit = s.image_height_unit = 1; s.image_resize_algorithm = 5; }},
    {"turn on canvas", [](Settings& s) { s.do_image_rotation = true; s.image_rotation = 30; }},
    {"turn about centre", [](Settings& s) { s.do_image_rotation = true; s.image_rotation = 30;
                                            s.image_rotation_type = 1; }},
    {"empty frame", [](Settings& s) { s.do_frame = true; }},
    {"watermark", [](Settings& s) { s.do_watermark = 1; s.watermark_text = "Hi"; s.font_size = 8;
                                    s.font_color = s.back_color = "FFFFFF"; }},
    {"greyscale", [](Settings& s) { s.do_image_greyscale = true; }},
    {"threshold", [](Settings& s) { s.do_image_threshold = true; s.image_threshold = 100; }},
};

TEST_F(StageKindsTest, SoftWhiteDiskKeepsWhiteEdgesAndClearCorners) {
  for (const Kind& k : kKinds) {
    if (!k.alpha) continue;
    for (const auto& [name, setup] : kDiskStages) {
      reset();
      setup(settings());
      Pixels16 px = convert16(kindDocument(k, white, diskAlpha, kDisk, kDisk));
      ASSERT_TRUE(px.ok()) << k.name << " " << name << ": " << failure_reason_;
      EXPECT_TRUE(px.bpp == 32 || px.bpp == 64) << k.name << " " << name << " lost its alpha";
      // Turning about the centre fills the corners by mirroring the picture.
      if (std::string(name) != "turn about centre") {
        EXPECT_EQ(0, px.at(0, 0)[3]) << k.name << " " << name;
      }
      EXPECT_EQ(65535, px.at(px.width / 2, px.height / 2)[3]) << k.name << " " << name;
      int fringe = 0;
      for (int y = 0; y < px.height; ++y)
        for (int x = 0; x < px.width; ++x) {
          const uint16_t* p = px.at(x, y);
          if (p[3] > 0 && std::min({p[0], p[1], p[2]}) < 65535 - 128 && fringe++ < 2)
            ADD_FAILURE() << k.name << " " << name << " at " << x << "," << y << ": " << p[0] << " alpha " << p[3];
        }
    }
  }
}

TEST_F(StageKindsTest, DepthsWithoutAlphaShowTheDiskOverWhite) {
  for (const Kind& k : kKinds) {
    if (!k.alpha) continue;
    for (int depth : {24, 8, 4, 1, 48}) {
      reset();
      settings().png_bpp = depth;
      Pixels16 px = convert16(kindDocument(k, white, diskAlpha, kDisk, kDisk));
      ASSERT_TRUE(px.ok()) << k.name << " at " << depth;
      EXPECT_EQ(depth, px.bpp);
      int dark = 0;
      for (int y = 0; y < px.height; ++y)
        for (int x = 0; x < px.width; ++x) dark += std::min({px.at(x, y)[0], px.at(x, y)[1], px.at(x, y)[2]}) < 65535;
      EXPECT_EQ(0, dark) << k.name << " at " << depth;
    }
  }
  // A red disk: the soft edge fades to white, by the pixel's own alpha.
  reset();
  settings().png_bpp = 24;
  auto red = [](int c, int, int) { return c == 0 ? 1.0 : 0.0; };
  Pixels16 px = convert16(kindDocument(kKinds[1], red, diskAlpha, kDisk, kDisk));
  ASSERT_TRUE(px.ok());
  EXPECT_EQ(0, misses(px, [](int x, int y) {
              const int g = static_cast<int>(std::lround(255 * (1 - std::round(diskAlpha(x, y) * 255) / 255)));
              return std::array<int, 4>{65535, g * 257, g * 257, 65535};
            }, 257, "red disk"));
}

// Turned, framed in grey or stamped with a grey text, an 8-bit grey
// document stays 8-bit grey with every one of its levels.
TEST_F(StageKindsTest, GreyDocumentKeepsEveryLevel) {
  const Kind& grey = kKinds[2];
  const std::pair<const char*, StageSetup> stages[] = {
      {"quarter turn", [](Settings& s) { s.do_image_rotation = true; s.image_rotation = 90; }},
      {"half turn", [](Settings& s) { s.do_image_rotation = true; s.image_rotation = 180; }},
      {"frame", [](Settings& s) { s.do_frame = true; s.solid_left = 1; }},
      {"watermark", [](Settings& s) { s.do_watermark = 1; s.watermark_text = "x"; s.font_size = 6; }},
  };
  for (const auto& [name, setup] : stages) {
    reset();
    setup(settings());
    // 32 x 16 with 256 levels in the right half, repeated in the left.
    Pixels16 px = convert16(kindDocument(grey, [](int, int x, int y) { return (x % 16 + 16 * y) / 255.0; },
                                         [](int, int) { return 1.0; }, 32, 16));
    ASSERT_TRUE(px.ok()) << name;
    EXPECT_EQ(8, px.bpp) << name;
    std::set<uint16_t> levels;
    for (uint16_t v : px.rgba) levels.insert(v);
    EXPECT_EQ(256u, levels.size()) << name;
  }
}

// Turning about the centre works on 8-bit samples: a 16-bit document is
// then written at 8 bits per channel, not widened again, and the depth says so.
TEST_F(StageKindsTest, StagesAtEightBitsWriteEightBits) {
  for (const Kind& k : kKinds) {
    reset();
    settings().do_image_rotation = true;
    settings().image_rotation = 30;
    settings().image_rotation_type = 1;
    Pixels16 px = convertKind(k);
    ASSERT_TRUE(px.ok()) << k.name;
    const int eight_bits = k.alpha ? 32 : k.mode == PsdMode::kGrey ? 8 : 24;
    EXPECT_EQ(k.depth == 16 ? eight_bits : k.out_bpp, px.bpp) << k.name;
    EXPECT_EQ(px.bpp, target_bpp_) << k.name;
  }
}

// Coloured corners of a turn make a grey document colour: automatic depth
// writes it as a fixed 24 bits does, not through a palette that would cut
// its levels.
TEST_F(StageKindsTest, GreyDocumentTurnedOnColourIsNotQuantised) {
  auto turned = [this](int png_bpp) {
    reset();
    settings().png_bpp = png_bpp;
    settings().do_image_rotation = true;
    settings().image_rotation = 30;
    settings().image_rotation_back_color = "FF8000";
    return convert16(kindDocument(kKinds[2], [](int, int x, int y) { return (x % 16 + 16 * (y % 16)) / 255.0; },
                                  [](int, int) { return 1.0; }, 32, 32));
  };
  Pixels16 fixed = turned(24);
  Pixels16 automatic = turned(0);
  ASSERT_TRUE(fixed.ok() && automatic.ok());
  EXPECT_EQ(24, automatic.bpp);
  EXPECT_EQ(24, target_bpp_);
  EXPECT_EQ(fixed.rgba, automatic.rgba);
}

// A 16-bit ramp keeps its fine steps to the file.
TEST_F(StageKindsTest, SixteenBitGradientsKeepMoreThan256Values) {
  for (const Kind& k : kKinds) {
    if (k.depth != 16) continue;
    for (bool stages : {false, true}) {
      reset();
      if (stages) {
        Settings& s = settings();
        s.do_image_rotation = true;
        s.image_rotation = 270;
        s.do_image_resize = true;
        s.image_width = s.image_height = 200;
        s.image_width_unit = s.image_height_unit = 1;
        s.do_image_color_correction = true;
        s.image_contrast = 10;
        s.do_image_greyscale = true;
      }
      Pixels16 px = convert16(kindDocument(k, [](int, int x, int y) { return (x + 40.0 * y) / 1600.0; },
                                           [](int, int) { return 1.0; }, 40, 40));
      ASSERT_TRUE(px.ok()) << k.name;
      std::set<uint16_t> values;
      for (int y = 0; y < px.height; ++y)
        for (int x = 0; x < px.width; ++x) values.insert(px.at(x, y)[0]);
      EXPECT_GT(values.size(), 256u) << k.name << (stages ? " through the stages" : "");
      EXPECT_TRUE(px.type == FIT_UINT16 || px.type == FIT_RGB16 || px.type == FIT_RGBA16) << k.name;
    }
  }
}

}  // namespace
}  // namespace pixolune
