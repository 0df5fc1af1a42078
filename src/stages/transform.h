// Geometry stages: rotation, resizing and flipping.
#ifndef PIXOLUNE_STAGES_TRANSFORM_H_
#define PIXOLUNE_STAGES_TRANSFORM_H_

#include <FreeImage.h>

#include <string>

#include "image/bitmap.h"
#include "platform/status.h"
#include "settings/settings.h"

namespace pixolune {

/// What the geometry stages do, taken from the Settings of the same names.
struct TransformOptions {
  bool rotate = false;                       // do_image_rotation
  int rotation_type = kRotationSimple;       // image_rotation_type
  int rotation = 0;                          // image_rotation, degrees
  std::string rotation_back_color = "000000";
  bool resize = false;                       // do_image_resize
  int width = 0;                             // image_width in width_unit
  int width_unit = kSizeInPixels;
  int height = 0;
  int height_unit = kSizeInPixels;
  bool keep_aspect_ratio = true;
  bool fit_inside = false;
  int resize_type = kResizeAllImages;
  int resize_algorithm = 3;
  bool flip_horizontal = false;
  bool flip_vertical = false;
  bool operator==(const TransformOptions&) const = default;
};

TransformOptions transformOptionsFrom(const Settings& settings);

/// Stages take the one live bitmap and leave in it the bitmap to continue
/// with; a stage that makes a new bitmap unloads the one it was given. A
/// failed FreeImage call (memory) gives a failed status and no image, and the
/// file fails. They run on the worker thread.
/// REQUIRES: `image` holds a bitmap.

/// Turns the image by `rotation` degrees (only 1..359 turn; FreeImage's
/// direction, counter-clockwise). Palettes are brought to the stage form
/// first (grey stays grey). Type 0 grows the canvas and fills the uncovered
/// corners with rotation_back_color (transparent when the image has
/// alpha), at 16 bits per channel for 16-bit images; type 1 keeps the size
/// and turns about the exact centre, at 8 bits per channel. Images with alpha
/// are resampled on premultiplied colours, so edges take no colour from
/// transparent pixels.
Status rotateStage(BitmapPtr& image, const TransformOptions& options);

/// Rescales to the width and height targets in their units.
/// width and height are the image's size as the pipeline read it before the
/// call. The image is returned unchanged when a target is not positive, the
/// size already matches, or (resize type 1) it is smaller in both directions.
/// keep_aspect_ratio sizes a landscape or square image by the width target
/// and a portrait one by the height target, whatever the other target says;
/// fit_inside takes the largest size with the image's proportions that is no
/// wider and no taller than the targets (400 x 400 in 800 x 600 gives
/// 600 x 600; an image already that size is left as it is). A kept ratio
/// rounds the other side to the nearest pixel, never below 1. Images with
/// alpha are resampled on premultiplied colours at 16 bits per channel.
Status resizeStage(BitmapPtr& image, int width, int height, const TransformOptions& options);

/// Mirrors left-right and/or top-bottom in place.
Status flipStage(BitmapPtr& image, const TransformOptions& options);

/// Target length for a value in a unit: 0 pixels (the value), 1 percent of
/// current_length rounded to the nearest integer with ties to even; any other
/// unit gives 0.
int scaledLength(int value, int unit, int current_length);

/// FreeImage filter of an image_resize_algorithm code: 0 box, 1 bilinear,
/// 2 B-spline, 3 bicubic, 4 Catmull-Rom, 5 Lanczos 3; any other is bicubic.
FREE_IMAGE_FILTER resizeFilter(int algorithm);

/// Six hex digits "RRGGBB" (either case, not trimmed); any other length
/// gives black. The reserved byte is 0.
RGBQUAD parseHexColor(const std::string& text);

}  // namespace pixolune

#endif  // PIXOLUNE_STAGES_TRANSFORM_H_
