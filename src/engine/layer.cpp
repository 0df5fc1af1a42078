#include "engine/layer.h"

#include <memory>
#include <string>

namespace pixolune {

namespace {

struct MemoryDeleter {
  void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};
using MemoryPtr = std::unique_ptr<FIMEMORY, MemoryDeleter>;

}  // namespace

BitmapPtr layerToBitmap(const Surface& layer) {
  std::string png;
  if (!encodePng(layer, &png) || png.empty()) return nullptr;
  MemoryPtr memory(FreeImage_OpenMemory(reinterpret_cast<BYTE*>(png.data()), static_cast<DWORD>(png.size())));
  if (!memory) return nullptr;
  BitmapPtr decoded(FreeImage_LoadFromMemory(FIF_PNG, memory.get(), 0));
  if (decoded && FreeImage_GetBPP(decoded.get()) != 32) decoded.reset(FreeImage_ConvertTo32Bits(decoded.get()));
  return decoded;
}

FIBITMAP* to24Bits(FIBITMAP* image) {
  if (!image || FreeImage_GetBPP(image) == 24) return image;
  return replaceBitmap(image, FreeImage_ConvertTo24Bits(image));
}

// FreeImage_Composite divides by 256, which darkens every pixel it touches
// by up to one level (white becomes 254) even where the layer is clear.
FIBITMAP* compositeOver(FIBITMAP* image, FIBITMAP* layer) {
  if (!image || !layer || FreeImage_GetBPP(image) != 24 || FreeImage_GetBPP(layer) != 32) return image;
  const unsigned w = FreeImage_GetWidth(image), h = FreeImage_GetHeight(image);
  if (FreeImage_GetWidth(layer) != w || FreeImage_GetHeight(layer) != h) return image;
  for (unsigned y = 0; y < h; ++y) {
    BYTE* dst = FreeImage_GetScanLine(image, static_cast<int>(y));
    const BYTE* src = FreeImage_GetScanLine(layer, static_cast<int>(y));
    for (unsigned x = 0; x < w; ++x, dst += 3, src += 4) {
      const unsigned a = src[FI_RGBA_ALPHA];
      if (a == 0) continue;
      for (int c : {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE})
        dst[c] = static_cast<BYTE>((src[c] * a + dst[c] * (255 - a) + 127) / 255);
    }
  }
  return image;
}

}  // namespace pixolune
