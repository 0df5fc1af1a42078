#include "psd/composite.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/pixel_form.h"
#include "platform/cores.h"
#include "platform/threads.h"

namespace pixolune {

namespace {

// Integer unmatting at full scale `white`: (stored - white + alpha) * white / alpha, rounded.
template <typename T>
T unmatte(T stored, T alpha, unsigned white) {
  if (alpha == 0) return 0;
  if (alpha == white) return stored;  // Opaque: the formula gives the stored value back.
  const long num = static_cast<long>(stored) + static_cast<long>(alpha) - static_cast<long>(white);
  if (num <= 0) return 0;
  const unsigned long value = (static_cast<unsigned long>(num) * white + alpha / 2) / alpha;
  return static_cast<T>(std::min<unsigned long>(value, white));
}

float unmatteFloat(float stored, float alpha) {
  if (alpha <= 0.0f) return 0.0f;
  if (alpha >= 1.0f) return stored;
  return std::clamp((stored - (1.0f - alpha)) / alpha, 0.0f, 1.0f);
}

// unmatte for every 8-bit alpha (rows) and stored value (columns).
const uint8_t* unmatteTable8() {
  static const std::vector<uint8_t> table = [] {
    std::vector<uint8_t> t(256 * 256);
    for (unsigned a = 0; a < 256; ++a)
      for (unsigned v = 0; v < 256; ++v) t[a * 256 + v] = unmatte<BYTE>(static_cast<BYTE>(v), static_cast<BYTE>(a), 255);
    return t;
  }();
  return table.data();
}

void unmatteRow8(BYTE* p, unsigned width) {
  const uint8_t* table = unmatteTable8();
  for (unsigned x = 0; x < width; ++x, p += 4) {
    const BYTE a = p[FI_RGBA_ALPHA];
    if (a == 255) continue;  // Opaque: the stored colour is the colour.
    const uint8_t* row = table + a * 256u;
    for (int c : {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE}) p[c] = row[p[c]];
  }
}

void unmatteRow16(FIRGBA16* p, unsigned width) {
  for (unsigned x = 0; x < width; ++x, ++p) {
    p->red = unmatte<WORD>(p->red, p->alpha, 65535);
    p->green = unmatte<WORD>(p->green, p->alpha, 65535);
    p->blue = unmatte<WORD>(p->blue, p->alpha, 65535);
  }
}

void unmatteRowFloat(FIRGBAF* p, unsigned width) {
  for (unsigned x = 0; x < width; ++x, ++p) {
    p->red = unmatteFloat(p->red, p->alpha);
    p->green = unmatteFloat(p->green, p->alpha);
    p->blue = unmatteFloat(p->blue, p->alpha);
  }
}

// Sample x of a plane row stored big-endian with `depth` bits per sample.
uint32_t planeSample(const uint8_t* row, unsigned x, int depth) {
  if (depth == 8) return row[x];
  if (depth == 16) return static_cast<uint32_t>(row[2 * x] << 8 | row[2 * x + 1]);
  const uint8_t* p = row + 4 * x;
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

float asFloat(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// Fills one output row of greyWithAlpha from grey row `in` and plane row `alpha`.
void mergeRow(FREE_IMAGE_TYPE type, const BYTE* in, const RGBQUAD* palette, const uint8_t* alpha, BYTE* out,
              unsigned width, int depth) {
  for (unsigned x = 0; x < width; ++x) {
    const uint32_t a = planeSample(alpha, x, depth);
    if (type == FIT_BITMAP) {
      const BYTE g = palette ? palette[in[x]].rgbRed : in[x];
      BYTE* p = out + 4 * x;
      p[FI_RGBA_RED] = p[FI_RGBA_GREEN] = p[FI_RGBA_BLUE] = g;
      p[FI_RGBA_ALPHA] = static_cast<BYTE>(a);
    } else if (type == FIT_UINT16) {
      const WORD g = reinterpret_cast<const WORD*>(in)[x];
      reinterpret_cast<FIRGBA16*>(out)[x] = {g, g, g, static_cast<WORD>(a)};
    } else {
      const float g = reinterpret_cast<const float*>(in)[x];
      reinterpret_cast<FIRGBAF*>(out)[x] = {g, g, g, std::clamp(asFloat(a), 0.0f, 1.0f)};
    }
  }
}

}  // namespace

void removeWhiteMatte(FIBITMAP* image) {
  if (!hasAlpha(image)) return;
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(image);
  const unsigned width = FreeImage_GetWidth(image), height = FreeImage_GetHeight(image);
  const auto rows = [&](unsigned top, unsigned bottom) {
    for (unsigned y = top; y < bottom; ++y) {
      BYTE* row = FreeImage_GetScanLine(image, static_cast<int>(y));
      if (type == FIT_BITMAP) unmatteRow8(row, width);
      else if (type == FIT_RGBA16) unmatteRow16(reinterpret_cast<FIRGBA16*>(row), width);
      else unmatteRowFloat(reinterpret_cast<FIRGBAF*>(row), width);
    }
  };
  // A large image in bands of rows on the idle cores.
  const uint64_t pixels = uint64_t{width} * height;
  const int bands = static_cast<int>(std::clamp<uint64_t>(pixels / (256 * 1024), 1, idleCores()));
  runOnThreads(bands, [&](int b) {
    rows(static_cast<unsigned>(uint64_t{height} * b / bands), static_cast<unsigned>(uint64_t{height} * (b + 1) / bands));
  });
}

BitmapPtr withoutAlpha(FIBITMAP* image) {
  switch (FreeImage_GetImageType(image)) {
    case FIT_BITMAP: return BitmapPtr(FreeImage_ConvertTo24Bits(image));
    case FIT_RGBA16: return BitmapPtr(FreeImage_ConvertToRGB16(image));
    case FIT_RGBAF: return BitmapPtr(FreeImage_ConvertToRGBF(image));
    default: return BitmapPtr(FreeImage_Clone(image));
  }
}

BitmapPtr greyWithAlpha(FIBITMAP* grey, const std::vector<uint8_t>& plane, int depth) {
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(grey);
  const unsigned width = FreeImage_GetWidth(grey), height = FreeImage_GetHeight(grey);
  BitmapPtr owned;
  if (type == FIT_BITMAP && FreeImage_GetBPP(grey) == 8 && depth == 8) owned.reset(FreeImage_Allocate(width, height, 32));
  else if (type == FIT_UINT16 && depth == 16) owned.reset(FreeImage_AllocateT(FIT_RGBA16, width, height));
  else if (type == FIT_FLOAT && depth == 32) owned.reset(FreeImage_AllocateT(FIT_RGBAF, width, height));
  FIBITMAP* out = owned.get();
  const size_t row_bytes = static_cast<size_t>(width) * static_cast<size_t>(depth / 8);
  if (!out || plane.size() != row_bytes * height) return nullptr;
  const RGBQUAD* palette = type == FIT_BITMAP ? FreeImage_GetPalette(grey) : nullptr;
  for (unsigned y = 0; y < height; ++y) {
    // Plane rows run top to bottom; bitmap scan lines bottom to top.
    const uint8_t* alpha = plane.data() + static_cast<size_t>(height - 1 - y) * row_bytes;
    mergeRow(type, FreeImage_GetScanLine(grey, static_cast<int>(y)), palette, alpha,
             FreeImage_GetScanLine(out, static_cast<int>(y)), width, depth);
  }
  return owned;
}

}  // namespace pixolune
