// Helpers for the stage tests: documents decoded the way the pipeline decodes
// them, and bitmaps read as 8-bit RGBA with row 0 at the top.
#ifndef PIXOLUNE_STAGES_STAGE_TEST_SUPPORT_H_
#define PIXOLUNE_STAGES_STAGE_TEST_SUPPORT_H_

#include <FreeImage.h>

#include <string>
#include <utility>

#include "image/bitmap.h"
#include "run/decode.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {

/// Writes the document into dir and decodes it; null when either fails.
inline BitmapPtr decodeTestDocument(const TempDir& dir, const PsdDocument& doc) {
  static int serial = 0;
  std::string path = dir.file("doc" + std::to_string(serial++) + ".psd");
  if (!writePsdFile(path, doc)) return nullptr;
  BitmapPtr image;
  if (!decodeDocument(path, 0, &image).ok()) return nullptr;
  return image;
}

/// An RGB document of 8 bits per channel whose pixel (x, y) is rgb(x, y).
template <typename Fn>
PsdDocument rgbDocument(int width, int height, Fn rgb) {
  return makeDocument(PsdMode::kRgb, 8, width, height, 0, [&](int c, int x, int y) {
    return static_cast<double>(rgb(x, y)[c]);
  });
}

/// The bitmap's pixels as 8-bit RGBA, row 0 at the top; bpp is the bitmap's.
inline Pixels pixelsOf(FIBITMAP* dib) {
  Pixels px;
  if (!dib) return px;
  Pixels16 wide = samples16(dib);
  if (!wide.ok()) return px;
  px.bpp = static_cast<int>(FreeImage_GetBPP(dib));
  px.type = FreeImage_GetImageType(dib);
  px.color_type = FreeImage_GetColorType(dib);
  px.width = wide.width;
  px.height = wide.height;
  // 16-bit samples rounded to 8 bits; 8-bit ones come back as they were.
  for (uint16_t v : wide.rgba) px.rgba.push_back(static_cast<uint8_t>((v + 128u) / 257u));
  return px;
}

/// Runs a stage on `image` and hands back the bitmap it left, or null when
/// the stage failed.
template <typename Stage, typename... Args>
BitmapPtr staged(Stage stage, BitmapPtr image, Args... args) {
  const Status st = stage(image, args...);
  return st.ok() ? std::move(image) : nullptr;
}

/// "r,g,b" of a pixel, for readable failures.
inline std::string rgbText(const Pixels& px, int x, int y) {
  const uint8_t* p = px.at(x, y);
  return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]);
}

}  // namespace pixolune::testing

#endif  // PIXOLUNE_STAGES_STAGE_TEST_SUPPORT_H_
