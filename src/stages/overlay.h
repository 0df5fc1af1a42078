// Drawn layers handed to FreeImage and composited over the picture; shared
// by the frame and watermark stages.
#ifndef PIXOLUNE_STAGES_OVERLAY_H_
#define PIXOLUNE_STAGES_OVERLAY_H_

#include <FreeImage.h>

#include "image/bitmap.h"
#include "platform/drawing.h"

namespace pixolune {

/// Encodes the drawn layer as PNG in memory and decodes that with FreeImage:
/// a 32-bit RGBA bitmap, or null when either step fails.
BitmapPtr layerToBitmap(const Surface& layer);

/// Alpha-blends a 32-bit layer of the image's size over the image and
/// returns the image to continue with. Over an opaque image
/// out = (layer * a + image * (255 - a)) / 255, rounded, so a transparent
/// layer pixel leaves the picture exactly as it was; over an image with alpha
/// the layer is laid on as Porter and Duff's "over", so the image keeps its
/// transparency where the layer is clear. Works at the image's depth (8 or 16
/// bits per channel); a grey image stays grey under a grey layer and becomes
/// colour of its depth under a coloured one (the grey one is unloaded then).
/// Images in other forms (see toStageForm) and layers of another size or
/// depth leave the image unchanged; null when memory runs out.
BitmapPtr compositeOver(BitmapPtr image, FIBITMAP* layer);

}  // namespace pixolune

#endif  // PIXOLUNE_STAGES_OVERLAY_H_
