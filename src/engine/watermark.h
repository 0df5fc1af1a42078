// The text and picture watermark stage and its per-run preparation.
#ifndef PIXOLUNE_ENGINE_WATERMARK_H_
#define PIXOLUNE_ENGINE_WATERMARK_H_

#include <FreeImage.h>

#include <string>

namespace pixolune {

/// W and H are the image size after resizing.
FIBITMAP* watermarkStage(FIBITMAP* image, int W, int H);

/// The watermark part of run preparation: checks the watermark inputs and
/// loads the font once per run. False stops the run before it starts.
bool prepareWatermarkRun();

bool loadWatermarkFont();
void freeWatermarkFont();

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_WATERMARK_H_
