#include "app/keywords.h"

#include <span>

#include "platform/text.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

struct Keyword {
  const char* word;
  int code;
};

constexpr Keyword kDdsLoadAs[] = {{"AUTO", 0}, {"BGRA", 1}, {"RGBA", 2}};
constexpr Keyword kRawLoadAs[] = {{"AUTO", 0}, {"8", 1}, {"16", 2}, {"24", 3}, {"48HS", 4}, {"48", 5}};
constexpr Keyword kFrameLoading[] = {{"ALL", 0}, {"FIRST", 1}, {"MIDDLE", 2}, {"LAST", 3}, {"RANDOM", 4}};
constexpr Keyword kToneMapping[] = {{"NONE", 0}, {"LINEAR", 1}, {"AL", 2}, {"DRR", 3}, {"GD", 4}};
// The words of every format share one table, so any of them is accepted for
// any compression option; a code therefore reads back as its first word.
constexpr Keyword kCompression[] = {
    {"NONE", 0},     {"RLE", 1},       {"ZIP", 1},          {"PIZ", 2},          {"PXR24", 3},
    {"B44", 4},      {"ZLIB1", 1},     {"ZLIB6", 2},        {"ZLIB9", 3},        {"CCITTFAX3", 1},
    {"CCITTFAX4", 2}, {"PACKBITS", 3}, {"DEFLATE", 4},      {"ADOBEDEFLATE", 5}, {"LZW", 6},
    {"JPEG", 7},     {"LOGLUV", 8}};
constexpr Keyword kColorTable[] = {{"AUTO", 0}, {"EXACT", 1}};
constexpr Keyword kColorModel[] = {{"RGB", kColorModelRgb}, {"CMYK", kColorModelCmyk}, {"LAB", kColorModelLab}};
constexpr Keyword kJpgChroma[] = {{"NONE", 0}, {"LOW", 1}, {"MEDIUM", 2}, {"HIGH", 3}};
constexpr Keyword kJpgSaveAs[] = {{"STANDARD", 0}, {"SIMPLE", 1}, {"OPTIMIZED", 2}, {"PROGRESSIVE", 3}};
constexpr Keyword kRotationType[] = {{"SIMPLE", kRotationSimple}, {"ADVANCED", kRotationAdvanced}};
constexpr Keyword kSizeUnit[] = {{"PIXELS", kSizeInPixels}, {"PERCENT", kSizeInPercent}};
constexpr Keyword kResizeType[] = {{"ALLIMAGES", kResizeAllImages}, {"LARGEIMAGES", kResizeLargeImages}};
constexpr Keyword kResizeAlgorithm[] = {{"BOX", 0},        {"BILINEAR", 1},   {"BSPLINE", 2},
                                        {"BICUBIC", 3},    {"CATMULLROM", 4}, {"LANCZOS", 5}};
constexpr Keyword kFrame[] = {{"NONE", 0}, {"SOLID", 1}};
constexpr Keyword kWatermark[] = {{"NONE", kWatermarkNone}, {"TEXT", kWatermarkText}, {"IMAGE", kWatermarkImage}};
constexpr Keyword kFontStyle[] = {{"REGULAR", 0}, {"BOLD", 1}, {"ITALIC", 2}, {"BOLDITALIC", 3}};
// Spelled with the final T: profiles and scripts in use depend on it.
constexpr Keyword kFontEffect[] = {{"NONE", 0}, {"UNDERLINE", 1}, {"STRIKETHROUGHT", 2}};
constexpr Keyword kTextAlignment[] = {{"LEFT", 0}, {"CENTER", 1}, {"RIGHT", 2}};
constexpr Keyword kBoundary[] = {{"IMAGE", 0}, {"FRAME", 1}};
constexpr Keyword kPosition[] = {{"TOPLEFT", 0},     {"TOPCENTER", 1},    {"TOPRIGHT", 2},
                                 {"MIDDLELEFT", 3},  {"MIDDLECENTER", 4}, {"MIDDLERIGHT", 5},
                                 {"BOTTOMLEFT", 6},  {"BOTTOMCENTER", 7}, {"BOTTOMRIGHT", 8}};
constexpr Keyword kSize[] = {{"FIXED", 0}};
constexpr Keyword kFileTimestamp[] = {{"CURRENT", kTimestampCurrent}, {"ORIGINAL", kTimestampOriginal},
                                      {"CUSTOM", kTimestampCustom}};
constexpr Keyword kExport[] = {{"DOCUMENT", 0}, {"LAYERS", 1}, {"GROUPS", 2}, {"COMPS", 3}};
constexpr Keyword kExportBounds[] = {{"LAYER", 0}, {"CANVAS", 1}};

std::span<const Keyword> tableOf(KeywordTable table) {
  switch (table) {
    case kKeywordsDdsLoadAs: return kDdsLoadAs;
    case kKeywordsRawLoadAs: return kRawLoadAs;
    case kKeywordsFrameLoading: return kFrameLoading;
    case kKeywordsToneMapping: return kToneMapping;
    case kKeywordsCompression: return kCompression;
    case kKeywordsColorTable: return kColorTable;
    case kKeywordsColorModel: return kColorModel;
    case kKeywordsJpgChroma: return kJpgChroma;
    case kKeywordsJpgSaveAs: return kJpgSaveAs;
    case kKeywordsRotationType: return kRotationType;
    case kKeywordsSizeUnit: return kSizeUnit;
    case kKeywordsResizeType: return kResizeType;
    case kKeywordsResizeAlgorithm: return kResizeAlgorithm;
    case kKeywordsFrame: return kFrame;
    case kKeywordsWatermark: return kWatermark;
    case kKeywordsFontStyle: return kFontStyle;
    case kKeywordsFontEffect: return kFontEffect;
    case kKeywordsTextAlignment: return kTextAlignment;
    case kKeywordsBoundary: return kBoundary;
    case kKeywordsPosition: return kPosition;
    case kKeywordsSize: return kSize;
    case kKeywordsFileTimestamp: return kFileTimestamp;
    case kKeywordsExport: return kExport;
    case kKeywordsExportBounds: return kExportBounds;
    case kKeywordsNone:
    case kKeywordTableCount: break;
  }
  return {};  // kKeywordsNone, or a number outside the tables.
}

}  // namespace

int keywordToCode(KeywordTable table, std::string_view text) {
  const std::string upper = toUpper(text);
  for (const Keyword& keyword : tableOf(table))
    if (upper == keyword.word) return keyword.code;
  return 0;
}

bool findKeywordCode(KeywordTable table, std::string_view text, int* code) {
  const std::string upper = toUpper(text);
  for (const Keyword& keyword : tableOf(table))
    if (upper == keyword.word) return *code = keyword.code, true;
  return false;
}

std::string keywordList(KeywordTable table) {
  std::string list;
  for (const Keyword& keyword : tableOf(table)) list += (list.empty() ? "" : ", ") + toLower(keyword.word);
  return list;
}

std::string codeToKeyword(KeywordTable table, int code) {
  for (const Keyword& keyword : tableOf(table))
    if (keyword.code == code) return keyword.word;
  return "";
}

}  // namespace pixolune
