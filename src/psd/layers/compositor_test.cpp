#include "psd/layers/compositor.h"

#include "run/conversion_job.h"
#include "image/format_table.h"
#include "psd/layers/layer_test_support.h"
#include "settings/settings.h"

namespace pixolune {
namespace {

using testing::PsdDocument;

TEST_F(LayerMergeTest, NormalLayerWithOpacityAndFillOverOpaqueBackdrop) {
  const double alphas[] = {0.0, 0.25, 0.5, 1.0};
  const std::vector<double> under = {0.8, 0.4, 0.2}, over = {0.1, 0.3, 0.9};
  for (const Kind& k : kKinds) {
    PsdDocument doc = document(k, 4, 2);
    doc.layers.push_back(solidLayer(k, 0, 0, 2, 4, under, opaque));
    PsdLayer top = solidLayer(k, 0, 0, 2, 4, over, [&](int x, int) { return alphas[x]; });
    top.opacity = 128, top.fill_opacity = 200;
    doc.layers.push_back(top);
    Image im = render(doc);
    ASSERT_EQ(4, im.width) << k.name;
    EXPECT_FALSE(im.alpha) << k.name;
    for (int x = 0; x < 4; ++x) {
      const double a = std::round(alphas[x] * k.full()) / k.full() * (128 / 255.0) * (200 / 255.0);
      for (int c = 0; c < 3; ++c) {
        const double want = shown(k, under, c) * (1 - a) + shown(k, over, c) * a;
        EXPECT_NEAR(want, im.at(x, 1)[c], k.tolerance()) << k.name << " column " << x << " channel " << c;
      }
    }
  }
}

TEST_F(LayerMergeTest, SoftEdgesOverTransparencyKeepTheirOwnColour) {
  const double alphas[] = {0.0, 1 / 255.0, 0.5, 1.0};
  const std::vector<double> colour = {0.2, 0.6, 0.4};
  for (const Kind& k : kKinds) {
    PsdDocument doc = document(k, 4, 1);
    doc.layers.push_back(solidLayer(k, 0, 0, 1, 4, colour, [&](int x, int) { return alphas[x]; }));
    Image im = render(doc);
    ASSERT_TRUE(im.alpha) << k.name;
    for (int x = 0; x < 4; ++x) {
      EXPECT_NEAR(std::round(alphas[x] * k.full()) / k.full(), im.at(x, 0)[3], k.tolerance()) << k.name << " " << x;
      const double want = x == 0 ? 0.0 : shown(k, colour, 1);
      EXPECT_NEAR(want, im.at(x, 0)[1], k.tolerance()) << k.name << " column " << x;
    }
  }
}

TEST_F(LayerMergeTest, LayersOutsideTheCanvasAreClipped) {
  const Kind k = kKinds[0];
  PsdDocument doc = document(k, 3, 3);
  doc.layers.push_back(solidLayer(k, -5, -5, 2, 2, {1, 0, 0}, opaque));
  doc.layers.push_back(solidLayer(k, 2, 2, 9, 9, {0, 0, 1}, opaque));
  Image im = render(doc);
  EXPECT_EQ(1.0, im.at(1, 1)[0]);
  EXPECT_EQ(1.0, im.at(2, 2)[2]);
  EXPECT_EQ(0.0, im.at(2, 0)[3]);
}

// Rows that opaque normal layers cover from side to side hide what lies
// below them, so the layers there are not even read: an unreadable layer
// under them does not stop the document, while the same layer showing
// through a layer of 254 opacity does.
TEST_F(LayerMergeTest, LayersHiddenUnderOpaqueLayersAreNotRead) {
  const std::vector<double> upper = {0.9, 0.1, 0.3}, lower = {0.2, 0.7, 0.5};
  for (const Kind& k : kKinds) {
    PsdDocument doc = document(k, 4, 4);
    PsdLayer unreadable = solidLayer(k, 0, 0, 4, 4, {0, 0, 0}, opaque);
    unreadable.channels[1].compression = 7;  // No such compression.
    doc.layers.push_back(unreadable);
    doc.layers.push_back(solidLayer(k, 0, 0, 2, 4, lower, opaque));
    doc.layers.push_back(solidLayer(k, 2, -3, 4, 6, upper, opaque));  // Wider than the canvas.
    Image im = render(doc);
    ASSERT_EQ(4, im.height) << k.name;
    EXPECT_FALSE(im.alpha) << k.name;
    for (int y = 0; y < 4; ++y)
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(shown(k, y < 2 ? lower : upper, c), im.at(3, y)[c], k.tolerance()) << k.name << " row " << y;
    doc.layers.back().opacity = 254;
    std::string reason;
    render(doc, &reason);
    EXPECT_NE(std::string::npos, reason.find("compression")) << k.name << ": " << reason;
  }
}

// Coverage adds up over layers: a row covered half by one layer and half
// by another hides the layers below, while a row with a pixel left uncovered
// shows them (a multiply layer and the background) there.
TEST_F(LayerMergeTest, RowsLeftPartlyUncoveredShowTheLayersBelow) {
  const std::vector<double> back = {0.2, 0.4, 0.8}, shade = {0.5, 0.5, 0.5}, left = {1, 0, 0}, right = {0, 1, 0};
  for (const Kind& k : kKinds) {
    PsdDocument doc = document(k, 4, 2);
    doc.layers.push_back(solidLayer(k, 0, 0, 2, 4, back, opaque));
    PsdLayer multiply = solidLayer(k, 0, 0, 2, 4, shade, opaque);
    multiply.blend_key = "mul ";
    doc.layers.push_back(multiply);
    doc.layers.push_back(solidLayer(k, 0, 0, 2, 2, left, opaque));
    doc.layers.push_back(solidLayer(k, 0, 2, 2, 4, right, [](int x, int y) { return y == 0 || x == 0 ? 1.0 : 0.5; }));
    Image im = render(doc);
    ASSERT_EQ(2, im.height) << k.name;
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(shown(k, left, c), im.at(0, 1)[c], k.tolerance()) << k.name;
      EXPECT_NEAR(shown(k, right, c), im.at(3, 0)[c], k.tolerance()) << k.name;
      const double below = shown(k, back, c) * shown(k, shade, c), a = std::round(0.5 * k.full()) / k.full();
      EXPECT_NEAR(below * (1 - a) + shown(k, right, c) * a, im.at(3, 1)[c], 2 * k.tolerance()) << k.name << " " << c;
    }
  }
}

// A large area is composed in bands on several threads: the same canvas
// as on one, for plain and masked blending alike.
TEST(ComposeTest, BandsOnThreadsGiveTheSameCanvas) {
  const LayerRect area{0, 0, 500, 640};  // More than one band's worth of pixels.
  Canvas source(area, 3), backdrop(area, 3);
  uint32_t seed = 1;
  const auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8 & 0xFFFF; };
  for (float& v : source.px) v = static_cast<float>(next()) / 65535.0f;
  for (float& v : backdrop.px) v = static_cast<float>(next()) / 65535.0f;
  PlaneMask mask;
  mask.rect = LayerRect{100, 100, 400, 500};
  mask.plane.width = 400, mask.plane.height = 300, mask.plane.depth = 8;
  mask.plane.bytes.resize(400 * 300);
  for (uint8_t& b : mask.plane.bytes) b = static_cast<uint8_t>(next());
  for (BlendMode mode : {BlendMode::kNormal, BlendMode::kMultiply, BlendMode::kDissolve}) {
    for (bool masked : {false, true}) {
      ComposeRule rule;
      rule.mode = mode;
      rule.opacity = 0.8f;
      if (masked) rule.masks.push_back(&mask);
      Canvas alone = backdrop, shared = backdrop;
      composeOnto(&alone, CanvasSource(source), rule, 1);
      composeOnto(&shared, CanvasSource(source), rule, 3);
      EXPECT_TRUE(alone.px == shared.px) << static_cast<int>(mode) << " " << masked;
      EXPECT_FALSE(alone.px == backdrop.px);
    }
  }
}

// A document large enough to be drawn in several bands of rows, on two
// threads, with a mix of what a merge does (soft edges, a masked multiply
// layer, a group at half opacity holding a clipped layer, an invert, a
// layer hiding part of the rest) gives the pixels the whole-canvas merge
// gives: the same document with one layer's channel ZIP-compressed, which
// is merged whole.
TEST_F(LayerMergeTest, BandsGiveThePixelsOfTheWholeCanvas) {
  const int w = 420, h = 400;
  for (const Kind& k : kKinds) {
    PsdDocument doc = document(k, w, h);
    doc.layers.push_back(solidLayer(k, 0, 0, h, w, {0.9, 0.8, 0.7}, [&](int x, int y) { return (x + y) % 97 / 96.0; }));
    PsdLayer multiply = solidLayer(k, 40, -30, h - 20, w - 100, {0.5, 0.3, 0.9}, opaque);
    multiply.blend_key = "mul ";
    multiply.has_mask = true;
    multiply.mask_top = 100, multiply.mask_left = 50, multiply.mask_bottom = 350, multiply.mask_right = 400;
    std::vector<double> mask;
    for (int y = 100; y < 350; ++y)
      for (int x = 50; x < 400; ++x) mask.push_back(k.stored((x * 7 + y * 3) % 255 / 254.0));
    multiply.channels.push_back({-2, mask, 1});
    doc.layers.push_back(multiply);
    PsdLayer end;
    end.section = 3;
    doc.layers.push_back(end);
    doc.layers.push_back(solidLayer(k, 0, 0, 300, 300, {0.1, 0.9, 0.2}, [](int x, int) { return x % 3 ? 1.0 : 0.4; }));
    PsdLayer clipped = solidLayer(k, 100, 100, 500, 500, {0.8, 0.1, 0.6}, opaque);
    clipped.clipped = true, clipped.opacity = 180;
    doc.layers.push_back(clipped);
    PsdLayer group;
    group.section = 1, group.section_blend_key = "norm", group.opacity = 128;
    doc.layers.push_back(group);
    PsdLayer invert;
    invert.blocks = {{"nvrt", ""}};
    doc.layers.push_back(invert);
    doc.layers.push_back(solidLayer(k, 0, 0, 170, w, {0.3, 0.3, 0.3}, opaque));  // Hides the top rows.
    const Image banded = render(doc);
    doc.layers[0].channels[1].compression = 2;
    const Image whole = render(doc);
    ASSERT_EQ(w, banded.width) << k.name;
    ASSERT_EQ(banded.alpha, whole.alpha) << k.name;
    EXPECT_TRUE(banded.px == whole.px) << k.name;
  }
}

TEST_F(LayerMergeTest, CmykLayersGetTheColoursOfAStoredComposite) {
  for (int depth : {8, 16}) {
    const Kind k{PsdMode::kCmyk, depth, "CMYK"};
    // Ink amounts are written inverted, as Photoshop stores them; the top
    // layer's cyan beside the bottom's magenta. The amounts are whole
    // levels at both depths: the profile's conversion turns a level of
    // rounding into several.
    const std::vector<double> under = {1.0, 0.2, 1.0, 0.8}, over = {0.4, 1.0, 0.6, 1.0};
    PsdDocument doc = document(k, 2, 1);
    doc.layers.push_back(solidLayer(k, 0, 0, 1, 2, under, opaque));
    doc.layers.push_back(solidLayer(k, 0, 0, 1, 2, over, [](int x, int) { return x == 0 ? 0.0 : 1.0; }));
    Image drawn = render(doc);
    PsdDocument stored = testing::makeDocument(PsdMode::kCmyk, depth, 2, 1, 0, [&](int c, int x, int) {
      return (1.0 - (x == 0 ? under[c] : over[c])) * k.full();  // Ink amounts.
    });
    expectAsStored(stored, drawn, depth);
  }
}

TEST_F(LayerMergeTest, TransparentCmykKeepsItsAlpha) {
  for (int depth : {8, 16}) {
    const Kind k{PsdMode::kCmyk, depth, "CMYK"};
    PsdDocument doc = document(k, 3, 1);
    const double alphas[] = {0.0, 0.5, 1.0};
    doc.layers.push_back(solidLayer(k, 0, 0, 1, 3, {1.0, 0.0, 1.0, 1.0}, [&](int x, int) { return alphas[x]; }));
    Image im = render(doc);
    ASSERT_TRUE(im.alpha) << depth;
    for (int x = 0; x < 3; ++x) EXPECT_NEAR(std::round(alphas[x] * k.full()) / k.full(), im.at(x, 0)[3], k.tolerance()) << x;
    // Full magenta ink: red stays, green goes, at half alpha as at full.
    EXPECT_GT(im.at(2, 0)[0], 0.9) << depth;
    EXPECT_LT(im.at(2, 0)[1], 0.3) << depth;
    EXPECT_NEAR(im.at(2, 0)[1], im.at(1, 0)[1], 2.0 / 255) << depth;
  }
}

TEST_F(LayerMergeTest, LabLayersGetTheColoursOfAStoredComposite) {
  for (int depth : {8, 16}) {
    const Kind k{PsdMode::kLab, depth, "Lab"};
    // A saturated orange over a dull blue, half covered.
    const std::vector<double> under = {0.4, 0.55, 0.3}, over = {0.7, 0.7, 0.85};
    PsdDocument doc = document(k, 2, 1);
    doc.layers.push_back(solidLayer(k, 0, 0, 1, 2, under, opaque));
    doc.layers.push_back(solidLayer(k, 0, 0, 1, 2, over, [](int x, int) { return x == 0 ? 0.0 : 0.5; }));
    Image drawn = render(doc);
    PsdDocument stored = testing::makeDocument(PsdMode::kLab, depth, 2, 1, 0, [&](int c, int x, int) {
      // From the samples as the layers store them.
      const double a = x == 0 ? 0.0 : std::round(0.5 * k.full()) / k.full();
      const double u = std::round(under[c] * k.full()), o = std::round(over[c] * k.full());
      return std::round(u * (1 - a) + o * a);
    });
    expectAsStored(stored, drawn, depth);
  }
}

TEST_F(LayerMergeTest, DuotoneLayersAreDrawnAsGreyscale) {
  const Kind k{PsdMode::kDuotone, 8, "duotone"};
  PsdDocument doc = document(k, 2, 1);
  doc.layers.push_back(solidLayer(k, 0, 0, 1, 2, {0.8}, opaque));
  doc.layers.push_back(solidLayer(k, 0, 0, 1, 2, {0.2}, [](int x, int) { return x == 0 ? 0.0 : 1.0; }));
  Image im = render(doc);
  ASSERT_EQ(2, im.width);
  EXPECT_FALSE(im.alpha);
  EXPECT_NEAR(0.8, im.at(0, 0)[0], 0.6 / 255);
  EXPECT_NEAR(0.2, im.at(1, 0)[0], 0.6 / 255);
}

TEST_F(LayerMergeTest, EveryCompressionGivesTheSamePixels) {
  for (const Kind& k : kKinds) {
    std::vector<Image> images;
    for (int compression : {0, 1, 2, 3}) {
      PsdDocument doc = document(k, 5, 3);
      doc.layers.push_back(solidLayer(k, 0, 0, 3, 5, {0.5, 0.25, 0.75},
                                      [](int x, int y) { return (x * 3 + y * 7) % 11 / 10.0; }, compression));
      doc.layers_in_deep_block = k.depth == 16 && compression == 3;
      images.push_back(render(doc));
    }
    for (size_t i = 1; i < images.size(); ++i) EXPECT_EQ(images[0].px, images[i].px) << k.name << " " << i;
    EXPECT_NEAR(0.2, images[0].at(2, 1)[3], k.tolerance()) << k.name;  // (6 + 7) % 11 / 10
  }
}

double srgbEncoded(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

TEST_F(LayerMergeTest, FloatingPointLayersBlendLightAboveOne) {
  // 32-bit documents hold linear light; a quarter-covering layer of 3.0
  // over 0.2 is 0.9 (0.4 had the light been clipped first), then encoded
  // with the sRGB curve at 16 bits.
  for (int compression : {0, 1, 2, 3}) {
    const Kind k{PsdMode::kRgb, 32, "RGB 32"};
    PsdDocument doc = document(k, 2, 1);
    PsdLayer under = solidLayer(k, 0, 0, 1, 2, {0.2, 0.2, 0.2}, opaque, compression);
    PsdLayer over = solidLayer(k, 0, 0, 1, 2, {3.0, 0.6, 0.0}, [](int x, int) { return x == 0 ? 0.0 : 0.25; }, compression);
    doc.layers = {under, over};
    ASSERT_TRUE(testing::writePsdFile(path_, doc));
    std::string reason;
    BitmapPtr image;
    reason = decodeDocument(path_, 0, &image).message();
    ASSERT_TRUE(image) << reason;
    ASSERT_EQ(FIT_RGB16, FreeImage_GetImageType(image.get()));
    const FIRGB16* row = reinterpret_cast<const FIRGB16*>(FreeImage_GetScanLine(image.get(), 0));
    auto encoded = [](double linear) { return std::round(65535 * srgbEncoded(linear)); };
    EXPECT_NEAR(encoded(0.2), row[0].red, 1) << compression;
    EXPECT_NEAR(encoded(0.9), row[1].red, 1) << compression;
    EXPECT_NEAR(encoded(0.3), row[1].green, 1) << compression;
    EXPECT_NEAR(encoded(0.15), row[1].blue, 1) << compression;
  }
}

TEST_F(LayerMergeTest, DocumentWithoutCompositeIsConvertedNotBlank) {
  const Kind k = kKinds[0];
  PsdDocument doc = document(k, 4, 4);
  doc.layers.push_back(solidLayer(k, 0, 0, 4, 4, {0.0, 0.5, 1.0}, opaque));
  ASSERT_TRUE(testing::writePsdFile(path_, doc));
  buildFormatTable();
  createFormatLists();
  applyDefaultSettings(true);
  RunOptions run;
  ASSERT_TRUE(prepareRun(settings(), &run).ok());
  testing::TempDir out;
  ConversionRequest request;
  request.input_path = path_;
  request.output_folder = out.path() + "/";
  const ConversionResult result = convertFile(request, run);
  ASSERT_TRUE(result.ok()) << result.failureReason();
  testing::Pixels png = testing::readImage(result.output_path);
  ASSERT_EQ(4, png.width);
  EXPECT_EQ(128, png.at(2, 2)[1]);
  EXPECT_EQ(255, png.at(2, 2)[2]);
}

TEST_F(LayerMergeTest, UnreadableLayersAreRefusedWithTheReason) {
  const Kind k = kKinds[0];
  PsdDocument doc = document(k, 4, 4);
  doc.layers.push_back(solidLayer(k, 0, 0, 4, 4, {0.0, 0.5, 1.0}, opaque, 2));
  std::string bytes = testing::encodePsd(doc);
  const size_t stream = bytes.find("\x78\x9c");  // The first channel's ZIP stream.
  ASSERT_NE(std::string::npos, stream);
  bytes.replace(stream + 2, 4, "\xff\xff\xff\xff");
  testing::writeText(path_, bytes);
  std::string reason;
  BitmapPtr image;
  reason = decodeDocument(path_, 0, &image).message();
  EXPECT_FALSE(image);
  EXPECT_EQ("the document holds no composite image (saved without maximum compatibility) and its layers cannot "
            "be read: layer channel: malformed ZIP data",
            reason);
}

TEST_F(LayerMergeTest, MaskDefaultColourFillsOutsideItsRectangle) {
  const Kind k = kKinds[0];
  for (int default_colour : {0, 255}) {
    PsdDocument doc = document(k, 4, 1);
    PsdLayer layer = solidLayer(k, 0, 0, 1, 4, {1, 0, 0}, opaque);
    addHalfMask(k, &layer, default_colour, 0);
    doc.layers.push_back(layer);
    Image im = render(doc);
    EXPECT_EQ(1.0, im.at(0, 0)[3]);
    EXPECT_NEAR(128 / 255.0, im.at(1, 0)[3], 1e-9);
    EXPECT_EQ(default_colour / 255.0, im.at(3, 0)[3]) << default_colour;
  }
}

TEST_F(LayerMergeTest, MaskDensityLiftsTheMaskTowardsWhite) {
  for (const Kind& k : kKinds) {
    PsdDocument doc = document(k, 4, 1);
    PsdLayer layer = solidLayer(k, 0, 0, 1, 4, {1, 0, 0}, opaque);
    addHalfMask(k, &layer, 0, 0);
    layer.mask_density = 51;  // 20 %: a black mask hides a fifth.
    doc.layers.push_back(layer);
    Image im = render(doc);
    EXPECT_NEAR(1.0, im.at(0, 0)[3], k.tolerance()) << k.name;
    EXPECT_NEAR(0.8, im.at(3, 0)[3], k.tolerance()) << k.name;
  }
}

TEST_F(LayerMergeTest, RenderedMaskWithoutVectorMaskIsTheUserMask) {
  // Flag 8 says the mask came from other data; with no vector mask on the
  // layer it still hides what it covers.
  const Kind k = kKinds[0];
  PsdDocument doc = document(k, 4, 1);
  PsdLayer layer = solidLayer(k, 0, 0, 1, 4, {1, 0, 0}, opaque);
  addHalfMask(k, &layer, 0, 8);
  doc.layers.push_back(layer);
  Image im = render(doc);
  EXPECT_NEAR(128 / 255.0, im.at(1, 0)[3], 1e-9);
  EXPECT_EQ(0.0, im.at(3, 0)[3]);
}

TEST_F(LayerMergeTest, DisabledMaskIsIgnored) {
  const Kind k = kKinds[2];
  PsdDocument doc = document(k, 4, 1);
  PsdLayer layer = solidLayer(k, 0, 0, 1, 4, {0.4}, opaque);
  addHalfMask(k, &layer, 0, 2);
  doc.layers.push_back(layer);
  Image im = render(doc);
  EXPECT_FALSE(im.alpha);
  EXPECT_NEAR(0.4, im.at(3, 0)[0], 0.5 / 255);
}

TEST_F(LayerMergeTest, ClippedLayerTakesTheBaseTransparency) {
  for (const Kind& k : kKinds) {
    PsdDocument doc = document(k, 3, 1);
    const double base_alpha[] = {0.0, 0.5, 1.0};
    doc.layers.push_back(solidLayer(k, 0, 0, 1, 3, {0.9, 0.9, 0.9}, [&](int x, int) { return base_alpha[x]; }));
    PsdLayer clipped = solidLayer(k, 0, 0, 1, 3, {0.2, 0.4, 0.6}, opaque);
    clipped.clipped = true;
    doc.layers.push_back(clipped);
    Image im = render(doc);
    for (int x = 0; x < 3; ++x)
      EXPECT_NEAR(std::round(base_alpha[x] * k.full()) / k.full(), im.at(x, 0)[3], k.tolerance()) << k.name;
    const double clip_colour = shown(k, {0.2, 0.4, 0.6}, 1);
    EXPECT_NEAR(clip_colour, im.at(1, 0)[1], k.tolerance()) << k.name;  // The clipped layer's colour, unmixed.
    EXPECT_NEAR(clip_colour, im.at(2, 0)[1], k.tolerance()) << k.name;
  }
}

TEST_F(LayerMergeTest, HalfOpaqueBaseFadesItsClippedLayersOnce) {
  const Kind k = kKinds[0];
  PsdDocument doc = document(k, 1, 1);
  doc.layers.push_back(solidLayer(k, 0, 0, 1, 1, {1, 1, 1}, opaque));
  PsdLayer base = solidLayer(k, 0, 0, 1, 1, {0, 0, 0}, opaque);
  base.opacity = 128;
  doc.layers.push_back(base);
  PsdLayer clipped = solidLayer(k, 0, 0, 1, 1, {0, 0, 1}, opaque);
  clipped.clipped = true;
  doc.layers.push_back(clipped);
  Image im = render(doc);
  const double a = 128 / 255.0;
  EXPECT_NEAR(1 - a, im.at(0, 0)[0], 0.6 / 255);  // White under a half-opaque blue.
  EXPECT_NEAR(1.0, im.at(0, 0)[2], 0.6 / 255);
}

// Layers bottom first: a white background, then a group of `inner` layers.
PsdDocument groupDocument(const Kind& k, const std::string& group_key, int opacity, std::vector<PsdLayer> inner) {
  PsdDocument doc = testing::makeDocument(k.mode, k.depth, 1, 1, 0, [](int, int, int) { return 0.0; });
  doc.resources = {testing::versionInfo(false)};
  doc.layers.push_back(solidLayer(k, 0, 0, 1, 1, {0.5, 0.5, 0.5}, opaque));
  PsdLayer end;
  end.section = 3;
  doc.layers.push_back(end);
  for (PsdLayer& l : inner) doc.layers.push_back(l);
  PsdLayer group;
  group.section = 1, group.section_blend_key = group_key, group.opacity = opacity;
  group.blend_key = group_key;
  doc.layers.push_back(group);
  return doc;
}

TEST_F(LayerMergeTest, GroupOpacityFadesTheMergedGroup) {
  for (const Kind& k : kKinds) {
    // Two opaque layers in a half-opaque group: the top one hides the other,
    // so the grey background shows through once, not twice.
    PsdDocument doc = groupDocument(k, "norm", 128, {solidLayer(k, 0, 0, 1, 1, {0, 0, 0}, opaque),
                                                     solidLayer(k, 0, 0, 1, 1, {1, 1, 1}, opaque)});
    Image im = render(doc);
    const double a = 128 / 255.0;
    EXPECT_NEAR(0.5 * (1 - a) + a, im.at(0, 0)[0], 2 * k.tolerance()) << k.name;
  }
}

TEST_F(LayerMergeTest, PassThroughLetsBlendModesReachBelowTheGroup) {
  for (const Kind& k : kKinds) {
    PsdLayer multiply = solidLayer(k, 0, 0, 1, 1, {0.5, 0.5, 0.5}, opaque);
    multiply.blend_key = "mul ";
    Image pass = render(groupDocument(k, "pass", 255, {multiply}));
    EXPECT_NEAR(0.25, pass.at(0, 0)[0], 2 * k.tolerance()) << k.name;  // 0.5 * 0.5 with the background.
    // In a normal group the multiply meets only the group's empty backdrop.
    Image isolated = render(groupDocument(k, "norm", 255, {multiply}));
    EXPECT_NEAR(0.5, isolated.at(0, 0)[0], 2 * k.tolerance()) << k.name;
    // A half-opaque pass-through group lands halfway between.
    Image faded = render(groupDocument(k, "pass", 128, {multiply}));
    EXPECT_NEAR(0.5 - 0.25 * 128 / 255.0, faded.at(0, 0)[0], 2 * k.tolerance()) << k.name;
    // At a fill of f the group is merged on its own, its multiply meeting the
    // background as if at alpha f: the group's pixel is 0.5 - 0.25 f, laid
    // down at f, so 0.5 - 0.25 f².
    PsdDocument filled = groupDocument(k, "pass", 255, {multiply});
    filled.layers.back().fill_opacity = 128;
    const double f = 128 / 255.0;
    EXPECT_NEAR(0.5 - 0.25 * f * f, render(filled).at(0, 0)[0], 2 * k.tolerance()) << k.name;
  }
}

// A 2 x 1 document: a grey bottom layer (a background, without
// transparency, or not), then a group (`key`) of a green layer over both
// pixels and a blue knockout layer over the left one.
PsdDocument knockoutDocument(const Kind& k, const std::string& key, int knockout, int fill, bool background) {
  PsdDocument doc = testing::makeDocument(k.mode, k.depth, 2, 1, 0, [](int, int, int) { return 0.0; });
  doc.resources = {testing::versionInfo(false)};
  PsdLayer bottom = solidLayer(k, 0, 0, 1, 2, {0.5, 0.5, 0.5}, opaque);
  if (background) bottom.channels.erase(bottom.channels.begin());  // Its transparency channel.
  doc.layers.push_back(bottom);
  PsdLayer end;
  end.section = 3;
  doc.layers.push_back(end);
  doc.layers.push_back(solidLayer(k, 0, 0, 1, 2, {0, 1, 0}, opaque));
  PsdLayer knock = solidLayer(k, 0, 0, 1, 1, {0, 0, 1}, opaque);
  knock.fill_opacity = fill;
  knock.blocks.push_back({"knko", std::string(1, static_cast<char>(knockout)) + std::string(3, '\0')});
  doc.layers.push_back(knock);
  PsdLayer group;
  group.section = 1, group.section_blend_key = key, group.blend_key = key;
  doc.layers.push_back(group);
  return doc;
}

TEST_F(LayerMergeTest, KnockoutShowsWhatLiesUnderItsGroupOrTheBackground) {
  const Kind& k = kKinds[0];
  const auto expect = [&](const Image& im, int x, std::vector<double> rgba, const char* what) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(rgba[static_cast<size_t>(c)], im.at(x, 0)[c], 1.0 / 255) << what << " " << c;
  };
  for (const char* key : {"norm", "pass"}) {
    // Shallow at fill 0: the group's green is cut away over the left pixel, the grey beneath shows.
    const Image shallow = render(knockoutDocument(k, key, 1, 0, false));
    expect(shallow, 0, {0.5, 0.5, 0.5, 1}, key);
    expect(shallow, 1, {0, 1, 0, 1}, key);
    // At half fill the blue lies at half over the grey, not over the green.
    expect(render(knockoutDocument(k, key, 1, 128, false)), 0, {0.25, 0.25, 0.75, 1}, key);
  }
  // Deep: down to the background layer, or to transparency when the bottom layer is not one.
  expect(render(knockoutDocument(k, "norm", 2, 0, true)), 0, {0.5, 0.5, 0.5, 1}, "deep to the background");
  EXPECT_NEAR(0.0, render(knockoutDocument(k, "norm", 2, 0, false)).at(0, 0)[3], 1.0 / 255);
  // No knockout: the blue at fill 0 shows nothing, the green stays.
  expect(render(knockoutDocument(k, "norm", 0, 0, false)), 0, {0, 1, 0, 1}, "none");
}

// Dissolve shows each pixel wholly or not at all, about as many as its
// opacity says, by a pattern fixed to the document's pixels: a second
// dissolving layer over the first shows through the same pixels, so the
// pair covers half the picture, not three quarters.
TEST_F(LayerMergeTest, DissolveShowsWholePixelsByOneFixedPattern) {
  const Kind k = kKinds[0];
  const int side = 32;
  PsdDocument doc = document(k, side, side);
  PsdLayer blue = solidLayer(k, 0, 0, side, side, {0, 0, 1}, opaque);
  blue.blend_key = "diss", blue.opacity = 128;
  doc.layers.push_back(blue);
  const Image one = render(doc);
  PsdLayer red = solidLayer(k, 0, 0, side, side, {1, 0, 0}, opaque);
  red.blend_key = "diss", red.opacity = 128;
  doc.layers.push_back(red);
  const Image two = render(doc);
  ASSERT_EQ(side, one.width);
  ASSERT_EQ(side, two.width);
  int shown = 0;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const double a = one.at(x, y)[3];
      ASSERT_TRUE(a == 0.0 || a == 1.0) << x << "," << y;
      EXPECT_EQ(a, two.at(x, y)[3]) << x << "," << y;
      if (a == 0.0) continue;
      ++shown;
      EXPECT_EQ(1.0, one.at(x, y)[2]);
      EXPECT_EQ(1.0, two.at(x, y)[0]);  // The red layer hides the blue wholly.
      EXPECT_EQ(0.0, two.at(x, y)[2]);
    }
  EXPECT_NEAR(0.5, shown / static_cast<double>(side * side), 0.05);
}

// Layers clipped to a pass-through group leave it pass-through where its
// layers have pixels: its multiply still darkens the background, while an
// invert in it changes nothing beside them. The clipped layer shows only
// where the group's layers have pixels, over the darkened colour.
TEST_F(LayerMergeTest, PassThroughGroupUnderClippedLayersActsWithinItsPixels) {
  for (const Kind& k : kKinds) {
    PsdDocument doc = document(k, 2, 1);
    doc.layers.push_back(solidLayer(k, 0, 0, 1, 2, {0.8, 0.8, 0.8}, opaque));
    PsdLayer end;
    end.section = 3;
    doc.layers.push_back(end);
    PsdLayer invert;
    invert.blocks = {{"nvrt", ""}};
    doc.layers.push_back(invert);
    PsdLayer multiply = solidLayer(k, 0, 0, 1, 1, {0.5, 0.5, 0.5}, opaque);  // The left pixel only.
    multiply.blend_key = "mul ";
    doc.layers.push_back(multiply);
    PsdLayer group;
    group.section = 1, group.section_blend_key = "pass", group.blend_key = "pass";
    doc.layers.push_back(group);
    PsdLayer clipped = solidLayer(k, 0, 0, 1, 2, {0, 0, 1}, opaque);
    clipped.clipped = true, clipped.opacity = 128;
    doc.layers.push_back(clipped);
    const Image im = render(doc);
    const double a = 128 / 255.0;
    // Inverted to 0.2, multiplied to 0.1, then half covered by blue.
    EXPECT_NEAR(0.1 * (1 - a), im.at(0, 0)[0], 2 * k.tolerance()) << k.name;
    EXPECT_NEAR(shown(k, {0.1 * (1 - a), 0.1 * (1 - a), 0.1 + 0.9 * a}, 2), im.at(0, 0)[2], 2 * k.tolerance())
        << k.name;
    EXPECT_NEAR(0.8, im.at(1, 0)[0], 2 * k.tolerance()) << k.name;  // Outside the group's pixels.
    EXPECT_NEAR(0.8, im.at(1, 0)[2], 2 * k.tolerance()) << k.name;
  }
}

TEST_F(LayerMergeTest, HiddenLayersAndGroupsAreLeftOut) {
  const Kind k = kKinds[0];
  PsdLayer black = solidLayer(k, 0, 0, 1, 1, {0, 0, 0}, opaque);
  black.hidden = true;
  Image im = render(groupDocument(k, "norm", 255, {black}));
  EXPECT_NEAR(0.5, im.at(0, 0)[0], 0.6 / 255);
  PsdDocument doc = groupDocument(k, "norm", 255, {solidLayer(k, 0, 0, 1, 1, {0, 0, 0}, opaque)});
  doc.layers.back().hidden = true;
  EXPECT_NEAR(0.5, render(doc).at(0, 0)[0], 0.6 / 255);
}

TEST_F(LayerMergeTest, InvertAdjustmentRecolourswithinItsMask) {
  for (const Kind& k : kKinds) {
    PsdDocument doc = document(k, 4, 1);
    doc.layers.push_back(solidLayer(k, 0, 0, 1, 4, {0.2, 0.6, 0.8}, [](int x, int) { return x == 3 ? 0.0 : 1.0; }));
    PsdLayer invert;
    invert.blocks = {{"nvrt", ""}};
    addHalfMask(k, &invert, 0, 0);
    doc.layers.push_back(invert);
    Image im = render(doc);
    EXPECT_NEAR(1 - shown(k, {0.2, 0.6, 0.8}, 1), im.at(0, 0)[1], 2 * k.tolerance()) << k.name;
    EXPECT_NEAR(shown(k, {0.2, 0.6, 0.8}, 1), im.at(2, 0)[1], 2 * k.tolerance()) << k.name;
    EXPECT_EQ(0.0, im.at(3, 0)[3]) << k.name;  // The adjustment adds no pixels of its own.
  }
}

TEST_F(LayerMergeTest, LayerClippedToAnAdjustmentFollowsItsMask) {
  // An invert over the left half, and a two-level posterize clipped to it:
  // the left half's green 0.6 becomes 0.4, then 0; the right half stays.
  const Kind k = kKinds[0];
  PsdDocument doc = document(k, 4, 1);
  doc.layers.push_back(solidLayer(k, 0, 0, 1, 4, {0.2, 0.6, 0.8}, opaque));
  PsdLayer base;
  base.blocks = {{"nvrt", ""}};
  addHalfMask(k, &base, 0, 0);
  PsdLayer clipped;
  clipped.blocks = {{"post", std::string("\0\x02\0\0", 4)}};
  clipped.clipped = true;
  doc.layers.push_back(base);
  doc.layers.push_back(clipped);
  Image im = render(doc);
  EXPECT_EQ(0.0, im.at(0, 0)[1]);
  EXPECT_NEAR(0.6, im.at(3, 0)[1], 0.6 / 255);
  doc.layers.back().clipped = false;  // Unclipped, the posterize reaches the right half too.
  EXPECT_EQ(1.0, render(doc).at(3, 0)[1]);
}

TEST_F(LayerMergeTest, BlendIfRangesHideDarkSourceAndBrightBackdrop) {
  const Kind k = kKinds[2];  // Grey.
  PsdDocument doc = document(k, 4, 1);
  const double under[] = {0.0, 0.0, 1.0, 0.5}, over[] = {100 / 255.0, 200 / 255.0, 200 / 255.0, 150 / 255.0};
  PsdLayer bottom = solidLayer(k, 0, 0, 1, 4, {0}, opaque);
  for (int x = 0; x < 4; ++x) bottom.channels[1].samples[x] = std::round(under[x] * 255);
  PsdLayer top = solidLayer(k, 0, 0, 1, 4, {0}, opaque);
  for (int x = 0; x < 4; ++x) top.channels[1].samples[x] = std::round(over[x] * 255);
  // Source: nothing below 128. Backdrop: all up to 100, fading out to nothing at 200.
  top.blend_ranges = std::string("\x80\x80\xff\xff\x00\x00\x64\xc8", 8);
  doc.layers = {bottom, top};
  Image im = render(doc);
  EXPECT_NEAR(0.0, im.at(0, 0)[0], 0.6 / 255);               // Source 100 is too dark: the backdrop shows.
  EXPECT_NEAR(200 / 255.0, im.at(1, 0)[0], 0.6 / 255);       // Light source on a dark backdrop.
  EXPECT_NEAR(1.0, im.at(2, 0)[0], 0.6 / 255);               // Backdrop 255 is too bright.
  const double w = (200 - 128) / 100.0;                       // Backdrop 128: the source at 72 %.
  EXPECT_NEAR(150 / 255.0 * w + 128 / 255.0 * (1 - w), im.at(3, 0)[0], 1.0 / 255);
}

}  // namespace
}  // namespace pixolune
