// Bit-depth normalisation after decoding and the final bit-depth stage.
#ifndef PIXOLUNE_STAGES_BIT_DEPTH_H_
#define PIXOLUNE_STAGES_BIT_DEPTH_H_

#include <FreeImage.h>

#include <string>

#include "image/bitmap.h"
#include "platform/status.h"

namespace pixolune {

/// The smallest depth of the format's list not below source_bpp, else the
/// largest; 0 for a format without a FormatTable row.
int autoBitDepth(const std::string& format_key, int source_bpp);

/// Chooses this file's output depth when auto_bpp and stores it in
/// target_bpp, so "%bpp%" in a watermark names it. An image of 16 bits per
/// channel is written at 16 bits per channel where the format stores its
/// kind: 16 for grey, 48 for RGB, 64 for RGBA (grey counts as RGB when
/// `grey_takes_colour` says the document is grey and a stage has put or will
/// put colour on it: a rotation's corners, a frame, a watermark). Otherwise
/// the smallest listed depth not below source_bpp, but never more than 8 bits
/// per channel for an image that has only those (a tone-mapped or narrowed
/// one), 32 for an image with alpha where the format lists it, a colour depth
/// for a grey document that takes colour, and 8 for a grey image where the
/// format lists it. The pipeline calls it before the frame stage; fixed
/// depths are left alone.
void chooseBitDepth(FIBITMAP* image, bool grey_takes_colour);

/// The last pixel stage: converts to target_bpp. An image with alpha is
/// blended over white for every depth without alpha; 16-bit samples are
/// rounded to 8 bits for the shallow depths; a palette of 8 bits keeps a grey
/// image's levels exactly. `image` holds the converted image afterwards (the
/// old one unloaded), or is kept when nothing is to do; a depth it cannot
/// make (or a failed allocation) gives a failed status and no image.
/// REQUIRES: chooseBitDepth has run for this file.
Status convertBitDepth(BitmapPtr& image);

/// Brings greyscale images of non-standard types (signed, 32-bit, floating
/// point) to ordinary 8-bit bitmaps by linear stretching. 16-bit and 8-bit
/// greyscale and 1-bit images are kept as they are.
BitmapPtr normalizeGrey(BitmapPtr image);

/// Brings floating-point images to 8 bits per channel by Drago tone mapping,
/// keeping alpha. Images of 16 bits per channel are kept.
BitmapPtr normalizeHighRange(BitmapPtr image);

}  // namespace pixolune

#endif  // PIXOLUNE_STAGES_BIT_DEPTH_H_
