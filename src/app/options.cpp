#include "app/options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <cstdio>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/text.h"

namespace pixolune {

namespace {

// Every option that sets Settings, in the order of the usage documentation.
// Each one's field (the member it sets and the range of its numbers) is the
// field table's row of its name; `apply` adds what else it does.
constexpr ValueForm kFlag = ValueForm::kFlag;
constexpr ValueForm kInt = ValueForm::kInt;
constexpr ValueForm kFloat = ValueForm::kFloat;
constexpr ValueForm kWord = ValueForm::kKeyword;
constexpr ValueForm kText = ValueForm::kText;
constexpr OptionPlace kBoth = OptionPlace::kBoth;

void rotate(Settings& s, const OptionValue&) { s.do_image_rotation = true; }
void resizeWidth(Settings& s, const OptionValue& v) {
  s.do_image_resize = true;
  if (v.percent) s.image_width_unit = kSizeInPercent;
}
void resizeHeight(Settings& s, const OptionValue& v) {
  s.do_image_resize = true;
  if (v.percent) s.image_height_unit = kSizeInPercent;
}
void correctColours(Settings& s, const OptionValue&) { s.do_image_color_correction = true; }
void invert(Settings& s, const OptionValue& v) {
  if (v.number) s.do_image_color_correction = true;
}
void threshold(Settings& s, const OptionValue&) { s.do_image_threshold = true; }
void frame(Settings& s, const OptionValue&) { s.do_frame = true; }
void textWatermark(Settings& s, const OptionValue&) { s.do_watermark = kWatermarkText; }
void imageWatermark(Settings& s, const OptionValue&) { s.do_watermark = kWatermarkImage; }
// --FIT's width is stored as --WIDTH's; the height, the units and the fit follow.
void fitInside(Settings& s, const OptionValue& v) {
  s.do_image_resize = true;
  s.image_height = v.second;
  s.image_width_unit = kSizeInPixels;
  s.image_height_unit = kSizeInPixels;
  s.fit_inside = true;
}
// The flag says the opposite of the field.
void noSubfolders(Settings& s, const OptionValue& v) { s.keep_subfolders = v.number == 0; }

// clang-format off
const OptionSpec kOptions[] = {
    {"--DDS-LOAD-AS", kWord, kKeywordsDdsLoadAs, kBoth},
    {"--RAW-LOAD-AS", kWord, kKeywordsRawLoadAs, kBoth},
    {"--GIF-FRAME-LOADING", kWord, kKeywordsFrameLoading, kBoth},
    {"--ICO-FRAME-LOADING", kWord, kKeywordsFrameLoading, kBoth},
    {"--TIFF-FRAME-LOADING", kWord, kKeywordsFrameLoading, kBoth},
    {"--RAW-TONE-MAPPING", kWord, kKeywordsToneMapping, kBoth},
    {"--PSD-COLOR-MODEL", kWord, kKeywordsColorModel, kBoth},
    {"--RAW-HEADER-SIZE", kInt, kKeywordsNone, kBoth},
    {"--RAW-WIDTH", kInt, kKeywordsNone, kBoth},
    {"--RAW-HEIGHT", kInt, kKeywordsNone, kBoth},
    {"--BMP-BPP", kInt, kKeywordsNone, kBoth},
    {"--DDS-BPP", kInt, kKeywordsNone, kBoth},
    {"--EXR-BPP", kInt, kKeywordsNone, kBoth},
    {"--GIF-BPP", kInt, kKeywordsNone, kBoth},
    {"--HDR-BPP", kInt, kKeywordsNone, kBoth},
    {"--ICO-BPP", kInt, kKeywordsNone, kBoth},
    {"--J2K-BPP", kInt, kKeywordsNone, kBoth},
    {"--JNG-BPP", kInt, kKeywordsNone, kBoth},
    {"--JP2-BPP", kInt, kKeywordsNone, kBoth},
    {"--JPG-BPP", kInt, kKeywordsNone, kBoth},
    {"--JXR-BPP", kInt, kKeywordsNone, kBoth},
    {"--PBM-BPP", kInt, kKeywordsNone, kBoth},
    {"--PCX-BPP", kInt, kKeywordsNone, kBoth},
    {"--PFM-BPP", kInt, kKeywordsNone, kBoth},
    {"--PGM-BPP", kInt, kKeywordsNone, kBoth},
    {"--PNG-BPP", kInt, kKeywordsNone, kBoth},
    {"--PPM-BPP", kInt, kKeywordsNone, kBoth},
    {"--PSD-BPP", kInt, kKeywordsNone, kBoth},
    {"--TGA-BPP", kInt, kKeywordsNone, kBoth},
    {"--TIFF-BPP", kInt, kKeywordsNone, kBoth},
    {"--WBMP-BPP", kInt, kKeywordsNone, kBoth},
    {"--WEBP-BPP", kInt, kKeywordsNone, kBoth},
    {"--XPM-BPP", kInt, kKeywordsNone, kBoth},
    {"--BMP-COMPRESSION", kWord, kKeywordsCompression, kBoth},
    {"--EXR-COMPRESSION", kWord, kKeywordsCompression, kBoth},
    {"--PNG-COMPRESSION", kWord, kKeywordsCompression, kBoth, nullptr, "NONE|ZLIB1|ZLIB6|ZLIB9"},
    {"--TGA-COMPRESSION", kWord, kKeywordsCompression, kBoth},
    {"--TIFF-COMPRESSION", kWord, kKeywordsCompression, kBoth},
    {"--BMP-COLOR-TABLE", kWord, kKeywordsColorTable, kBoth},
    {"--TIFF-COLOR-MODEL", kWord, kKeywordsColorModel, kBoth},
    {"--JPG-QUALITY", kInt, kKeywordsNone, kBoth},
    {"--JPG-CHROMA", kWord, kKeywordsJpgChroma, kBoth},
    {"--JPG-SAVE-AS", kWord, kKeywordsJpgSaveAs, kBoth},
    {"--PNG-INTERLACED", kFlag, kKeywordsNone, kBoth},
    {"--WEBP-QUALITY", kInt, kKeywordsNone, kBoth},
    {"--ROTATION", kInt, kKeywordsNone, kBoth, rotate},
    {"--ROTATION-TYPE", kWord, kKeywordsRotationType, kBoth},
    {"--ROTATION-BACK-COLOR", kText, kKeywordsNone, kBoth},
    {"--WIDTH", kInt, kKeywordsNone, kBoth, resizeWidth, nullptr, true},
    {"--HEIGHT", kInt, kKeywordsNone, kBoth, resizeHeight, nullptr, true},
    {"--WIDTH-UNIT", kWord, kKeywordsSizeUnit, kBoth},
    {"--HEIGHT-UNIT", kWord, kKeywordsSizeUnit, kBoth},
    {"--KEEP-ASPECT-RATIO", kFlag, kKeywordsNone, kBoth},
    {"--RESIZE-TYPE", kWord, kKeywordsResizeType, kBoth},
    {"--RESIZE-ALGORITHM", kWord, kKeywordsResizeAlgorithm, kBoth},
    {"--FLIP-HORIZONTAL", kFlag, kKeywordsNone, kBoth},
    {"--FLIP-VERTICAL", kFlag, kKeywordsNone, kBoth},
    {"--BRIGHTNESS", kInt, kKeywordsNone, kBoth, correctColours},
    {"--CONTRAST", kInt, kKeywordsNone, kBoth, correctColours},
    {"--GAMMA", kFloat, kKeywordsNone, kBoth, correctColours},
    {"--INVERT", kFlag, kKeywordsNone, kBoth, invert},
    {"--GREYSCALE", kFlag, kKeywordsNone, kBoth},
    {"--THRESHOLD", kInt, kKeywordsNone, kBoth, threshold},
    {"--FR-SOLID-LEFT", kInt, kKeywordsNone, kBoth, frame},
    {"--FR-SOLID-RIGHT", kInt, kKeywordsNone, kBoth, frame},
    {"--FR-SOLID-TOP", kInt, kKeywordsNone, kBoth, frame},
    {"--FR-SOLID-BOTTOM", kInt, kKeywordsNone, kBoth, frame},
    {"--FR-SOLID-LEFT-COLOR", kText, kKeywordsNone, kBoth},
    {"--FR-SOLID-RIGHT-COLOR", kText, kKeywordsNone, kBoth},
    {"--FR-SOLID-TOP-COLOR", kText, kKeywordsNone, kBoth},
    {"--FR-SOLID-BOTTOM-COLOR", kText, kKeywordsNone, kBoth},
    {"--FR-SOLID-OPACITY", kInt, kKeywordsNone, OptionPlace::kCommandLine},
    {"--WM-SOLID-OPACITY", kInt, kKeywordsNone, OptionPlace::kProfile, nullptr, nullptr, false, "--FR-SOLID-OPACITY"},
    {"--WM-TEXT", kText, kKeywordsNone, kBoth, textWatermark},
    {"--WM-IMAGE", kText, kKeywordsNone, kBoth, imageWatermark},
    {"--WM-FONT", kText, kKeywordsNone, kBoth},
    {"--WM-FONT-COLOR", kText, kKeywordsNone, kBoth},
    {"--WM-BACK-COLOR", kText, kKeywordsNone, kBoth},
    {"--WM-FONT-SIZE", kInt, kKeywordsNone, kBoth},
    {"--WM-FONT-LEADING", kInt, kKeywordsNone, kBoth},
    {"--WM-FONT-STYLE", kWord, kKeywordsFontStyle, kBoth},
    {"--WM-FONT-EFFECT", kWord, kKeywordsFontEffect, kBoth},
    {"--WM-TEXT-ANTIALIASING", kFlag, kKeywordsNone, kBoth},
    {"--WM-TEXT-ALIGNMENT", kWord, kKeywordsTextAlignment, kBoth},
    {"--WM-TEXT-PADDING", kInt, kKeywordsNone, kBoth},
    {"--WM-TEXT-OPACITY", kInt, kKeywordsNone, kBoth},
    {"--WM-BACK-OPACITY", kInt, kKeywordsNone, kBoth},
    {"--WM-TEXT-BOUNDARY", kWord, kKeywordsBoundary, kBoth},
    {"--WM-IMAGE-BOUNDARY", kWord, kKeywordsBoundary, kBoth},
    {"--WM-TEXT-POSITION", kWord, kKeywordsPosition, kBoth},
    {"--WM-IMAGE-POSITION", kWord, kKeywordsPosition, kBoth},
    {"--WM-TEXT-X-OFFSET", kInt, kKeywordsNone, kBoth},
    {"--WM-TEXT-Y-OFFSET", kInt, kKeywordsNone, kBoth},
    {"--WM-TEXT-ROTATION", kInt, kKeywordsNone, kBoth},
    {"--WM-TEXT-SIZE", kWord, kKeywordsSize, kBoth},
    {"--WM-IMAGE-SIZE", kWord, kKeywordsSize, kBoth},
    {"--WM-IMAGE-GREYSCALE", kFlag, kKeywordsNone, kBoth},
    {"--WM-IMAGE-OPACITY", kInt, kKeywordsNone, kBoth},
    {"--WM-IMAGE-X-OFFSET", kInt, kKeywordsNone, kBoth},
    {"--WM-IMAGE-Y-OFFSET", kInt, kKeywordsNone, kBoth},
    {"--WM-IMAGE-ROTATION", kInt, kKeywordsNone, kBoth},
    {"--FILENAME-MASK", kText, kKeywordsNone, kBoth},
    {"--FILE-TIMESTAMP", kWord, kKeywordsFileTimestamp, kBoth},
    {"--FILE-TIMESTAMP-CUSTOM", kInt, kKeywordsNone, kBoth},
    {"--FIT", ValueForm::kSize, kKeywordsNone, kBoth, fitInside, nullptr, false, "--WIDTH"},
    {"--STRIP-METADATA", kFlag, kKeywordsNone, kBoth},
    {"--NO-SUBFOLDERS", kFlag, kKeywordsNone, kBoth, noSubfolders},
    {"--EXPORT", kWord, kKeywordsExport, kBoth},
    {"--EXPORT-BOUNDS", kWord, kKeywordsExportBounds, kBoth},
    {"--EXPORT-HIDDEN", kFlag, kKeywordsNone, kBoth},
    {"--EXPORT-DEPTH", kInt, kKeywordsNone, kBoth},
    {"--EXPORT-MANIFEST", kFlag, kKeywordsNone, kBoth},
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
  const SettingRange range = optionRange(spec);
  if (!range.limited()) return std::string("expected ") + what;
  return std::string("expected ") + what + " from " + numberText(range.min) + " to " + numberText(range.max);
}

bool inRange(const OptionSpec& spec, double value) {
  const SettingRange range = optionRange(spec);
  if (!range.limited()) return true;
  if (spec.form == ValueForm::kFloat)
    return static_cast<float>(value) >= static_cast<float>(range.min) &&
           static_cast<float>(value) <= static_cast<float>(range.max);
  return value >= range.min && value <= range.max;
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
    return *error = "expected WIDTHxHEIGHT in pixels, each from " + numberText(optionRange(spec).min) + " to " +
                    numberText(optionRange(spec).max),
           false;
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

const SettingField* optionField(const OptionSpec& spec) {
  return findSettingFieldOfOption(spec.field_of ? spec.field_of : spec.name);
}

SettingRange optionRange(const OptionSpec& spec) {
  const SettingField* field = optionField(spec);
  return field ? field->range : SettingRange{spec.min, spec.max};
}

void applyOptionValue(const OptionSpec& spec, Settings& record, const OptionValue& value) {
  if (const SettingField* field = optionField(spec)) {
    std::visit(
        [&](auto member) {
          using T = std::remove_cvref_t<decltype(record.*member)>;
          if constexpr (std::is_same_v<T, std::string>) record.*member = value.text;
          else if constexpr (std::is_same_v<T, float>) record.*member = value.real;
          else if constexpr (std::is_same_v<T, bool>) record.*member = value.number != 0;
          else record.*member = static_cast<T>(value.number);
        },
        field->member);
  }
  if (spec.apply) spec.apply(record, value);
}

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
