// The one process-wide record of every user option, its defaults, and the
// small platform helpers the defaults need.
#ifndef PIXOLUNE_SETTINGS_SETTINGS_H_
#define PIXOLUNE_SETTINGS_SETTINGS_H_

#include <cstdint>
#include <string>

namespace pixolune {

/// The inner size the preferences dialog first opens with.
inline constexpr int32_t kPreferencesDefaultWidth = 680;
inline constexpr int32_t kPreferencesDefaultHeight = 520;

/// The codes of the enumerated fields, as the settings file stores them (the
/// record keeps plain integers: the file and the console profiles rely on
/// the numbers).
enum UpdateRange : int32_t {  // update_range
  kUpdateDaily = 0,
  kUpdateWeekly = 1,
  kUpdateMonthly = 2,
  kUpdateQuarterly = 3,
  kUpdateHalfYearly = 4,
  kUpdateNever = 5,
};
enum ColorModel : int32_t { kColorModelRgb = 0, kColorModelCmyk = 1, kColorModelLab = 2 };  // psd/tiff_color_model
enum RotationType : uint8_t { kRotationSimple = 0, kRotationAdvanced = 1 };  // image_rotation_type
enum SizeUnit : uint8_t { kSizeInPixels = 0, kSizeInPercent = 1 };           // image_width/height_unit
enum ResizeType : uint8_t { kResizeAllImages = 0, kResizeLargeImages = 1 };  // image_resize_type
enum WatermarkKind : uint8_t { kWatermarkNone = 0, kWatermarkText = 1, kWatermarkImage = 2 };  // do_watermark
enum FileTimestamp : uint8_t { kTimestampCurrent = 0, kTimestampOriginal = 1, kTimestampCustom = 2 };  // file_timestamp

/// Every user option. Fields follow the configuration file's keys in lower case
/// with underscores. Enumerations hold small codes (the positions of the choices
/// in the preferences dialog, counted from 0). Colours are six upper-case hex
/// digits, red, green, blue. Dates are seconds since 1970-01-01 local time, except
/// custom_timestamp, which is Unix time (seconds since 1970-01-01 UTC).
/// Text fields are never "null": empty text instead. No field is range-checked
/// here; the preferences dialog and the option parser enforce the ranges of
/// the field table (settings/setting_fields.h), which also names each field's
/// settings-file key and console option.
struct Settings {
  // Process value, not a user option: full path of the configuration file.
  // applyDefaultSettings never touches it.
  std::string settings_file_path;

  // [General]
  int32_t cfg_version = 18;        // Layout version; older files are migrated.
  std::string language = "en";     // User-interface language code.
  int32_t update_range = 2;        // 0 daily, 1 weekly, 2 monthly, 3 quarterly, 4 half-yearly, 5 never.
  int32_t update_date = 0;         // Date of the last automatic update check (default: now).
  bool save_window_position = true;

  // [Window]
  bool window_maximized = false;
  int32_t window_x = 100;          // Default: centred on the first desktop.
  int32_t window_y = 100;
  int32_t window_width = 510;      // Inner width.
  int32_t window_height = 330;     // Inner height.
  // The preferences dialog's inner size when it last closed.
  int32_t preferences_width = kPreferencesDefaultWidth;
  int32_t preferences_height = kPreferencesDefaultHeight;

  // [Interface]
  std::string ui_theme = "handdrawn";
  int32_t ui_size = 2;             // 0 Small, 1 Medium, 2 Large, 3 Extra Large, 4 Huge.

  // [Input] Load options. Only psd_color_model affects conversion; the rest are
  // stored, edited and written back.
  std::string input_format = "psd";
  int32_t dds_load_as = 0;         // 0 auto, 1 BGRA, 2 RGBA.
  int32_t gif_frame_loading = 0;   // 0 all, 1 first, 2 middle, 3 last, 4 random.
  int32_t ico_frame_loading = 0;
  int32_t tiff_frame_loading = 0;
  int32_t psd_color_model = 0;     // 0 RGB, 1 CMYK, 2 Lab.
  int32_t raw_load_as = 0;         // 0 auto, 1 RGB 8, 2 RGB 16, 3 RGB 24, 4 RGB 48 (HS), 5 RGB 48.
  int32_t raw_header_size = 0;
  int32_t raw_image_width = 0;
  int32_t raw_image_height = 0;
  int32_t raw_tone_mapping = 2;    // 0 none, 1 linear, 2 adaptive log, 3 range reduction, 4 gradient.

  // [Output] A *_bpp field is a bit depth the format accepts, or 0 for automatic.
  std::string output_format = "png";
  int32_t bmp_bpp = 0;
  int32_t bmp_compression = 0;     // 0 none, 1 RLE.
  int32_t bmp_color_table = 0;     // 0 auto, 1 exact (stored only).
  int32_t dds_bpp = 0;
  int32_t exr_bpp = 0;
  int32_t exr_compression = 0;     // 0 none, 1 ZIP, 2 PIZ, 3 PXR24, 4 B44.
  int32_t gif_bpp = 0;
  int32_t hdr_bpp = 0;
  int32_t ico_bpp = 0;
  int32_t j2k_bpp = 0;
  int32_t jng_bpp = 0;
  int32_t jp2_bpp = 0;
  int32_t jpg_bpp = 0;
  int32_t jpg_quality = 95;        // 1..100.
  int32_t jpg_chroma = 0;          // 0 none (4:4:4), 1 low, 2 medium, 3 high.
  int32_t jpg_save_as = 0;         // 0 standard, 1 baseline, 2 optimized, 3 progressive.
  int32_t jxr_bpp = 0;
  int32_t pbm_bpp = 0;
  int32_t pcx_bpp = 0;
  int32_t pfm_bpp = 0;
  int32_t pgm_bpp = 0;
  int32_t png_bpp = 0;
  int32_t png_compression = 2;     // 0 none, 1 zlib 1, 2 zlib 6 (default: compact files), 3 zlib 9.
  bool png_interlaced = false;
  // Leave the document's metadata out of the written file (default false,
  // set by --strip-metadata): no XMP, EXIF, IPTC or text chunks; the colour
  // profile and the resolution stay, since they change how the pixels are
  // shown. A run option: not stored in the settings file.
  bool strip_metadata = false;
  int32_t ppm_bpp = 0;
  int32_t psd_bpp = 0;
  int32_t tga_bpp = 0;
  int32_t tga_compression = 0;     // 0 none, 1 RLE.
  int32_t tiff_bpp = 0;
  int32_t tiff_compression = 0;    // 0 none .. 8 LogLuv.
  int32_t tiff_color_model = 0;    // 0 RGB, 1 CMYK.
  int32_t wbmp_bpp = 0;
  int32_t webp_bpp = 0;
  int32_t webp_quality = 100;      // 1..100; 100 means lossless.
  int32_t xpm_bpp = 0;

  // [Transform]
  bool do_image_rotation = false;
  uint8_t image_rotation_type = 0;            // 0 simple, 1 advanced.
  int32_t image_rotation = 0;                 // Degrees 0..360.
  std::string image_rotation_back_color = "000000";
  bool do_image_resize = false;
  int32_t image_width = 0;
  uint8_t image_width_unit = 0;               // 0 pixels, 1 percent.
  int32_t image_height = 0;
  uint8_t image_height_unit = 0;
  bool keep_aspect_ratio = true;              // Window mode 1, console mode 0.
  // Fit inside the image_width x image_height box (default false, set by
  // --fit): the image is scaled, its proportions kept, to the largest size
  // no wider than the width target and no taller than the height target;
  // overrides keep_aspect_ratio. Resize type 1 still never enlarges. A run
  // option: not stored in the settings file.
  bool fit_inside = false;
  uint8_t image_resize_type = 0;              // 0 all images, 1 only larger ones.
  uint8_t image_resize_algorithm = 3;         // 0 box, 1 bilinear, 2 B-spline, 3 bicubic, 4 Catmull-Rom, 5 Lanczos.
  bool do_image_flip_horizontal = false;
  bool do_image_flip_vertical = false;

  // [Adjustment]
  bool do_image_color_correction = false;     // Derived by the preferences dialog.
  int32_t image_brightness = 0;               // -100..100.
  int32_t image_contrast = 0;                 // -100..100.
  float image_gamma = 1.0f;                   // 0.01..9.99.
  bool image_invert = false;
  bool do_image_greyscale = false;
  bool do_image_threshold = false;
  int32_t image_threshold = 0;                // 0..255.

  // [Frame]
  bool do_frame = false;                      // 0 none, 1 solid colour.
  int32_t solid_left = 0;
  int32_t solid_right = 0;
  int32_t solid_top = 0;
  int32_t solid_bottom = 0;
  std::string solid_left_color = "000000";
  std::string solid_right_color = "000000";
  std::string solid_top_color = "000000";
  std::string solid_bottom_color = "000000";
  int32_t solid_opacity = 255;                // 1..255.

  // [Watermark]
  uint8_t do_watermark = 0;                   // 0 none, 1 text, 2 image.
  std::string watermark_text = "Converted with Pixolune by Quorvant";
  std::string watermark_fonts = "Arial,Tahoma,Verdana";
  std::string watermark_font = "Arial";
  int32_t font_size = 14;                     // Points.
  int32_t font_leading = 0;
  std::string font_colors = "000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF";
  std::string font_color = "FFFFFF";
  uint8_t font_style = 0;                     // 0 regular, 1 bold, 2 italic, 3 bold italic.
  uint8_t font_effect = 0;                    // 0 none, 1 underline, 2 strike-out.
  bool text_antialiasing = true;
  uint8_t text_alignment = 0;                 // 0 left, 1 centre, 2 right.
  int32_t text_padding = 0;
  int32_t text_opacity = 255;                 // 1..255.
  std::string back_colors = "000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF";
  std::string back_color = "000000";
  int32_t back_opacity = 1;                   // 1..255; one, not zero.
  bool text_boundary = false;                 // Relative to 0 the image, 1 the frame.
  uint8_t text_position = 8;                  // 0..8, top-left to bottom-right.
  int32_t text_x_offset = 10;
  int32_t text_y_offset = 10;
  int32_t text_rotation = 0;                  // Degrees 0..360.
  uint8_t text_size = 0;                      // 0 fixed size.
  int32_t text_scale = 10;                    // 1..200.
  std::string watermark_image;
  bool wm_image_greyscale = false;
  int32_t wm_image_opacity = 255;             // 1..255.
  bool wm_image_boundary = false;
  uint8_t wm_image_position = 8;
  int32_t wm_image_x_offset = 10;
  int32_t wm_image_y_offset = 10;
  int32_t wm_image_rotation = 0;
  uint8_t wm_image_size = 0;
  int32_t wm_image_scale = 10;                // 1..200.

  // [Advanced]
  std::string filename_mask = "%filename%.%ext%";
  uint8_t file_timestamp = 0;                 // 0 current, 1 original, 2 custom.
  int32_t custom_timestamp = 0;               // Date given to written files with file_timestamp 2, Unix time (UTC).
  bool out_folders_history = true;
  uint8_t out_folders_number = 5;             // 1..50.
  bool keep_subfolders = true;
  uint8_t export_kind = 0;                    // 0 the document, 1 its layers, 2 its groups, 3 its layer comps.
  bool export_canvas_bounds = false;          // Exported pieces as large as the canvas, else cut to what shows.
  bool export_hidden = false;                 // Hidden layers and groups are exported too.
  int32_t export_depth = 1;                   // Which groups are exported: 1 the top level.
  bool export_manifest = false;               // A JSON list of the exported pieces beside them.

  // [File] / [Privacy]
  std::string recent_out_folders;             // TAB-separated folders, newest first.
  std::string recent_files;                   // Kept and written back unchanged.
  bool clean_recent_files = false;            // Kept and written back unchanged.

  bool operator==(const Settings&) const = default;
};

/// The process-wide settings. Read without locks by the worker: nothing may
/// change it while a run is active.
Settings& settings();

/// Overwrites every user field with its default; keeps settings_file_path.
/// keep_aspect_ratio is 0 in console mode and 1 in window mode. The formats
/// become the first entries of the input- and output-format lists, and the
/// window is centred on the first desktop.
void applyDefaultSettings(bool console_mode);

/// (desktop - window) / 2 when the desktop is strictly larger, otherwise 100.
int32_t centredPosition(int32_t window_extent, int32_t desktop_extent);

/// Size of the first desktop. Tests and the window mode may replace the query;
/// without a display it reports 0 x 0.
struct DesktopSize {
  int32_t width = 0;
  int32_t height = 0;
};
using DesktopQuery = DesktopSize (*)();
void setDesktopQuery(DesktopQuery query);

/// Shell special-folder ids the program asks for.
enum SpecialFolder : int {
  kFolderAppData = 0x1a,   // Per-user (roaming) application data.
  kFolderPersonal = 0x05,  // The user's documents folder.
  kFolderPictures = 0x27,  // The user's pictures folder.
};

/// The file-system path of a special folder, trimmed of spaces, without a
/// trailing separator; empty when it cannot be resolved. The application-data
/// folder is $XDG_CONFIG_HOME, else $HOME/.config.
std::string specialFolderPath(int folder_id);

/// The per-user application-data folder + first + "/" + second + "/",
/// creating both sub-folders when missing. Ends with "/". Returns the path even
/// when a folder could not be created (the later file open then fails).
std::string userDataFolder(const std::string& first, const std::string& second);

/// Current time as a 32-bit date (seconds since 1970-01-01, local time).
int32_t currentDate();

}  // namespace pixolune

#endif  // PIXOLUNE_SETTINGS_SETTINGS_H_
