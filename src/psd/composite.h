// Pixel repairs that make a decoded composite look as Photoshop shows it:
// the white matte of transparent composites, saved selections read as
// transparency, and transparency the decoder left out.
#ifndef PIXOLUNE_PSD_COMPOSITE_H_
#define PIXOLUNE_PSD_COMPOSITE_H_

#include <FreeImage.h>

#include <cstdint>
#include <vector>

#include "image/bitmap.h"

namespace pixolune {

/// Photoshop stores a transparent composite blended over white. Undoes that
/// in place, per colour channel at the image's own depth:
/// colour = (stored - white * (1 - alpha)) / alpha, clamped to the range;
/// a fully transparent pixel becomes black. Bitmaps without alpha (see
/// hasAlpha in image/pixel_form.h) are left alone.
void removeWhiteMatte(FIBITMAP* image);

/// An opaque copy of an image with alpha, of the same depth per channel
/// (RGBA 8 to RGB 8, RGBA16 to RGB16, RGBAF to RGBF). Returns a new bitmap
/// the caller owns, or null when the conversion fails; `image` is untouched.
BitmapPtr withoutAlpha(FIBITMAP* image);

/// A colour bitmap with alpha made from a greyscale bitmap (8-bit, 16-bit or
/// float grey) and an alpha plane as the document stores it (height rows of
/// big-endian samples of `depth` bits, top row first). Returns a new RGBA,
/// RGBA16 or RGBAF bitmap the caller owns, or null for other inputs or a
/// plane of the wrong size.
BitmapPtr greyWithAlpha(FIBITMAP* grey, const std::vector<uint8_t>& plane, int depth);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_COMPOSITE_H_
