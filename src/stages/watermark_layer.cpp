#include "stages/watermark_layer.h"

#include <algorithm>
#include <cmath>

#include "inputs/filename_mask.h"
#include "stages/frame.h"
#include "platform/text.h"

namespace pixolune {

namespace {

constexpr char kLineBreak[] = "%eol%";
constexpr int kMinimumLineSize = 10;

int opacity(int value) { return std::clamp(value, 0, 255); }

// Where the lines go inside the block. Each line is measured once, by the
// box it is drawn in (which holds all its glyph pixels), and placed by it.
struct TextBlock {
  std::vector<std::string> lines;
  std::vector<int> line_widths;
  bool multi_line = false;
  int width = 0;
  int height = 0;
  int line_step = 0;
  int padding = 0;
};

TextBlock measureBlock(const Font& font, const std::string& text, const TextLayerOptions& s) {
  TextBlock block;
  block.padding = s.padding;
  block.lines = splitWatermarkLines(text);
  block.multi_line = toLower(text).find(kLineBreak) != std::string::npos;
  int line_height = block.multi_line ? kMinimumLineSize : 0;
  block.width = block.multi_line ? kMinimumLineSize : 0;
  for (const std::string& line : block.lines) {
    const TextSize size = s.antialiasing ? measureVectorText(font, line) : measureText(font, line);
    block.line_widths.push_back(size.width);
    block.width = std::max(block.width, size.width);
    line_height = std::max(line_height, size.height);
  }
  block.line_step = line_height + s.leading;
  block.height = line_height + block.line_step * (static_cast<int>(block.lines.size()) - 1);
  block.width += 2 * s.padding;
  block.height += 2 * s.padding;
  return block;
}

// A single line always starts at the padding; several lines follow the
// alignment, centred ones rounded half away from zero.
int lineX(const TextBlock& block, size_t index, const TextLayerOptions& s) {
  const int line_width = block.line_widths[index];
  if (!block.multi_line) return s.padding;
  switch (s.alignment) {
    case 1:
      return static_cast<int>(std::lround((block.width - line_width) / 2.0));
    case 2:
      return block.width - line_width - s.padding;
    default:
      return s.padding;
  }
}

int lineY(const TextBlock& block, size_t index) {
  return block.padding + static_cast<int>(index) * block.line_step;
}

// Plain text: every pixel is written as it is, back colour or text colour,
// each with its own alpha.
SurfacePtr drawPlainBlock(const Font& font, const TextBlock& block, const TextLayerOptions& s) {
  const uint32_t back = parseHexColorAlpha(s.back_color, opacity(s.back_opacity));
  const uint32_t fore = parseHexColorAlpha(s.font_color, opacity(s.text_opacity));
  SurfacePtr layer = createFilledSurface(block.width, block.height, back);
  if (!layer) return nullptr;
  for (size_t i = 0; i < block.lines.size(); ++i) {
    drawText(*layer, font, lineX(block, i, s), lineY(block, i), block.lines[i], fore, back);
  }
  return layer;
}

// Anti-aliased text: opaque background and opaque glyphs on layers of their
// own, each then laid down with its opacity.
SurfacePtr drawVectorBlock(const Font& font, const TextBlock& block, const TextLayerOptions& s) {
  SurfacePtr background = createFilledSurface(block.width, block.height, parseHexColorAlpha(s.back_color, 255));
  SurfacePtr glyphs = createSurface(block.width, block.height);
  SurfacePtr layer = createSurface(block.width, block.height);
  if (!background || !glyphs || !layer) return nullptr;
  const uint32_t fore = parseHexColorAlpha(s.font_color, 255);
  for (size_t i = 0; i < block.lines.size(); ++i) {
    drawVectorText(*glyphs, font, lineX(block, i, s), lineY(block, i), block.lines[i], fore);
  }
  drawSurface(*layer, *background, 0, 0, opacity(s.back_opacity));
  drawSurface(*layer, *glyphs, 0, 0, opacity(s.text_opacity));
  return layer;
}

void toGrey(uint8_t& red, uint8_t& green, uint8_t& blue, uint8_t&) {
  const uint8_t grey = static_cast<uint8_t>((77 * red + 150 * green + 29 * blue) >> 8);
  red = green = blue = grey;
}

}  // namespace

std::vector<std::string> splitWatermarkLines(const std::string& text) {
  const std::string normal = replaceIgnoreCase(text, kLineBreak, kLineBreak);
  const size_t step = sizeof kLineBreak - 1;
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = normal.find(kLineBreak, start)) != std::string::npos; start = at + step)
    lines.push_back(normal.substr(start, at - start));
  lines.push_back(normal.substr(start));
  return lines;
}

SurfacePtr buildTextLayer(const Font& font, const std::string& text, const TextLayerOptions& options) {
  TextBlock block = measureBlock(font, text, options);
  if (block.width <= 0 || block.height <= 0) return nullptr;
  return options.antialiasing ? drawVectorBlock(font, block, options) : drawPlainBlock(font, block, options);
}

SurfacePtr buildPictureLayer(const PictureLayerOptions& s) {
  Picture picture = loadPicture(s.path);
  if (!picture.surface) return nullptr;
  const int w = surfaceWidth(*picture.surface), h = surfaceHeight(*picture.surface);
  SurfacePtr layer = picture.has_alpha ? createSurface(w, h) : createFilledSurface(w, h, makeColor(0, 0, 0, 255));
  if (!layer) return nullptr;
  // The picture replaces the layer's pixels at its opacity, so an opaque
  // picture at half opacity shows half through instead of darkening on the
  // black fill.
  drawSurface(*layer, *picture.surface, 0, 0, opacity(s.opacity),
              s.greyscale ? PixelFilter(toGrey) : PixelFilter(), DrawMode::kReplace);
  return layer;
}

}  // namespace pixolune
