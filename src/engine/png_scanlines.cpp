#include "engine/png_scanlines.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

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
  }
}

uint64_t absoluteSum(const uint8_t* bytes, size_t size) {
  uint64_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum += static_cast<unsigned>(std::abs(static_cast<int>(static_cast<int8_t>(bytes[i]))));
  return sum;
}

uint8_t paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Filters rows [begin, end) of a non-interlaced image into `out`, which
// holds every row of the image at its place.
// False when out of memory (it runs on threads of its own, where an
// exception would end the process).
bool filterRange(FIBITMAP* image, const ScanlineFormat& format, unsigned begin, unsigned end, uint8_t* out) {
  const size_t size = rowBytes(FreeImage_GetWidth(image), format.bits_per_pixel);
  const unsigned pixel_bytes = std::max(1u, format.bits_per_pixel / 8);
  std::vector<uint8_t> rows, scratch;
  try {
    rows.resize(2 * size, 0);
    scratch.resize(4 * size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  uint8_t* prior = rows.data();
  uint8_t* row = prior + size;
  if (begin > 0 && format.adaptive) pngRow(image, begin - 1, format, size, prior);
  for (unsigned y = begin; y < end; ++y) {
    pngRow(image, y, format, size, row);
    filterRow(row, prior, size, pixel_bytes, format.adaptive, out + y * (size + 1), scratch.data());
    std::swap(prior, row);
  }
  return true;
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
  std::vector<uint8_t> out, prior, row, scratch;
  for (const auto& pass : kPasses) {
    const unsigned x0 = pass[0], y0 = pass[1], dx = pass[2], dy = pass[3];
    const unsigned pass_width = width > x0 ? (width - x0 + dx - 1) / dx : 0;
    const unsigned pass_height = height > y0 ? (height - y0 + dy - 1) / dy : 0;
    if (pass_width == 0 || pass_height == 0) continue;
    const size_t pass_size = rowBytes(pass_width, bits);
    prior.assign(pass_size, 0);
    scratch.resize(4 * pass_size);
    for (unsigned j = 0; j < pass_height; ++j) {
      row.assign(pass_size, 0);
      const uint8_t* source = whole.data() + size_t{y0 + j * dy} * size;
      for (unsigned i = 0; i < pass_width; ++i) copyPixel(source, x0 + size_t{i} * dx, row.data(), i, bits);
      out.resize(out.size() + pass_size + 1);
      filterRow(row.data(), prior.data(), pass_size, std::max(1u, bits / 8), format.adaptive,
                out.data() + out.size() - pass_size - 1, scratch.data());
      std::swap(prior, row);
    }
  }
  return out;
}

}  // namespace

void filterRow(const uint8_t* row, const uint8_t* prior, size_t size, unsigned pixel_bytes, bool adaptive,
               uint8_t* out, uint8_t* scratch) {
  out[0] = 0;
  if (!adaptive) {
    std::memcpy(out + 1, row, size);
    return;
  }
  uint8_t* const sub = scratch;
  uint8_t* const up = scratch + size;
  uint8_t* const average = up + size;
  uint8_t* const predicted = average + size;
  const size_t lead = std::min<size_t>(pixel_bytes, size);
  for (size_t i = 0; i < lead; ++i) {
    sub[i] = row[i];
    average[i] = static_cast<uint8_t>(row[i] - (prior[i] >> 1));
    predicted[i] = static_cast<uint8_t>(row[i] - prior[i]);
  }
  for (size_t i = lead; i < size; ++i) sub[i] = static_cast<uint8_t>(row[i] - row[i - pixel_bytes]);
  for (size_t i = 0; i < size; ++i) up[i] = static_cast<uint8_t>(row[i] - prior[i]);
  for (size_t i = lead; i < size; ++i)
    average[i] = static_cast<uint8_t>(row[i] - ((row[i - pixel_bytes] + prior[i]) >> 1));
  for (size_t i = lead; i < size; ++i)
    predicted[i] = static_cast<uint8_t>(row[i] - paeth(row[i - pixel_bytes], prior[i], prior[i - pixel_bytes]));
  // libpng's order of trial, the first of equal sums winning.
  const uint8_t* const candidates[5] = {row, sub, up, average, predicted};
  unsigned best = 0;
  uint64_t best_sum = absoluteSum(row, size);
  for (unsigned k = 1; k < 5; ++k) {
    const uint64_t sum = absoluteSum(candidates[k], size);
    if (sum < best_sum) {
      best = k;
      best_sum = sum;
    }
  }
  out[0] = static_cast<uint8_t>(best);
  std::memcpy(out + 1, candidates[best], size);
}

std::vector<uint8_t> filteredScanlines(FIBITMAP* image, const ScanlineFormat& format, int threads) {
  if (format.interlaced) return interlacedScanlines(image, format);
  const unsigned height = FreeImage_GetHeight(image);
  const size_t size = rowBytes(FreeImage_GetWidth(image), format.bits_per_pixel);
  std::vector<uint8_t> out((size + 1) * height);
  const unsigned pieces = std::clamp<unsigned>(height / 64, 1, std::max(threads, 1));
  std::vector<char> done(pieces, 0);
  auto work = [&](unsigned i) {
    done[i] = filterRange(image, format, height * uint64_t{i} / pieces, height * uint64_t{i + 1} / pieces, out.data());
  };
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < pieces; ++i) {
    try {
      helpers.emplace_back(work, i);
    } catch (const std::system_error&) {
      work(i);
    }
  }
  work(0);
  for (std::thread& t : helpers) t.join();
  if (std::find(done.begin(), done.end(), 0) != done.end()) out.clear();
  return out;
}

}  // namespace pixolune
