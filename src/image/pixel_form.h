// The forms a picture takes between the stages (8-bit grey, 8-bit colour
// with or without alpha, and the same at 16 bits per channel) and the exact
// conversions between them.
#ifndef PIXOLUNE_IMAGE_PIXEL_FORM_H_
#define PIXOLUNE_IMAGE_PIXEL_FORM_H_

#include <FreeImage.h>

#include <functional>

#include "image/bitmap.h"

namespace pixolune {

/// The conversions below take the one live bitmap and hand back the bitmap
/// to continue with: the given one is unloaded when a new one is made, a
/// bitmap they have nothing to do for comes back as it is, and null (also for
/// a failed allocation) makes the file fail. No shared state.

/// True for the bitmaps with an alpha channel the decoder makes: 32-bit
/// RGBA (not CMYK), 16-bit-per-channel RGBA and floating-point RGBA.
bool hasAlpha(FIBITMAP* image);

/// 8-bit greyscale (a 0..255 grey ramp) or 16-bit greyscale.
bool isGreyImage(FIBITMAP* image);

/// 16 bits per channel: grey, RGB or RGBA.
bool isWideImage(FIBITMAP* image);

/// True when every pixel of a 24-bit, 32-bit, RGB16 or RGBA16 image has
/// equal red, green and blue; grey images and grey palettes (black and white
/// included) are neutral, other forms are not.
bool isNeutralImage(FIBITMAP* image);

/// The form every stage works on: grey palettes (1, 4 or 8 bits, also
/// min-is-white) become 8-bit grey, colour palettes and 16-bit 5-6-5
/// pixels 24-bit (32-bit when the palette has transparency), floating-point
/// and other non-standard types are brought to 8 bits per channel as the
/// pipeline's normalisation does. 8-bit grey, 24-bit, 32-bit and 16-bit
/// integer forms are kept as they are.
BitmapPtr toStageForm(BitmapPtr image);

/// 16 bits per channel to 8, each sample rounded to the nearest 8-bit value
/// (v / 257): grey to 8-bit grey, RGB16 to 24-bit, RGBA16 to 32-bit with
/// its alpha. Other forms are kept.
BitmapPtr narrowExactly(BitmapPtr image);

/// 8 bits per channel to 16 by v * 257, so 255 stays full scale: 8-bit grey
/// to 16-bit grey, 24-bit to RGB16, 32-bit to RGBA16. Other forms are kept.
BitmapPtr widenExactly(BitmapPtr image);

/// Blends an image with alpha over white, as Photoshop shows a transparent
/// document: RGBA to 24-bit, RGBA16 to RGB16, a palette with transparency to
/// 24-bit. Opaque forms are kept.
BitmapPtr flattenOverWhite(BitmapPtr image);

/// Grey to colour of the same depth: 8-bit grey to 24-bit, 16-bit grey to
/// RGB16. Other forms are kept.
BitmapPtr asColour(BitmapPtr image);

/// A colour image without alpha whose pixels are all neutral becomes grey of
/// the same depth (24-bit to 8-bit grey, RGB16 to 16-bit grey), exactly.
BitmapPtr greyIfNeutral(BitmapPtr image);

/// A new RGBA16 bitmap holding the colours of a 32-bit or RGBA16 image
/// multiplied by their alpha (the form resampling needs so transparent
/// pixels lend no colour to their neighbours). Null for other forms or when
/// memory runs out; `image` is untouched.
BitmapPtr premultipliedWide(FIBITMAP* image);

/// The straight-alpha image of a premultiplied RGBA16 bitmap: 32-bit when
/// `eight_bits`, else RGBA16. A fully transparent pixel becomes black. A new
/// bitmap, or null; `premultiplied` is untouched.
BitmapPtr straightFromPremultiplied(FIBITMAP* premultiplied, bool eight_bits);

/// Runs a resampling operation (rotation, rescaling) of an image with alpha
/// on its premultiplied RGBA16 form (see premultipliedWide), so transparent
/// pixels lend no colour to the edges, and returns the straight result at
/// the image's depth; the given image is unloaded. `op` gets the RGBA16
/// bitmap (it stays the caller's) and returns a new one (or null, which
/// fails the call).
BitmapPtr resampleOnPremultiplied(BitmapPtr image, const std::function<FIBITMAP*(FIBITMAP*)>& op);

/// Multiplies (or divides back) the colours of a 32-bit RGBA image by its
/// alpha in place, for the operations that only take 8-bit pixels.
void premultiply8(FIBITMAP* image);
void unpremultiply8(FIBITMAP* image);

/// Brings greyscale images of non-standard types (signed, 32-bit, floating
/// point) to ordinary 8-bit bitmaps by linear stretching. 16-bit and 8-bit
/// greyscale and 1-bit images are kept as they are.
BitmapPtr normalizeGrey(BitmapPtr image);

/// Brings floating-point images to 8 bits per channel by Drago tone mapping,
/// keeping alpha. Images of 16 bits per channel are kept.
BitmapPtr normalizeHighRange(BitmapPtr image);

}  // namespace pixolune

#endif  // PIXOLUNE_IMAGE_PIXEL_FORM_H_
