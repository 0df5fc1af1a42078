// Tone and colour stages, run in this order after flipping: correction,
// greyscale, threshold.
#ifndef PIXOLUNE_STAGES_ADJUST_H_
#define PIXOLUNE_STAGES_ADJUST_H_

#include <FreeImage.h>

#include "image/bitmap.h"
#include "platform/status.h"
#include "settings/settings.h"

namespace pixolune {

/// What the tone and colour stages do, taken from the Settings of the same
/// names.
struct AdjustOptions {
  bool correct = false;    // do_image_color_correction
  int brightness = 0;      // -100..100
  int contrast = 0;        // -100..100
  float gamma = 1.0f;
  bool invert = false;
  bool greyscale = false;  // do_image_greyscale
  bool threshold = false;  // do_image_threshold
  int threshold_level = 0; // image_threshold; its low byte is used
  bool operator==(const AdjustOptions&) const = default;
};

AdjustOptions adjustOptionsFrom(const Settings& settings);

/// Each stage leaves the image it got while its switch is off. A stage that
/// makes a new bitmap unloads the one it got; a failed FreeImage conversion
/// gives a failed status and no image, so the file fails. They run on the
/// worker thread.

/// Brightness, contrast, gamma and invert in place, on the colours only
/// (alpha is kept). Images of 16 bits per channel are adjusted at 16 bits
/// with FreeImage's formulas; other images of fewer than 8 or more than 32
/// bits per pixel are brought to the stage form first (a 1-bit image becomes
/// 8-bit grey even with neutral values, a colour palette 24-bit).
Status adjustStage(BitmapPtr& image, const AdjustOptions& options);

/// Makes a greyscale image: 8-bit grey, or 16-bit grey from 16 bits per
/// channel. An image with alpha keeps it and gets neutral colours instead.
Status greyscaleStage(BitmapPtr& image, const AdjustOptions& options);

/// Makes a 1-bit black-and-white image: pixels darker than the low byte of
/// threshold_level become black, the others white. An image with alpha keeps
/// it (32-bit, colours black or white); 16-bit samples are rounded to 8 bits.
Status thresholdStage(BitmapPtr& image, const AdjustOptions& options);

}  // namespace pixolune

#endif  // PIXOLUNE_STAGES_ADJUST_H_
