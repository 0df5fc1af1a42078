#include "app/options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <cstdio>
#include <vector>

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
      {"--RAW-HEADER-SIZE", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.raw_header_size = v.number; }, 0, 2147483647.0},
      {"--RAW-WIDTH", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.raw_image_width = v.number; }, 0, 65535},
      {"--RAW-HEIGHT", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.raw_image_height = v.number; }, 0, 65535},
      {"--BMP-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.bmp_bpp = v.number; }, 0, 128},
      {"--DDS-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.dds_bpp = v.number; }, 0, 128},
      {"--EXR-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.exr_bpp = v.number; }, 0, 128},
      {"--GIF-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.gif_bpp = v.number; }, 0, 128},
      {"--HDR-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.hdr_bpp = v.number; }, 0, 128},
      {"--ICO-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.ico_bpp = v.number; }, 0, 128},
      {"--J2K-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.j2k_bpp = v.number; }, 0, 128},
      {"--JNG-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jng_bpp = v.number; }, 0, 128},
      {"--JP2-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jp2_bpp = v.number; }, 0, 128},
      {"--JPG-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jpg_bpp = v.number; }, 0, 128},
      {"--JXR-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jxr_bpp = v.number; }, 0, 128},
      {"--PBM-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.pbm_bpp = v.number; }, 0, 128},
      {"--PCX-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.pcx_bpp = v.number; }, 0, 128},
      {"--PFM-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.pfm_bpp = v.number; }, 0, 128},
      {"--PGM-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.pgm_bpp = v.number; }, 0, 128},
      {"--PNG-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.png_bpp = v.number; }, 0, 128},
      {"--PPM-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.ppm_bpp = v.number; }, 0, 128},
      {"--PSD-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.psd_bpp = v.number; }, 0, 128},
      {"--TGA-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.tga_bpp = v.number; }, 0, 128},
      {"--TIFF-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.tiff_bpp = v.number; }, 0, 128},
      {"--WBMP-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wbmp_bpp = v.number; }, 0, 128},
      {"--WEBP-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.webp_bpp = v.number; }, 0, 128},
      {"--XPM-BPP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.xpm_bpp = v.number; }, 0, 128},
      {"--BMP-COMPRESSION", ValueForm::kKeyword, kKeywordsCompression, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.bmp_compression = v.number; }},
      {"--EXR-COMPRESSION", ValueForm::kKeyword, kKeywordsCompression, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.exr_compression = v.number; }},
      {"--PNG-COMPRESSION", ValueForm::kKeyword, kKeywordsCompression, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.png_compression = v.number; }, 0, 0, "NONE|ZLIB1|ZLIB6|ZLIB9"},
      {"--TGA-COMPRESSION", ValueForm::kKeyword, kKeywordsCompression, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.tga_compression = v.number; }},
      {"--TIFF-COMPRESSION", ValueForm::kKeyword, kKeywordsCompression, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.tiff_compression = v.number; }},
      {"--BMP-COLOR-TABLE", ValueForm::kKeyword, kKeywordsColorTable, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.bmp_color_table = v.number; }},
      {"--TIFF-COLOR-MODEL", ValueForm::kKeyword, kKeywordsColorModel, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.tiff_color_model = v.number; }},
      {"--JPG-QUALITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jpg_quality = v.number; }, 1, 100},
      {"--JPG-CHROMA", ValueForm::kKeyword, kKeywordsJpgChroma, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jpg_chroma = v.number; }},
      {"--JPG-SAVE-AS", ValueForm::kKeyword, kKeywordsJpgSaveAs, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.jpg_save_as = v.number; }},
      {"--PNG-INTERLACED", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.png_interlaced = v.number != 0; }},
      {"--WEBP-QUALITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.webp_quality = v.number; }, 1, 100},
      {"--ROTATION", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_rotation = true, s.image_rotation = v.number; }, 0, 360},
      {"--ROTATION-TYPE", ValueForm::kKeyword, kKeywordsRotationType, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_rotation_type = u8(v); }},
      {"--ROTATION-BACK-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_rotation_back_color = v.text; }},
      {"--WIDTH", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_resize = true, s.image_width = v.number; if (v.percent) s.image_width_unit = kSizeInPercent; }, 1, 100000, nullptr, true},
      {"--HEIGHT", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_resize = true, s.image_height = v.number; if (v.percent) s.image_height_unit = kSizeInPercent; }, 1, 100000, nullptr, true},
      {"--WIDTH-UNIT", ValueForm::kKeyword, kKeywordsSizeUnit, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_width_unit = u8(v); }},
      {"--HEIGHT-UNIT", ValueForm::kKeyword, kKeywordsSizeUnit, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_height_unit = u8(v); }},
      {"--KEEP-ASPECT-RATIO", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.keep_aspect_ratio = v.number != 0; }},
      {"--RESIZE-TYPE", ValueForm::kKeyword, kKeywordsResizeType, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_resize_type = u8(v); }},
      {"--RESIZE-ALGORITHM", ValueForm::kKeyword, kKeywordsResizeAlgorithm, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.image_resize_algorithm = u8(v); }},
      {"--FLIP-HORIZONTAL", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_flip_horizontal = v.number != 0; }},
      {"--FLIP-VERTICAL", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_flip_vertical = v.number != 0; }},
      {"--BRIGHTNESS", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_color_correction = true, s.image_brightness = v.number; }, -100, 100},
      {"--CONTRAST", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_color_correction = true, s.image_contrast = v.number; }, -100, 100},
      {"--GAMMA", ValueForm::kFloat, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_color_correction = true, s.image_gamma = v.real; }, 0.01, 9.99},
      {"--INVERT", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { if (v.number) s.do_image_color_correction = true; s.image_invert = v.number != 0; }},
      {"--GREYSCALE", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_greyscale = v.number != 0; }},
      {"--THRESHOLD", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_threshold = true, s.image_threshold = v.number; }, 0, 255},
      {"--FR-SOLID-LEFT", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_frame = true, s.solid_left = v.number; }, 0, 100000},
      {"--FR-SOLID-RIGHT", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_frame = true, s.solid_right = v.number; }, 0, 100000},
      {"--FR-SOLID-TOP", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_frame = true, s.solid_top = v.number; }, 0, 100000},
      {"--FR-SOLID-BOTTOM", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_frame = true, s.solid_bottom = v.number; }, 0, 100000},
      {"--FR-SOLID-LEFT-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.solid_left_color = v.text; }},
      {"--FR-SOLID-RIGHT-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.solid_right_color = v.text; }},
      {"--FR-SOLID-TOP-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.solid_top_color = v.text; }},
      {"--FR-SOLID-BOTTOM-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.solid_bottom_color = v.text; }},
      {"--FR-SOLID-OPACITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kCommandLine, [](Settings& s, const OptionValue& v) { s.solid_opacity = v.number; }, 1, 255},
      {"--WM-SOLID-OPACITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kProfile, [](Settings& s, const OptionValue& v) { s.solid_opacity = v.number; }, 1, 255},
      {"--WM-TEXT", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_watermark = kWatermarkText, s.watermark_text = v.text; }},
      {"--WM-IMAGE", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_watermark = kWatermarkImage, s.watermark_image = v.text; }},
      {"--WM-FONT", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.watermark_font = v.text; }},
      {"--WM-FONT-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.font_color = v.text; }},
      {"--WM-BACK-COLOR", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.back_color = v.text; }},
      {"--WM-FONT-SIZE", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.font_size = v.number; }, 1, 1000},
      {"--WM-FONT-LEADING", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.font_leading = v.number; }, -1000, 1000},
      {"--WM-FONT-STYLE", ValueForm::kKeyword, kKeywordsFontStyle, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.font_style = u8(v); }},
      {"--WM-FONT-EFFECT", ValueForm::kKeyword, kKeywordsFontEffect, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.font_effect = u8(v); }},
      {"--WM-TEXT-ANTIALIASING", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_antialiasing = v.number != 0; }},
      {"--WM-TEXT-ALIGNMENT", ValueForm::kKeyword, kKeywordsTextAlignment, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_alignment = u8(v); }},
      {"--WM-TEXT-PADDING", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_padding = v.number; }, 0, 100000},
      {"--WM-TEXT-OPACITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_opacity = v.number; }, 1, 255},
      {"--WM-BACK-OPACITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.back_opacity = v.number; }, 1, 255},
      {"--WM-TEXT-BOUNDARY", ValueForm::kKeyword, kKeywordsBoundary, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_boundary = v.number != 0; }},
      {"--WM-IMAGE-BOUNDARY", ValueForm::kKeyword, kKeywordsBoundary, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_boundary = v.number != 0; }},
      {"--WM-TEXT-POSITION", ValueForm::kKeyword, kKeywordsPosition, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_position = u8(v); }},
      {"--WM-IMAGE-POSITION", ValueForm::kKeyword, kKeywordsPosition, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_position = u8(v); }},
      {"--WM-TEXT-X-OFFSET", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_x_offset = v.number; }, -100000, 100000},
      {"--WM-TEXT-Y-OFFSET", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_y_offset = v.number; }, -100000, 100000},
      {"--WM-TEXT-ROTATION", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_rotation = v.number; }, 0, 360},
      {"--WM-TEXT-SIZE", ValueForm::kKeyword, kKeywordsSize, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.text_size = u8(v); }},
      {"--WM-IMAGE-SIZE", ValueForm::kKeyword, kKeywordsSize, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_size = u8(v); }},
      {"--WM-IMAGE-GREYSCALE", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_greyscale = v.number != 0; }},
      {"--WM-IMAGE-OPACITY", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_opacity = v.number; }, 1, 255},
      {"--WM-IMAGE-X-OFFSET", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_x_offset = v.number; }, -100000, 100000},
      {"--WM-IMAGE-Y-OFFSET", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_y_offset = v.number; }, -100000, 100000},
      {"--WM-IMAGE-ROTATION", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.wm_image_rotation = v.number; }, 0, 360},
      {"--FILENAME-MASK", ValueForm::kText, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.filename_mask = v.text; }},
      {"--FILE-TIMESTAMP", ValueForm::kKeyword, kKeywordsFileTimestamp, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.file_timestamp = u8(v); }},
      {"--FILE-TIMESTAMP-CUSTOM", ValueForm::kInt, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.custom_timestamp = v.number; }, -2147483648.0, 2147483647.0},
      {"--FIT", ValueForm::kSize, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.do_image_resize = 1, s.image_width = v.number, s.image_height = v.second, s.image_width_unit = kSizeInPixels, s.image_height_unit = kSizeInPixels, s.fit_inside = true; }, 1, 100000},
      {"--STRIP-METADATA", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.strip_metadata = v.number != 0; }},
      {"--NO-SUBFOLDERS", ValueForm::kFlag, kKeywordsNone, OptionPlace::kBoth, [](Settings& s, const OptionValue& v) { s.keep_subfolders = v.number == 0; }},
};
// clang-format on

// A whole decimal number, spaces around allowed; false for anything else
// (no digits, trailing text, or outside 32 bits).
bool readWholeNumber(const std::string& raw, int64_t* number) {
  const std::string text = trim(raw, " \t");
  size_t i = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
  if (i >= text.size()) return false;
  int64_t value = 0;
  for (size_t k = i; k < text.size(); ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
    value = value * 10 + (text[k] - '0');
    if (value > 0x80000000LL) return false;
  }
  *number = text[0] == '-' ? -value : value;
  return *number >= -0x80000000LL && *number <= 0x7FFFFFFFLL;
}

// A plain decimal number ("1", "-0.5", ".5"); no exponents, no infinities.
bool readDecimal(const std::string& raw, double* number) {
  const std::string text = trim(raw, " \t");
  size_t i = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  bool digit = false, dot = false;
  for (size_t k = i; k < text.size(); ++k) {
    if (text[k] == '.' && !dot) dot = true;
    else if (text[k] >= '0' && text[k] <= '9') digit = true;
    else return false;
  }
  if (!digit) return false;
  *number = std::strtod(text.c_str(), nullptr);
  return std::isfinite(*number);
}

std::string numberText(double value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", value);
  return buf;
}

std::string rangeText(const OptionSpec& spec, const char* what) {
  if (spec.min == spec.max) return std::string("expected ") + what;
  return std::string("expected ") + what + " from " + numberText(spec.min) + " to " + numberText(spec.max);
}

bool inRange(const OptionSpec& spec, double value) {
  if (spec.min == spec.max) return true;
  if (spec.form == ValueForm::kFloat)
    return static_cast<float>(value) >= static_cast<float>(spec.min) && static_cast<float>(value) <= static_cast<float>(spec.max);
  return value >= spec.min && value <= spec.max;
}

bool keywordAllowed(const OptionSpec& spec, const std::string& raw) {
  if (!spec.words) return true;
  for (const std::string& word : split(spec.words, '|'))
    if (word == toUpper(trim(raw))) return true;
  return false;
}

std::string acceptedWords(const OptionSpec& spec) {
  return spec.words ? toLower(replaceIgnoreCase(spec.words, "|", ", ")) : keywordList(spec.keyword_table);
}

bool readInt(const OptionSpec& spec, std::string raw, OptionValue* value, std::string* error) {
  if (spec.percent_ok && !raw.empty() && raw.back() == '%') raw.pop_back(), value->percent = true;
  int64_t number = 0;
  if (!readWholeNumber(raw, &number) || !inRange(spec, static_cast<double>(number)))
    return *error = rangeText(spec, spec.percent_ok ? "a whole number (or a percentage such as 50%)" : "a whole number"), false;
  value->number = static_cast<int32_t>(number);
  return true;
}

bool readSize(const OptionSpec& spec, const std::string& raw, OptionValue* value, std::string* error) {
  const size_t x = toLower(raw).find('x');
  int64_t w = 0, h = 0;
  if (x == std::string::npos || !readWholeNumber(raw.substr(0, x), &w) || !readWholeNumber(raw.substr(x + 1), &h) ||
      !inRange(spec, static_cast<double>(w)) || !inRange(spec, static_cast<double>(h)))
    return *error = "expected WIDTHxHEIGHT in pixels, each from " + numberText(spec.min) + " to " + numberText(spec.max), false;
  value->number = static_cast<int32_t>(w);
  value->second = static_cast<int32_t>(h);
  return true;
}

size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::span<const OptionSpec> settingOptions() { return kOptions; }

bool optionIsForThisBuild(const OptionSpec& spec) {
  // The options of formats other than PNG output and PSD input.
  static const char* const kOtherFormats[] = {"--BMP-", "--DDS-", "--EXR-", "--GIF-", "--HDR-", "--ICO-",
                                              "--J2K-", "--JNG-", "--JP2-", "--JPG-", "--JXR-", "--PBM-",
                                              "--PCX-", "--PFM-", "--PGM-", "--PPM-", "--TGA-", "--TIFF-",
                                              "--WBMP-", "--WEBP-", "--XPM-", "--RAW-", "--PSD-BPP"};
  const std::string name = spec.name;
  for (const char* prefix : kOtherFormats)
    if (name.rfind(prefix, 0) == 0) return false;
  return true;
}

bool readOptionValue(const OptionSpec& spec, const std::string& raw, OptionValue* value, std::string* error) {
  *value = OptionValue{};
  switch (spec.form) {
    case ValueForm::kFlag: {
      const std::string text = trim(raw, " \t");
      if (text.empty() || text == "1") return value->number = 1, true;
      if (text == "0") return true;
      return *error = "expected 0 or 1 (or no value)", false;
    }
    case ValueForm::kInt: return readInt(spec, raw, value, error);
    case ValueForm::kSize: return readSize(spec, raw, value, error);
    case ValueForm::kFloat: {
      double number = 0;
      if (!readDecimal(raw, &number) || !inRange(spec, number)) return *error = rangeText(spec, "a decimal number"), false;
      value->real = static_cast<float>(number);
      return true;
    }
    case ValueForm::kKeyword: {
      int code = 0;
      if (!keywordAllowed(spec, raw) || !findKeywordCode(spec.keyword_table, trim(raw), &code))
        return *error = "expected one of " + acceptedWords(spec), false;
      value->number = code;
      return true;
    }
    case ValueForm::kText: value->text = raw; return true;
  }
  return true;
}

std::string optionKeyword(const std::string& upper_name, int code) {
  const OptionSpec* spec = findSettingOption(upper_name, OptionPlace::kCommandLine);
  if (!spec || spec->form != ValueForm::kKeyword) return "";
  if (!spec->words) return codeToKeyword(spec->keyword_table, code);
  for (const std::string& word : split(spec->words, '|')) {
    int word_code = -1;
    if (findKeywordCode(spec->keyword_table, word, &word_code) && word_code == code) return word;
  }
  return "";
}

std::string closestOptionName(const std::string& name, std::span<const char* const> extra_names) {
  const std::string upper = toUpper(name);
  std::string best;
  size_t best_distance = std::max<size_t>(2, upper.size() / 4) + 1;  // Farther is not a misspelling.
  auto consider = [&](const std::string& candidate) {
    const size_t distance = editDistance(upper, candidate);
    if (distance < best_distance) best_distance = distance, best = candidate;
  };
  for (const OptionSpec& spec : kOptions) consider(spec.name);
  for (const char* extra : extra_names) consider(toUpper(extra));
  return toLower(best);
}

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
