#include "engine/bit_depth.h"

#include <algorithm>
#include <cmath>

#include "engine/bitmap.h"
#include "engine/conversion_job.h"
#include "engine/format_table.h"
#include "platform/text.h"

namespace pixolune {

namespace {

// 16 bits to 8, rounded to the nearest value.
inline BYTE scale16(WORD v) { return static_cast<BYTE>((v + 128u) / 257u); }

std::vector<int> depthList(const std::string& format_key) {
  std::vector<int> depths;
  auto it = formatTable().find(format_key);
  if (it == formatTable().end()) return depths;
  for (const std::string& field : split(it->second.depths, ','))
    if (!field.empty()) depths.push_back(std::stoi(field));
  return depths;
}

FIBITMAP* grey16To8(FIBITMAP* src) {
  unsigned w = FreeImage_GetWidth(src), h = FreeImage_GetHeight(src);
  FIBITMAP* dst = FreeImage_Allocate(static_cast<int>(w), static_cast<int>(h), 8);
  if (!dst) return nullptr;
  RGBQUAD* pal = FreeImage_GetPalette(dst);
  for (int i = 0; i < 256; ++i) pal[i].rgbRed = pal[i].rgbGreen = pal[i].rgbBlue = static_cast<BYTE>(i);
  for (unsigned y = 0; y < h; ++y) {
    const WORD* in = reinterpret_cast<const WORD*>(FreeImage_GetScanLine(src, static_cast<int>(y)));
    BYTE* out = FreeImage_GetScanLine(dst, static_cast<int>(y));
    for (unsigned x = 0; x < w; ++x) out[x] = scale16(in[x]);
  }
  return dst;
}

FIBITMAP* rgb16To8(FIBITMAP* src, bool alpha) {
  unsigned w = FreeImage_GetWidth(src), h = FreeImage_GetHeight(src);
  FIBITMAP* dst = FreeImage_Allocate(static_cast<int>(w), static_cast<int>(h), alpha ? 32 : 24);
  if (!dst) return nullptr;
  unsigned step = alpha ? 4 : 3;
  for (unsigned y = 0; y < h; ++y) {
    const BYTE* in = FreeImage_GetScanLine(src, static_cast<int>(y));
    BYTE* out = FreeImage_GetScanLine(dst, static_cast<int>(y));
    for (unsigned x = 0; x < w; ++x, out += step) {
      if (alpha) {
        const FIRGBA16* p = reinterpret_cast<const FIRGBA16*>(in) + x;
        out[FI_RGBA_RED] = scale16(p->red);
        out[FI_RGBA_GREEN] = scale16(p->green);
        out[FI_RGBA_BLUE] = scale16(p->blue);
        out[FI_RGBA_ALPHA] = scale16(p->alpha);
      } else {
        const FIRGB16* p = reinterpret_cast<const FIRGB16*>(in) + x;
        out[FI_RGBA_RED] = scale16(p->red);
        out[FI_RGBA_GREEN] = scale16(p->green);
        out[FI_RGBA_BLUE] = scale16(p->blue);
      }
    }
  }
  return dst;
}

// Drago tone mapping; a float alpha channel is carried over unchanged.
FIBITMAP* toneMap(FIBITMAP* src) {
  BitmapPtr mapped(FreeImage_TmoDrago03(src, 1.0, 0.0));
  if (!mapped || FreeImage_GetImageType(src) != FIT_RGBAF) return mapped.release();
  BitmapPtr with_alpha(FreeImage_ConvertTo32Bits(mapped.get()));
  if (!with_alpha) return nullptr;
  unsigned w = FreeImage_GetWidth(src), h = FreeImage_GetHeight(src);
  for (unsigned y = 0; y < h; ++y) {
    const FIRGBAF* in = reinterpret_cast<const FIRGBAF*>(FreeImage_GetScanLine(src, static_cast<int>(y)));
    BYTE* out = FreeImage_GetScanLine(with_alpha.get(), static_cast<int>(y));
    for (unsigned x = 0; x < w; ++x)
      out[4 * x + FI_RGBA_ALPHA] = static_cast<BYTE>(std::lround(std::clamp(in[x].alpha, 0.0f, 1.0f) * 255.0f));
  }
  return with_alpha.release();
}

bool hasAlphaChannel(FIBITMAP* image) {
  return FreeImage_GetImageType(image) == FIT_BITMAP && FreeImage_GetBPP(image) == 32 &&
         FreeImage_GetColorType(image) == FIC_RGBALPHA;
}

// 8 bits per channel to 16. FreeImage shifts each sample up by 8 bits, so
// white would be 65280; multiplying by 257 keeps 255 at full scale.
FIBITMAP* rgb8To16(FIBITMAP* image) {
  FIBITMAP* wide = FreeImage_ConvertToRGB16(image);
  if (!wide || FreeImage_GetImageType(image) != FIT_BITMAP) return wide;
  const unsigned w = FreeImage_GetWidth(wide), h = FreeImage_GetHeight(wide);
  for (unsigned y = 0; y < h; ++y) {
    FIRGB16* p = reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(wide, static_cast<int>(y)));
    for (unsigned x = 0; x < w; ++x, ++p)
      for (WORD* v : {&p->red, &p->green, &p->blue}) *v = static_cast<WORD>((*v >> 8) * 257u);
  }
  return wide;
}

FIBITMAP* toDepth(FIBITMAP* image, int target, const std::string& key) {
  switch (target) {
    case 96: return FreeImage_ConvertToRGBF(image);
    case 48: return rgb8To16(image);
    case 32: return FreeImage_ConvertTo32Bits(image);
    case 24: return FreeImage_ConvertTo24Bits(image);
    case 16: {
      BitmapPtr owned;
      if (FreeImage_GetBPP(image) > 32) {
        owned.reset(FreeImage_ConvertTo24Bits(image));
        if (!owned) return nullptr;
      }
      FIBITMAP* src = owned ? owned.get() : image;
      return (key == "ico" || key == "tga") ? FreeImage_ConvertTo16Bits555(src) : FreeImage_ConvertTo16Bits565(src);
    }
    case 8: {
      if (key == "j2k" || key == "jp2" || key == "jpg" || key == "jxr") return FreeImage_ConvertTo8Bits(image);
      BitmapPtr owned;
      if (FreeImage_GetBPP(image) != 24) {
        owned.reset(FreeImage_ConvertTo24Bits(image));
        if (!owned) return nullptr;
      }
      return FreeImage_ColorQuantizeEx(owned ? owned.get() : image, FIQ_WUQUANT, 256, 0, nullptr);
    }
    case 4: return FreeImage_ConvertTo4Bits(image);
    case 1: return FreeImage_Dither(image, FID_FS);
    default: return nullptr;
  }
}

}  // namespace

int autoBitDepth(const std::string& format_key, int source_bpp) {
  std::vector<int> depths = depthList(format_key);
  if (depths.empty()) return 0;
  for (int depth : depths)
    if (depth >= source_bpp) return depth;
  return depths.back();
}

FIBITMAP* convertBitDepth(FIBITMAP* image) {
  if (!image) return nullptr;
  ConversionJob& job = conversionJob();
  if (job.auto_bpp) {
    job.target_bpp = autoBitDepth(job.output_extension, job.source_bpp);
    // A deep source with transparency keeps it: the automatic choice for it is
    // the 32-bit depth when the format offers one, not a deeper opaque one.
    std::vector<int> depths = depthList(job.output_extension);
    if (job.source_bpp > 32 && job.target_bpp != 32 && hasAlphaChannel(image) &&
        std::find(depths.begin(), depths.end(), 32) != depths.end())
      job.target_bpp = 32;
  }
  if (static_cast<int>(FreeImage_GetBPP(image)) == job.target_bpp) return image;
  return replaceBitmap(image, toDepth(image, job.target_bpp, job.output_extension));
}

FIBITMAP* normalizeGrey(FIBITMAP* image) {
  if (!image) return nullptr;
  FREE_IMAGE_COLOR_TYPE type = FreeImage_GetColorType(image);
  if (type != FIC_MINISWHITE && type != FIC_MINISBLACK) return image;
  if (FreeImage_GetImageType(image) == FIT_UINT16) return replaceBitmap(image, grey16To8(image));
  return replaceBitmap(image, FreeImage_ConvertToStandardType(image, TRUE));
}

FIBITMAP* normalizeHighRange(FIBITMAP* image) {
  if (!image || FreeImage_GetBPP(image) <= 32) return image;
  switch (FreeImage_GetImageType(image)) {
    case FIT_RGB16: return replaceBitmap(image, rgb16To8(image, false));
    case FIT_RGBA16: return replaceBitmap(image, rgb16To8(image, true));
    case FIT_RGBAF: return replaceBitmap(image, toneMap(image));
    default: return replaceBitmap(image, FreeImage_TmoDrago03(image, 1.0, 0.0));
  }
}

}  // namespace pixolune
