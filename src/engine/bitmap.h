// Owning handle for FreeImage bitmaps.
#ifndef PIXOLUNE_ENGINE_BITMAP_H_
#define PIXOLUNE_ENGINE_BITMAP_H_

#include <FreeImage.h>

#include <memory>

namespace pixolune {

struct BitmapDeleter {
  void operator()(FIBITMAP* dib) const {
    if (dib) FreeImage_Unload(dib);
  }
};

/// Owns one FreeImage bitmap; early returns unload it.
using BitmapPtr = std::unique_ptr<FIBITMAP, BitmapDeleter>;

/// Replaces `image` by `converted` (unloading the old one) and returns the new
/// handle; the stage convention for conversions that make a new bitmap.
inline FIBITMAP* replaceBitmap(FIBITMAP* image, FIBITMAP* converted) {
  if (image && image != converted) FreeImage_Unload(image);
  return converted;
}

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_BITMAP_H_
