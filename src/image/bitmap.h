// Owning handle for FreeImage bitmaps.
#ifndef PIXOLUNE_IMAGE_BITMAP_H_
#define PIXOLUNE_IMAGE_BITMAP_H_

#include <FreeImage.h>

#include <memory>
#include <utility>

namespace pixolune {

struct BitmapDeleter {
  void operator()(FIBITMAP* dib) const {
    if (dib) FreeImage_Unload(dib);
  }
};

/// Owns one FreeImage bitmap; early returns unload it.
using BitmapPtr = std::unique_ptr<FIBITMAP, BitmapDeleter>;

/// Makes `converted`, a bitmap made from `image` (or null when that failed),
/// the one `image` owns, unloading the old one unless it is the same, and
/// hands it on: the convention of conversions that make a new bitmap.
inline BitmapPtr replaceBitmap(BitmapPtr& image, FIBITMAP* converted) {
  if (image.get() != converted) image.reset(converted);
  return std::move(image);
}

/// The same in place: `image` holds `converted` afterwards.
inline void replaceWith(BitmapPtr& image, FIBITMAP* converted) {
  if (image.get() != converted) image.reset(converted);
}

}  // namespace pixolune

#endif  // PIXOLUNE_IMAGE_BITMAP_H_
