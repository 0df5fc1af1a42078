#include "engine/adjust.h"

#include "engine/bitmap.h"
#include "engine/transform.h"
#include "settings/settings.h"

namespace pixolune {

FIBITMAP* adjustStage(FIBITMAP* image) {
  const Settings& s = settings();
  if (!image || !s.do_image_color_correction) return image;
  const unsigned bpp = FreeImage_GetBPP(image);
  if (bpp < 8 || bpp > 32) {
    image = replaceWith24Bits(image);
    if (!image) return nullptr;
  }
  FreeImage_AdjustColors(image, s.image_brightness, s.image_contrast, s.image_gamma, s.image_invert ? TRUE : FALSE);
  return image;
}

FIBITMAP* greyscaleStage(FIBITMAP* image) {
  if (!image || !settings().do_image_greyscale) return image;
  if (FreeImage_GetBPP(image) > 32) {
    image = replaceWith24Bits(image);
    if (!image) return nullptr;
  }
  return replaceBitmap(image, FreeImage_ConvertToGreyscale(image));
}

FIBITMAP* thresholdStage(FIBITMAP* image) {
  const Settings& s = settings();
  if (!image || !s.do_image_threshold) return image;
  if (FreeImage_GetBPP(image) > 32) {
    image = replaceWith24Bits(image);
    if (!image) return nullptr;
  }
  const BYTE level = static_cast<BYTE>(s.image_threshold & 0xFF);
  return replaceBitmap(image, FreeImage_Threshold(image, level));
}

}  // namespace pixolune
