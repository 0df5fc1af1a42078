// A fast path for PNG files saved without compression: FreeImage's writer
// still lets libpng try four row filters on every row to pick the best, work
// that buys nothing when the data is stored uncompressed and takes about
// half the time of a conversion. This writer stores every row unfiltered.
#ifndef PIXOLUNE_ENGINE_PNG_STORE_H_
#define PIXOLUNE_ENGINE_PNG_STORE_H_

#include <FreeImage.h>

#include <string>

namespace pixolune {

enum class PngStoreResult { kNotHandled, kWritten, kFailed };

/// Writes image as an uncompressed, non-interlaced PNG at path with the
/// chunks FreeImage writes (resolution, ICC profile) and the same pixels,
/// depth and colour type. Handles 24- and 32-bit RGB(A), 8-bit greyscale
/// without transparency, 16-bit greyscale, RGB16 and RGBA16 images without
/// text metadata; returns kNotHandled (writing nothing) for anything else.
/// kFailed means the file could not be written; a partial file may remain.
PngStoreResult storeUncompressedPng(FIBITMAP* image, const std::string& path);

/// True when a PNG save with these FreeImage flags stores rows uncompressed
/// and without interlacing, the case storeUncompressedPng serves.
bool isUncompressedPngSave(int format_id, int save_flags);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_PNG_STORE_H_
