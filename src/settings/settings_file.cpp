#include "settings/settings_file.h"

#include <string>
#include <type_traits>
#include <variant>

#include "platform/text.h"
#include "settings/format_lists.h"
#include "settings/preference_file.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

using FieldRef = std::variant<int32_t Settings::*, uint8_t Settings::*, bool Settings::*, float Settings::*,
                              std::string Settings::*>;

/// When a key is written.
enum class When {
  kAlways,
  kWindowSaved,   // Only while save_window_position is on.
  kInputFormat,   // Only for an entry of the input-format list equal to `format`.
  kOutputFormat,  // Only for an entry of the output-format list equal to `format`.
};

struct KeyRow {
  const char* group;
  const char* key;
  FieldRef field;
  When when = When::kAlways;
  const char* format = "";
};

using S = Settings;
constexpr When kIn = When::kInputFormat;
constexpr When kOut = When::kOutputFormat;
constexpr When kWin = When::kWindowSaved;

// Every key in file order. Loader defaults come from defaultsForLoading().
const KeyRow kRows[] = {
    {"General", "CFG", &S::cfg_version},
    {"General", "Language", &S::language},
    {"General", "Update Range", &S::update_range},
    {"General", "Update Date", &S::update_date},
    {"General", "Save Window Position", &S::save_window_position},
    {"Window", "IsMaximized", &S::window_maximized, kWin},
    {"Window", "Width", &S::window_width, kWin},
    {"Window", "Height", &S::window_height, kWin},
    {"Window", "X", &S::window_x, kWin},
    {"Window", "Y", &S::window_y, kWin},
    {"Interface", "UI Theme", &S::ui_theme},
    {"Interface", "UI Size", &S::ui_size},
    {"Input", "Format", &S::input_format},
    {"Input", "GIF Frame Loading", &S::gif_frame_loading, kIn, "gif"},
    {"Input", "ICO Frame Loading", &S::ico_frame_loading, kIn, "ico"},
    {"Input", "TIFF Frame Loading", &S::tiff_frame_loading, kIn, "tiff"},
    {"Input", "DDS Load As", &S::dds_load_as, kIn, "dds"},
    {"Input", "PSD Color Model", &S::psd_color_model, kIn, "psd"},
    {"Input", "RAW Load As", &S::raw_load_as, kIn, "raw"},
    {"Input", "RAW Header Size", &S::raw_header_size, kIn, "raw"},
    {"Input", "RAW Image Width", &S::raw_image_width, kIn, "raw"},
    {"Input", "RAW Image Height", &S::raw_image_height, kIn, "raw"},
    {"Input", "RAW Tone Mapping", &S::raw_tone_mapping, kIn, "raw"},
    {"Output", "Format", &S::output_format},
    {"Output", "BMP BPP", &S::bmp_bpp, kOut, "bmp"},
    {"Output", "BMP Compression", &S::bmp_compression, kOut, "bmp"},
    {"Output", "BMP Color Table", &S::bmp_color_table, kOut, "bmp"},
    {"Output", "DDS BPP", &S::dds_bpp, kOut, "dds"},
    {"Output", "EXR BPP", &S::exr_bpp, kOut, "exr"},
    {"Output", "EXR Compression", &S::exr_compression, kOut, "exr"},
    {"Output", "GIF BPP", &S::gif_bpp, kOut, "gif"},
    {"Output", "HDR BPP", &S::hdr_bpp, kOut, "hdr"},
    {"Output", "ICO BPP", &S::ico_bpp, kOut, "ico"},
    {"Output", "J2K BPP", &S::j2k_bpp, kOut, "j2k"},
    {"Output", "JNG BPP", &S::jng_bpp, kOut, "jng"},
    {"Output", "JP2 BPP", &S::jp2_bpp, kOut, "jp2"},
    {"Output", "JPG BPP", &S::jpg_bpp, kOut, "jpg"},
    {"Output", "JPG Quality", &S::jpg_quality, kOut, "jpg"},
    {"Output", "JPG Chroma", &S::jpg_chroma, kOut, "jpg"},
    {"Output", "JPG Save As", &S::jpg_save_as, kOut, "jpg"},
    {"Output", "JXR BPP", &S::jxr_bpp, kOut, "jxr"},
    {"Output", "PBM BPP", &S::pbm_bpp, kOut, "pbm"},
    {"Output", "PCX BPP", &S::pcx_bpp, kOut, "pcx"},
    {"Output", "PFM BPP", &S::pfm_bpp, kOut, "pfm"},
    {"Output", "PGM BPP", &S::pgm_bpp, kOut, "pgm"},
    {"Output", "PNG BPP", &S::png_bpp, kOut, "png"},
    {"Output", "PNG Compression", &S::png_compression, kOut, "png"},
    {"Output", "PNG Interlaced", &S::png_interlaced, kOut, "png"},
    {"Output", "PPM BPP", &S::ppm_bpp, kOut, "ppm"},
    {"Output", "PSD BPP", &S::psd_bpp, kOut, "psd"},
    {"Output", "TGA BPP", &S::tga_bpp, kOut, "tga"},
    {"Output", "TGA Compression", &S::tga_compression, kOut, "tga"},
    {"Output", "TIFF BPP", &S::tiff_bpp, kOut, "tiff"},
    {"Output", "TIFF Compression", &S::tiff_compression, kOut, "tiff"},
    {"Output", "TIFF Color Model", &S::tiff_color_model, kOut, "tiff"},
    {"Output", "WBMP BPP", &S::wbmp_bpp, kOut, "wbmp"},
    {"Output", "WEBP BPP", &S::webp_bpp, kOut, "webp"},
    {"Output", "WEBP Quality", &S::webp_quality, kOut, "webp"},
    {"Output", "XPM BPP", &S::xpm_bpp, kOut, "xpm"},
    {"Transform", "Do Image Rotation", &S::do_image_rotation},
    {"Transform", "Image Rotation Type", &S::image_rotation_type},
    {"Transform", "Image Rotation", &S::image_rotation},
    {"Transform", "Image Rotation Back Color", &S::image_rotation_back_color},
    {"Transform", "Do Image Resize", &S::do_image_resize},
    {"Transform", "Image Width", &S::image_width},
    {"Transform", "Image Width Unit", &S::image_width_unit},
    {"Transform", "Image Height", &S::image_height},
    {"Transform", "Image Height Unit", &S::image_height_unit},
    {"Transform", "Keep Aspect Ratio", &S::keep_aspect_ratio},
    {"Transform", "Image Resize Type", &S::image_resize_type},
    {"Transform", "Image Resize Algorithm", &S::image_resize_algorithm},
    {"Transform", "Do Image Flip Horizontal", &S::do_image_flip_horizontal},
    {"Transform", "Do Image Flip Vertical", &S::do_image_flip_vertical},
    {"Adjustment", "Do Image Color Correction", &S::do_image_color_correction},
    {"Adjustment", "Image Brightness", &S::image_brightness},
    {"Adjustment", "Image Contrast", &S::image_contrast},
    {"Adjustment", "Image Gamma", &S::image_gamma},
    {"Adjustment", "Image Invert", &S::image_invert},
    {"Adjustment", "Do Image Greyscale", &S::do_image_greyscale},
    {"Adjustment", "Do Image Threshold", &S::do_image_threshold},
    {"Adjustment", "Image Threshold", &S::image_threshold},
    {"Frame", "Do Frame", &S::do_frame},
    {"Frame", "Solid Left", &S::solid_left},
    {"Frame", "Solid Right", &S::solid_right},
    {"Frame", "Solid Top", &S::solid_top},
    {"Frame", "Solid Bottom", &S::solid_bottom},
    {"Frame", "Solid Left Color", &S::solid_left_color},
    {"Frame", "Solid Right Color", &S::solid_right_color},
    {"Frame", "Solid Top Color", &S::solid_top_color},
    {"Frame", "Solid Bottom Color", &S::solid_bottom_color},
    {"Frame", "Solid Opacity", &S::solid_opacity},
    {"Watermark", "Do Watermark", &S::do_watermark},
    {"Watermark", "Text", &S::watermark_text},
    {"Watermark", "Fonts", &S::watermark_fonts},
    {"Watermark", "Font", &S::watermark_font},
    {"Watermark", "Font Size", &S::font_size},
    {"Watermark", "Font Leading", &S::font_leading},
    {"Watermark", "Font Colors", &S::font_colors},
    {"Watermark", "Font Color", &S::font_color},
    {"Watermark", "Font Style", &S::font_style},
    {"Watermark", "Font Effect", &S::font_effect},
    {"Watermark", "Text Antialiasing", &S::text_antialiasing},
    {"Watermark", "Text Alignment", &S::text_alignment},
    {"Watermark", "Text Padding", &S::text_padding},
    {"Watermark", "Text Opacity", &S::text_opacity},
    {"Watermark", "Back Colors", &S::back_colors},
    {"Watermark", "Back Color", &S::back_color},
    {"Watermark", "Back Opacity", &S::back_opacity},
    {"Watermark", "Text Boundary", &S::text_boundary},
    {"Watermark", "Text Position", &S::text_position},
    {"Watermark", "Text X Offset", &S::text_x_offset},
    {"Watermark", "Text Y Offset", &S::text_y_offset},
    {"Watermark", "Text Rotation", &S::text_rotation},
    {"Watermark", "Text Size", &S::text_size},
    {"Watermark", "Text Scale", &S::text_scale},
    {"Watermark", "Image", &S::watermark_image},
    {"Watermark", "Image Greyscale", &S::wm_image_greyscale},
    {"Watermark", "Image Opacity", &S::wm_image_opacity},
    {"Watermark", "Image Boundary", &S::wm_image_boundary},
    {"Watermark", "Image Position", &S::wm_image_position},
    {"Watermark", "Image X Offset", &S::wm_image_x_offset},
    {"Watermark", "Image Y Offset", &S::wm_image_y_offset},
    {"Watermark", "Image Rotation", &S::wm_image_rotation},
    {"Watermark", "Image Size", &S::wm_image_size},
    {"Watermark", "Image Scale", &S::wm_image_scale},
    {"Advanced", "Filename Mask", &S::filename_mask},
    {"Advanced", "File Timestamp", &S::file_timestamp},
    {"Advanced", "Custom Timestamp", &S::custom_timestamp},
    {"Advanced", "Out Folders History", &S::out_folders_history},
    {"Advanced", "Out Folders Number", &S::out_folders_number},
    {"Advanced", "Keep Subfolders", &S::keep_subfolders},
    {"File", "Recent Out Folders", &S::recent_out_folders},
    {"File", "Recent Files", &S::recent_files},
    {"Privacy", "Clean Recent Files", &S::clean_recent_files},
};

/// The values a missing key takes: the record's defaults, except that a
/// file without "CFG" counts as version 0, the window sits at 100, 100 and
/// the formats are the first entries of the format lists.
Settings defaultsForLoading() {
  Settings base;
  base.cfg_version = 0;
  base.update_date = currentDate();
  base.custom_timestamp = base.update_date;
  base.window_x = 100;
  base.window_y = 100;
  base.keep_aspect_ratio = true;
  if (!inputFormatList().empty()) base.input_format = inputFormatList().front();
  if (!outputFormatList().empty()) base.output_format = outputFormatList().front();
  return base;
}

void readRow(const PreferenceFile& file, const KeyRow& row, const Settings& base, Settings& out) {
  std::visit(
      [&](auto member) {
        using T = std::remove_cvref_t<decltype(out.*member)>;
        if constexpr (std::is_same_v<T, std::string>) {
          out.*member = file.readText(row.key, base.*member);
        } else if constexpr (std::is_same_v<T, float>) {
          out.*member = file.readFloat(row.key, base.*member);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          out.*member = file.readInteger(row.key, base.*member);
        } else {  // One-byte fields keep the low 8 bits of what is read.
          out.*member = static_cast<T>(file.readInteger(row.key, base.*member) & 0xFF);
        }
      },
      row.field);
}

void writeRow(PreferenceFile& file, const KeyRow& row, const Settings& in) {
  if (std::holds_alternative<int32_t Settings::*>(row.field) &&
      std::get<int32_t Settings::*>(row.field) == &Settings::cfg_version) {
    file.writeInteger(row.key, kSettingsLayoutVersion);
    return;
  }
  std::visit(
      [&](auto member) {
        using T = std::remove_cvref_t<decltype(in.*member)>;
        if constexpr (std::is_same_v<T, std::string>) file.writeText(row.key, in.*member);
        else if constexpr (std::is_same_v<T, float>) file.writeFloat(row.key, in.*member);
        else if constexpr (std::is_same_v<T, uint8_t>) file.writeInteger(row.key, static_cast<int8_t>(in.*member));
        else file.writeInteger(row.key, static_cast<int32_t>(in.*member));
      },
      row.field);
}

/// Writes the rows of one group; format rows follow the order of the list.
void writeGroup(PreferenceFile& file, std::string_view group, const Settings& in) {
  file.selectGroup(group);
  for (const KeyRow& row : kRows) {
    if (group != row.group) continue;
    if (row.when == When::kAlways || (row.when == When::kWindowSaved && in.save_window_position))
      writeRow(file, row, in);
  }
  for (When when : {When::kInputFormat, When::kOutputFormat}) {
    const auto& list = when == When::kInputFormat ? inputFormatList() : outputFormatList();
    for (const std::string& format : list)
      for (const KeyRow& row : kRows)
        if (group == row.group && row.when == when && format == row.format) writeRow(file, row, in);
  }
  file.writeComment("");
}

/// The mask is matched as the file-name mask reads it, without regard to
/// case, so "%EXT%" already counts as the extension token.
void migrate(Settings& s) {
  if (s.cfg_version < 11 && findIgnoreCase(s.filename_mask, "%ext%") == std::string::npos) s.filename_mask += ".%ext%";
  if (s.cfg_version < 14 && s.raw_load_as != 0) s.raw_load_as += 2;
}

}  // namespace

void loadSettings() {
  Settings& s = settings();
  PreferenceFile file;
  if (!file.openPreferences(s.settings_file_path)) {
    applyDefaultSettings(false);
  } else {
    const Settings base = defaultsForLoading();
    Settings loaded = base;
    loaded.settings_file_path = s.settings_file_path;
    for (const KeyRow& row : kRows) {
      file.selectGroup(row.group);
      readRow(file, row, base, loaded);
    }
    file.closePreferences();
    s = loaded;
  }
  migrate(s);
}

void visitSettingsFields(Settings& record, SettingsFieldVisitor& visitor) {
  for (const KeyRow& row : kRows) std::visit([&](auto member) { visitor.field(record.*member); }, row.field);
}

bool saveSettings(FileSystem& fs) {
  const Settings& s = settings();
  PreferenceFile file;
  if (!file.createPreferences(s.settings_file_path)) return false;
  std::string_view previous;
  for (const KeyRow& row : kRows) {
    if (row.group == previous) continue;
    previous = row.group;
    writeGroup(file, row.group, s);
  }
  return file.closePreferences(nullptr, fs);
}

}  // namespace pixolune
