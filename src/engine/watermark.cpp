#include "engine/watermark.h"

#include "engine/bitmap.h"
#include "settings/settings.h"

namespace pixolune {

// Not built yet: a run that asks for a watermark fails the file.
FIBITMAP* watermarkStage(FIBITMAP* image, int, int) {
  if (!image || settings().do_watermark == 0) return image;
  return replaceBitmap(image, nullptr);
}

bool prepareWatermarkRun() { return true; }
bool loadWatermarkFont() { return true; }
void freeWatermarkFont() {}

}  // namespace pixolune
