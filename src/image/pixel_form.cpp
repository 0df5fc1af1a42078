#include "image/pixel_form.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "image/bitmap.h"

namespace pixolune {

namespace {

constexpr int kRgb[3] = {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE};

unsigned widthOf(FIBITMAP* d) { return FreeImage_GetWidth(d); }
unsigned heightOf(FIBITMAP* d) { return FreeImage_GetHeight(d); }

template <typename T>
T* rowOf(FIBITMAP* d, unsigned y) {
  return reinterpret_cast<T*>(FreeImage_GetScanLine(d, static_cast<int>(y)));
}

// 16 bits to 8, rounded to the nearest value.
BYTE narrow(unsigned v) { return static_cast<BYTE>((v + 128u) / 257u); }
WORD widen(unsigned v) { return static_cast<WORD>(v * 257u); }

// A blank bitmap of the source's size that keeps its resolution.
BitmapPtr blankLike(FIBITMAP* src, FREE_IMAGE_TYPE type, int bpp) {
  BitmapPtr dst(FreeImage_AllocateT(type, static_cast<int>(widthOf(src)), static_cast<int>(heightOf(src)), bpp));
  if (!dst) return nullptr;
  FreeImage_SetDotsPerMeterX(dst.get(), FreeImage_GetDotsPerMeterX(src));
  FreeImage_SetDotsPerMeterY(dst.get(), FreeImage_GetDotsPerMeterY(src));
  if (type == FIT_BITMAP && bpp == 8) {
    RGBQUAD* pal = FreeImage_GetPalette(dst.get());
    for (int i = 0; i < 256; ++i) pal[i].rgbRed = pal[i].rgbGreen = pal[i].rgbBlue = static_cast<BYTE>(i);
  }
  return dst;
}

bool is8BitGrey(FIBITMAP* d) {
  return FreeImage_GetImageType(d) == FIT_BITMAP && FreeImage_GetBPP(d) == 8 &&
         FreeImage_GetColorType(d) == FIC_MINISBLACK;
}

bool isRgba8(FIBITMAP* d) { return FreeImage_GetImageType(d) == FIT_BITMAP && FreeImage_GetBPP(d) == 32; }

// Straight colour c with alpha a over white, both at full scale `top`.
unsigned overWhite(uint64_t c, uint64_t a, uint64_t top) {
  return static_cast<unsigned>((c * a + top * (top - a) + top / 2) / top);
}

BitmapPtr narrowed(FIBITMAP* src) {
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(src);
  const int bpp = type == FIT_UINT16 ? 8 : type == FIT_RGB16 ? 24 : 32;
  BitmapPtr dst = blankLike(src, FIT_BITMAP, bpp);
  if (!dst) return nullptr;
  for (unsigned y = 0; y < heightOf(src); ++y) {
    BYTE* out = rowOf<BYTE>(dst.get(), y);
    if (type == FIT_UINT16) {
      const WORD* in = rowOf<WORD>(src, y);
      for (unsigned x = 0; x < widthOf(src); ++x) out[x] = narrow(in[x]);
    } else if (type == FIT_RGB16) {
      const FIRGB16* in = rowOf<FIRGB16>(src, y);
      for (unsigned x = 0; x < widthOf(src); ++x, out += 3) {
        out[FI_RGBA_RED] = narrow(in[x].red), out[FI_RGBA_GREEN] = narrow(in[x].green);
        out[FI_RGBA_BLUE] = narrow(in[x].blue);
      }
    } else {
      const FIRGBA16* in = rowOf<FIRGBA16>(src, y);
      for (unsigned x = 0; x < widthOf(src); ++x, out += 4) {
        out[FI_RGBA_RED] = narrow(in[x].red), out[FI_RGBA_GREEN] = narrow(in[x].green);
        out[FI_RGBA_BLUE] = narrow(in[x].blue), out[FI_RGBA_ALPHA] = narrow(in[x].alpha);
      }
    }
  }
  return dst;
}

BitmapPtr widened(FIBITMAP* src) {
  const unsigned bpp = FreeImage_GetBPP(src);
  const FREE_IMAGE_TYPE type = bpp == 8 ? FIT_UINT16 : bpp == 24 ? FIT_RGB16 : FIT_RGBA16;
  BitmapPtr dst = blankLike(src, type, 0);
  if (!dst) return nullptr;
  for (unsigned y = 0; y < heightOf(src); ++y) {
    const BYTE* in = rowOf<BYTE>(src, y);
    if (type == FIT_UINT16) {
      WORD* out = rowOf<WORD>(dst.get(), y);
      for (unsigned x = 0; x < widthOf(src); ++x) out[x] = widen(in[x]);
    } else if (type == FIT_RGB16) {
      FIRGB16* out = rowOf<FIRGB16>(dst.get(), y);
      for (unsigned x = 0; x < widthOf(src); ++x, in += 3)
        out[x] = FIRGB16{widen(in[FI_RGBA_RED]), widen(in[FI_RGBA_GREEN]), widen(in[FI_RGBA_BLUE])};
    } else {
      FIRGBA16* out = rowOf<FIRGBA16>(dst.get(), y);
      for (unsigned x = 0; x < widthOf(src); ++x, in += 4)
        out[x] = FIRGBA16{widen(in[FI_RGBA_RED]), widen(in[FI_RGBA_GREEN]), widen(in[FI_RGBA_BLUE]),
                          widen(in[FI_RGBA_ALPHA])};
    }
  }
  return dst;
}

BitmapPtr flattened(FIBITMAP* src) {
  const bool wide = FreeImage_GetImageType(src) == FIT_RGBA16;
  BitmapPtr dst = wide ? blankLike(src, FIT_RGB16, 0) : blankLike(src, FIT_BITMAP, 24);
  if (!dst) return nullptr;
  for (unsigned y = 0; y < heightOf(src); ++y) {
    if (wide) {
      const FIRGBA16* in = rowOf<FIRGBA16>(src, y);
      FIRGB16* out = rowOf<FIRGB16>(dst.get(), y);
      for (unsigned x = 0; x < widthOf(src); ++x) {
        const uint64_t a = in[x].alpha;
        out[x] = FIRGB16{static_cast<WORD>(overWhite(in[x].red, a, 65535)),
                         static_cast<WORD>(overWhite(in[x].green, a, 65535)),
                         static_cast<WORD>(overWhite(in[x].blue, a, 65535))};
      }
    } else {
      const BYTE* in = rowOf<BYTE>(src, y);
      BYTE* out = rowOf<BYTE>(dst.get(), y);
      for (unsigned x = 0; x < widthOf(src); ++x, in += 4, out += 3)
        for (int c : kRgb) out[c] = static_cast<BYTE>(overWhite(in[c], in[FI_RGBA_ALPHA], 255));
    }
  }
  return dst;
}

// Drago tone mapping; a float alpha channel is carried over unchanged.
BitmapPtr toneMap(FIBITMAP* src) {
  BitmapPtr mapped(FreeImage_TmoDrago03(src, 1.0, 0.0));
  if (!mapped || FreeImage_GetImageType(src) != FIT_RGBAF) return mapped;
  BitmapPtr with_alpha(FreeImage_ConvertTo32Bits(mapped.get()));
  if (!with_alpha) return nullptr;
  unsigned w = FreeImage_GetWidth(src), h = FreeImage_GetHeight(src);
  for (unsigned y = 0; y < h; ++y) {
    const FIRGBAF* in = reinterpret_cast<const FIRGBAF*>(FreeImage_GetScanLine(src, static_cast<int>(y)));
    BYTE* out = FreeImage_GetScanLine(with_alpha.get(), static_cast<int>(y));
    for (unsigned x = 0; x < w; ++x)
      out[4 * x + FI_RGBA_ALPHA] = static_cast<BYTE>(std::lround(std::clamp(in[x].alpha, 0.0f, 1.0f) * 255.0f));
  }
  return with_alpha;
}

}  // namespace

bool hasAlpha(FIBITMAP* image) {
  if (!image) return false;
  switch (FreeImage_GetImageType(image)) {
    case FIT_BITMAP: return FreeImage_GetBPP(image) == 32 && FreeImage_GetColorType(image) != FIC_CMYK;
    case FIT_RGBA16:
    case FIT_RGBAF: return true;
    default: return false;
  }
}

BitmapPtr normalizeGrey(BitmapPtr image) {
  if (!image) return nullptr;
  FREE_IMAGE_COLOR_TYPE type = FreeImage_GetColorType(image.get());
  if (type != FIC_MINISWHITE && type != FIC_MINISBLACK) return image;
  const FREE_IMAGE_TYPE pixels = FreeImage_GetImageType(image.get());
  if (pixels == FIT_UINT16 || pixels == FIT_BITMAP) return image;
  return replaceBitmap(image, FreeImage_ConvertToStandardType(image.get(), TRUE));
}

BitmapPtr normalizeHighRange(BitmapPtr image) {
  if (!image || FreeImage_GetBPP(image.get()) <= 32 || isWideImage(image.get())) return image;
  if (FreeImage_GetImageType(image.get()) == FIT_RGBAF) return toneMap(image.get());
  return replaceBitmap(image, FreeImage_TmoDrago03(image.get(), 1.0, 0.0));
}

bool isGreyImage(FIBITMAP* image) {
  return image && (FreeImage_GetImageType(image) == FIT_UINT16 || is8BitGrey(image));
}

bool isWideImage(FIBITMAP* image) {
  if (!image) return false;
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(image);
  return type == FIT_UINT16 || type == FIT_RGB16 || type == FIT_RGBA16;
}

bool isNeutralImage(FIBITMAP* image) {
  if (isGreyImage(image)) return true;
  if (!image) return false;
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(image);
  const unsigned bpp = FreeImage_GetBPP(image);
  if (type == FIT_BITMAP && bpp <= 8) {
    const FREE_IMAGE_COLOR_TYPE colour = FreeImage_GetColorType(image);
    return colour == FIC_MINISBLACK || colour == FIC_MINISWHITE;
  }
  for (unsigned y = 0; y < heightOf(image); ++y) {
    if (type == FIT_BITMAP && (bpp == 24 || bpp == 32)) {
      const BYTE* p = rowOf<BYTE>(image, y);
      for (unsigned x = 0; x < widthOf(image); ++x, p += bpp / 8)
        if (p[0] != p[1] || p[1] != p[2]) return false;
    } else if (type == FIT_RGB16 || type == FIT_RGBA16) {
      const WORD* p = rowOf<WORD>(image, y);
      const unsigned step = type == FIT_RGB16 ? 3 : 4;
      for (unsigned x = 0; x < widthOf(image); ++x, p += step)
        if (p[0] != p[1] || p[1] != p[2]) return false;
    } else {
      return false;
    }
  }
  return true;
}

BitmapPtr toStageForm(BitmapPtr image) {
  if (!image || isWideImage(image.get())) return image;
  if (FreeImage_GetImageType(image.get()) != FIT_BITMAP) {
    image = normalizeGrey(normalizeHighRange(std::move(image)));
    if (!image || isWideImage(image.get()) || FreeImage_GetImageType(image.get()) != FIT_BITMAP) return image;
  }
  FIBITMAP* dib = image.get();
  const unsigned bpp = FreeImage_GetBPP(dib);
  if (bpp == 24 || bpp == 32 || is8BitGrey(dib)) return image;
  const FREE_IMAGE_COLOR_TYPE colour = FreeImage_GetColorType(dib);
  const bool transparent = FreeImage_IsTransparent(dib);
  if (bpp <= 8 && !transparent && (colour == FIC_MINISBLACK || colour == FIC_MINISWHITE))
    return replaceBitmap(image, FreeImage_ConvertToGreyscale(dib));
  return replaceBitmap(image, transparent ? FreeImage_ConvertTo32Bits(dib) : FreeImage_ConvertTo24Bits(dib));
}

BitmapPtr narrowExactly(BitmapPtr image) {
  if (!isWideImage(image.get())) return image;
  return narrowed(image.get());
}

BitmapPtr widenExactly(BitmapPtr image) {
  if (!image || FreeImage_GetImageType(image.get()) != FIT_BITMAP) return image;
  const unsigned bpp = FreeImage_GetBPP(image.get());
  if (!is8BitGrey(image.get()) && bpp != 24 && bpp != 32) return image;
  return widened(image.get());
}

BitmapPtr flattenOverWhite(BitmapPtr image) {
  if (!image) return nullptr;
  FIBITMAP* dib = image.get();
  if (FreeImage_GetImageType(dib) == FIT_BITMAP && FreeImage_GetBPP(dib) <= 8 && FreeImage_IsTransparent(dib)) {
    replaceWith(image, FreeImage_ConvertTo32Bits(dib));
    if (!image) return nullptr;
  }
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(image.get());
  if (!(type == FIT_RGBA16 || (isRgba8(image.get()) && hasAlpha(image.get())))) return image;
  return flattened(image.get());
}

BitmapPtr asColour(BitmapPtr image) {
  if (is8BitGrey(image.get())) return replaceBitmap(image, FreeImage_ConvertTo24Bits(image.get()));
  if (!image || FreeImage_GetImageType(image.get()) != FIT_UINT16) return image;
  BitmapPtr colour = blankLike(image.get(), FIT_RGB16, 0);
  if (colour) {
    for (unsigned y = 0; y < heightOf(image.get()); ++y) {
      const WORD* in = rowOf<WORD>(image.get(), y);
      FIRGB16* out = rowOf<FIRGB16>(colour.get(), y);
      for (unsigned x = 0; x < widthOf(image.get()); ++x) out[x] = FIRGB16{in[x], in[x], in[x]};
    }
  }
  return colour;
}

BitmapPtr greyIfNeutral(BitmapPtr image) {
  if (!image) return nullptr;
  FIBITMAP* dib = image.get();
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(dib);
  const bool rgb8 = type == FIT_BITMAP && FreeImage_GetBPP(dib) == 24;
  if ((!rgb8 && type != FIT_RGB16) || !isNeutralImage(dib)) return image;
  BitmapPtr grey = rgb8 ? blankLike(dib, FIT_BITMAP, 8) : blankLike(dib, FIT_UINT16, 0);
  if (grey) {
    for (unsigned y = 0; y < heightOf(dib); ++y) {
      if (rgb8) {
        const BYTE* in = rowOf<BYTE>(dib, y);
        BYTE* out = rowOf<BYTE>(grey.get(), y);
        for (unsigned x = 0; x < widthOf(dib); ++x) out[x] = in[3 * x];
      } else {
        const FIRGB16* in = rowOf<FIRGB16>(dib, y);
        WORD* out = rowOf<WORD>(grey.get(), y);
        for (unsigned x = 0; x < widthOf(dib); ++x) out[x] = in[x].red;
      }
    }
  }
  return grey;
}

BitmapPtr premultipliedWide(FIBITMAP* image) {
  if (!image) return nullptr;
  const bool wide = FreeImage_GetImageType(image) == FIT_RGBA16;
  if (!wide && !isRgba8(image)) return nullptr;
  BitmapPtr dst = blankLike(image, FIT_RGBA16, 0);
  if (!dst) return nullptr;
  for (unsigned y = 0; y < heightOf(image); ++y) {
    FIRGBA16* out = rowOf<FIRGBA16>(dst.get(), y);
    if (wide) {
      const FIRGBA16* in = rowOf<FIRGBA16>(image, y);
      for (unsigned x = 0; x < widthOf(image); ++x) {
        const uint32_t a = in[x].alpha;
        auto mul = [a](uint32_t c) { return static_cast<WORD>((c * a + 32767u) / 65535u); };
        out[x] = FIRGBA16{mul(in[x].red), mul(in[x].green), mul(in[x].blue), static_cast<WORD>(a)};
      }
    } else {
      const BYTE* in = rowOf<BYTE>(image, y);
      for (unsigned x = 0; x < widthOf(image); ++x, in += 4) {
        const uint32_t a = in[FI_RGBA_ALPHA];
        auto mul = [a](uint32_t c) { return static_cast<WORD>((c * a * 257u + 127u) / 255u); };
        out[x] = FIRGBA16{mul(in[FI_RGBA_RED]), mul(in[FI_RGBA_GREEN]), mul(in[FI_RGBA_BLUE]), widen(a)};
      }
    }
  }
  return dst;
}

BitmapPtr straightFromPremultiplied(FIBITMAP* premultiplied, bool eight_bits) {
  if (!premultiplied || FreeImage_GetImageType(premultiplied) != FIT_RGBA16) return nullptr;
  BitmapPtr dst = eight_bits ? blankLike(premultiplied, FIT_BITMAP, 32) : blankLike(premultiplied, FIT_RGBA16, 0);
  if (!dst) return nullptr;
  const uint64_t top = eight_bits ? 255 : 65535;
  for (unsigned y = 0; y < heightOf(premultiplied); ++y) {
    const FIRGBA16* in = rowOf<FIRGBA16>(premultiplied, y);
    for (unsigned x = 0; x < widthOf(premultiplied); ++x) {
      const uint64_t a = in[x].alpha;
      auto div = [a, top](uint64_t c) {
        return a == 0 ? 0u : static_cast<unsigned>(std::min<uint64_t>(top, (c * top + a / 2) / a));
      };
      if (eight_bits) {
        BYTE* out = rowOf<BYTE>(dst.get(), y) + 4 * x;
        out[FI_RGBA_RED] = static_cast<BYTE>(div(in[x].red));
        out[FI_RGBA_GREEN] = static_cast<BYTE>(div(in[x].green));
        out[FI_RGBA_BLUE] = static_cast<BYTE>(div(in[x].blue));
        out[FI_RGBA_ALPHA] = narrow(in[x].alpha);
      } else {
        rowOf<FIRGBA16>(dst.get(), y)[x] = FIRGBA16{static_cast<WORD>(div(in[x].red)), static_cast<WORD>(div(in[x].green)),
                                             static_cast<WORD>(div(in[x].blue)), in[x].alpha};
      }
    }
  }
  return dst;
}

BitmapPtr resampleOnPremultiplied(BitmapPtr image, const std::function<FIBITMAP*(FIBITMAP*)>& op) {
  if (!image) return nullptr;
  const bool eight_bits = FreeImage_GetImageType(image.get()) == FIT_BITMAP;
  BitmapPtr premultiplied = premultipliedWide(image.get());
  BitmapPtr done(premultiplied ? op(premultiplied.get()) : nullptr);
  return done ? straightFromPremultiplied(done.get(), eight_bits) : nullptr;
}

void premultiply8(FIBITMAP* image) {
  if (!image || !isRgba8(image)) return;
  for (unsigned y = 0; y < heightOf(image); ++y) {
    BYTE* p = rowOf<BYTE>(image, y);
    for (unsigned x = 0; x < widthOf(image); ++x, p += 4)
      for (int c : kRgb) p[c] = static_cast<BYTE>((p[c] * p[FI_RGBA_ALPHA] + 127) / 255);
  }
}

void unpremultiply8(FIBITMAP* image) {
  if (!image || !isRgba8(image)) return;
  for (unsigned y = 0; y < heightOf(image); ++y) {
    BYTE* p = rowOf<BYTE>(image, y);
    for (unsigned x = 0; x < widthOf(image); ++x, p += 4) {
      const unsigned a = p[FI_RGBA_ALPHA];
      for (int c : kRgb) p[c] = a == 0 ? 0 : static_cast<BYTE>(std::min(255u, (p[c] * 255u + a / 2) / a));
    }
  }
}

}  // namespace pixolune
