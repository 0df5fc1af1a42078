// Shared by the tests of the layer merge: documents of every kind built
// with the test PSD writer, drawn by the decoder, read back as RGBA.
#ifndef PIXOLUNE_PSD_LAYERS_LAYER_TEST_SUPPORT_H_
#define PIXOLUNE_PSD_LAYERS_LAYER_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "run/decode.h"
#include "run/pipeline.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune {

using testing::PsdLayer;
using testing::PsdLayerChannel;
using testing::PsdMode;

// A decoded bitmap as RGBA on the 0..1 scale, top row first.
struct Image {
  int width = 0, height = 0;
  bool alpha = false;
  std::vector<double> px;
  const double* at(int x, int y) const { return &px[(static_cast<size_t>(y) * width + x) * 4]; }
};

inline Image imageOf(FIBITMAP* dib) {
  Image im;
  im.width = static_cast<int>(FreeImage_GetWidth(dib)), im.height = static_cast<int>(FreeImage_GetHeight(dib));
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(dib);
  const unsigned bpp = FreeImage_GetBPP(dib);
  im.alpha = type == FIT_RGBA16 || (type == FIT_BITMAP && bpp == 32);
  im.px.resize(static_cast<size_t>(im.width) * im.height * 4);
  for (int y = 0; y < im.height; ++y) {
    const BYTE* b = FreeImage_GetScanLine(dib, im.height - 1 - y);
    const WORD* w = reinterpret_cast<const WORD*>(b);
    for (int x = 0; x < im.width; ++x) {
      double* p = &im.px[(static_cast<size_t>(y) * im.width + x) * 4];
      p[3] = 1.0;
      if (type == FIT_UINT16) p[0] = p[1] = p[2] = w[x] / 65535.0;
      else if (type == FIT_RGB16 || type == FIT_RGBA16) {
        const int n = type == FIT_RGBA16 ? 4 : 3;
        for (int c = 0; c < n; ++c) p[c] = w[n * x + c] / 65535.0;
      } else if (bpp == 8) {
        p[0] = p[1] = p[2] = b[x] / 255.0;
      } else {
        const int n = static_cast<int>(bpp / 8);
        p[0] = b[n * x + FI_RGBA_RED] / 255.0, p[1] = b[n * x + FI_RGBA_GREEN] / 255.0;
        p[2] = b[n * x + FI_RGBA_BLUE] / 255.0;
        if (n == 4) p[3] = b[n * x + FI_RGBA_ALPHA] / 255.0;
      }
    }
  }
  return im;
}

// One kind of document the merge must handle.
struct Kind {
  PsdMode mode;
  int depth;
  const char* name;
  int colours() const { return testing::colourChannels(mode); }
  double full() const { return depth == 32 ? 1.0 : depth == 16 ? 65535.0 : 255.0; }
  // A 0..1 value as the channel stores it (32-bit samples are floats, not rounded).
  double stored(double v) const { return depth == 32 ? v : std::round(v * full()); }
  double tolerance() const { return depth == 16 ? 1.5 / 65535.0 : 0.6 / 255.0; }
};

inline const Kind kKinds[] = {{PsdMode::kRgb, 8, "RGB 8"}, {PsdMode::kRgb, 16, "RGB 16"},
                       {PsdMode::kGrey, 8, "grey 8"}, {PsdMode::kGrey, 16, "grey 16"}};

// A layer over (top, left, bottom, right) whose colour channel c is colour[c]
// (0..1) and whose alpha at (x, y) inside the layer is alpha(x, y).
inline PsdLayer solidLayer(const Kind& k, int top, int left, int bottom, int right, const std::vector<double>& colour,
                    const std::function<double(int, int)>& alpha, int compression = 1) {
  PsdLayer layer;
  layer.top = top, layer.left = left, layer.bottom = bottom, layer.right = right;
  const size_t n = static_cast<size_t>(bottom - top) * (right - left);
  PsdLayerChannel a{-1, {}, compression};
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) a.samples.push_back(k.stored(alpha(x - left, y - top)));
  layer.channels.push_back(a);
  for (int c = 0; c < k.colours(); ++c)
    layer.channels.push_back({c, std::vector<double>(n, k.stored(colour[c])), compression});
  return layer;
}

inline double opaque(int, int) { return 1.0; }

class LayerMergeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initImageLibrary(); }
  // A document of this kind whose composite is a blank placeholder.
  static testing::PsdDocument document(const Kind& k, int w, int h) {
    testing::PsdDocument doc = testing::makeDocument(k.mode, k.depth, w, h, 0, [](int, int, int) { return 0.0; });
    doc.resources = {testing::versionInfo(false)};
    return doc;
  }
  Image render(const testing::PsdDocument& doc, std::string* reason = nullptr) {
    EXPECT_TRUE(testing::writePsdFile(path_, doc));
    BitmapPtr dib;
    const std::string why = decodeDocument(path_, 0, &dib).message();
    if (reason) *reason = why;
    EXPECT_TRUE(dib || reason) << why;
    return dib ? imageOf(dib.get()) : Image();
  }
  // Expects the colours of `drawn` (2 x 1) within a level of what the
  // decoder gives for `stored`, a document whose composite holds them.
  void expectAsStored(const testing::PsdDocument& stored, const Image& drawn, int depth) {
    ASSERT_TRUE(testing::writePsdFile(path_, stored));
    BitmapPtr composite;
    ASSERT_TRUE(decodeDocument(path_, 0, &composite).ok());
    ASSERT_TRUE(composite);
    Image want = imageOf(composite.get());
    for (int x = 0; x < 2; ++x)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(want.at(x, 0)[c], drawn.at(x, 0)[c], 1.0 / 255) << depth << " " << x;
  }
  // The grey or RGB value of colour c of `colour` as the bitmap shows it.
  static double shown(const Kind& k, const std::vector<double>& colour, int c) {
    return k.colours() == 1 ? colour[0] : colour[c];
  }
  testing::TempDir dir_;
  std::string path_ = dir_.file("layers.psd");
};

// A mask over the left half of a 4 x 1 layer, 1.0 inside (0.5 in the
// second column); outside it the mask's default colour.
inline void addHalfMask(const Kind& k, PsdLayer* layer, int default_colour, int flags) {
  layer->has_mask = true;
  layer->mask_top = 0, layer->mask_left = 0, layer->mask_bottom = 1, layer->mask_right = 2;
  layer->mask_default = default_colour, layer->mask_flags = flags;
  layer->channels.push_back({-2, {k.full(), std::round(128 / 255.0 * k.full())}, 1});
}


// A small writer of descriptors, enough for fills, effects and artboards.
class Desc {
 public:
  Desc& object(const std::string& cls, int items) {
    u32(0);  // Empty name.
    key(cls);
    u32(static_cast<uint32_t>(items));
    return *this;
  }
  Desc& item(const std::string& k, const std::string& type) {
    key(k);
    bytes_ += type;
    return *this;
  }
  Desc& number(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 7; i >= 0; --i) bytes_ += static_cast<char>((bits >> (8 * i)) & 0xFF);
    return *this;
  }
  Desc& unit(const std::string& u, double v) {
    bytes_ += u;
    return number(v);
  }
  Desc& enumeration(const std::string& type, const std::string& value) {
    key(type);
    key(value);
    return *this;
  }
  Desc& integer(int v) {
    u32(static_cast<uint32_t>(v));
    return *this;
  }
  Desc& list(int n) {
    u32(static_cast<uint32_t>(n));
    return *this;
  }
  Desc& raw(const std::string& s) {
    bytes_ += s;
    return *this;
  }
  Desc& rgb(double r, double g, double b) {
    object("RGBC", 3).item("Rd  ", "doub").number(r).item("Grn ", "doub").number(g).item("Bl  ", "doub").number(b);
    return *this;
  }
  std::string block() const { return std::string("\0\0\0\x10", 4) + bytes_; }  // Version 16 first.
  const std::string& bytes() const { return bytes_; }

 private:
  void u32(uint32_t v) {
    for (int i = 3; i >= 0; --i) bytes_ += static_cast<char>((v >> (8 * i)) & 0xFF);
  }
  void key(const std::string& k) {
    u32(k.size() == 4 ? 0 : static_cast<uint32_t>(k.size()));
    bytes_ += k;
  }
  std::string bytes_;
};

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_LAYER_TEST_SUPPORT_H_
