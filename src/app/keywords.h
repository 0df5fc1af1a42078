// Option keyword tables: the textual option values of the command line and
// the numeric codes stored in Settings.
#ifndef PIXOLUNE_APP_KEYWORDS_H_
#define PIXOLUNE_APP_KEYWORDS_H_

#include <string>
#include <string_view>

namespace pixolune {

/// The 24 keyword tables. kKeywordsNone marks an option without keywords.
enum KeywordTable : int {
  kKeywordsNone = -1,
  kKeywordsDdsLoadAs = 0,       // dds_load_as
  kKeywordsRawLoadAs = 1,       // raw_load_as
  kKeywordsFrameLoading = 2,    // gif/ico/tiff_frame_loading
  kKeywordsToneMapping = 3,     // raw_tone_mapping
  kKeywordsCompression = 4,     // bmp/tga/exr/png/tiff_compression (all formats' words)
  kKeywordsColorTable = 5,      // bmp_color_table
  kKeywordsColorModel = 6,      // psd_color_model, tiff_color_model
  kKeywordsJpgChroma = 7,       // jpg_chroma
  kKeywordsJpgSaveAs = 8,       // jpg_save_as
  kKeywordsRotationType = 9,    // image_rotation_type
  kKeywordsSizeUnit = 10,       // image_width_unit, image_height_unit
  kKeywordsResizeType = 11,     // image_resize_type
  kKeywordsResizeAlgorithm = 12,  // image_resize_algorithm
  kKeywordsFrame = 13,          // do_frame (echo only, never parsed)
  kKeywordsWatermark = 14,      // do_watermark (echo only, never parsed)
  kKeywordsFontStyle = 15,      // font_style
  kKeywordsFontEffect = 16,     // font_effect
  kKeywordsTextAlignment = 17,  // text_alignment
  kKeywordsBoundary = 18,       // text_boundary, wm_image_boundary
  kKeywordsPosition = 19,       // text_position, wm_image_position
  kKeywordsSize = 20,           // text_size, wm_image_size
  kKeywordsFileTimestamp = 21,  // file_timestamp
  kKeywordsExport = 22,         // export_kind
  kKeywordsExportBounds = 23,   // export_canvas_bounds
  kKeywordTableCount = 24,
};

/// The code of `text` in `table`: the text is upper-cased and compared
/// exactly with the table's keywords in their order; the first match wins.
/// 0 when nothing matches or the table is kKeywordsNone or out of range.
int keywordToCode(KeywordTable table, std::string_view text);

/// Like keywordToCode, but tells a miss: false (and *code unchanged) when
/// `text` is not one of the table's keywords.
bool findKeywordCode(KeywordTable table, std::string_view text, int* code);

/// The table's keywords in lower case and in their order, joined by ", "
/// (for messages that say what an option accepts).
std::string keywordList(KeywordTable table);

/// The keyword listed first for `code` in `table`; empty text when the table
/// has none or is kKeywordsNone or out of range.
std::string codeToKeyword(KeywordTable table, int code);

}  // namespace pixolune

#endif  // PIXOLUNE_APP_KEYWORDS_H_
