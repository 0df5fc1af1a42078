// Tone and colour stages.
#ifndef PIXOLUNE_ENGINE_ADJUST_H_
#define PIXOLUNE_ENGINE_ADJUST_H_

#include <FreeImage.h>

namespace pixolune {

/// Brightness, contrast, gamma and invert. Null passes through; the image is
/// returned unchanged while the switch is off.
FIBITMAP* adjustStage(FIBITMAP* image);
FIBITMAP* greyscaleStage(FIBITMAP* image);
FIBITMAP* thresholdStage(FIBITMAP* image);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_ADJUST_H_
