#include "png/png_scanlines.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>


namespace pixolune {

namespace {

size_t rowBytes(unsigned width, unsigned bits_per_pixel) { return (size_t{width} * bits_per_pixel + 7) / 8; }

// Row y (0 = top) of the image in PNG's byte order.
void pngRow(FIBITMAP* image, unsigned y, const ScanlineFormat& format, size_t size, uint8_t* out) {
  const uint8_t* in = FreeImage_GetScanLine(image, FreeImage_GetHeight(image) - 1 - y);
  switch (format.order) {
    case SampleOrder::kAsStored:
      std::memcpy(out, in, size);
      break;
    case SampleOrder::kInverted:
      for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(~in[i]);
      break;
    case SampleOrder::kBlueFirst: {
      const unsigned step = format.bits_per_pixel / 8;
      for (size_t i = 0; i + step <= size; i += step) {
        out[i] = in[i + 2];
        out[i + 1] = in[i + 1];
        out[i + 2] = in[i];
        if (step == 4) out[i + 3] = in[i + 3];
      }
      break;
    }
    case SampleOrder::kLittleEndian:
      for (size_t i = 0; i + 1 < size; i += 2) {
        out[i] = in[i + 1];
        out[i + 1] = in[i];
      }
      break;
    case SampleOrder::kGreyAlpha:  // Green stands for the grey: the pixel is neutral.
      if (format.bits_per_pixel == 16) {
        for (size_t i = 0; i + 1 < size; i += 2, in += 4) out[i] = in[FI_RGBA_GREEN], out[i + 1] = in[FI_RGBA_ALPHA];
      } else {
        const auto* pixel = reinterpret_cast<const FIRGBA16*>(in);
        for (size_t i = 0; i + 3 < size; i += 4, ++pixel) {
          out[i] = static_cast<uint8_t>(pixel->green >> 8), out[i + 1] = static_cast<uint8_t>(pixel->green);
          out[i + 2] = static_cast<uint8_t>(pixel->alpha >> 8), out[i + 3] = static_cast<uint8_t>(pixel->alpha);
        }
      }
      break;
  }
}

// A filtered byte read as signed, as libpng weighs it.
inline unsigned weight(int filtered) { return static_cast<unsigned>(std::abs(static_cast<int8_t>(filtered))); }

// Paeth's predictor without branches, so the loop over a row vectorises.
inline int paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  const int bc = pb <= pc ? b : c;
  return pa <= pb && pa <= pc ? a : bc;
}

// Adds to `sums` the sums of the filtered bytes of row[0, size) for every
// filter (none, sub, up, average, Paeth); `left` is the row one pixel back
// and `above_left` the prior row one pixel back.
void addWeights(const uint8_t* row, const uint8_t* prior, const uint8_t* left, const uint8_t* above_left, size_t size,
                uint64_t sums[5]) {
  // Block sums fit 32 bits (at most 128 per byte); the loop over a block stays in one type.
  constexpr size_t kBlock = size_t{1} << 20;
  for (size_t start = 0; start < size; start += kBlock) {
    const size_t stop = std::min(size, start + kBlock);
    uint32_t none = 0, sub = 0, up = 0, average = 0, predicted = 0;
    for (size_t i = start; i < stop; ++i) {
      const int x = row[i], a = left[i], b = prior[i], c = above_left[i];
      none += weight(x);
      sub += weight(x - a);
      up += weight(x - b);
      average += weight(x - ((a + b) >> 1));
      predicted += weight(x - paeth(a, b, c));
    }
    sums[0] += none, sums[1] += sub, sums[2] += up, sums[3] += average, sums[4] += predicted;
  }
}

// Writes row less the predictor of each byte from the byte one pixel back
// (a), the byte above (b) and the byte above one pixel back (c).
template <typename Predictor>
void applyFilter(const uint8_t* row, const uint8_t* prior, size_t size, size_t lead, uint8_t* to, Predictor predict) {
  for (size_t i = 0; i < lead; ++i) to[i] = static_cast<uint8_t>(row[i] - predict(0, prior[i], 0));
  for (size_t i = lead; i < size; ++i)
    to[i] = static_cast<uint8_t>(row[i] - predict(row[i - lead], prior[i], prior[i - lead]));
}

// Copies pixel x of `in` to pixel i of `out` (whose bits start cleared).
void copyPixel(const uint8_t* in, size_t x, uint8_t* out, size_t i, unsigned bits) {
  if (bits >= 8) {
    std::memcpy(out + i * (bits / 8), in + x * (bits / 8), bits / 8);
    return;
  }
  const size_t from = x * bits, to = i * bits;
  const unsigned value = (in[from / 8] >> (8 - bits - from % 8)) & ((1u << bits) - 1);
  out[to / 8] |= static_cast<uint8_t>(value << (8 - bits - to % 8));
}

std::vector<uint8_t> interlacedScanlines(FIBITMAP* image, const ScanlineFormat& format) {
  static constexpr unsigned kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  const unsigned width = FreeImage_GetWidth(image), height = FreeImage_GetHeight(image), bits = format.bits_per_pixel;
  const size_t size = rowBytes(width, bits);
  std::vector<uint8_t> whole(size * height);
  for (unsigned y = 0; y < height; ++y) pngRow(image, y, format, size, whole.data() + y * size);
  std::vector<uint8_t> out, prior, row;
  for (const auto& pass : kPasses) {
    const unsigned x0 = pass[0], y0 = pass[1], dx = pass[2], dy = pass[3];
    const unsigned pass_width = width > x0 ? (width - x0 + dx - 1) / dx : 0;
    const unsigned pass_height = height > y0 ? (height - y0 + dy - 1) / dy : 0;
    if (pass_width == 0 || pass_height == 0) continue;
    const size_t pass_size = rowBytes(pass_width, bits);
    prior.assign(pass_size, 0);
    for (unsigned j = 0; j < pass_height; ++j) {
      row.assign(pass_size, 0);
      const uint8_t* source = whole.data() + size_t{y0 + j * dy} * size;
      for (unsigned i = 0; i < pass_width; ++i) copyPixel(source, x0 + size_t{i} * dx, row.data(), i, bits);
      out.resize(out.size() + pass_size + 1);
      filterRow(row.data(), prior.data(), pass_size, std::max(1u, bits / 8), format.adaptive,
                out.data() + out.size() - pass_size - 1);
      std::swap(prior, row);
    }
  }
  return out;
}

}  // namespace

void filterRow(const uint8_t* row, const uint8_t* prior, size_t size, unsigned pixel_bytes, bool adaptive,
               uint8_t* out) {
  out[0] = 0;
  if (!adaptive) {
    std::memcpy(out + 1, row, size);
    return;
  }
  // The first pixel has nothing to its left: zeros stand in (pixels are at most 8 bytes).
  static constexpr uint8_t kZeros[8] = {};
  const size_t lead = std::min<size_t>({pixel_bytes, size, sizeof kZeros});
  uint64_t sums[5] = {};
  addWeights(row, prior, kZeros, kZeros, lead, sums);
  addWeights(row + lead, prior + lead, row, prior, size - lead, sums);
  // libpng's order of trial, the first of equal sums winning.
  unsigned best = 0;
  for (unsigned k = 1; k < 5; ++k)
    if (sums[k] < sums[best]) best = k;
  out[0] = static_cast<uint8_t>(best);
  uint8_t* const to = out + 1;
  switch (best) {
    case 0: std::memcpy(to, row, size); break;
    case 1: applyFilter(row, prior, size, lead, to, [](int a, int, int) { return a; }); break;
    case 2: applyFilter(row, prior, size, lead, to, [](int, int b, int) { return b; }); break;
    case 3: applyFilter(row, prior, size, lead, to, [](int a, int b, int) { return (a + b) >> 1; }); break;
    default: applyFilter(row, prior, size, lead, to, paeth); break;
  }
}

FilteredRows::FilteredRows(FIBITMAP* image, const ScanlineFormat& format)
    : image_(image),
      format_(format),
      row_size_(rowBytes(FreeImage_GetWidth(image), format.bits_per_pixel)),
      height_(FreeImage_GetHeight(image)) {}

bool FilteredRows::read(size_t offset, size_t count, uint8_t* out) const {
  if (count == 0) return true;
  const size_t stride = row_size_ + 1, end = offset + count;
  const unsigned pixel_bytes = std::max(1u, format_.bits_per_pixel / 8);
  std::vector<uint8_t> scratch;
  try {  // Called on threads of their own: out of memory is a failed read.
    scratch.resize(3 * row_size_ + 1, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  uint8_t* prior = scratch.data();  // Zeros above the first row.
  uint8_t* row = prior + row_size_;
  uint8_t* filtered = row + row_size_;  // A row cut by the range's ends.
  size_t y = offset / stride;
  if (y > 0 && format_.adaptive) pngRow(image_, static_cast<unsigned>(y - 1), format_, row_size_, prior);
  for (; y < height_ && y * stride < end; ++y) {
    pngRow(image_, static_cast<unsigned>(y), format_, row_size_, row);
    const size_t row_start = y * stride, from = std::max(offset, row_start), to = std::min(end, row_start + stride);
    if (from == row_start && to == row_start + stride) {
      filterRow(row, prior, row_size_, pixel_bytes, format_.adaptive, out + (row_start - offset));
    } else {
      filterRow(row, prior, row_size_, pixel_bytes, format_.adaptive, filtered);
      std::memcpy(out + (from - offset), filtered + (from - row_start), to - from);
    }
    std::swap(prior, row);
  }
  return true;
}

std::vector<uint8_t> filteredScanlines(FIBITMAP* image, const ScanlineFormat& format) {
  if (format.interlaced) return interlacedScanlines(image, format);
  const FilteredRows rows(image, format);
  std::vector<uint8_t> out(rows.size());
  if (!rows.read(0, out.size(), out.data())) out.clear();
  return out;
}

}  // namespace pixolune
