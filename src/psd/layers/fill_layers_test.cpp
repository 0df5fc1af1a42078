#include "psd/layers/fill_layers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>

#include "psd/layers/layer_test_support.h"

namespace pixolune {
namespace {

using testing::PsdDocument;

std::string solidColour(double r, double g, double b) {
  Desc d;
  d.object("null", 1).item("Clr ", "Objc").rgb(r, g, b);
  return d.block();
}

// A linear gradient at `angle` degrees from black to white.
std::string blackToWhite(double angle, const char* type = "Lnr ") {
  Desc d;
  d.object("null", 3).item("Angl", "UntF").unit("#Ang", angle).item("Type", "enum").enumeration("GrdT", type);
  d.item("Grad", "Objc").object("Grdn", 2).item("GrdF", "enum").enumeration("GrdF", "CstS");
  d.item("Clrs", "VlLs").list(2);
  for (int i = 0; i < 2; ++i) {
    d.raw("Objc").object("Clrt", 3).item("Clr ", "Objc").rgb(255.0 * i, 255.0 * i, 255.0 * i);
    d.item("Lctn", "long").integer(4096 * i).item("Mdpn", "long").integer(50);
  }
  return d.block();
}

// A closed rectangular vector path over the document fraction [l, r) x [t, b).
std::string rectanglePath(double t, double l, double b, double r, uint32_t flags) {
  std::string out;
  auto u16 = [&](int v) { out += static_cast<char>(v >> 8), out += static_cast<char>(v & 0xFF); };
  auto u32 = [&](uint32_t v) { u16(static_cast<int>(v >> 16)), u16(static_cast<int>(v & 0xFFFF)); };
  auto point = [&](double y, double x) { u32(static_cast<uint32_t>(std::lround(y * 16777216))), u32(static_cast<uint32_t>(std::lround(x * 16777216))); };
  u32(3), u32(flags);
  u16(0), u16(4), out.append(22, '\0');  // A closed subpath of four knots.
  const double corners[4][2] = {{t, l}, {t, r}, {b, r}, {b, l}};
  for (const auto& c : corners) {
    u16(1);
    for (int i = 0; i < 3; ++i) point(c[0], c[1]);
  }
  return out;
}

class FillLayerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initImageLibrary(); }
  // A w x 1 document without composite holding one pixel-less layer with these blocks.
  BitmapPtr render(PsdMode mode, int depth, int w, std::vector<std::pair<std::string, std::string>> blocks) {
    PsdDocument doc = testing::makeDocument(mode, depth, w, 1, 0, [](int, int, int) { return 0.0; });
    doc.resources = {testing::versionInfo(false)};
    PsdLayer layer;
    layer.blocks = std::move(blocks);
    doc.layers.push_back(layer);
    EXPECT_TRUE(testing::writePsdFile(path_, doc));
    std::string reason;
    BitmapPtr image;
    reason = decodeDocument(path_, 0, &image).message();
    EXPECT_TRUE(image) << reason;
    return image;
  }
  static const BYTE* pixel(FIBITMAP* dib, int x) { return FreeImage_GetScanLine(dib, 0) + x * FreeImage_GetBPP(dib) / 8; }
  testing::TempDir dir_;
  std::string path_ = dir_.file("fill.psd");
};

TEST_F(FillLayerTest, SolidColourCoversTheDocument) {
  BitmapPtr image = render(PsdMode::kRgb, 8, 3, {{"SoCo", solidColour(250, 128, 3)}});
  ASSERT_TRUE(image);
  ASSERT_EQ(24u, FreeImage_GetBPP(image.get()));
  const BYTE* p = pixel(image.get(), 2);
  EXPECT_EQ(250, p[FI_RGBA_RED]);
  EXPECT_EQ(128, p[FI_RGBA_GREEN]);
  EXPECT_EQ(3, p[FI_RGBA_BLUE]);
}

TEST_F(FillLayerTest, SolidColourInGreyTakesItsLuminance) {
  BitmapPtr image = render(PsdMode::kGrey, 8, 2, {{"SoCo", solidColour(200, 100, 50)}});
  ASSERT_TRUE(image);
  EXPECT_EQ(std::lround(0.299 * 200 + 0.587 * 100 + 0.114 * 50), pixel(image.get(), 0)[0]);
}

TEST_F(FillLayerTest, LinearGradientRunsAcrossTheDocument) {
  // At 0 degrees from black on the left to white on the right. Photoshop
  // takes each pixel where its corner lies: 0, 1/4, 1/2 and 3/4 of the way.
  BitmapPtr image = render(PsdMode::kRgb, 16, 4, {{"GdFl", blackToWhite(0)}});
  ASSERT_TRUE(image);
  const WORD* row = reinterpret_cast<const WORD*>(FreeImage_GetScanLine(image.get(), 0));
  for (int x = 0; x < 4; ++x) EXPECT_NEAR(x / 4.0 * 65535, row[3 * x], 65535 / 1024.0) << x;
  BitmapPtr turned = render(PsdMode::kRgb, 8, 4, {{"GdFl", blackToWhite(180)}});
  ASSERT_TRUE(turned);
  EXPECT_NEAR(255, pixel(turned.get(), 0)[FI_RGBA_RED], 1);
  EXPECT_NEAR(255 / 4.0, pixel(turned.get(), 3)[FI_RGBA_RED], 1);
}

TEST_F(FillLayerTest, GradientSmoothnessAndMixingInLinearLight) {
  // Black to white at 0 degrees, with the smoothness (0..4096) and the way
  // colours are mixed as given.
  const auto gradient = [](int smoothness, bool linear_light) {
    Desc d;
    d.object("null", linear_light ? 4 : 3).item("Angl", "UntF").unit("#Ang", 0).item("Type", "enum").enumeration("GrdT", "Lnr ");
    if (linear_light) d.item("gradientsInterpolationMethod", "enum").enumeration("gradientInterpolationMethodType", "Lnr ");
    d.item("Grad", "Objc").object("Grdn", 3).item("GrdF", "enum").enumeration("GrdF", "CstS");
    d.item("Intr", "doub").number(smoothness);
    d.item("Clrs", "VlLs").list(2);
    for (int i = 0; i < 2; ++i) {
      d.raw("Objc").object("Clrt", 3).item("Clr ", "Objc").rgb(255.0 * i, 255.0 * i, 255.0 * i);
      d.item("Lctn", "long").integer(4096 * i).item("Mdpn", "long").integer(50);
    }
    return d.block();
  };
  // Full smoothness: half straight, half smoothstep; a quarter of the way is 0.203.
  BitmapPtr smooth = render(PsdMode::kRgb, 8, 4, {{"GdFl", gradient(4096, false)}});
  ASSERT_TRUE(smooth);
  EXPECT_NEAR(255 * 0.203, pixel(smooth.get(), 1)[FI_RGBA_RED], 1);
  EXPECT_NEAR(128, pixel(smooth.get(), 2)[FI_RGBA_RED], 1);
  // Mixed in linear light, halfway is half the light: 188 once encoded.
  BitmapPtr light = render(PsdMode::kRgb, 8, 4, {{"GdFl", gradient(0, true)}});
  ASSERT_TRUE(light);
  EXPECT_NEAR(188, pixel(light.get(), 2)[FI_RGBA_RED], 1);
}

TEST_F(FillLayerTest, GradientStylesMeasureFromTheCentre) {
  // Black to white at 0 degrees over an 8 x 8 document: the centre is (4, 4)
  // and the end (8, 4), four pixels away; pixels are taken at their corners.
  const auto draw = [&](const char* type) {
    testing::PsdDocument doc = testing::makeDocument(PsdMode::kRgb, 8, 8, 8, 0, [](int, int, int) { return 0.0; });
    doc.resources = {testing::versionInfo(false)};
    PsdLayer layer;
    layer.blocks = {{"GdFl", blackToWhite(0, type)}};
    doc.layers.push_back(layer);
    EXPECT_TRUE(testing::writePsdFile(path_, doc));
    BitmapPtr image;
    EXPECT_TRUE(decodeDocument(path_, 0, &image).ok());
    return image;
  };
  const auto level = [](FIBITMAP* image, int x, int y) {
    return FreeImage_GetScanLine(image, 7 - y)[FreeImage_GetBPP(image) / 8 * x + FI_RGBA_RED];
  };
  const struct {
    const char* type;
    std::function<double(int, int)> t;  // From the pixel's offset to the centre.
  } styles[] = {
      {"Rdl ", [](int dx, int dy) { return std::hypot(dx, dy) / 4; }},
      {"Dmnd", [](int dx, int dy) { return (std::abs(dx) + std::abs(dy)) / 4.0; }},
      {"Rflc", [](int dx, int) { return std::abs(dx) / 4.0; }},
      // Clockwise on the screen from the angle's direction.
      {"Angl", [](int dx, int dy) { return std::fmod(std::atan2(dy, dx) / (2 * std::numbers::pi) + 1, 1); }},
  };
  for (const auto& style : styles) {
    BitmapPtr image = draw(style.type);
    ASSERT_TRUE(image) << style.type;
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{4, 4}, {6, 4}, {4, 6}, {1, 3}, {5, 1}, {7, 7}}) {
      const double t = std::min(1.0, style.t(x - 4, y - 4));
      EXPECT_NEAR(255 * t, level(image.get(), x, y), 1.5) << style.type << " " << x << "," << y;
    }
  }
}

TEST_F(FillLayerTest, GradientEndsLieOnWholePixels) {
  // A reflected gradient at 30 degrees in a 4 x 4 document: the line from
  // the centre (2, 2) leaves the box at (4, 0.85), which Photoshop takes as
  // (4, 0), so the gradient runs at 45 degrees and a pixel's place is
  // |x - y| / 4, as Photoshop's own composite of such a document shows.
  const std::string fill = blackToWhite(30, "Rflc");
  testing::PsdDocument doc = testing::makeDocument(PsdMode::kRgb, 8, 4, 4, 0, [](int, int, int) { return 0.0; });
  doc.resources = {testing::versionInfo(false)};
  PsdLayer layer;
  layer.blocks = {{"GdFl", fill}};
  doc.layers.push_back(layer);
  ASSERT_TRUE(testing::writePsdFile(path_, doc));
  BitmapPtr image;
  ASSERT_TRUE(decodeDocument(path_, 0, &image).ok());
  for (int y = 0; y < 4; ++y) {
    const BYTE* row = FreeImage_GetScanLine(image.get(), 3 - y);
    const int step = FreeImage_GetBPP(image.get()) / 8;
    for (int x = 0; x < 4; ++x) EXPECT_NEAR(255 * std::abs(x - y) / 4.0, row[step * x + FI_RGBA_RED], 1) << x << "," << y;
  }
}

TEST_F(FillLayerTest, NonFiniteNumbersAreTakenAsZero) {
  // A gradient at an angle of NaN degrees is a gradient at 0 degrees.
  BitmapPtr nan_angle = render(PsdMode::kRgb, 8, 4, {{"GdFl", blackToWhite(std::nan(""))}});
  BitmapPtr zero = render(PsdMode::kRgb, 8, 4, {{"GdFl", blackToWhite(0)}});
  ASSERT_TRUE(nan_angle && zero);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(pixel(zero.get(), x)[FI_RGBA_RED], pixel(nan_angle.get(), x)[FI_RGBA_RED]) << x;
}

TEST_F(FillLayerTest, VectorMaskShapesAFillWithoutPixels) {
  for (uint32_t flags : {0u, 1u}) {  // 1: inverted.
    BitmapPtr image = render(PsdMode::kRgb, 8, 4, {{"SoCo", solidColour(0, 0, 255)},
                                                   {"vmsk", rectanglePath(0, 0, 1, 0.5, flags)}});
    ASSERT_TRUE(image);
    ASSERT_EQ(32u, FreeImage_GetBPP(image.get()));
    EXPECT_EQ(flags ? 0 : 255, pixel(image.get(), 0)[FI_RGBA_ALPHA]) << flags;
    EXPECT_EQ(flags ? 255 : 0, pixel(image.get(), 3)[FI_RGBA_ALPHA]) << flags;
    EXPECT_EQ(255, pixel(image.get(), flags ? 3 : 0)[FI_RGBA_BLUE]);
  }
}

TEST_F(FillLayerTest, SwitchedOffVectorMaskShowsTheWholeFill) {
  BitmapPtr image = render(PsdMode::kRgb, 8, 4, {{"SoCo", solidColour(0, 0, 255)}, {"vmsk", rectanglePath(0, 0, 1, 0.5, 4)}});
  ASSERT_TRUE(image);
  EXPECT_EQ(24u, FreeImage_GetBPP(image.get()));
}

TEST_F(FillLayerTest, UnreadableFillIsNamedAndLeftOut) {
  BitmapPtr image = render(PsdMode::kRgb, 8, 2, {{"SoCo", "\x00\x00"}, {"luni", ""}});
  ASSERT_TRUE(image);
  EXPECT_EQ("drawn from its layers without colour fill", lastDecodeNote());
}

TEST_F(FillLayerTest, FillSourceDeclinesOtherLayersAndFailsOnUnreadableDescriptors) {
  auto record = [](const char* key, const std::string& bytes) {
    LayerRecord layer;
    if (key) layer.blocks.push_back({key, std::vector<uint8_t>(bytes.begin(), bytes.end())});
    return layer;
  };
  const LayerRect document{0, 0, 1, 2};
  std::unique_ptr<PixelSource> source;
  EXPECT_EQ(Status::Code::kUnsupported, makeFillSource(record(nullptr, ""), 3, document, false, &source).code());
  EXPECT_FALSE(source);
  const std::string unreadable("\0\0", 2);
  EXPECT_EQ(Status::Code::kCorrupt, makeFillSource(record("SoCo", unreadable), 3, document, false, &source).code());
  EXPECT_FALSE(source);
  EXPECT_EQ(Status::Code::kCorrupt, makeFillSource(record("GdFl", unreadable), 3, document, false, &source).code());
  EXPECT_FALSE(source);
  EXPECT_TRUE(makeFillSource(record("SoCo", solidColour(1, 2, 3)), 3, document, false, &source).ok());
  EXPECT_TRUE(source);
}

TEST_F(FillLayerTest, ArtboardShowsItsLayersOnlyInsideItsRectangle) {
  PsdDocument doc = testing::makeDocument(PsdMode::kRgb, 8, 4, 1, 0, [](int, int, int) { return 0.0; });
  doc.resources = {testing::versionInfo(false)};
  PsdLayer end, inside, board;
  end.section = 3;
  inside.bottom = 1, inside.right = 4;
  for (int c = 0; c < 3; ++c) inside.channels.push_back({c, std::vector<double>(4, 200), 1});
  Desc d;
  d.object("artboard", 1).item("artboardRect", "Objc").object("classFloatRect", 4);
  d.item("Top ", "doub").number(0).item("Left", "doub").number(1).item("Btom", "doub").number(1).item("Rght", "doub").number(3);
  board.section = 1, board.section_blend_key = "pass", board.blocks = {{"artb", d.block()}};
  doc.layers = {end, inside, board};
  ASSERT_TRUE(testing::writePsdFile(path_, doc));
  std::string reason;
  BitmapPtr image;
    reason = decodeDocument(path_, 0, &image).message();
  ASSERT_TRUE(image) << reason;
  ASSERT_EQ(32u, FreeImage_GetBPP(image.get()));
  EXPECT_EQ(0, pixel(image.get(), 0)[FI_RGBA_ALPHA]);
  EXPECT_EQ(255, pixel(image.get(), 1)[FI_RGBA_ALPHA]);
  EXPECT_EQ(200, pixel(image.get(), 2)[FI_RGBA_GREEN]);
  EXPECT_EQ(0, pixel(image.get(), 3)[FI_RGBA_ALPHA]);
}

}  // namespace
}  // namespace pixolune
