#include "stages/transform.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "image/bitmap.h"
#include "image/pixel_form.h"

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

// The other side of a kept-ratio resize, target * shorter / longer rounded
// half away from zero in exact integer arithmetic (a single-precision ratio
// turns 7.5 into 7.4999996). Never below 1, because FreeImage cannot make an
// image without pixels.
int keptLength(int target, int longer, int shorter) {
  const int64_t twice = 2 * static_cast<int64_t>(target) * shorter;
  const int64_t length = (twice + longer) / (2 * static_cast<int64_t>(longer));
  return length < 1 ? 1 : clampToInt(static_cast<double>(length));
}

bool isQuarterTurn(int angle) { return angle % 90 == 0; }

// FreeImage_Rotate reads the back colour in the image's own sample type.
union BackColour {
  BYTE grey;
  WORD grey16;
  RGBQUAD rgb;
  FIRGB16 rgb16;
  FIRGBA16 rgba16;
};

BackColour backColourFor(FIBITMAP* image, RGBQUAD back) {
  BackColour colour{};
  switch (FreeImage_GetImageType(image)) {
    case FIT_UINT16: colour.grey16 = static_cast<WORD>(back.rgbRed * 257); break;
    case FIT_RGB16: colour.rgb16 = FIRGB16{static_cast<WORD>(back.rgbRed * 257), static_cast<WORD>(back.rgbGreen * 257),
                                           static_cast<WORD>(back.rgbBlue * 257)}; break;
    case FIT_RGBA16: colour.rgba16 = FIRGBA16{0, 0, 0, 0}; break;
    default:
      if (FreeImage_GetBPP(image) == 8) colour.grey = back.rgbRed;
      else colour.rgb = back;
  }
  return colour;
}

// Type 0: the canvas grows and the uncovered corners take the back colour
// (transparent in an image with alpha). A grey image stays grey unless the
// corners bring colour into it; 16-bit images turn at 16 bits.
BitmapPtr turnOnCanvas(BitmapPtr image, int angle, RGBQUAD back) {
  const bool neutral_back = back.rgbRed == back.rgbGreen && back.rgbGreen == back.rgbBlue;
  if (isGreyImage(image.get()) && !neutral_back && !isQuarterTurn(angle)) {
    image = asColour(std::move(image));
    if (!image) return nullptr;
  }
  if (hasAlpha(image.get()) && !isQuarterTurn(angle)) {
    return resampleOnPremultiplied(std::move(image), [angle](FIBITMAP* p) {
      FIRGBA16 clear{0, 0, 0, 0};
      return FreeImage_Rotate(p, angle, &clear);
    });
  }
  BackColour colour = backColourFor(image.get(), back);
  return replaceBitmap(image, FreeImage_Rotate(image.get(), angle, &colour));
}

// Type 1: the size stays and the picture turns about its centre, the middle
// between the first and the last pixel, so a half turn moves every pixel
// exactly: it is done as two flips, at any depth. Other angles FreeImage
// turns on 8-bit samples only.
BitmapPtr turnAboutCentre(BitmapPtr image, int angle) {
  if (angle == 180) {
    if (!FreeImage_FlipHorizontal(image.get()) || !FreeImage_FlipVertical(image.get())) return nullptr;
    return image;
  }
  image = narrowExactly(std::move(image));
  if (!image) return nullptr;
  const double x_origin = (FreeImage_GetWidth(image.get()) - 1) / 2.0;
  const double y_origin = (FreeImage_GetHeight(image.get()) - 1) / 2.0;
  const bool alpha = hasAlpha(image.get());
  if (alpha) premultiply8(image.get());
  BitmapPtr turned(FreeImage_RotateEx(image.get(), angle, 0.0, 0.0, x_origin, y_origin, FALSE));
  if (alpha) unpremultiply8(turned.get());
  return turned;
}

// A failed conversion inside a stage: nothing to continue with.
Status noImage(BitmapPtr& image, const char* what) {
  if (image) return Status();
  return Status::ioError(std::string("the image could not be ") + what + " (out of memory?)");
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

TransformOptions transformOptionsFrom(const Settings& s) {
  TransformOptions o;
  o.rotate = s.do_image_rotation;
  o.rotation_type = s.image_rotation_type;
  o.rotation = s.image_rotation;
  o.rotation_back_color = s.image_rotation_back_color;
  o.resize = s.do_image_resize;
  o.width = s.image_width;
  o.width_unit = s.image_width_unit;
  o.height = s.image_height;
  o.height_unit = s.image_height_unit;
  o.keep_aspect_ratio = s.keep_aspect_ratio;
  o.fit_inside = s.fit_inside;
  o.resize_type = s.image_resize_type;
  o.resize_algorithm = s.image_resize_algorithm;
  o.flip_horizontal = s.do_image_flip_horizontal;
  o.flip_vertical = s.do_image_flip_vertical;
  return o;
}

Status rotateStage(BitmapPtr& image, const TransformOptions& o) {
  if (!image || !o.rotate) return Status();
  const int angle = o.rotation;
  if (angle <= 0 || angle >= 360) return Status();
  image = toStageForm(std::move(image));
  if (!image) return noImage(image, "turned");
  if (o.rotation_type == kRotationSimple) image = turnOnCanvas(std::move(image), angle, parseHexColor(o.rotation_back_color));
  else if (o.rotation_type == kRotationAdvanced) image = turnAboutCentre(std::move(image), angle);
  return noImage(image, "turned");
}

int scaledLength(int value, int unit, int current_length) {
  if (unit == kSizeInPixels) return value;
  if (unit != kSizeInPercent) return 0;
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

Status resizeStage(BitmapPtr& image, int width, int height, const TransformOptions& o) {
  if (!image || !o.resize) return Status();
  const int target_width = scaledLength(o.width, o.width_unit, width);
  const int target_height = scaledLength(o.height, o.height_unit, height);
  if (target_width <= 0 || target_height <= 0) return Status();
  if (width == target_width && height == target_height) return Status();
  if (o.resize_type == kResizeLargeImages && width < target_width && height < target_height) return Status();
  int new_width = target_width;
  int new_height = target_height;
  if (o.fit_inside) {
    // The side whose target is the tighter bound takes its target: w / h
    // against tw / th, compared as w * th against h * tw without rounding.
    if (int64_t{width} * target_height >= int64_t{height} * target_width) {
      new_height = keptLength(target_width, width, height);
    } else {
      new_width = keptLength(target_height, height, width);
    }
    if (new_width == width && new_height == height) return Status();
  } else if (o.keep_aspect_ratio) {
    if (width >= height) {
      new_height = keptLength(target_width, width, height);
    } else {
      new_width = keptLength(target_height, height, width);
    }
  }
  const FREE_IMAGE_FILTER filter = resizeFilter(o.resize_algorithm);
  // Floating-point RGBA has no premultiplied form: it is brought to the
  // stage form first, as rotation does (the pipeline would narrow it next).
  if (FreeImage_GetImageType(image.get()) == FIT_RGBAF) {
    image = toStageForm(std::move(image));
    if (!image) return noImage(image, "resized");
  }
  if (hasAlpha(image.get())) {
    image = resampleOnPremultiplied(std::move(image),
                                    [&](FIBITMAP* p) { return FreeImage_Rescale(p, new_width, new_height, filter); });
  } else {
    replaceWith(image, FreeImage_Rescale(image.get(), new_width, new_height, filter));
  }
  return noImage(image, "resized");
}

Status flipStage(BitmapPtr& image, const TransformOptions& o) {
  if (!image) return Status();
  if (o.flip_horizontal && !FreeImage_FlipHorizontal(image.get()))
    return Status::unsupported("the image could not be flipped");
  if (o.flip_vertical && !FreeImage_FlipVertical(image.get()))
    return Status::unsupported("the image could not be flipped");
  return Status();
}

}  // namespace pixolune
