#include "engine/frame.h"

#include "engine/bitmap.h"
#include "settings/settings.h"

namespace pixolune {

// Not built yet: a run that asks for a frame fails the file.
FIBITMAP* frameStage(FIBITMAP* image, int, int) {
  if (!image || !settings().do_frame) return image;
  return replaceBitmap(image, nullptr);
}

uint32_t parseHexColorAlpha(const std::string&, int alpha) { return static_cast<uint32_t>(alpha) << 24; }

}  // namespace pixolune
