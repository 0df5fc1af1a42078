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

/// How the text block is laid out and coloured, from the text_* and
/// back_* Settings, font_leading and font_color.
struct TextLayerOptions {
  int padding = 0;             // text_padding
  int leading = 0;             // font_leading
  int alignment = 0;           // text_alignment: 0 left, 1 centre, 2 right
  bool antialiasing = true;    // text_antialiasing: vector text
  std::string font_color = "FFFFFF";
  int text_opacity = 255;
  std::string back_color = "000000";
  int back_opacity = 1;
  bool operator==(const TextLayerOptions&) const = default;
};

/// The picture watermark: watermark_image, wm_image_greyscale and
/// wm_image_opacity.
struct PictureLayerOptions {
  std::string path;
  bool greyscale = false;
  int opacity = 255;
  bool operator==(const PictureLayerOptions&) const = default;
};

/// The text block of `text` (tokens already expanded) in `font`, with
/// padding, alignment, leading, colours and opacities from `options`,
/// drawn plainly or as anti-aliased vector text. Each line takes the box
/// the text measure gives, which holds every glyph pixel (overhangs
/// included), so nothing is cut off and the padding stays clear. Null when
/// the block cannot be drawn (for instance an empty text without padding).
SurfacePtr buildTextLayer(const Font& font, const std::string& text, const TextLayerOptions& options);

/// The picture at its opacity, in grey when asked. Null when the file
/// cannot be read.
SurfacePtr buildPictureLayer(const PictureLayerOptions& options);

}  // namespace pixolune

#endif  // PIXOLUNE_STAGES_WATERMARK_LAYER_H_
