// The solid-colour frame stage.
#ifndef PIXOLUNE_ENGINE_FRAME_H_
#define PIXOLUNE_ENGINE_FRAME_H_

#include <FreeImage.h>

#include <cstdint>
#include <string>

namespace pixolune {

/// w and h are the image size after resizing.
FIBITMAP* frameStage(FIBITMAP* image, int w, int h);

/// "RRGGBB" plus alpha as a 32-bit ARGB colour.
uint32_t parseHexColorAlpha(const std::string& text, int alpha);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_FRAME_H_
