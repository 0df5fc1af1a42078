#include "psd/layers/patterns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "psd/layers/channel_data.h"
#include "psd/layers/descriptor.h"
#include "psd/layers/layer_test_support.h"
#include "psd/psd_document.h"

namespace pixolune {
namespace {

void u16(std::string* out, int v) { *out += static_cast<char>((v >> 8) & 0xFF), *out += static_cast<char>(v & 0xFF); }
void u32(std::string* out, uint32_t v) { u16(out, static_cast<int>(v >> 16)), u16(out, static_cast<int>(v & 0xFFFF)); }

// One pattern as Photoshop stores it. Channel samples are 8-bit, row by
// row; `alpha` empty for none.
struct StoredPattern {
  int mode = kModeRgb;
  int width = 2, height = 1;
  std::string name = "Dots", id = "b3c1-0000";
  std::vector<std::string> channels;  // Each width * height bytes.
  std::string alpha;
  std::string table;                  // Indexed: 768 bytes.
  bool packed = false;                // PackBits rows instead of raw.
};

std::string arrayBytes(const StoredPattern& p, const std::string& samples) {
  std::string data;
  if (p.packed) {
    std::string rows;
    for (int y = 0; y < p.height; ++y) {
      const std::string row = testing::packBits(samples.substr(static_cast<size_t>(y * p.width), p.width));
      u16(&data, static_cast<int>(row.size()));
      rows += row;
    }
    data += rows;
  } else {
    data = samples;
  }
  std::string out;
  u32(&out, 1);  // Written.
  u32(&out, static_cast<uint32_t>(23 + data.size()));
  u32(&out, 8);
  u32(&out, 0), u32(&out, 0), u32(&out, static_cast<uint32_t>(p.height)), u32(&out, static_cast<uint32_t>(p.width));
  u16(&out, 8);
  out += static_cast<char>(p.packed ? 1 : 0);
  return out + data;
}

// The pattern with its length before it, padded to 4 bytes.
std::string patternBytes(const StoredPattern& p) {
  std::string body;
  u32(&body, 1);
  u32(&body, static_cast<uint32_t>(p.mode));
  u16(&body, p.height), u16(&body, p.width);
  u32(&body, static_cast<uint32_t>(p.name.size() + 1));
  for (char c : p.name) u16(&body, c);
  u16(&body, 0);
  body += static_cast<char>(p.id.size()) + p.id;
  if (p.mode == kModeIndexed) body += p.table + std::string(4, '\0');
  std::string list;
  u32(&list, 0), u32(&list, 0), u32(&list, static_cast<uint32_t>(p.height)), u32(&list, static_cast<uint32_t>(p.width));
  u32(&list, static_cast<uint32_t>(p.channels.size()));
  for (const std::string& c : p.channels) list += arrayBytes(p, c);
  u32(&list, 0);  // No user mask.
  if (p.alpha.empty()) u32(&list, 0);
  else list += arrayBytes(p, p.alpha);
  u32(&body, 3);
  u32(&body, static_cast<uint32_t>(list.size()));
  body += list;
  std::string out;
  u32(&out, static_cast<uint32_t>(body.size()));
  out += body;
  while (out.size() % 4) out += '\0';
  return out;
}

LayerSet withBlock(const std::string& key, const std::string& bytes) {
  LayerSet set;
  set.global_blocks.push_back({key, std::vector<uint8_t>(bytes.begin(), bytes.end())});
  return set;
}

std::vector<float> pixel(const Pattern& p, int x, int y) {
  const size_t st = static_cast<size_t>(p.colours) + 1, at = (static_cast<size_t>(y) * p.width + x) * st;
  return std::vector<float>(p.px.begin() + static_cast<std::ptrdiff_t>(at), p.px.begin() + static_cast<std::ptrdiff_t>(at + st));
}

std::vector<float> v255(std::initializer_list<int> samples) {
  std::vector<float> out;
  for (int s : samples) out.push_back(s / 255.0f);
  return out;
}

StoredPattern rgbWithAlpha() {
  StoredPattern p;
  p.width = 3, p.height = 2;
  p.channels = {std::string("\x10\x20\x30\x40\x50\x60", 6), std::string("\x00\x01\x02\x03\x04\x05", 6),
                std::string("\xff\xfe\xfd\xfc\xfb\xfa", 6)};
  p.alpha = std::string("\xff\x80\x00\xff\xff\xff", 6);
  return p;
}

TEST(PatternReadTest, ReadsEveryModeRawOrPacked) {
  for (bool packed : {false, true}) {
    StoredPattern rgb = rgbWithAlpha();
    rgb.packed = packed;
    StoredPattern grey;
    grey.mode = kModeGrey, grey.id = "g", grey.name = "Grey", grey.packed = packed;
    grey.channels = {std::string("\x00\xff", 2)};
    StoredPattern cmyk;
    cmyk.mode = kModeCmyk, cmyk.id = "c", cmyk.width = 1, cmyk.packed = packed;
    cmyk.channels = {"\x10", "\x20", "\x30", "\x40"};
    StoredPattern indexed;
    indexed.mode = kModeIndexed, indexed.id = "i", indexed.packed = packed;
    indexed.table.assign(768, '\0');
    indexed.table[3 * 7] = '\x0a', indexed.table[3 * 7 + 1] = '\x0b', indexed.table[3 * 7 + 2] = '\x0c';
    indexed.channels = {std::string("\x07\x00", 2)};
    std::vector<Pattern> got;
    ASSERT_TRUE(readPatterns(withBlock("Patt", patternBytes(rgb) + patternBytes(grey) + patternBytes(cmyk) +
                                                   patternBytes(indexed)),
                             &got)
                    .ok());
    ASSERT_EQ(4u, got.size()) << packed;
    EXPECT_EQ("b3c1-0000", got[0].id);
    EXPECT_EQ("Dots", got[0].name);
    EXPECT_EQ(3, got[0].width);
    EXPECT_EQ(2, got[0].height);
    EXPECT_EQ(3, got[0].colours);
    EXPECT_EQ(v255({0x10, 0x00, 0xff, 0xff}), pixel(got[0], 0, 0));
    EXPECT_EQ(v255({0x60, 0x05, 0xfa, 0xff}), pixel(got[0], 2, 1));
    EXPECT_EQ(v255({0x20, 0x01, 0xfe, 0x80}), pixel(got[0], 1, 0));
    EXPECT_EQ(1, got[1].colours);
    EXPECT_EQ(v255({0x00, 0xff}), pixel(got[1], 0, 0));  // No alpha channel: opaque.
    EXPECT_EQ(v255({0xff, 0xff}), pixel(got[1], 1, 0));
    EXPECT_EQ(v255({0x10, 0x20, 0x30, 0x40, 0xff}), pixel(got[2], 0, 0));  // As stored.
    EXPECT_EQ(3, got[3].colours);
    EXPECT_EQ(v255({0x0a, 0x0b, 0x0c, 0xff}), pixel(got[3], 0, 0));
    EXPECT_EQ(v255({0, 0, 0, 0xff}), pixel(got[3], 1, 0));
    EXPECT_EQ(&got[2], findPattern(got, "c"));
    EXPECT_EQ(nullptr, findPattern(got, "none"));
  }
}

TEST(PatternReadTest, PatternsOfLayerBlocksAndEveryKeyAreRead) {
  StoredPattern a, b;
  a.channels = b.channels = {"ab", "cd", "ef"};
  b.id = "second";
  LayerSet set = withBlock("Pat2", patternBytes(a));
  LayerRecord layer;
  const std::string bytes = patternBytes(b);
  layer.blocks.push_back({"Pat3", std::vector<uint8_t>(bytes.begin(), bytes.end())});
  set.layers.push_back(layer);
  std::vector<Pattern> got;
  ASSERT_TRUE(readPatterns(set, &got).ok());
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ("second", got[1].id);
  // Only a pattern fill without pixels draws from them.
  EXPECT_FALSE(drawsPatterns(set));
  set.layers[0].blocks.push_back({"PtFl", {}});
  EXPECT_TRUE(drawsPatterns(set));
  set.layers[0].rect = LayerRect{0, 0, 2, 2};
  EXPECT_FALSE(drawsPatterns(set));
}

TEST(PatternReadTest, DamagedPatternsAreSkipped) {
  StoredPattern good = rgbWithAlpha();
  good.packed = true;
  StoredPattern lab = good;
  lab.mode = kModeLab;
  // A channel whose packed rows make more samples than a row holds.
  StoredPattern overlong = good;
  overlong.width = 1, overlong.height = 1;
  overlong.channels = {"\x01", "\x02", "\x03"}, overlong.alpha.clear();
  std::string broken = patternBytes(overlong);
  broken[broken.size() - 8] = '\x05';  // The first channel's only row: "repeat 6 times".
  std::vector<Pattern> got;
  EXPECT_TRUE(readPatterns(withBlock("Patt", patternBytes(lab) + broken + patternBytes(good)), &got).ok());
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ(3, got[0].width);

  // Cut anywhere, the block gives the patterns it still holds whole, and
  // nothing read beyond its end.
  const std::string one = patternBytes(good), two = one + one;
  const size_t whole = 4 + static_cast<size_t>(bigEndian(reinterpret_cast<const uint8_t*>(one.data()), 4));
  for (size_t cut = 0; cut <= two.size(); ++cut) {
    (void)readPatterns(withBlock("Patt", two.substr(0, cut)), &got);
    EXPECT_EQ(cut >= one.size() + whole ? 2u : cut >= whole ? 1u : 0u, got.size()) << cut;
    for (const Pattern& p : got) EXPECT_EQ(3u * 2 * 4, p.px.size());
  }
}

// The first n pixels of a row of the source from x on.
std::vector<float> sourceRow(const PixelSource& s, int x, int y, int n, int colours) {
  std::vector<float> out(static_cast<size_t>(n) * (colours + 1));
  s.row(x, y, n, Canvas(), out.data());
  return out;
}

TEST(PatternSourceTest, TilesFromTheOriginMovedByThePhase) {
  std::vector<Pattern> got;
  ASSERT_TRUE(readPatterns(withBlock("Patt", patternBytes(rgbWithAlpha())), &got).ok());
  const Pattern& p = got[0];
  for (const auto& [phase_x, phase_y] : {std::pair{0, 0}, {1, 0}, {-4, 3}, {7, -1}}) {
    const PatternSource source(p, 3, 1.0, phase_x, phase_y);
    for (int y = -3; y < 3; ++y) {
      const std::vector<float> row = sourceRow(source, -5, y, 10, 3);
      for (int i = 0; i < 10; ++i) {
        const int u = (((-5 + i - phase_x) % 3) + 3) % 3, v = (((y - phase_y) % 2) + 2) % 2;
        EXPECT_EQ(pixel(p, u, v), std::vector<float>(row.begin() + 4 * i, row.begin() + 4 * i + 4))
            << phase_x << "," << phase_y << " at " << -5 + i << "," << y;
      }
    }
  }
}

TEST(PatternSourceTest, ScaledPatternIsSampledBetweenItsPixels) {
  // A 2x1 pattern, black then white, at twice its size. A document pixel
  // takes the pattern where its corner falls (as Photoshop's overlays at
  // 200 % show): on a pattern pixel, or halfway between two.
  Pattern p;
  p.width = 2, p.height = 1, p.colours = 1;
  p.px = {0.0f, 1.0f, 1.0f, 1.0f};
  const PatternSource twice(p, 1, 2.0, 0, 0);
  const std::vector<float> row = sourceRow(twice, 0, 5, 4, 1);
  const float expected[4] = {0.0f, 0.5f, 1.0f, 0.5f};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(expected[i], row[2 * i], 1e-6) << i;
    EXPECT_EQ(1.0f, row[2 * i + 1]) << i;
  }
  // Moved back by half a pixel, corners fall a quarter of the way between.
  const std::vector<float> moved = sourceRow(PatternSource(p, 1, 2.0, -0.5, 0), 0, 0, 4, 1);
  const float between[4] = {0.25f, 0.75f, 0.75f, 0.25f};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(between[i], moved[2 * i], 1e-6) << i;
  // At one and a half times its size, the pattern repeats every three pixels.
  const std::vector<float> wider = sourceRow(PatternSource(p, 1, 1.5, 0, 0), 0, 0, 6, 1);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(wider[2 * i], wider[2 * (i + 3)], 1e-6) << i;
  // A transparent pixel lends its neighbour no colour, only its alpha.
  p.px = {0.0f, 0.0f, 1.0f, 1.0f};
  const std::vector<float> faded = sourceRow(PatternSource(p, 1, 2.0, 0, 0), 1, 0, 1, 1);
  EXPECT_FLOAT_EQ(1.0f, faded[0]);
  EXPECT_FLOAT_EQ(0.5f, faded[1]);
}

TEST(PatternSourceTest, ColoursFollowTheCanvas) {
  Pattern rgb;
  rgb.width = rgb.height = 1;
  rgb.px = {0.8f, 0.4f, 0.2f, 1.0f};
  EXPECT_NEAR(0.299f * 0.8f + 0.587f * 0.4f + 0.114f * 0.2f, sourceRow(PatternSource(rgb, 1, 1, 0, 0), 0, 0, 1, 1)[0], 1e-6);
  const std::vector<float> cmyk = sourceRow(PatternSource(rgb, 4, 1, 0, 0), 0, 0, 1, 4);
  EXPECT_NEAR(0.8f, cmyk[3], 1e-6);  // Black ink 0.2, stored as 1 - ink.
  EXPECT_NEAR(1.0f, cmyk[0], 1e-6);
  Pattern grey;
  grey.width = grey.height = 1, grey.colours = 1;
  grey.px = {0.25f, 0.5f};
  EXPECT_EQ((std::vector<float>{0.25f, 0.25f, 0.25f, 0.5f}), sourceRow(PatternSource(grey, 3, 1, 0, 0), 0, 0, 1, 3));
  EXPECT_EQ((std::vector<float>{1, 1, 1, 0.25f, 0.5f}), sourceRow(PatternSource(grey, 4, 1, 0, 0), 0, 0, 1, 4));
  Pattern cmyk_pattern;
  cmyk_pattern.width = cmyk_pattern.height = 1, cmyk_pattern.colours = 4;
  cmyk_pattern.px = {0.5f, 1.0f, 0.8f, 0.5f, 1.0f};
  EXPECT_EQ((std::vector<float>{0.25f, 0.5f, 0.4f, 1.0f}), sourceRow(PatternSource(cmyk_pattern, 3, 1, 0, 0), 0, 0, 1, 3));
}

// The descriptor of a pattern fill of pattern `id` at `scale` percent and this phase.
std::string patternFill(const std::string& id, double scale, double phase_x, double phase_y) {
  auto text = [](Desc& d, const std::string& s) {
    d.integer(static_cast<int>(s.size() + 1));
    std::string utf16;
    for (char c : s) u16(&utf16, c);
    u16(&utf16, 0);
    d.raw(utf16);
  };
  Desc d;
  d.object("null", 3).item("phase", "Objc").object("Pnt ", 2);
  d.item("Hrzn", "doub").number(phase_x).item("Vrtc", "doub").number(phase_y);
  d.item("Scl ", "UntF").unit("#Prc", scale);
  d.item("Ptrn", "Objc").object("Ptrn", 2).item("Nm  ", "TEXT");
  text(d, "Stripes");
  d.item("Idnt", "TEXT");
  text(d, id);
  return d.block();
}

class PatternFillTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initImageLibrary(); }
  // A 5 x 1 RGB document whose only layer is a pattern fill of a red, green, blue pattern.
  BitmapPtr render(const std::string& fill) {
    StoredPattern p;
    p.id = "rgb-1", p.width = 3;
    p.channels = {std::string("\xff\x00\x00", 3), std::string("\x00\xff\x00", 3), std::string("\x00\x00\xff", 3)};
    testing::PsdDocument doc = testing::makeDocument(PsdMode::kRgb, 8, 5, 1, 0, [](int, int, int) { return 0.0; });
    doc.resources = {testing::versionInfo(false)};
    PsdLayer layer;
    layer.blocks = {{"PtFl", fill}, {"Patt", patternBytes(p)}};
    doc.layers.push_back(layer);
    EXPECT_TRUE(testing::writePsdFile(path_, doc));
    BitmapPtr image;
    const std::string reason = decodeDocument(path_, 0, &image).message();
    EXPECT_TRUE(image) << reason;
    return image;
  }
  testing::TempDir dir_;
  std::string path_ = dir_.file("pattern.psd");
};

TEST_F(PatternFillTest, FillTilesItsPatternWithThePhase) {
  BitmapPtr image = render(patternFill("rgb-1", 100, 1, 0));
  ASSERT_TRUE(image);
  ASSERT_EQ(24u, FreeImage_GetBPP(image.get()));
  const BYTE* row = FreeImage_GetScanLine(image.get(), 0);
  const int first[5] = {2, 0, 1, 2, 0};  // Which channel is full, pixel by pixel.
  for (int x = 0; x < 5; ++x) {
    const int rgb[3] = {row[3 * x + FI_RGBA_RED], row[3 * x + FI_RGBA_GREEN], row[3 * x + FI_RGBA_BLUE]};
    for (int c = 0; c < 3; ++c) EXPECT_EQ(c == first[x] ? 255 : 0, rgb[c]) << x << " " << c;
  }
}

TEST_F(PatternFillTest, FillOfAnUnknownPatternIsNamedAndLeftOut) {
  BitmapPtr image = render(patternFill("elsewhere", 100, 0, 0));
  ASSERT_TRUE(image);
  EXPECT_NE(std::string::npos, lastDecodeNote().find("pattern fill")) << lastDecodeNote();
}

// An effects block ("lfx2") holding one pattern overlay of pattern `id`, aligned with the layer.
std::string patternOverlay(const std::string& id) {
  auto text = [](Desc& d, const std::string& s) {
    d.integer(static_cast<int>(s.size() + 1));
    std::string utf16;
    for (char c : s) u16(&utf16, c);
    u16(&utf16, 0);
    d.raw(utf16);
  };
  Desc d;
  d.object("null", 2).item("masterFXSwitch", "bool").raw(std::string(1, 1));
  d.item("patternFill", "Objc").object("patternFill", 6).item("enab", "bool").raw(std::string(1, 1));
  d.item("Md  ", "enum").enumeration("BlnM", "Nrml").item("Opct", "UntF").unit("#Prc", 100);
  d.item("Ptrn", "Objc").object("Ptrn", 2).item("Nm  ", "TEXT");
  text(d, "Stripes");
  d.item("Idnt", "TEXT");
  text(d, id);
  d.item("Scl ", "UntF").unit("#Prc", 100).item("Algn", "bool").raw(std::string(1, 1));
  return std::string("\0\0\0\0\0\0\0\x10", 8) + d.bytes();
}

TEST_F(PatternFillTest, OverlayTilesFromTheLayersCorner) {
  // A grey layer over columns 1..4 of a 5 x 1 document, overlaid with the
  // red, green, blue pattern: from the layer's corner, from the point it
  // records for its effects ("fxrp", two doubles: here 3.0, 0.0) when it
  // has one, or not at all when the document lacks the pattern.
  StoredPattern p;
  p.id = "rgb-1", p.width = 3;
  p.channels = {std::string("\xff\x00\x00", 3), std::string("\x00\xff\x00", 3), std::string("\x00\x00\xff", 3)};
  const std::string reference("\x40\x08\0\0\0\0\0\0" "\0\0\0\0\0\0\0\0", 16);
  const struct {
    std::string id, fxrp;
    int first;  // The column showing the pattern's first pixel, or -1: none.
  } cases[] = {{"rgb-1", "", 1}, {"rgb-1", reference, 3}, {"elsewhere", "", -1}};
  for (const auto& c : cases) {
    testing::PsdDocument doc = testing::makeDocument(PsdMode::kRgb, 8, 5, 1, 0, [](int, int, int) { return 0.0; });
    doc.resources = {testing::versionInfo(false)};
    PsdLayer layer;
    layer.left = 1, layer.right = 5, layer.top = 0, layer.bottom = 1;
    layer.channels = {{-1, std::vector<double>(4, 255), 0}, {0, std::vector<double>(4, 128), 0},
                      {1, std::vector<double>(4, 128), 0}, {2, std::vector<double>(4, 128), 0}};
    layer.blocks = {{"lfx2", patternOverlay(c.id)}, {"Patt", patternBytes(p)}};
    if (!c.fxrp.empty()) layer.blocks.push_back({"fxrp", c.fxrp});
    doc.layers.push_back(layer);
    ASSERT_TRUE(testing::writePsdFile(path_, doc));
    BitmapPtr image;
    const std::string reason = decodeDocument(path_, 0, &image).message();
    ASSERT_TRUE(image) << reason;
    ASSERT_EQ(32u, FreeImage_GetBPP(image.get()));
    const BYTE* row = FreeImage_GetScanLine(image.get(), 0);
    EXPECT_EQ(0, row[FI_RGBA_ALPHA]);  // Column 0 stays clear.
    for (int x = 1; x < 5; ++x) {
      const int rgb[3] = {row[4 * x + FI_RGBA_RED], row[4 * x + FI_RGBA_GREEN], row[4 * x + FI_RGBA_BLUE]};
      for (int ch = 0; ch < 3; ++ch) {
        const int want = c.first < 0 ? 128 : ch == (x - c.first + 3) % 3 ? 255 : 0;
        EXPECT_EQ(want, rgb[ch]) << c.id << " " << c.first << " " << x << " " << ch;
      }
    }
    if (c.first < 0) {
      EXPECT_NE(std::string::npos, lastDecodeNote().find("pattern overlay")) << lastDecodeNote();
    }
  }
}

TEST(PatternCorpusTest, FillLayerPixelsAreThePatternTiled) {
  // The pattern fills of this document keep their pixels as Photoshop drew
  // them: inside each shape, the pattern tiled from a phase that moved with
  // the layer (found from the pixels: one column right of the shape's corner).
  const std::string folder = testing::corpusFolder();
  if (folder.empty()) GTEST_SKIP() << "no corpus";
  PsdDocument document;
  ASSERT_TRUE(document.open(folder + "/files/patterns.psd").ok());
  LayerSet set;
  ASSERT_TRUE(readLayerRecords(document, &set).ok());
  std::vector<Pattern> patterns;
  ASSERT_TRUE(readPatterns(set, &patterns).ok());
  ASSERT_EQ(6u, patterns.size());
  EXPECT_EQ("$$$/Patterns/Defaults/Water=Water", patterns[1].name);
  PsdFile in = document.file();
  const struct {
    const char* layer;
    int phase_x, phase_y;
  } kFills[] = {{"Rectangle 1 copy 4", 1, 59}, {"Rectangle 1 copy 5", 60, 59}, {"Rectangle 1 copy 3", 178, 0}};
  for (const auto& fill : kFills) {
    const LayerRecord* layer = nullptr;
    for (const LayerRecord& l : set.layers)
      if (l.name == fill.layer) layer = &l;
    ASSERT_TRUE(layer) << fill.layer;
    DescValue d;
    ASSERT_TRUE(parseBlockDescriptor(layer->block("PtFl")->data, 4, &d));
    const Pattern* pattern = findPattern(patterns, d.get("Ptrn")->get("Idnt")->text);
    ASSERT_TRUE(pattern) << fill.layer;
    const PatternSource source(*pattern, 3, 1.0, fill.phase_x, fill.phase_y);
    const LayerRect& r = layer->rect;
    ChannelPlane planes[4];
    for (const LayerChannel& ch : layer->channels) {
      if (ch.id < -1 || ch.id > 2) continue;
      ASSERT_TRUE(readChannelPlane(in, ch, r.width(), r.height(), 8, 1, LayerRect{0, 0, r.height(), r.width()},
                                   &planes[ch.id < 0 ? 3 : ch.id])
                      .ok());
    }
    int compared = 0;
    std::vector<float> row(static_cast<size_t>(r.width()) * 4);
    for (int y = r.top; y < r.bottom; ++y) {
      source.row(r.left, y, r.width(), Canvas(), row.data());
      for (int x = 0; x < r.width(); ++x) {
        if (planes[3].at(x, y - r.top) < 1.0f) continue;  // The shape's antialiased edge.
        for (int c = 0; c < 3; ++c)
          ASSERT_NEAR(planes[c].at(x, y - r.top), row[4 * x + c], 0.5 / 255) << fill.layer << " at " << r.left + x << "," << y;
        ++compared;
      }
    }
    EXPECT_GT(compared, 3000) << fill.layer;
  }
}

}  // namespace
}  // namespace pixolune
