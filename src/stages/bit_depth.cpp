#include "stages/bit_depth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "image/bitmap.h"
#include "image/format_table.h"
#include "image/pixel_form.h"
#include "platform/text.h"

namespace pixolune {

namespace {

std::vector<int> depthList(const std::string& format_key) {
  std::vector<int> depths;
  auto it = formatTable().find(format_key);
  if (it == formatTable().end()) return depths;
  for (const std::string& field : split(it->second.depths, ','))
    if (!field.empty()) depths.push_back(std::stoi(field));
  return depths;
}

bool listHas(const std::vector<int>& depths, int depth) {
  return std::find(depths.begin(), depths.end(), depth) != depths.end();
}

// True when the output format's encoder takes bitmaps of this type.
bool formatStores(int format, FREE_IMAGE_TYPE type) {
  return format >= 0 && FreeImage_FIFSupportsExportType(static_cast<FREE_IMAGE_FORMAT>(format), type);
}

int wideDepth(FREE_IMAGE_TYPE type) { return type == FIT_UINT16 ? 16 : type == FIT_RGB16 ? 48 : 64; }

FREE_IMAGE_TYPE typeOf(const BitmapPtr& image) { return FreeImage_GetImageType(image.get()); }

// 8 bits per channel to 16. FreeImage shifts each sample up by 8 bits, so
// white would be 65280; widening by 257 keeps 255 at full scale.
BitmapPtr toRgb16(BitmapPtr image) {
  image = flattenOverWhite(std::move(image));
  if (!image || typeOf(image) == FIT_RGB16) return image;
  image = asColour(std::move(image));
  if (!image || typeOf(image) == FIT_RGB16) return image;
  if (typeOf(image) != FIT_BITMAP) return replaceBitmap(image, FreeImage_ConvertToRGB16(image.get()));
  if (FreeImage_GetBPP(image.get()) != 24) replaceWith(image, FreeImage_ConvertTo24Bits(image.get()));
  return widenExactly(std::move(image));
}

BitmapPtr toRgba16(BitmapPtr image) {
  image = toStageForm(std::move(image));
  if (isWideImage(image.get())) return replaceBitmap(image, FreeImage_ConvertToRGBA16(image.get()));
  image = narrowExactly(std::move(image));
  if (!image) return nullptr;
  if (FreeImage_GetBPP(image.get()) != 32) replaceWith(image, FreeImage_ConvertTo32Bits(image.get()));
  return widenExactly(std::move(image));
}

// 16-bit grey, for formats that store it.
BitmapPtr toGrey16(BitmapPtr image) {
  image = greyIfNeutral(flattenOverWhite(std::move(image)));
  if (!image || typeOf(image) == FIT_UINT16) return image;
  image = narrowExactly(std::move(image));
  if (image && !isGreyImage(image.get())) replaceWith(image, FreeImage_ConvertToGreyscale(image.get()));
  return widenExactly(std::move(image));
}

// The 8-bit-per-channel opaque form the shallow depths start from.
BitmapPtr opaqueNarrow(BitmapPtr image) { return narrowExactly(flattenOverWhite(toStageForm(std::move(image)))); }

BitmapPtr to24(BitmapPtr image) {
  image = opaqueNarrow(std::move(image));
  if (!image || FreeImage_GetBPP(image.get()) == 24) return image;
  return replaceBitmap(image, FreeImage_ConvertTo24Bits(image.get()));
}

// The 24-bit image's colours as an exact palette, or null when it has more
// than 256 of them (or memory runs out).
BitmapPtr exactPalette(FIBITMAP* image) {
  const unsigned w = FreeImage_GetWidth(image), h = FreeImage_GetHeight(image);
  BitmapPtr indexed(FreeImage_Allocate(static_cast<int>(w), static_cast<int>(h), 8));
  if (!indexed) return nullptr;
  RGBQUAD* palette = FreeImage_GetPalette(indexed.get());
  std::unordered_map<uint32_t, BYTE> index;
  for (unsigned y = 0; y < h; ++y) {
    const BYTE* in = FreeImage_GetScanLine(image, static_cast<int>(y));
    BYTE* out = FreeImage_GetScanLine(indexed.get(), static_cast<int>(y));
    for (unsigned x = 0; x < w; ++x, in += 3) {
      const uint32_t key = static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
                           static_cast<uint32_t>(in[2]) << 16;
      auto found = index.find(key);
      if (found == index.end()) {
        if (index.size() == 256) return nullptr;
        const BYTE next = static_cast<BYTE>(index.size());
        palette[next].rgbRed = in[FI_RGBA_RED], palette[next].rgbGreen = in[FI_RGBA_GREEN];
        palette[next].rgbBlue = in[FI_RGBA_BLUE];
        found = index.emplace(key, next).first;
      }
      out[x] = found->second;
    }
  }
  return indexed;
}

// A palette of 256: grey images keep their grey levels exactly (a neutral
// colour image becomes grey first), so does a colour image of at most 256
// colours; others go through Wu's quantiser, which works on 5 bits per
// channel.
BitmapPtr toPalette(BitmapPtr image) {
  image = greyIfNeutral(to24(std::move(image)));
  if (!image || isGreyImage(image.get())) return image;
  BitmapPtr exact = exactPalette(image.get());
  if (exact) return exact;
  return replaceBitmap(image, FreeImage_ColorQuantizeEx(image.get(), FIQ_WUQUANT, 256, 0, nullptr));
}

BitmapPtr to16Bits(BitmapPtr image, const DepthOptions& o) {
  const std::string& key = o.format_key;
  if (formatStores(o.format_id, FIT_UINT16)) return toGrey16(std::move(image));
  image = to24(std::move(image));
  if (!image) return nullptr;
  return replaceBitmap(image, (key == "ico" || key == "tga") ? FreeImage_ConvertTo16Bits555(image.get())
                                                             : FreeImage_ConvertTo16Bits565(image.get()));
}

// Applies a FreeImage conversion to the opaque 8-bit form.
BitmapPtr opaqueThen(BitmapPtr image, FIBITMAP* (*convert)(FIBITMAP*)) {
  image = opaqueNarrow(std::move(image));
  return image ? replaceBitmap(image, convert(image.get())) : nullptr;
}

FIBITMAP* dither(FIBITMAP* image) { return FreeImage_Dither(image, FID_FS); }

BitmapPtr toDepth(BitmapPtr image, int target, const DepthOptions& o) {
  const std::string& key = o.format_key;
  switch (target) {
    case 96:
      image = flattenOverWhite(std::move(image));
      return image ? replaceBitmap(image, FreeImage_ConvertToRGBF(image.get())) : nullptr;
    case 64: return toRgba16(std::move(image));
    case 48: return toRgb16(std::move(image));
    case 32:
      image = narrowExactly(toStageForm(std::move(image)));
      if (image && FreeImage_GetBPP(image.get()) != 32) replaceWith(image, FreeImage_ConvertTo32Bits(image.get()));
      return image;
    case 24: return to24(std::move(image));
    case 16: return to16Bits(std::move(image), o);
    case 8:
      if (key == "j2k" || key == "jp2" || key == "jpg" || key == "jxr") return opaqueThen(std::move(image), FreeImage_ConvertTo8Bits);
      return toPalette(std::move(image));
    case 4: return opaqueThen(std::move(image), FreeImage_ConvertTo4Bits);
    case 1: return opaqueThen(std::move(image), dither);
    default: return nullptr;
  }
}

// Already at the target: the depth matches and the form is one the format
// takes at that depth (a 16-bit grey image is not a 5-6-5 bitmap).
bool alreadyAt(FIBITMAP* image, int target, int format) {
  if (static_cast<int>(FreeImage_GetBPP(image)) != target) return false;
  if (isWideImage(image)) return formatStores(format, FreeImage_GetImageType(image));
  return FreeImage_GetImageType(image) == FIT_BITMAP && !(target == 16 && formatStores(format, FIT_UINT16));
}
}  // namespace

int autoBitDepth(const std::string& format_key, int source_bpp) {
  std::vector<int> depths = depthList(format_key);
  if (depths.empty()) return 0;
  for (int depth : depths)
    if (depth >= source_bpp) return depth;
  return depths.back();
}

DepthOptions depthOptionsFrom(const Settings& settings) {
  DepthOptions o;
  o.format_key = settings.output_format;
  auto row = formatTable().find(o.format_key);
  o.format_id = row == formatTable().end() ? -1 : row->second.format_id;
  o.fixed_bpp = bitDepthSettingFor(o.format_key, settings);
  return o;
}

int chooseBitDepth(FIBITMAP* image, bool grey_takes_colour, int source_bpp, const DepthOptions& o) {
  if (o.fixed_bpp != 0 || !image) return o.fixed_bpp;
  int target = autoBitDepth(o.format_key, source_bpp);
  const std::vector<int> depths = depthList(o.format_key);
  const bool alpha = hasAlpha(image);
  const bool grey = isGreyImage(image) && !grey_takes_colour;
  // 16 bits per channel are written in the image's own kind wherever the
  // format stores that. A picture that a stage or the tone mapping brought
  // to 8 bits per channel is not widened again: that would only double the
  // file with samples that are all multiples of 257.
  if (isWideImage(image)) {
    const FREE_IMAGE_TYPE wide = alpha ? FIT_RGBA16 : grey ? FIT_UINT16 : FIT_RGB16;
    if (formatStores(o.format_id, wide)) return wideDepth(wide);
  } else if (target > 32) {
    target = autoBitDepth(o.format_key, alpha ? 32 : 24);
  }
  // Transparency is kept where the format has a depth for it; a grey
  // document that takes colour gets a colour depth, never a palette that
  // would cut its levels; a grey image stays grey at 8 bits.
  if (alpha && listHas(depths, 32)) target = 32;
  else if (grey_takes_colour) target = autoBitDepth(o.format_key, std::max(source_bpp, 24));
  else if (grey && target > 8 && listHas(depths, 8)) target = 8;
  return target;
}

Status convertBitDepth(BitmapPtr& image, int target_bpp, const DepthOptions& o) {
  if (!image) return Status::invalid("no image");
  if (alreadyAt(image.get(), target_bpp, o.format_id)) return Status();
  image = toDepth(std::move(image), target_bpp, o);
  if (image) return Status();
  return Status::unsupported("the image could not be brought to " + std::to_string(target_bpp) +
                             " bits per pixel (or memory ran out)");
}

}  // namespace pixolune
