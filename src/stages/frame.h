// The solid-colour frame stage.
#ifndef PIXOLUNE_STAGES_FRAME_H_
#define PIXOLUNE_STAGES_FRAME_H_

#include <FreeImage.h>

#include <cstdint>
#include <string>

#include "image/bitmap.h"
#include "platform/status.h"
#include "settings/settings.h"

namespace pixolune {

/// The solid frame, taken from do_frame and the solid_* Settings.
struct FrameOptions {
  bool enabled = false;
  int left = 0, right = 0, top = 0, bottom = 0;  // Side widths in pixels.
  std::string left_color = "000000", right_color = "000000", top_color = "000000", bottom_color = "000000";
  int opacity = 255;
  bool operator==(const FrameOptions&) const = default;
};

FrameOptions frameOptionsFrom(const Settings& settings);

/// Paints a border inside the image's edges: four sides of their own width
/// and colour, corners split on the diagonal, one common opacity. With
/// the frame enabled a palette image is brought to the stage form even when
/// nothing shows; alpha, grey (under a grey frame) and 16 bits per channel
/// are kept. w and h are the image size after resizing. Leaves in `image`
/// the bitmap to continue with (the given one is unloaded when a new one is
/// made); a frame that cannot be drawn leaves the image unframed, a failed
/// allocation gives a failed status. Runs on the worker thread.
Status frameStage(BitmapPtr& image, int w, int h, const FrameOptions& options);

/// "RRGGBB" (hexadecimal, either case) and an alpha as the 32-bit colour
/// red | green << 8 | blue << 16 | alpha << 24. A text that is not exactly
/// six characters long gives black with that alpha.
uint32_t parseHexColorAlpha(const std::string& text, int alpha);

/// The outlines of the four sides as path text (M, l, Z), in drawing order:
/// top, right, bottom, left. Each runs from the image's outer corners to
/// the inner corners of the frame.
std::string frameSidePath(int side, int w, int h, int left, int right, int top, int bottom);

}  // namespace pixolune

#endif  // PIXOLUNE_STAGES_FRAME_H_
