// The data a PNG file compresses: the image's rows in PNG's byte order,
// each with its filter byte, in Adam7 passes when interlaced. Rows are
// filtered the way libpng does by default: palette images and images of
// fewer than 8 bits a sample unfiltered, others with the filter of the
// smallest sum of absolute differences (the bytes read as signed).
#ifndef PIXOLUNE_PNG_PNG_SCANLINES_H_
#define PIXOLUNE_PNG_PNG_SCANLINES_H_

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pixolune {

/// How a FreeImage row becomes a PNG row.
enum class SampleOrder {
  kAsStored,      // Bytes as FreeImage holds them (palette indexes, grey).
  kInverted,      // Every bit inverted (1-bit min-is-white to PNG grey).
  kBlueFirst,     // 8-bit BGR or BGRA pixels to RGB or RGBA.
  kLittleEndian,  // 16-bit samples in the machine's order to big-endian.
  kGreyAlpha      // Neutral pixels with alpha to grey and alpha: 32-bit pixels to 16
                  // bits, RGBA16 pixels to 32 (big-endian); green stands for the grey.
};

/// The shape of the rows to produce.
struct ScanlineFormat {
  unsigned bits_per_pixel = 0;  // Of the PNG pixel: 1, 2, 4, 8, 16, 24, 32, 48 or 64.
  SampleOrder order = SampleOrder::kAsStored;
  bool adaptive = false;        // Pick a filter per row; false: every row unfiltered.
  bool interlaced = false;      // Adam7.
};

/// The filtered rows of a non-interlaced image, top row first, read in any
/// range without holding them all: each range is filtered when it is read
/// (the row above its first row is read again for the filters).
/// Thread-safe. REQUIRES: the image's scan lines hold bits_per_pixel bits a
/// pixel in the order named by format.order; the image outlives this.
class FilteredRows {
 public:
  FilteredRows(FIBITMAP* image, const ScanlineFormat& format);

  /// Bytes in all: a filter byte and the row's bytes for every row.
  size_t size() const { return (row_size_ + 1) * height_; }

  /// Writes bytes [offset, offset + count) to `out`; false when out of
  /// memory. REQUIRES: offset + count <= size().
  bool read(size_t offset, size_t count, uint8_t* out) const;

 private:
  FIBITMAP* image_;
  ScanlineFormat format_;
  size_t row_size_;
  size_t height_;
};

/// The filtered rows of `image`, top row first, in Adam7 passes when the
/// format is interlaced, ready to compress. Empty when memory runs out
/// (std::bad_alloc from the calling thread).
std::vector<uint8_t> filteredScanlines(FIBITMAP* image, const ScanlineFormat& format);

/// Filters one row of `size` bytes against the row above (`prior`, zeros
/// for the first row) into out[0] (the filter type) and out[1..size].
/// REQUIRES: pixel_bytes is 1 to 8.
void filterRow(const uint8_t* row, const uint8_t* prior, size_t size, unsigned pixel_bytes, bool adaptive,
               uint8_t* out);

}  // namespace pixolune

#endif  // PIXOLUNE_PNG_PNG_SCANLINES_H_
