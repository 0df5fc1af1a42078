// Drawn layers handed to FreeImage and composited over the picture; shared
// by the frame and watermark stages.
#ifndef PIXOLUNE_ENGINE_LAYER_H_
#define PIXOLUNE_ENGINE_LAYER_H_

#include <FreeImage.h>

#include "engine/bitmap.h"
#include "platform/drawing.h"

namespace pixolune {

/// Encodes the drawn layer as PNG in memory and decodes that with FreeImage:
/// a 32-bit RGBA bitmap, or null when either step fails.
BitmapPtr layerToBitmap(const Surface& layer);

/// The image as 24 bits per pixel; the old bitmap is unloaded when a new one
/// is made. Null when the conversion fails (the old bitmap is gone then too).
FIBITMAP* to24Bits(FIBITMAP* image);

/// Alpha-blends a 32-bit layer of the image's size over the 24-bit image in
/// place and returns it: out = (layer * a + image * (255 - a)) / 255, rounded,
/// so a transparent layer pixel leaves the picture exactly as it was. A
/// layer of another size or depth leaves the image unchanged.
FIBITMAP* compositeOver(FIBITMAP* image, FIBITMAP* layer);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_LAYER_H_
