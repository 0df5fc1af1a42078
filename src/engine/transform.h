// Geometry stages: rotation, resizing and flipping.
#ifndef PIXOLUNE_ENGINE_TRANSFORM_H_
#define PIXOLUNE_ENGINE_TRANSFORM_H_

#include <FreeImage.h>

#include <string>

namespace pixolune {

/// Stages take the one live bitmap and return the bitmap to continue with;
/// a stage that makes a new bitmap unloads the one it was given. Null passes
/// through unchanged. They read Settings and run on the worker thread.
FIBITMAP* rotateStage(FIBITMAP* image);

/// width and height are the image's size as the pipeline read it before the call.
FIBITMAP* resizeStage(FIBITMAP* image, int width, int height);

/// Flips in place.
void flipStage(FIBITMAP* image);

/// Target length for a value in a unit (0 pixels, 1 percent of current_length).
int scaledLength(int value, int unit, int current_length);

/// Six hex digits "RRGGBB" (either case); any other length gives black.
RGBQUAD parseHexColor(const std::string& text);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_TRANSFORM_H_
