#include "engine/transform.h"

#include <cmath>
#include <limits>

#include "engine/bit_depth.h"
#include "engine/bitmap.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the leading hexadecimal digits of a two-character field; a field that
// does not start with a digit reads as 0.
BYTE hexPair(char high, char low) {
  int h = hexDigit(high);
  if (h < 0) return 0;
  int l = hexDigit(low);
  return static_cast<BYTE>(l < 0 ? h : h * 16 + l);
}

int clampToInt(double value) {
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

// The other side of a kept-ratio resize, rounded half away from zero. Never
// below 1, because FreeImage cannot make an image without pixels.
int keptLength(int target, int longer, int shorter) {
  float ratio = static_cast<float>(longer) / static_cast<float>(shorter);
  long length = std::lround(static_cast<double>(target) / static_cast<double>(ratio));
  return length < 1 ? 1 : clampToInt(static_cast<double>(length));
}

}  // namespace

RGBQUAD parseHexColor(const std::string& text) {
  RGBQUAD colour{0, 0, 0, 0};
  if (text.size() != 6) return colour;
  colour.rgbRed = hexPair(text[0], text[1]);
  colour.rgbGreen = hexPair(text[2], text[3]);
  colour.rgbBlue = hexPair(text[4], text[5]);
  return colour;
}

FIBITMAP* replaceWith24Bits(FIBITMAP* image) {
  if (!image) return nullptr;
  if (FreeImage_GetImageType(image) != FIT_BITMAP) {
    image = normalizeGrey(normalizeHighRange(image));
    if (!image) return nullptr;
    if (FreeImage_GetBPP(image) == 24) return image;
  }
  return replaceBitmap(image, FreeImage_ConvertTo24Bits(image));
}

FIBITMAP* rotateStage(FIBITMAP* image) {
  const Settings& s = settings();
  if (!image || !s.do_image_rotation) return image;
  const int angle = s.image_rotation;
  if (angle <= 0 || angle >= 360) return image;
  const unsigned bpp = FreeImage_GetBPP(image);
  if (bpp <= 16 || bpp > 32) {
    image = replaceWith24Bits(image);
    if (!image) return nullptr;
  }
  if (s.image_rotation_type == 0) {
    RGBQUAD back = parseHexColor(s.image_rotation_back_color);
    return replaceBitmap(image, FreeImage_Rotate(image, angle, &back));
  }
  if (s.image_rotation_type == 1) {
    double x_origin = FreeImage_GetWidth(image) / 2.0;
    double y_origin = FreeImage_GetHeight(image) / 2.0;
    return replaceBitmap(image, FreeImage_RotateEx(image, angle, 0.0, 0.0, x_origin, y_origin, FALSE));
  }
  return image;
}

int scaledLength(int value, int unit, int current_length) {
  if (unit == 0) return value;
  if (unit != 1) return 0;
  // nearbyint rounds in the default mode: to nearest, ties to even.
  return clampToInt(std::nearbyint(value / 100.0 * current_length));
}

FREE_IMAGE_FILTER resizeFilter(int algorithm) {
  switch (algorithm) {
    case 0: return FILTER_BOX;
    case 1: return FILTER_BILINEAR;
    case 2: return FILTER_BSPLINE;
    case 4: return FILTER_CATMULLROM;
    case 5: return FILTER_LANCZOS3;
    default: return FILTER_BICUBIC;
  }
}

FIBITMAP* resizeStage(FIBITMAP* image, int width, int height) {
  const Settings& s = settings();
  if (!image || !s.do_image_resize) return image;
  const int target_width = scaledLength(s.image_width, s.image_width_unit, width);
  const int target_height = scaledLength(s.image_height, s.image_height_unit, height);
  if (target_width <= 0 || target_height <= 0) return image;
  if (width == target_width && height == target_height) return image;
  if (s.image_resize_type == 1 && width < target_width && height < target_height) return image;
  int new_width = target_width;
  int new_height = target_height;
  if (s.keep_aspect_ratio) {
    if (width >= height) {
      new_height = keptLength(target_width, width, height);
    } else {
      new_width = keptLength(target_height, height, width);
    }
  }
  return replaceBitmap(image, FreeImage_Rescale(image, new_width, new_height,
                                                resizeFilter(s.image_resize_algorithm)));
}

void flipStage(FIBITMAP* image) {
  if (!image) return;
  if (settings().do_image_flip_horizontal) FreeImage_FlipHorizontal(image);
  if (settings().do_image_flip_vertical) FreeImage_FlipVertical(image);
}

}  // namespace pixolune
