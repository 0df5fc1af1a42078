#include "image/format_table.h"

#include <FreeImage.h>

#include "settings/settings.h"

namespace pixolune {

FormatTable& formatTable() {
  static FormatTable table;
  return table;
}

void buildFormatTable() {
  struct Row {
    const char* key;
    int id;
    const char* description;
    const char* depths;
  };
  static const Row kRows[] = {
      {"bmp", FIF_BMP, "Windows or OS/2 Bitmap", "1,4,8,16,24,32"},
      {"exr", FIF_EXR, "ILM OpenEXR", "96"},
      {"gif", FIF_GIF, "Graphics Interchange Format", "8"},
      {"hdr", FIF_HDR, "High Dynamic Range Image", "96"},
      {"ico", FIF_ICO, "Windows Icon", "1,4,8,16,24,32"},
      {"j2k", FIF_J2K, "JPEG-2000 Codestream", "8,24,32,48"},
      {"jng", FIF_JNG, "JPEG Network Graphics", "24,32"},
      {"jp2", FIF_JP2, "JPEG-2000 File Format", "8,24,32,48"},
      {"jpg", FIF_JPEG, "JPEG File Format", "8,24"},
      {"jxr", FIF_JXR, "JPEG XR Image Format", "1,8,16,24,32,48,96"},
      {"pbm", FIF_PBM, "Portable Bitmap", "1"},
      {"pfm", FIF_PFM, "Portable Floatmap", "96"},
      {"pgm", FIF_PGM, "Portable Greymap", "8"},
      {"png", FIF_PNG, "Portable Network Graphics", "1,4,8,24,32,48"},
      {"ppm", FIF_PPM, "Portable Pixelmap", "24,48"},
      {"tga", FIF_TARGA, "Truevision Targa", "8,16,24,32"},
      {"tiff", FIF_TIFF, "Tagged Image File Format", "1,4,8,24,32,48,96"},
      {"wbmp", FIF_WBMP, "Wireless Bitmap", "1"},
      {"webp", FIF_WEBP, "Google WebP Image Format", "24,32"},
      {"xpm", FIF_XPM, "X11 Pixmap Format", "24"},
  };
  FormatTable& table = formatTable();
  table.clear();
  for (const Row& row : kRows) table[row.key] = FormatInfo{row.id, row.key, row.description, row.depths};
}

int loadFlagsFor(const std::string& format_key, const Settings& settings) {
  if (format_key != "psd") return 0;
  switch (settings.psd_color_model) {
    case kColorModelCmyk: return PSD_CMYK;
    case kColorModelLab: return PSD_LAB;
    default: return PSD_DEFAULT;
  }
}

namespace {

// Maps a setting code to a flag through a small table; out-of-range codes give 0.
template <size_t N>
int pick(int code, const int (&flags)[N]) {
  return code >= 0 && static_cast<size_t>(code) < N ? flags[code] : 0;
}

int jpegFlags(const Settings& s) {
  static const int kChroma[] = {JPEG_SUBSAMPLING_444, JPEG_SUBSAMPLING_422, JPEG_SUBSAMPLING_420,
                                JPEG_SUBSAMPLING_411};
  static const int kSaveAs[] = {0, JPEG_BASELINE, JPEG_OPTIMIZE, JPEG_PROGRESSIVE};
  return s.jpg_quality | pick(s.jpg_chroma, kChroma) | pick(s.jpg_save_as, kSaveAs);
}

}  // namespace

int saveFlagsFor(const std::string& key, const Settings& s) {
  if (key == "bmp") return pick(s.bmp_compression, {0, BMP_SAVE_RLE});
  if (key == "exr") return pick(s.exr_compression, {EXR_NONE, EXR_ZIP, EXR_PIZ, EXR_PXR24, EXR_B44});
  if (key == "jpg") return jpegFlags(s);
  if (key == "jxr") return JXR_LOSSLESS;
  if (key == "png") {
    int flags = pick(s.png_compression,
                     {PNG_Z_NO_COMPRESSION, PNG_Z_BEST_SPEED, PNG_Z_DEFAULT_COMPRESSION, PNG_Z_BEST_COMPRESSION});
    return s.png_interlaced ? flags | PNG_INTERLACED : flags;
  }
  if (key == "tga") return pick(s.tga_compression, {0, TARGA_SAVE_RLE});
  if (key == "tiff") {
    int flags = pick(s.tiff_compression, {TIFF_NONE, TIFF_CCITTFAX3, TIFF_CCITTFAX4, TIFF_PACKBITS, TIFF_DEFLATE,
                                          TIFF_ADOBE_DEFLATE, TIFF_LZW, TIFF_JPEG, TIFF_LOGLUV});
    return s.tiff_color_model == kColorModelCmyk ? flags | TIFF_CMYK : flags;
  }
  if (key == "webp") return s.webp_quality == 100 ? WEBP_LOSSLESS : s.webp_quality;
  return 0;
}

const std::vector<std::pair<std::string, DepthField>>& bitDepthFields() {
  static const std::vector<std::pair<std::string, DepthField>> kFields = {
      {"bmp", &Settings::bmp_bpp}, {"dds", &Settings::dds_bpp},   {"exr", &Settings::exr_bpp},
      {"gif", &Settings::gif_bpp}, {"hdr", &Settings::hdr_bpp},   {"ico", &Settings::ico_bpp},
      {"j2k", &Settings::j2k_bpp}, {"jng", &Settings::jng_bpp},   {"jp2", &Settings::jp2_bpp},
      {"jpg", &Settings::jpg_bpp}, {"jxr", &Settings::jxr_bpp},   {"pbm", &Settings::pbm_bpp},
      {"pcx", &Settings::pcx_bpp}, {"pfm", &Settings::pfm_bpp},   {"pgm", &Settings::pgm_bpp},
      {"png", &Settings::png_bpp}, {"ppm", &Settings::ppm_bpp},   {"psd", &Settings::psd_bpp},
      {"tga", &Settings::tga_bpp}, {"tiff", &Settings::tiff_bpp}, {"wbmp", &Settings::wbmp_bpp},
      {"webp", &Settings::webp_bpp}, {"xpm", &Settings::xpm_bpp},
  };
  return kFields;
}

int bitDepthSettingFor(const std::string& key, const Settings& settings) {
  for (const auto& [known, field] : bitDepthFields())
    if (known == key) return settings.*field;
  return 0;
}

}  // namespace pixolune
