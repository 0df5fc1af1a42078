#include "engine/adjust.h"

#include "engine/bitmap.h"
#include "settings/settings.h"

namespace pixolune {

// Not built yet: a run that asks for these stages fails the file instead of
// pretending to apply them.

FIBITMAP* adjustStage(FIBITMAP* image) {
  if (!image || !settings().do_image_color_correction) return image;
  return replaceBitmap(image, nullptr);
}

FIBITMAP* greyscaleStage(FIBITMAP* image) {
  if (!image || !settings().do_image_greyscale) return image;
  return replaceBitmap(image, nullptr);
}

FIBITMAP* thresholdStage(FIBITMAP* image) {
  if (!image || !settings().do_image_threshold) return image;
  return replaceBitmap(image, nullptr);
}

}  // namespace pixolune
