#include "stages/adjust.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "image/bitmap.h"
#include "image/pixel_form.h"

namespace pixolune {

namespace {

// FreeImage's colour adjustment (contrast about 128, then brightness, then
// gamma, each clamped to 0..255, inverted last) on the 8-bit scale, for a
// value given on that scale with the fraction 16 bits carry.
double adjustedLevel(double v, const AdjustOptions& s) {
  if (s.contrast != 0) v = std::clamp(128 + (v - 128) * (100.0 + s.contrast) / 100.0, 0.0, 255.0);
  if (s.brightness != 0) v = std::clamp(v * (100.0 + s.brightness) / 100.0, 0.0, 255.0);
  if (s.gamma > 0 && s.gamma != 1.0) {
    const double exponent = 1.0 / s.gamma;
    v = std::clamp(std::pow(v, exponent) * 255.0 * std::pow(255.0, -exponent), 0.0, 255.0);
  }
  return v;
}

std::vector<WORD> adjustTable16(const AdjustOptions& s) {
  std::vector<WORD> table(65536);
  for (unsigned i = 0; i < table.size(); ++i) {
    const long v = std::lround(adjustedLevel(i / 257.0, s) * 257.0);
    const WORD level = static_cast<WORD>(std::clamp(v, 0L, 65535L));
    table[i] = s.invert ? static_cast<WORD>(65535 - level) : level;
  }
  return table;
}

// The same adjustment on the colour samples of a 16-bit image; alpha is kept.
void adjustColours16(FIBITMAP* image, const AdjustOptions& s) {
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

BitmapPtr grey16(FIBITMAP* image) {
  BitmapPtr grey(FreeImage_AllocateT(FIT_UINT16, static_cast<int>(FreeImage_GetWidth(image)),
                                     static_cast<int>(FreeImage_GetHeight(image))));
  if (!grey) return nullptr;
  for (unsigned y = 0; y < FreeImage_GetHeight(image); ++y) {
    const FIRGB16* in = reinterpret_cast<const FIRGB16*>(FreeImage_GetScanLine(image, static_cast<int>(y)));
    WORD* out = reinterpret_cast<WORD*>(FreeImage_GetScanLine(grey.get(), static_cast<int>(y)));
    for (unsigned x = 0; x < FreeImage_GetWidth(image); ++x) out[x] = luma(in[x].red, in[x].green, in[x].blue);
  }
  return grey;
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

// Black or white by the 1-bit threshold image, alpha kept, in place.
bool thresholdKeepingAlpha(FIBITMAP* image, BYTE level) {
  BitmapPtr bw(FreeImage_Threshold(image, level));
  if (!bw) return false;
  for (unsigned y = 0; y < FreeImage_GetHeight(image); ++y) {
    const BYTE* bits = FreeImage_GetScanLine(bw.get(), static_cast<int>(y));
    BYTE* p = FreeImage_GetScanLine(image, static_cast<int>(y));
    for (unsigned x = 0; x < FreeImage_GetWidth(image); ++x, p += 4) {
      const BYTE value = (bits[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      p[FI_RGBA_RED] = p[FI_RGBA_GREEN] = p[FI_RGBA_BLUE] = value;
    }
  }
  return true;
}

Status noImage(const BitmapPtr& image, const char* what) {
  if (image) return Status();
  return Status::ioError(std::string("the image could not be ") + what + " (out of memory?)");
}

}  // namespace

AdjustOptions adjustOptionsFrom(const Settings& s) {
  AdjustOptions o;
  o.correct = s.do_image_color_correction;
  o.brightness = s.image_brightness;
  o.contrast = s.image_contrast;
  o.gamma = s.image_gamma;
  o.invert = s.image_invert;
  o.greyscale = s.do_image_greyscale;
  o.threshold = s.do_image_threshold;
  o.threshold_level = s.image_threshold;
  return o;
}

Status adjustStage(BitmapPtr& image, const AdjustOptions& s) {
  if (!image || !s.correct) return Status();
  const unsigned bpp = FreeImage_GetBPP(image.get());
  if (!isWideImage(image.get()) && (bpp < 8 || bpp > 32 || FreeImage_GetImageType(image.get()) != FIT_BITMAP)) {
    image = toStageForm(std::move(image));
    if (!image) return noImage(image, "corrected");
  }
  if (isWideImage(image.get())) {
    adjustColours16(image.get(), s);
    return Status();
  }
  FreeImage_AdjustColors(image.get(), s.brightness, s.contrast, s.gamma, s.invert ? TRUE : FALSE);
  return Status();
}

Status greyscaleStage(BitmapPtr& image, const AdjustOptions& options) {
  if (!image || !options.greyscale) return Status();
  image = toStageForm(std::move(image));
  if (!image || isGreyImage(image.get())) return noImage(image, "made grey");
  if (FreeImage_GetImageType(image.get()) == FIT_RGB16) {
    image = grey16(image.get());
  } else if (hasAlpha(image.get())) {
    neutralise(image.get());
  } else {
    replaceWith(image, FreeImage_ConvertToGreyscale(image.get()));
  }
  return noImage(image, "made grey");
}

Status thresholdStage(BitmapPtr& image, const AdjustOptions& s) {
  if (!image || !s.threshold) return Status();
  image = narrowExactly(toStageForm(std::move(image)));
  if (!image) return noImage(image, "made black and white");
  const BYTE level = static_cast<BYTE>(s.threshold_level & 0xFF);
  if (hasAlpha(image.get())) {
    if (!thresholdKeepingAlpha(image.get(), level)) image.reset();
  } else {
    replaceWith(image, FreeImage_Threshold(image.get(), level));
  }
  return noImage(image, "made black and white");
}

}  // namespace pixolune
