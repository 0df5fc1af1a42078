#include "app/keywords.h"

#include <span>

#include "platform/text.h"

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
constexpr Keyword kColorModel[] = {{"RGB", 0}, {"CMYK", 1}, {"LAB", 2}};
constexpr Keyword kJpgChroma[] = {{"NONE", 0}, {"LOW", 1}, {"MEDIUM", 2}, {"HIGH", 3}};
constexpr Keyword kJpgSaveAs[] = {{"STANDARD", 0}, {"SIMPLE", 1}, {"OPTIMIZED", 2}, {"PROGRESSIVE", 3}};
constexpr Keyword kRotationType[] = {{"SIMPLE", 0}, {"ADVANCED", 1}};
constexpr Keyword kSizeUnit[] = {{"PIXELS", 0}, {"PERCENT", 1}};
constexpr Keyword kResizeType[] = {{"ALLIMAGES", 0}, {"LARGEIMAGES", 1}};
constexpr Keyword kResizeAlgorithm[] = {{"BOX", 0},        {"BILINEAR", 1},   {"BSPLINE", 2},
                                        {"BICUBIC", 3},    {"CATMULLROM", 4}, {"LANCZOS", 5}};
constexpr Keyword kFrame[] = {{"NONE", 0}, {"SOLID", 1}};
constexpr Keyword kWatermark[] = {{"NONE", 0}, {"TEXT", 1}, {"IMAGE", 2}};
constexpr Keyword kFontStyle[] = {{"REGULAR", 0}, {"BOLD", 1}, {"ITALIC", 2}, {"BOLDITALIC", 3}};
// Spelled with the final T: profiles and scripts in use depend on it.
constexpr Keyword kFontEffect[] = {{"NONE", 0}, {"UNDERLINE", 1}, {"STRIKETHROUGHT", 2}};
constexpr Keyword kTextAlignment[] = {{"LEFT", 0}, {"CENTER", 1}, {"RIGHT", 2}};
constexpr Keyword kBoundary[] = {{"IMAGE", 0}, {"FRAME", 1}};
constexpr Keyword kPosition[] = {{"TOPLEFT", 0},     {"TOPCENTER", 1},    {"TOPRIGHT", 2},
                                 {"MIDDLELEFT", 3},  {"MIDDLECENTER", 4}, {"MIDDLERIGHT", 5},
                                 {"BOTTOMLEFT", 6},  {"BOTTOMCENTER", 7}, {"BOTTOMRIGHT", 8}};
constexpr Keyword kSize[] = {{"FIXED", 0}};
constexpr Keyword kFileTimestamp[] = {{"CURRENT", 0}, {"ORIGINAL", 1}, {"CUSTOM", 2}};

constexpr std::span<const Keyword> kTables[kKeywordTableCount] = {
    kDdsLoadAs,  kRawLoadAs,     kFrameLoading,  kToneMapping, kCompression,     kColorTable,
    kColorModel, kJpgChroma,     kJpgSaveAs,     kRotationType, kSizeUnit,       kResizeType,
    kResizeAlgorithm, kFrame,    kWatermark,     kFontStyle,   kFontEffect,      kTextAlignment,
    kBoundary,   kPosition,      kSize,          kFileTimestamp};

std::span<const Keyword> tableOf(int table) {
  if (table < 0 || table >= kKeywordTableCount) return {};
  return kTables[table];
}

}  // namespace

int keywordToCode(int table, std::string_view text) {
  const std::string upper = toUpper(text);
  for (const Keyword& keyword : tableOf(table))
    if (upper == keyword.word) return keyword.code;
  return 0;
}

std::string codeToKeyword(int table, int code) {
  for (const Keyword& keyword : tableOf(table))
    if (keyword.code == code) return keyword.word;
  return "";
}

}  // namespace pixolune
