#include "stages/watermark_layer.h"

#include <algorithm>
#include <cmath>

#include "inputs/filename_mask.h"
#include "stages/frame.h"
#include "platform/text.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

constexpr char kLineBreak[] = "%eol%";
constexpr int kMinimumLineSize = 10;

int opacity(int value) { return std::clamp(value, 0, 255); }

// Where the lines go inside the block. left, top, right and bottom are the
// room added beyond the padding for glyphs that reach past their boxes.
struct TextBlock {
  std::vector<std::string> lines;
  bool multi_line = false;
  int width = 0;
  int height = 0;
  int line_step = 0;
  int left = 0, top = 0, right = 0, bottom = 0;
};

// Glyphs are never cut off by the block: where they reach past the line
// boxes by more than the padding, the block grows by the difference.
void makeRoomForOverhangs(const Font& font, bool vector, TextBlock* block) {
  const int pad = settings().text_padding;
  TextSize first, last;
  int left = 0, right = 0;
  for (size_t i = 0; i < block->lines.size(); ++i) {
    const TextSize size = vector ? measureVectorText(font, block->lines[i]) : measureText(font, block->lines[i]);
    left = std::max(left, size.overhang_left);
    right = std::max(right, size.overhang_right);
    if (i == 0) first = size;
    last = size;
  }
  block->left = std::max(0, left - pad);
  block->right = std::max(0, right - pad);
  block->top = std::max(0, first.overhang_top - pad);
  block->bottom = std::max(0, last.overhang_bottom - pad);
  block->width += block->left + block->right;
  block->height += block->top + block->bottom;
}

TextBlock measureBlock(const Font& font, const std::string& text, bool vector) {
  const Settings& s = settings();
  TextBlock block;
  block.lines = splitWatermarkLines(text);
  block.multi_line = toLower(text).find(kLineBreak) != std::string::npos;
  if (block.multi_line) {
    int line_height = kMinimumLineSize;
    block.width = kMinimumLineSize;
    for (const std::string& line : block.lines) {
      TextSize size = measureText(font, line);
      block.width = std::max(block.width, size.width);
      line_height = std::max(line_height, size.height);
    }
    block.line_step = line_height + s.font_leading;
    block.height = line_height + block.line_step * (static_cast<int>(block.lines.size()) - 1);
  } else {
    TextSize size = measureText(font, text);
    block.width = size.width;
    block.height = size.height;
  }
  block.width += 2 * s.text_padding;
  block.height += 2 * s.text_padding;
  makeRoomForOverhangs(font, vector, &block);
  return block;
}

// A single line always starts at the padding; several lines follow the
// alignment, centred ones rounded half away from zero.
int lineX(const TextBlock& block, int line_width) {
  const Settings& s = settings();
  const int inner = block.width - block.left - block.right;
  if (!block.multi_line) return block.left + s.text_padding;
  switch (s.text_alignment) {
    case 1:
      return block.left + static_cast<int>(std::lround((inner - line_width) / 2.0));
    case 2:
      return block.left + inner - line_width - s.text_padding;
    default:
      return block.left + s.text_padding;
  }
}

int lineY(const TextBlock& block, size_t index) {
  return block.top + settings().text_padding + static_cast<int>(index) * block.line_step;
}

// Plain text: every pixel is written as it is, back colour or text colour,
// each with its own alpha.
SurfacePtr drawPlainBlock(const Font& font, const TextBlock& block) {
  const Settings& s = settings();
  const uint32_t back = parseHexColorAlpha(s.back_color, opacity(s.back_opacity));
  const uint32_t fore = parseHexColorAlpha(s.font_color, opacity(s.text_opacity));
  SurfacePtr layer = createFilledSurface(block.width, block.height, back);
  if (!layer) return nullptr;
  for (size_t i = 0; i < block.lines.size(); ++i) {
    int x = lineX(block, measureText(font, block.lines[i]).width);
    drawText(*layer, font, x, lineY(block, i), block.lines[i], fore, back);
  }
  return layer;
}

// Anti-aliased text: opaque background and opaque glyphs on layers of their
// own, each then laid down with its opacity.
SurfacePtr drawVectorBlock(const Font& font, const TextBlock& block) {
  const Settings& s = settings();
  SurfacePtr background = createFilledSurface(block.width, block.height, parseHexColorAlpha(s.back_color, 255));
  SurfacePtr glyphs = createSurface(block.width, block.height);
  SurfacePtr layer = createSurface(block.width, block.height);
  if (!background || !glyphs || !layer) return nullptr;
  const uint32_t fore = parseHexColorAlpha(s.font_color, 255);
  for (size_t i = 0; i < block.lines.size(); ++i) {
    int x = lineX(block, measureVectorText(font, block.lines[i]).width);
    drawVectorText(*glyphs, font, x, lineY(block, i), block.lines[i], fore);
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

SurfacePtr buildTextLayer(const Font& font) {
  const std::string text = expandWatermarkText(settings().watermark_text);
  TextBlock block = measureBlock(font, text, settings().text_antialiasing);
  if (block.width <= 0 || block.height <= 0) return nullptr;
  return settings().text_antialiasing ? drawVectorBlock(font, block) : drawPlainBlock(font, block);
}

SurfacePtr buildPictureLayer() {
  const Settings& s = settings();
  Picture picture = loadPicture(s.watermark_image);
  if (!picture.surface) return nullptr;
  const int w = surfaceWidth(*picture.surface), h = surfaceHeight(*picture.surface);
  SurfacePtr layer = picture.has_alpha ? createSurface(w, h) : createFilledSurface(w, h, makeColor(0, 0, 0, 255));
  if (!layer) return nullptr;
  // The picture replaces the layer's pixels at its opacity, so an opaque
  // picture at half opacity shows half through instead of darkening on the
  // black fill.
  drawSurface(*layer, *picture.surface, 0, 0, opacity(s.wm_image_opacity),
              s.wm_image_greyscale ? PixelFilter(toGrey) : PixelFilter(), DrawMode::kReplace);
  return layer;
}

}  // namespace pixolune
