// Bit-depth normalisation after decoding and the final bit-depth stage.
#ifndef PIXOLUNE_ENGINE_BIT_DEPTH_H_
#define PIXOLUNE_ENGINE_BIT_DEPTH_H_

#include <FreeImage.h>

#include <string>

namespace pixolune {

/// The smallest depth of the format's list not below source_bpp, else the
/// largest; 0 for a format without a FormatTable row.
int autoBitDepth(const std::string& format_key, int source_bpp);

/// The last pixel stage: converts to target_bpp (chosen per file when
/// auto_bpp). Returns the converted image (the old one unloaded), the same
/// image when nothing is to do, or null for a depth it cannot make.
FIBITMAP* convertBitDepth(FIBITMAP* image);

/// Brings greyscale images of non-standard types to ordinary 8-bit bitmaps:
/// 16-bit grey by value / 257, other types by linear stretching. Ordinary
/// greyscale and 1-bit images are kept as they are.
FIBITMAP* normalizeGrey(FIBITMAP* image);

/// Brings images of more than 32 bits per pixel to 8 bits per channel:
/// 16-bit integer RGB(A) by value / 257 keeping alpha, floating-point RGB(A)
/// by Drago tone mapping, keeping alpha.
FIBITMAP* normalizeHighRange(FIBITMAP* image);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_BIT_DEPTH_H_
