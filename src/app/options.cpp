#include "app/options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/text.h"

namespace pixolune {

namespace {

uint8_t u8(const OptionValue& v) { return static_cast<uint8_t>(v.number); }

// Every option that sets Settings, in the order of the usage documentation.
// clang-format off
const OptionSpec kOptions[] = {
      {"--DDS-LOAD-AS", ValueForm::kKeyword, kKeywordsDdsLoadAs, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.dds_load_as = v.number; }},
      {"--RAW-LOAD-AS", ValueForm::kKeyword, kKeywordsRawLoadAs, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.raw_load_as = v.number; }},
      {"--GIF-FRAME-LOADING", ValueForm::kKeyword, kKeywordsFrameLoading, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.gif_frame_loading = v.number; }},
      {"--ICO-FRAME-LOADING", ValueForm::kKeyword, kKeywordsFrameLoading, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.ico_frame_loading = v.number; }},
      {"--TIFF-FRAME-LOADING", ValueForm::kKeyword, kKeywordsFrameLoading, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.tiff_frame_loading = v.number; }},
      {"--RAW-TONE-MAPPING", ValueForm::kKeyword, kKeywordsToneMapping, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.raw_tone_mapping = v.number; }},
      {"--PSD-COLOR-MODEL", ValueForm::kKeyword, kKeywordsColorModel, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.psd_color_model = v.number; }},
      {"--RAW-HEADER-SIZE", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.raw_header_size = v.number; }},
      {"--RAW-WIDTH", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.raw_image_width = v.number; }},
      {"--RAW-HEIGHT", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.raw_image_height = v.number; }},
      {"--BMP-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.bmp_bpp = v.number; }},
      {"--DDS-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.dds_bpp = v.number; }},
      {"--EXR-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.exr_bpp = v.number; }},
      {"--GIF-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.gif_bpp = v.number; }},
      {"--HDR-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.hdr_bpp = v.number; }},
      {"--ICO-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.ico_bpp = v.number; }},
      {"--J2K-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.j2k_bpp = v.number; }},
      {"--JNG-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jng_bpp = v.number; }},
      {"--JP2-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jp2_bpp = v.number; }},
      {"--JPG-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jpg_bpp = v.number; }},
      {"--JXR-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jxr_bpp = v.number; }},
      {"--PBM-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.pbm_bpp = v.number; }},
      {"--PCX-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.pcx_bpp = v.number; }},
      {"--PFM-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.pfm_bpp = v.number; }},
      {"--PGM-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.pgm_bpp = v.number; }},
      {"--PNG-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.png_bpp = v.number; }},
      {"--PPM-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.ppm_bpp = v.number; }},
      {"--PSD-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.psd_bpp = v.number; }},
      {"--TGA-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.tga_bpp = v.number; }},
      {"--TIFF-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.tiff_bpp = v.number; }},
      {"--WBMP-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wbmp_bpp = v.number; }},
      {"--WEBP-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.webp_bpp = v.number; }},
      {"--XPM-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.xpm_bpp = v.number; }},
      {"--BMP-COMPRESSION", ValueForm::kKeyword, kKeywordsCompression, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.bmp_compression = v.number; }},
      {"--EXR-COMPRESSION", ValueForm::kKeyword, kKeywordsCompression, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.exr_compression = v.number; }},
      {"--PNG-COMPRESSION", ValueForm::kKeyword, kKeywordsCompression, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.png_compression = v.number; }},
      {"--TGA-COMPRESSION", ValueForm::kKeyword, kKeywordsCompression, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.tga_compression = v.number; }},
      {"--TIFF-COMPRESSION", ValueForm::kKeyword, kKeywordsCompression, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.tiff_compression = v.number; }},
      {"--BMP-COLOR-TABLE", ValueForm::kKeyword, kKeywordsColorTable, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.bmp_color_table = v.number; }},
      {"--TIFF-COLOR-MODEL", ValueForm::kKeyword, kKeywordsColorModel, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.tiff_color_model = v.number; }},
      {"--JPG-QUALITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jpg_quality = v.number; }},
      {"--JPG-CHROMA", ValueForm::kKeyword, kKeywordsJpgChroma, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jpg_chroma = v.number; }},
      {"--JPG-SAVE-AS", ValueForm::kKeyword, kKeywordsJpgSaveAs, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jpg_save_as = v.number; }},
      {"--PNG-INTERLACED", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue&) { s.png_interlaced = true; }},
      {"--WEBP-QUALITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.webp_quality = v.number; }},
      {"--ROTATION", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_rotation = true, s.image_rotation = v.number; }},
      {"--ROTATION-TYPE", ValueForm::kKeyword, kKeywordsRotationType, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_rotation_type = u8(v); }},
      {"--ROTATION-BACK-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_rotation_back_color = v.text; }},
      {"--WIDTH", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_resize = true, s.image_width = v.number; }},
      {"--HEIGHT", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_resize = true, s.image_height = v.number; }},
      {"--WIDTH-UNIT", ValueForm::kKeyword, kKeywordsSizeUnit, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_width_unit = u8(v); }},
      {"--HEIGHT-UNIT", ValueForm::kKeyword, kKeywordsSizeUnit, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_height_unit = u8(v); }},
      {"--KEEP-ASPECT-RATIO", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue&) { s.keep_aspect_ratio = true; }},
      {"--RESIZE-TYPE", ValueForm::kKeyword, kKeywordsResizeType, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_resize_type = u8(v); }},
      {"--RESIZE-ALGORITHM", ValueForm::kKeyword, kKeywordsResizeAlgorithm, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_resize_algorithm = u8(v); }},
      {"--FLIP-HORIZONTAL", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue&) { s.do_image_flip_horizontal = true; }},
      {"--FLIP-VERTICAL", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue&) { s.do_image_flip_vertical = true; }},
      {"--BRIGHTNESS", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_color_correction = true, s.image_brightness = v.number; }},
      {"--CONTRAST", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_color_correction = true, s.image_contrast = v.number; }},
      {"--GAMMA", ValueForm::kFloat, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_color_correction = true, s.image_gamma = v.real; }},
      {"--INVERT", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue&) { s.do_image_color_correction = true, s.image_invert = true; }},
      {"--GREYSCALE", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue&) { s.do_image_greyscale = true; }},
      {"--THRESHOLD", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_threshold = true, s.image_threshold = v.number; }},
      {"--FR-SOLID-LEFT", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_frame = true, s.solid_left = v.number; }},
      {"--FR-SOLID-RIGHT", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_frame = true, s.solid_right = v.number; }},
      {"--FR-SOLID-TOP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_frame = true, s.solid_top = v.number; }},
      {"--FR-SOLID-BOTTOM", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_frame = true, s.solid_bottom = v.number; }},
      {"--FR-SOLID-LEFT-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.solid_left_color = v.text; }},
      {"--FR-SOLID-RIGHT-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.solid_right_color = v.text; }},
      {"--FR-SOLID-TOP-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.solid_top_color = v.text; }},
      {"--FR-SOLID-BOTTOM-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.solid_bottom_color = v.text; }},
      {"--FR-SOLID-OPACITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kCommandLine, [](Settings& s, const OptionValue& v) { s.solid_opacity = v.number; }},
      {"--WM-SOLID-OPACITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kProfile, [](Settings& s, const OptionValue& v) { s.solid_opacity = v.number; }},
      {"--WM-TEXT", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_watermark = kWatermarkText, s.watermark_text = v.text; }},
      {"--WM-IMAGE", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_watermark = kWatermarkImage, s.watermark_image = v.text; }},
      {"--WM-FONT", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.watermark_font = v.text; }},
      {"--WM-FONT-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.font_color = v.text; }},
      {"--WM-BACK-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.back_color = v.text; }},
      {"--WM-FONT-SIZE", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.font_size = v.number; }},
      {"--WM-FONT-LEADING", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.font_leading = v.number; }},
      {"--WM-FONT-STYLE", ValueForm::kKeyword, kKeywordsFontStyle, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.font_style = u8(v); }},
      {"--WM-FONT-EFFECT", ValueForm::kKeyword, kKeywordsFontEffect, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.font_effect = u8(v); }},
      {"--WM-TEXT-ANTIALIASING", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue&) { s.text_antialiasing = true; }},
      {"--WM-TEXT-ALIGNMENT", ValueForm::kKeyword, kKeywordsTextAlignment, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_alignment = u8(v); }},
      {"--WM-TEXT-PADDING", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_padding = v.number; }},
      {"--WM-TEXT-OPACITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_opacity = v.number; }},
      {"--WM-BACK-OPACITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.back_opacity = v.number; }},
      {"--WM-TEXT-BOUNDARY", ValueForm::kKeyword, kKeywordsBoundary, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_boundary = v.number != 0; }},
      {"--WM-IMAGE-BOUNDARY", ValueForm::kKeyword, kKeywordsBoundary, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_boundary = v.number != 0; }},
      {"--WM-TEXT-POSITION", ValueForm::kKeyword, kKeywordsPosition, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_position = u8(v); }},
      {"--WM-IMAGE-POSITION", ValueForm::kKeyword, kKeywordsPosition, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_position = u8(v); }},
      {"--WM-TEXT-X-OFFSET", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_x_offset = v.number; }},
      {"--WM-TEXT-Y-OFFSET", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_y_offset = v.number; }},
      {"--WM-TEXT-ROTATION", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_rotation = v.number; }},
      {"--WM-TEXT-SIZE", ValueForm::kKeyword, kKeywordsSize, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_size = u8(v); }},
      {"--WM-IMAGE-SIZE", ValueForm::kKeyword, kKeywordsSize, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_size = u8(v); }},
      {"--WM-IMAGE-GREYSCALE", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue&) { s.wm_image_greyscale = true; }},
      {"--WM-IMAGE-OPACITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_opacity = v.number; }},
      {"--WM-IMAGE-X-OFFSET", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_x_offset = v.number; }},
      {"--WM-IMAGE-Y-OFFSET", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_y_offset = v.number; }},
      {"--WM-IMAGE-ROTATION", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_rotation = v.number; }},
      {"--FILENAME-MASK", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.filename_mask = v.text; }},
      {"--FILE-TIMESTAMP", ValueForm::kKeyword, kKeywordsFileTimestamp, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.file_timestamp = u8(v); }},
      {"--FILE-TIMESTAMP-CUSTOM", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.custom_timestamp = v.number; }},
      {"--NO-SUBFOLDERS", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue&) { s.keep_subfolders = false; }},
};
// clang-format on

}  // namespace

const OptionSpec* findSettingOption(const std::string& upper_name, OptionPlace place) {
  for (const OptionSpec& spec : kOptions)
    if (upper_name == spec.name && (spec.place == OptionPlace::kBoth || spec.place == place)) return &spec;
  return nullptr;
}

int32_t parseInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 0x7FFFFFFFLL) value = 0x80000000LL;  // saturate instead of overflowing
  }
  value = negative ? -value : value;
  if (value > 0x7FFFFFFFLL) value = 0x7FFFFFFFLL;
  return static_cast<int32_t>(value);
}

float parseFloat(const std::string& raw) {
  std::string text = trim(raw, " \t");
  std::string upper = toUpper(text);
  if (upper == "+INFINITY" || upper == "INFINITY") return INFINITY;
  if (upper == "-INFINITY") return -INFINITY;
  if (upper == "NAN") return NAN;
  // Only plain decimal notation: digits, one "." and an optional sign.
  size_t i = 0, start = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  bool dot = false;
  for (; i < text.size(); ++i) {
    if (text[i] == '.' && !dot) dot = true;
    else if (text[i] < '0' || text[i] > '9') break;
  }
  std::string number = text.substr(start, i);
  return number.empty() ? 0.0f : std::strtof(number.c_str(), nullptr);
}

}  // namespace pixolune
