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

FIBITMAP* compositeOver(FIBITMAP* image, FIBITMAP* layer) {
  FIBITMAP* blended = FreeImage_Composite(layer, FALSE, nullptr, image);
  return blended ? replaceBitmap(image, blended) : image;
}

}  // namespace pixolune
