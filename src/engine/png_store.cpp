#include "engine/png_store.h"

#include <png.h>
#include <stdio.h>

#include <memory>

namespace pixolune {

namespace {

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) fclose(f);
  }
};

struct Layout {
  int bit_depth = 0;
  int colour_type = -1;
  bool bgr = false;  // 8-bit colour samples are in FreeImage's blue-first order.
};

// The PNG form of a bitmap, or colour_type -1 when this writer leaves it to FreeImage.
Layout layoutOf(FIBITMAP* image) {
  const unsigned bpp = FreeImage_GetBPP(image);
  const bool bgr = FI_RGBA_RED == 2;
  switch (FreeImage_GetImageType(image)) {
    case FIT_BITMAP:
      if (bpp == 24) return {8, PNG_COLOR_TYPE_RGB, bgr};
      if (bpp == 32) return {8, PNG_COLOR_TYPE_RGB_ALPHA, bgr};
      if (bpp == 8 && FreeImage_GetColorType(image) == FIC_MINISBLACK && !FreeImage_IsTransparent(image))
        return {8, PNG_COLOR_TYPE_GRAY, false};
      return {};
    case FIT_UINT16: return {16, PNG_COLOR_TYPE_GRAY, false};
    case FIT_RGB16: return {16, PNG_COLOR_TYPE_RGB, false};
    case FIT_RGBA16: return {16, PNG_COLOR_TYPE_RGB_ALPHA, false};
    default: return {};
  }
}

// libpng's own handlers print to the console; failures are our return value.
void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void quietWarning(png_structp, png_const_charp) {}

bool hasTextMetadata(FIBITMAP* image) {
  return FreeImage_GetMetadataCount(FIMD_COMMENTS, image) > 0 || FreeImage_GetMetadataCount(FIMD_XMP, image) > 0;
}

// libpng reports errors by long-jumping here; nothing with a destructor
// lives in this frame, so the jump skips no clean-up.
bool writeRows(png_structp png, png_infop info, FIBITMAP* image, const Layout& layout, FILE* file) {
  if (setjmp(png_jmpbuf(png))) return false;
  const png_uint_32 width = FreeImage_GetWidth(image), height = FreeImage_GetHeight(image);
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, layout.bit_depth, layout.colour_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_set_compression_level(png, 0);
  png_set_filter(png, 0, PNG_FILTER_NONE);
  png_set_compression_buffer_size(png, 1 << 20);
  const png_uint_32 res_x = FreeImage_GetDotsPerMeterX(image), res_y = FreeImage_GetDotsPerMeterY(image);
  if (res_x > 0 && res_y > 0) png_set_pHYs(png, info, res_x, res_y, PNG_RESOLUTION_METER);
  FIICCPROFILE* icc = FreeImage_GetICCProfile(image);
  if (icc && icc->size && icc->data) {
    png_set_option(png, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
    png_set_iCCP(png, info, "Embedded Profile", 0, static_cast<png_const_bytep>(icc->data), icc->size);
  }
  png_write_info(png, info);
  if (layout.bgr) png_set_bgr(png);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (layout.bit_depth == 16) png_set_swap(png);  // PNG samples are big-endian.
#endif
  for (png_uint_32 row = 0; row < height; ++row) png_write_row(png, FreeImage_GetScanLine(image, height - row - 1));
  png_write_end(png, info);
  return true;
}

}  // namespace

bool isUncompressedPngSave(int format_id, int save_flags) {
  return format_id == FIF_PNG && (save_flags & PNG_Z_NO_COMPRESSION) == PNG_Z_NO_COMPRESSION &&
         (save_flags & PNG_INTERLACED) == 0;
}

PngStoreResult storeUncompressedPng(FIBITMAP* image, const std::string& path) {
  const Layout layout = layoutOf(image);
  if (layout.colour_type < 0 || hasTextMetadata(image)) return PngStoreResult::kNotHandled;
  std::unique_ptr<FILE, FileCloser> file(fopen(path.c_str(), "wb"));
  if (!file) return PngStoreResult::kFailed;
  setvbuf(file.get(), nullptr, _IOFBF, 1 << 20);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = info && writeRows(png, info, image, layout, file.get());
  png_destroy_write_struct(&png, info ? &info : nullptr);
  ok = fflush(file.get()) == 0 && ok;
  return ok ? PngStoreResult::kWritten : PngStoreResult::kFailed;
}

}  // namespace pixolune
