#include "engine/transform.h"

#include "engine/bitmap.h"
#include "settings/settings.h"

namespace pixolune {

// Not built yet: a run that asks for these stages fails the file instead of
// pretending to apply them.

FIBITMAP* rotateStage(FIBITMAP* image) {
  if (!image || !settings().do_image_rotation) return image;
  return replaceBitmap(image, nullptr);
}

FIBITMAP* resizeStage(FIBITMAP* image, int, int) {
  if (!image || !settings().do_image_resize) return image;
  return replaceBitmap(image, nullptr);
}

void flipStage(FIBITMAP*) {}

int scaledLength(int value, int, int) { return value; }

RGBQUAD parseHexColor(const std::string&) { return RGBQUAD{0, 0, 0, 0}; }

}  // namespace pixolune
