#include "engine/adjust.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/bitmap.h"
#include "engine/composite.h"
#include "engine/pixel_form.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

// FreeImage's colour adjustment (contrast about 128, then brightness, then
// gamma, each clamped to 0..255, inverted last) on the 8-bit scale, for a
// value given on that scale with the fraction 16 bits carry.
double adjustedLevel(double v, const Settings& s) {
  if (s.image_contrast != 0) v = std::clamp(128 + (v - 128) * (100.0 + s.image_contrast) / 100.0, 0.0, 255.0);
  if (s.image_brightness != 0) v = std::clamp(v * (100.0 + s.image_brightness) / 100.0, 0.0, 255.0);
  if (s.image_gamma > 0 && s.image_gamma != 1.0) {
    const double exponent = 1.0 / s.image_gamma;
    v = std::clamp(std::pow(v, exponent) * 255.0 * std::pow(255.0, -exponent), 0.0, 255.0);
  }
  return v;
}

std::vector<WORD> adjustTable16(const Settings& s) {
  std::vector<WORD> table(65536);
  for (unsigned i = 0; i < table.size(); ++i) {
    const long v = std::lround(adjustedLevel(i / 257.0, s) * 257.0);
    const WORD level = static_cast<WORD>(std::clamp(v, 0L, 65535L));
    table[i] = s.image_invert ? static_cast<WORD>(65535 - level) : level;
  }
  return table;
}

// The same adjustment on the colour samples of a 16-bit image; alpha is kept.
void adjustColours16(FIBITMAP* image, const Settings& s) {
  const std::vector<WORD> table = adjustTable16(s);
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(image);
  const unsigned step = type == FIT_UINT16 ? 1 : type == FIT_RGB16 ? 3 : 4;
  const unsigned colours = type == FIT_UINT16 ? 1 : 3;
  for (unsigned y = 0; y < FreeImage_GetHeight(image); ++y) {
    WORD* p = reinterpret_cast<WORD*>(FreeImage_GetScanLine(image, static_cast<int>(y)));
    for (unsigned x = 0; x < FreeImage_GetWidth(image); ++x, p += step)
      for (unsigned c = 0; c < colours; ++c) p[c] = table[p[c]];
  }
}

// FreeImage's grey of a colour (Rec. 709 weights, rounded).
template <typename T>
T luma(T red, T green, T blue) {
  return static_cast<T>(0.2126F * red + 0.7152F * green + 0.0722F * blue + 0.5F);
}

FIBITMAP* grey16(FIBITMAP* image) {
  FIBITMAP* grey = FreeImage_AllocateT(FIT_UINT16, static_cast<int>(FreeImage_GetWidth(image)),
                                       static_cast<int>(FreeImage_GetHeight(image)));
  if (!grey) return replaceBitmap(image, nullptr);
  for (unsigned y = 0; y < FreeImage_GetHeight(image); ++y) {
    const FIRGB16* in = reinterpret_cast<const FIRGB16*>(FreeImage_GetScanLine(image, static_cast<int>(y)));
    WORD* out = reinterpret_cast<WORD*>(FreeImage_GetScanLine(grey, static_cast<int>(y)));
    for (unsigned x = 0; x < FreeImage_GetWidth(image); ++x) out[x] = luma(in[x].red, in[x].green, in[x].blue);
  }
  return replaceBitmap(image, grey);
}

// Colours with alpha become neutral in place; alpha is kept.
void neutralise(FIBITMAP* image) {
  const bool wide = FreeImage_GetImageType(image) == FIT_RGBA16;
  for (unsigned y = 0; y < FreeImage_GetHeight(image); ++y) {
    BYTE* line = FreeImage_GetScanLine(image, static_cast<int>(y));
    for (unsigned x = 0; x < FreeImage_GetWidth(image); ++x) {
      if (wide) {
        FIRGBA16& p = reinterpret_cast<FIRGBA16*>(line)[x];
        p.red = p.green = p.blue = luma(p.red, p.green, p.blue);
      } else {
        BYTE* p = line + 4 * x;
        p[FI_RGBA_RED] = p[FI_RGBA_GREEN] = p[FI_RGBA_BLUE] =
            luma(p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE]);
      }
    }
  }
}

// Black or white by the 1-bit threshold image, alpha kept.
FIBITMAP* thresholdKeepingAlpha(FIBITMAP* image, BYTE level) {
  BitmapPtr bw(FreeImage_Threshold(image, level));
  if (!bw) return replaceBitmap(image, nullptr);
  for (unsigned y = 0; y < FreeImage_GetHeight(image); ++y) {
    const BYTE* bits = FreeImage_GetScanLine(bw.get(), static_cast<int>(y));
    BYTE* p = FreeImage_GetScanLine(image, static_cast<int>(y));
    for (unsigned x = 0; x < FreeImage_GetWidth(image); ++x, p += 4) {
      const BYTE value = (bits[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      p[FI_RGBA_RED] = p[FI_RGBA_GREEN] = p[FI_RGBA_BLUE] = value;
    }
  }
  return image;
}

}  // namespace

FIBITMAP* adjustStage(FIBITMAP* image) {
  const Settings& s = settings();
  if (!image || !s.do_image_color_correction) return image;
  const unsigned bpp = FreeImage_GetBPP(image);
  if (!isWideImage(image) && (bpp < 8 || bpp > 32 || FreeImage_GetImageType(image) != FIT_BITMAP)) {
    image = toStageForm(image);
    if (!image) return nullptr;
  }
  if (isWideImage(image)) {
    adjustColours16(image, s);
    return image;
  }
  FreeImage_AdjustColors(image, s.image_brightness, s.image_contrast, s.image_gamma, s.image_invert ? TRUE : FALSE);
  return image;
}

FIBITMAP* greyscaleStage(FIBITMAP* image) {
  if (!image || !settings().do_image_greyscale) return image;
  image = toStageForm(image);
  if (!image || isGreyImage(image)) return image;
  if (FreeImage_GetImageType(image) == FIT_RGB16) return grey16(image);
  if (hasAlpha(image)) {
    neutralise(image);
    return image;
  }
  return replaceBitmap(image, FreeImage_ConvertToGreyscale(image));
}

FIBITMAP* thresholdStage(FIBITMAP* image) {
  const Settings& s = settings();
  if (!image || !s.do_image_threshold) return image;
  image = narrowExactly(toStageForm(image));
  if (!image) return nullptr;
  const BYTE level = static_cast<BYTE>(s.image_threshold & 0xFF);
  if (hasAlpha(image)) return thresholdKeepingAlpha(image, level);
  return replaceBitmap(image, FreeImage_Threshold(image, level));
}

}  // namespace pixolune
