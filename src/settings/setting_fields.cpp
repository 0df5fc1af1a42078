#include "settings/setting_fields.h"

#include <type_traits>

namespace pixolune {

namespace {

using S = Settings;
constexpr SettingStored kAll = SettingStored::kAlways;
constexpr SettingStored kWin = SettingStored::kWindowSaved;
constexpr SettingStored kIn = SettingStored::kInputFormat;
constexpr SettingStored kOut = SettingStored::kOutputFormat;
constexpr SettingStored kRun = SettingStored::kNever;

// The ranges several fields share.
constexpr SettingRange kBitDepth{0, 128};       // 0 automatic, else a depth the format accepts.
constexpr SettingRange kQuality{1, 100};
constexpr SettingRange kAngle{0, 360};          // Degrees.
constexpr SettingRange kOpacity{1, 255};
constexpr SettingRange kPixels{0, 100000};      // Frame widths, padding.
constexpr SettingRange kSize{1, 100000};        // Resize targets.
constexpr SettingRange kOffset{-100000, 100000};
constexpr SettingRange kPercentScale{1, 200};
constexpr SettingRange kRawExtent{0, 65535};
constexpr SettingRange kWholeInt32{-2147483648.0, 2147483647.0};  // Stated, so messages name the ends.

// A field's member and its name.
#define M(field) &S::field, #field

// clang-format off
const SettingField kFields[] = {
    {"General", "CFG", M(cfg_version)},
    {"General", "Language", M(language)},
    {"General", "Update Range", M(update_range)},
    {"General", "Update Date", M(update_date)},
    {"General", "Save Window Position", M(save_window_position)},
    {"Window", "IsMaximized", M(window_maximized), kWin},
    {"Window", "Width", M(window_width), kWin},
    {"Window", "Height", M(window_height), kWin},
    {"Window", "X", M(window_x), kWin},
    {"Window", "Y", M(window_y), kWin},
    {"Window", "Preferences Width", M(preferences_width), kWin},
    {"Window", "Preferences Height", M(preferences_height), kWin},
    {"Interface", "UI Theme", M(ui_theme)},
    {"Interface", "UI Size", M(ui_size)},
    {"Input", "Format", M(input_format)},
    {"Input", "GIF Frame Loading", M(gif_frame_loading), kIn, "gif", "--GIF-FRAME-LOADING"},
    {"Input", "ICO Frame Loading", M(ico_frame_loading), kIn, "ico", "--ICO-FRAME-LOADING"},
    {"Input", "TIFF Frame Loading", M(tiff_frame_loading), kIn, "tiff", "--TIFF-FRAME-LOADING"},
    {"Input", "DDS Load As", M(dds_load_as), kIn, "dds", "--DDS-LOAD-AS"},
    {"Input", "PSD Color Model", M(psd_color_model), kIn, "psd", "--PSD-COLOR-MODEL"},
    {"Input", "RAW Load As", M(raw_load_as), kIn, "raw", "--RAW-LOAD-AS"},
    {"Input", "RAW Header Size", M(raw_header_size), kIn, "raw", "--RAW-HEADER-SIZE", {0, 2147483647.0}},
    {"Input", "RAW Image Width", M(raw_image_width), kIn, "raw", "--RAW-WIDTH", kRawExtent},
    {"Input", "RAW Image Height", M(raw_image_height), kIn, "raw", "--RAW-HEIGHT", kRawExtent},
    {"Input", "RAW Tone Mapping", M(raw_tone_mapping), kIn, "raw", "--RAW-TONE-MAPPING"},
    {"Output", "Format", M(output_format)},
    {"Output", "BMP BPP", M(bmp_bpp), kOut, "bmp", "--BMP-BPP", kBitDepth},
    {"Output", "BMP Compression", M(bmp_compression), kOut, "bmp", "--BMP-COMPRESSION"},
    {"Output", "BMP Color Table", M(bmp_color_table), kOut, "bmp", "--BMP-COLOR-TABLE"},
    {"Output", "DDS BPP", M(dds_bpp), kOut, "dds", "--DDS-BPP", kBitDepth},
    {"Output", "EXR BPP", M(exr_bpp), kOut, "exr", "--EXR-BPP", kBitDepth},
    {"Output", "EXR Compression", M(exr_compression), kOut, "exr", "--EXR-COMPRESSION"},
    {"Output", "GIF BPP", M(gif_bpp), kOut, "gif", "--GIF-BPP", kBitDepth},
    {"Output", "HDR BPP", M(hdr_bpp), kOut, "hdr", "--HDR-BPP", kBitDepth},
    {"Output", "ICO BPP", M(ico_bpp), kOut, "ico", "--ICO-BPP", kBitDepth},
    {"Output", "J2K BPP", M(j2k_bpp), kOut, "j2k", "--J2K-BPP", kBitDepth},
    {"Output", "JNG BPP", M(jng_bpp), kOut, "jng", "--JNG-BPP", kBitDepth},
    {"Output", "JP2 BPP", M(jp2_bpp), kOut, "jp2", "--JP2-BPP", kBitDepth},
    {"Output", "JPG BPP", M(jpg_bpp), kOut, "jpg", "--JPG-BPP", kBitDepth},
    {"Output", "JPG Quality", M(jpg_quality), kOut, "jpg", "--JPG-QUALITY", kQuality},
    {"Output", "JPG Chroma", M(jpg_chroma), kOut, "jpg", "--JPG-CHROMA"},
    {"Output", "JPG Save As", M(jpg_save_as), kOut, "jpg", "--JPG-SAVE-AS"},
    {"Output", "JXR BPP", M(jxr_bpp), kOut, "jxr", "--JXR-BPP", kBitDepth},
    {"Output", "PBM BPP", M(pbm_bpp), kOut, "pbm", "--PBM-BPP", kBitDepth},
    {"Output", "PCX BPP", M(pcx_bpp), kOut, "pcx", "--PCX-BPP", kBitDepth},
    {"Output", "PFM BPP", M(pfm_bpp), kOut, "pfm", "--PFM-BPP", kBitDepth},
    {"Output", "PGM BPP", M(pgm_bpp), kOut, "pgm", "--PGM-BPP", kBitDepth},
    {"Output", "PNG BPP", M(png_bpp), kOut, "png", "--PNG-BPP", kBitDepth},
    {"Output", "PNG Compression", M(png_compression), kOut, "png", "--PNG-COMPRESSION"},
    {"Output", "PNG Interlaced", M(png_interlaced), kOut, "png", "--PNG-INTERLACED"},
    {"Output", "PPM BPP", M(ppm_bpp), kOut, "ppm", "--PPM-BPP", kBitDepth},
    {"Output", "PSD BPP", M(psd_bpp), kOut, "psd", "--PSD-BPP", kBitDepth},
    {"Output", "TGA BPP", M(tga_bpp), kOut, "tga", "--TGA-BPP", kBitDepth},
    {"Output", "TGA Compression", M(tga_compression), kOut, "tga", "--TGA-COMPRESSION"},
    {"Output", "TIFF BPP", M(tiff_bpp), kOut, "tiff", "--TIFF-BPP", kBitDepth},
    {"Output", "TIFF Compression", M(tiff_compression), kOut, "tiff", "--TIFF-COMPRESSION"},
    {"Output", "TIFF Color Model", M(tiff_color_model), kOut, "tiff", "--TIFF-COLOR-MODEL"},
    {"Output", "WBMP BPP", M(wbmp_bpp), kOut, "wbmp", "--WBMP-BPP", kBitDepth},
    {"Output", "WEBP BPP", M(webp_bpp), kOut, "webp", "--WEBP-BPP", kBitDepth},
    {"Output", "WEBP Quality", M(webp_quality), kOut, "webp", "--WEBP-QUALITY", kQuality},
    {"Output", "XPM BPP", M(xpm_bpp), kOut, "xpm", "--XPM-BPP", kBitDepth},
    {"Transform", "Do Image Rotation", M(do_image_rotation)},
    {"Transform", "Image Rotation Type", M(image_rotation_type), kAll, "", "--ROTATION-TYPE"},
    {"Transform", "Image Rotation", M(image_rotation), kAll, "", "--ROTATION", kAngle},
    {"Transform", "Image Rotation Back Color", M(image_rotation_back_color), kAll, "", "--ROTATION-BACK-COLOR"},
    {"Transform", "Do Image Resize", M(do_image_resize)},
    {"Transform", "Image Width", M(image_width), kAll, "", "--WIDTH", kSize, true},
    {"Transform", "Image Width Unit", M(image_width_unit), kAll, "", "--WIDTH-UNIT"},
    {"Transform", "Image Height", M(image_height), kAll, "", "--HEIGHT", kSize, true},
    {"Transform", "Image Height Unit", M(image_height_unit), kAll, "", "--HEIGHT-UNIT"},
    {"Transform", "Keep Aspect Ratio", M(keep_aspect_ratio), kAll, "", "--KEEP-ASPECT-RATIO"},
    {"Transform", "Image Resize Type", M(image_resize_type), kAll, "", "--RESIZE-TYPE"},
    {"Transform", "Image Resize Algorithm", M(image_resize_algorithm), kAll, "", "--RESIZE-ALGORITHM"},
    {"Transform", "Do Image Flip Horizontal", M(do_image_flip_horizontal), kAll, "", "--FLIP-HORIZONTAL"},
    {"Transform", "Do Image Flip Vertical", M(do_image_flip_vertical), kAll, "", "--FLIP-VERTICAL"},
    {"Adjustment", "Do Image Color Correction", M(do_image_color_correction)},
    {"Adjustment", "Image Brightness", M(image_brightness), kAll, "", "--BRIGHTNESS", {-100, 100}},
    {"Adjustment", "Image Contrast", M(image_contrast), kAll, "", "--CONTRAST", {-100, 100}},
    {"Adjustment", "Image Gamma", M(image_gamma), kAll, "", "--GAMMA", {0.01, 9.99}},
    {"Adjustment", "Image Invert", M(image_invert), kAll, "", "--INVERT"},
    {"Adjustment", "Do Image Greyscale", M(do_image_greyscale), kAll, "", "--GREYSCALE"},
    {"Adjustment", "Do Image Threshold", M(do_image_threshold)},
    {"Adjustment", "Image Threshold", M(image_threshold), kAll, "", "--THRESHOLD", {0, 255}},
    {"Frame", "Do Frame", M(do_frame)},
    {"Frame", "Solid Left", M(solid_left), kAll, "", "--FR-SOLID-LEFT", kPixels},
    {"Frame", "Solid Right", M(solid_right), kAll, "", "--FR-SOLID-RIGHT", kPixels},
    {"Frame", "Solid Top", M(solid_top), kAll, "", "--FR-SOLID-TOP", kPixels},
    {"Frame", "Solid Bottom", M(solid_bottom), kAll, "", "--FR-SOLID-BOTTOM", kPixels},
    {"Frame", "Solid Left Color", M(solid_left_color), kAll, "", "--FR-SOLID-LEFT-COLOR"},
    {"Frame", "Solid Right Color", M(solid_right_color), kAll, "", "--FR-SOLID-RIGHT-COLOR"},
    {"Frame", "Solid Top Color", M(solid_top_color), kAll, "", "--FR-SOLID-TOP-COLOR"},
    {"Frame", "Solid Bottom Color", M(solid_bottom_color), kAll, "", "--FR-SOLID-BOTTOM-COLOR"},
    {"Frame", "Solid Opacity", M(solid_opacity), kAll, "", "--FR-SOLID-OPACITY", kOpacity},
    {"Watermark", "Do Watermark", M(do_watermark)},
    {"Watermark", "Text", M(watermark_text), kAll, "", "--WM-TEXT"},
    {"Watermark", "Fonts", M(watermark_fonts)},
    {"Watermark", "Font", M(watermark_font), kAll, "", "--WM-FONT"},
    {"Watermark", "Font Size", M(font_size), kAll, "", "--WM-FONT-SIZE", {1, 1000}},
    {"Watermark", "Font Leading", M(font_leading), kAll, "", "--WM-FONT-LEADING", {-1000, 1000}},
    {"Watermark", "Font Colors", M(font_colors)},
    {"Watermark", "Font Color", M(font_color), kAll, "", "--WM-FONT-COLOR"},
    {"Watermark", "Font Style", M(font_style), kAll, "", "--WM-FONT-STYLE"},
    {"Watermark", "Font Effect", M(font_effect), kAll, "", "--WM-FONT-EFFECT"},
    {"Watermark", "Text Antialiasing", M(text_antialiasing), kAll, "", "--WM-TEXT-ANTIALIASING"},
    {"Watermark", "Text Alignment", M(text_alignment), kAll, "", "--WM-TEXT-ALIGNMENT"},
    {"Watermark", "Text Padding", M(text_padding), kAll, "", "--WM-TEXT-PADDING", kPixels},
    {"Watermark", "Text Opacity", M(text_opacity), kAll, "", "--WM-TEXT-OPACITY", kOpacity},
    {"Watermark", "Back Colors", M(back_colors)},
    {"Watermark", "Back Color", M(back_color), kAll, "", "--WM-BACK-COLOR"},
    {"Watermark", "Back Opacity", M(back_opacity), kAll, "", "--WM-BACK-OPACITY", kOpacity},
    {"Watermark", "Text Boundary", M(text_boundary), kAll, "", "--WM-TEXT-BOUNDARY"},
    {"Watermark", "Text Position", M(text_position), kAll, "", "--WM-TEXT-POSITION"},
    {"Watermark", "Text X Offset", M(text_x_offset), kAll, "", "--WM-TEXT-X-OFFSET", kOffset},
    {"Watermark", "Text Y Offset", M(text_y_offset), kAll, "", "--WM-TEXT-Y-OFFSET", kOffset},
    {"Watermark", "Text Rotation", M(text_rotation), kAll, "", "--WM-TEXT-ROTATION", kAngle},
    {"Watermark", "Text Size", M(text_size), kAll, "", "--WM-TEXT-SIZE"},
    {"Watermark", "Text Scale", M(text_scale), kAll, "", "", kPercentScale},
    {"Watermark", "Image", M(watermark_image), kAll, "", "--WM-IMAGE"},
    {"Watermark", "Image Greyscale", M(wm_image_greyscale), kAll, "", "--WM-IMAGE-GREYSCALE"},
    {"Watermark", "Image Opacity", M(wm_image_opacity), kAll, "", "--WM-IMAGE-OPACITY", kOpacity},
    {"Watermark", "Image Boundary", M(wm_image_boundary), kAll, "", "--WM-IMAGE-BOUNDARY"},
    {"Watermark", "Image Position", M(wm_image_position), kAll, "", "--WM-IMAGE-POSITION"},
    {"Watermark", "Image X Offset", M(wm_image_x_offset), kAll, "", "--WM-IMAGE-X-OFFSET", kOffset},
    {"Watermark", "Image Y Offset", M(wm_image_y_offset), kAll, "", "--WM-IMAGE-Y-OFFSET", kOffset},
    {"Watermark", "Image Rotation", M(wm_image_rotation), kAll, "", "--WM-IMAGE-ROTATION", kAngle},
    {"Watermark", "Image Size", M(wm_image_size), kAll, "", "--WM-IMAGE-SIZE"},
    {"Watermark", "Image Scale", M(wm_image_scale), kAll, "", "", kPercentScale},
    {"Advanced", "Filename Mask", M(filename_mask), kAll, "", "--FILENAME-MASK"},
    {"Advanced", "File Timestamp", M(file_timestamp), kAll, "", "--FILE-TIMESTAMP"},
    {"Advanced", "Custom Timestamp", M(custom_timestamp), kAll, "", "--FILE-TIMESTAMP-CUSTOM", kWholeInt32},
    {"Advanced", "Out Folders History", M(out_folders_history)},
    {"Advanced", "Out Folders Number", M(out_folders_number), kAll, "", "", {1, 50}},
    {"Advanced", "Keep Subfolders", M(keep_subfolders), kAll, "", "--NO-SUBFOLDERS"},
    {"Export", "Export", M(export_kind), kAll, "", "--EXPORT"},
    {"Export", "Bounds", M(export_canvas_bounds), kAll, "", "--EXPORT-BOUNDS"},
    {"Export", "Hidden", M(export_hidden), kAll, "", "--EXPORT-HIDDEN"},
    {"Export", "Depth", M(export_depth), kAll, "", "--EXPORT-DEPTH", {1, 100}},
    {"Export", "Manifest", M(export_manifest), kAll, "", "--EXPORT-MANIFEST"},
    {"File", "Recent Out Folders", M(recent_out_folders)},
    {"File", "Recent Files", M(recent_files)},
    {"Privacy", "Clean Recent Files", M(clean_recent_files)},
    {"", "", M(fit_inside), kRun},  // Set by --FIT with the sizes it gives.
    {"", "", M(strip_metadata), kRun, "", "--STRIP-METADATA"},
};
// clang-format on
#undef M

}  // namespace

std::span<const SettingField> settingFields() { return kFields; }

const SettingField* findSettingField(const SettingMember& member) {
  for (const SettingField& field : kFields)
    if (field.member == member) return &field;
  return nullptr;
}

const SettingField* findSettingFieldOfOption(std::string_view upper_name) {
  if (upper_name.empty()) return nullptr;
  for (const SettingField& field : kFields)
    if (upper_name == field.option) return &field;
  return nullptr;
}

SettingRange settingRange(const SettingMember& member) {
  const SettingField* field = findSettingField(member);
  return field ? field->range : SettingRange{};
}

double settingNumber(const Settings& record, const SettingField& field) {
  return std::visit(
      [&](auto member) -> double {
        using T = std::remove_cvref_t<decltype(record.*member)>;
        if constexpr (std::is_same_v<T, std::string>) return 0;
        else return static_cast<double>(record.*member);
      },
      field.member);
}

bool settingInRange(const Settings& record, const SettingField& field) {
  if (!field.range.limited()) return true;
  if (const auto* member = std::get_if<float Settings::*>(&field.member)) {
    const float value = record.**member;
    return value >= static_cast<float>(field.range.min) && value <= static_cast<float>(field.range.max);
  }
  const double value = settingNumber(record, field);
  return value >= field.range.min && value <= field.range.max;
}

bool settingInRange(const Settings& record, const SettingMember& member) {
  const SettingField* field = findSettingField(member);
  return !field || settingInRange(record, *field);
}

}  // namespace pixolune
