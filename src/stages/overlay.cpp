#include "stages/overlay.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "image/pixel_form.h"

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

namespace {

constexpr int kLayerColours[3] = {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE};

// True when every pixel the layer covers is grey, so a grey picture can take it.
bool coversNeutrally(FIBITMAP* layer) {
  for (unsigned y = 0; y < FreeImage_GetHeight(layer); ++y) {
    const BYTE* p = FreeImage_GetScanLine(layer, static_cast<int>(y));
    for (unsigned x = 0; x < FreeImage_GetWidth(layer); ++x, p += 4)
      if (p[FI_RGBA_ALPHA] != 0 && (p[0] != p[1] || p[1] != p[2])) return false;
  }
  return true;
}

// Where the picture's samples are: `step` samples a pixel, the colour
// samples (one for grey), and the alpha sample or -1.
struct SampleLayout {
  unsigned step;
  int colours[3];
  int count;
  int alpha;
};

SampleLayout layoutOf(FIBITMAP* image) {
  switch (FreeImage_GetImageType(image)) {
    case FIT_UINT16: return {1, {0, 0, 0}, 1, -1};
    case FIT_RGB16: return {3, {0, 1, 2}, 3, -1};
    case FIT_RGBA16: return {4, {0, 1, 2}, 3, 3};
    default: break;
  }
  const unsigned bpp = FreeImage_GetBPP(image);
  if (bpp == 8) return {1, {0, 0, 0}, 1, -1};
  return {bpp / 8, {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE}, 3, bpp == 32 ? FI_RGBA_ALPHA : -1};
}

// Over an opaque picture: out = (layer * a + picture * (255 - a)) / 255,
// rounded, the layer's 8-bit colour taken to the picture's scale.
template <typename T>
void blendOpaque(T* dst, const BYTE* src, const SampleLayout& form, unsigned top) {
  const unsigned a = src[FI_RGBA_ALPHA];
  for (int i = 0; i < form.count; ++i) {
    T& d = dst[form.colours[i]];
    const unsigned l = src[kLayerColours[i]] * (top / 255);
    d = static_cast<T>((static_cast<uint64_t>(l) * a + static_cast<uint64_t>(d) * (255 - a) + 127) / 255);
  }
}

// Over a picture with straight alpha: Porter and Duff's "over".
template <typename T>
void blendTransparent(T* dst, const BYTE* src, const SampleLayout& form, unsigned top) {
  const double fa = src[FI_RGBA_ALPHA] / 255.0, fd = dst[form.alpha] / static_cast<double>(top);
  const double out_alpha = fa + fd * (1 - fa);
  for (int i = 0; i < form.count; ++i) {
    T& d = dst[form.colours[i]];
    const double l = src[kLayerColours[i]] * (top / 255.0);
    d = static_cast<T>(std::lround((l * fa + d * fd * (1 - fa)) / out_alpha));
  }
  dst[form.alpha] = static_cast<T>(std::lround(out_alpha * top));
}

template <typename T>
void blendLayer(FIBITMAP* image, FIBITMAP* layer, unsigned top) {
  const SampleLayout form = layoutOf(image);
  for (unsigned y = 0; y < FreeImage_GetHeight(image); ++y) {
    T* dst = reinterpret_cast<T*>(FreeImage_GetScanLine(image, static_cast<int>(y)));
    const BYTE* src = FreeImage_GetScanLine(layer, static_cast<int>(y));
    for (unsigned x = 0; x < FreeImage_GetWidth(image); ++x, dst += form.step, src += 4) {
      if (src[FI_RGBA_ALPHA] == 0) continue;
      if (form.alpha < 0) blendOpaque(dst, src, form, top);
      else blendTransparent(dst, src, form, top);
    }
  }
}

bool takesLayers(FIBITMAP* image) {
  if (isWideImage(image)) return true;
  const unsigned bpp = FreeImage_GetBPP(image);
  return FreeImage_GetImageType(image) == FIT_BITMAP && (bpp == 24 || bpp == 32 || isGreyImage(image));
}

}  // namespace

BitmapPtr compositeOver(BitmapPtr image, FIBITMAP* layer) {
  if (!image || !layer || !takesLayers(image.get()) || FreeImage_GetBPP(layer) != 32) return image;
  const bool same_size = FreeImage_GetWidth(layer) == FreeImage_GetWidth(image.get()) &&
                         FreeImage_GetHeight(layer) == FreeImage_GetHeight(image.get());
  if (!same_size) return image;
  if (isGreyImage(image.get()) && !coversNeutrally(layer)) {
    image = asColour(std::move(image));
    if (!image) return nullptr;
  }
  if (isWideImage(image.get())) blendLayer<WORD>(image.get(), layer, 65535);
  else blendLayer<BYTE>(image.get(), layer, 255);
  return image;
}

}  // namespace pixolune
