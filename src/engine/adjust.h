// Tone and colour stages, run in this order after flipping: correction,
// greyscale, threshold.
#ifndef PIXOLUNE_ENGINE_ADJUST_H_
#define PIXOLUNE_ENGINE_ADJUST_H_

#include <FreeImage.h>

namespace pixolune {

/// Each stage returns null for null and the image it got while its switch is
/// off. A stage that makes a new bitmap unloads the one it got; a failed
/// FreeImage conversion returns null, so the file fails. They read Settings
/// and run on the worker thread.

/// Brightness, contrast, gamma and invert in place. Images of fewer than 8 or
/// more than 32 bits per pixel are made 24-bit first (so neutral values still
/// turn a 1-bit image into a 24-bit one).
FIBITMAP* adjustStage(FIBITMAP* image);

/// Makes an 8-bit greyscale image.
FIBITMAP* greyscaleStage(FIBITMAP* image);

/// Makes a 1-bit black-and-white image: pixels darker than the low byte of
/// image_threshold become black, the others white.
FIBITMAP* thresholdStage(FIBITMAP* image);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_ADJUST_H_
