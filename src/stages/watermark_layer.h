// The drawn watermark layers: a text block or a picture, before rotation
// and placement.
#ifndef PIXOLUNE_STAGES_WATERMARK_LAYER_H_
#define PIXOLUNE_STAGES_WATERMARK_LAYER_H_

#include <string>
#include <vector>

#include "platform/drawing.h"

namespace pixolune {

/// The watermark text (tokens already expanded) split into lines at every
/// "%eol%", whatever its letter case. A text without it is one line.
std::vector<std::string> splitWatermarkLines(const std::string& text);

/// The text block for the current file: watermark_text expanded, in `font`,
/// with padding, alignment, leading, colours and opacities from Settings,
/// drawn plainly or as anti-aliased vector text. Glyphs that reach past
/// their line boxes by more than the padding widen the block by the
/// difference, so nothing is cut off. Null when the block cannot
/// be drawn (for instance an empty text without padding).
SurfacePtr buildTextLayer(const Font& font);

/// The picture at watermark_image at wm_image_opacity, in grey when
/// wm_image_greyscale is set. Null when the file cannot be read.
SurfacePtr buildPictureLayer();

}  // namespace pixolune

#endif  // PIXOLUNE_STAGES_WATERMARK_LAYER_H_
