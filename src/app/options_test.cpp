#include "app/options.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "settings/setting_fields.h"

namespace pixolune {
namespace {

const OptionSpec& option(const char* name) {
  const OptionSpec* spec = findSettingOption(name, OptionPlace::kCommandLine);
  EXPECT_NE(nullptr, spec) << name;
  return *spec;
}

// The value read, or the error text.
std::string read(const char* name, const std::string& raw) {
  OptionValue v;
  std::string error;
  if (!readOptionValue(option(name), raw, &v, &error)) return "error: " + error;
  if (v.percent) return std::to_string(v.number) + "%";
  return std::to_string(v.number);
}

TEST(OptionValues, WholeNumbersAreWholeAndInRange) {
  EXPECT_EQ("50", read("--WIDTH", "50"));
  EXPECT_EQ("50", read("--WIDTH", " +50 "));
  EXPECT_EQ("50%", read("--WIDTH", "50%"));
  EXPECT_EQ("-100", read("--BRIGHTNESS", "-100"));
  EXPECT_EQ("360", read("--ROTATION", "360"));
  const std::string width = "error: expected a whole number (or a percentage such as 50%) from 1 to 100000";
  for (const char* bad : {"", "0", "-5", "50px", "5.5", "abc", "nan", "99999999999", "100001", "%"})
    EXPECT_EQ(width, read("--WIDTH", bad)) << bad;
  EXPECT_EQ("error: expected a whole number from 0 to 360", read("--ROTATION", "50%"));  // Percent only for sizes.
  EXPECT_EQ("-2147483648", read("--FILE-TIMESTAMP-CUSTOM", "-2147483648"));
  EXPECT_EQ("error: expected a whole number from -2147483648 to 2147483647", read("--FILE-TIMESTAMP-CUSTOM", "2147483648"));
}

TEST(OptionValues, DecimalsRefuseWhatIsNotAFiniteNumberInRange) {
  OptionValue v;
  std::string error;
  ASSERT_TRUE(readOptionValue(option("--GAMMA"), "0.01", &v, &error));
  EXPECT_FLOAT_EQ(0.01f, v.real);
  ASSERT_TRUE(readOptionValue(option("--GAMMA"), "9.99", &v, &error));
  for (const char* bad : {"inf", "+Infinity", "NaN", "1e0", "", ".", "0.009", "10", "1,5"})
    EXPECT_FALSE(readOptionValue(option("--GAMMA"), bad, &v, &error)) << bad;
  EXPECT_EQ("expected a decimal number from 0.01 to 9.99", error);
}

TEST(OptionValues, FlagsKeywordsAndSizes) {
  EXPECT_EQ("1", read("--INVERT", ""));
  EXPECT_EQ("1", read("--INVERT", "1"));
  EXPECT_EQ("0", read("--INVERT", "0"));
  EXPECT_EQ("error: expected 0 or 1 (or no value)", read("--INVERT", "true"));
  EXPECT_EQ("5", read("--RESIZE-ALGORITHM", "Lanczos"));
  EXPECT_EQ("error: expected one of box, bilinear, bspline, bicubic, catmullrom, lanczos",
            read("--RESIZE-ALGORITHM", "lanczso"));
  // PNG takes only its own compression words, and shows them.
  EXPECT_EQ("2", read("--PNG-COMPRESSION", "zlib6"));
  EXPECT_EQ("error: expected one of none, zlib1, zlib6, zlib9", read("--PNG-COMPRESSION", "piz"));
  EXPECT_EQ("2", read("--TIFF-COMPRESSION", "piz"));
  EXPECT_EQ("ZLIB6", optionKeyword("--PNG-COMPRESSION", 2));
  EXPECT_EQ("PIZ", optionKeyword("--EXR-COMPRESSION", 2));

  OptionValue v;
  std::string error;
  ASSERT_TRUE(readOptionValue(option("--FIT"), "800x600", &v, &error));
  EXPECT_EQ(800, v.number);
  EXPECT_EQ(600, v.second);
  for (const char* bad : {"800", "800x", "x600", "0x600", "800x600x2", "-800x600"})
    EXPECT_FALSE(readOptionValue(option("--FIT"), bad, &v, &error)) << bad;
}

TEST(OptionNames, TheClosestNameIsSuggestedOnlyWhenClose) {
  const char* const extra[] = {"--input", "--version"};
  EXPECT_EQ("--width", closestOptionName("--widht", extra));
  EXPECT_EQ("--greyscale", closestOptionName("--GREYSCAEL", extra));
  EXPECT_EQ("--input", closestOptionName("--inptu", extra));
  EXPECT_EQ("", closestOptionName("--dry-run", extra));
  EXPECT_EQ("", closestOptionName("--format", extra));
}

TEST(OptionNames, ThisBuildDocumentsPngAndTheStagesOnly) {
  EXPECT_TRUE(optionIsForThisBuild(option("--PNG-COMPRESSION")));
  EXPECT_TRUE(optionIsForThisBuild(option("--PSD-COLOR-MODEL")));
  EXPECT_TRUE(optionIsForThisBuild(option("--WM-TEXT")));
  EXPECT_FALSE(optionIsForThisBuild(option("--JPG-QUALITY")));
  EXPECT_FALSE(optionIsForThisBuild(option("--PSD-BPP")));
  EXPECT_FALSE(optionIsForThisBuild(option("--RAW-WIDTH")));
}

// The option tables against the settings field table: every option a field
// names is parsed and sets that field, every option has a field, and each
// number is checked against its field's range, with the usual message.
TEST(OptionFields, EveryFieldOptionIsParsedAndSetsItsField) {
  for (const SettingField& field : settingFields()) {
    if (std::string(field.option).empty()) continue;
    SCOPED_TRACE(field.option);
    const OptionSpec* spec = findSettingOption(field.option, OptionPlace::kCommandLine);
    if (!spec) spec = findSettingOption(field.option, OptionPlace::kProfile);
    ASSERT_NE(nullptr, spec);
    EXPECT_EQ(&field, optionField(*spec));
  }
  for (const OptionSpec& spec : settingOptions()) EXPECT_NE(nullptr, optionField(spec)) << spec.name;
}

std::string text(double number) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", number);
  return buf;
}

TEST(OptionFields, NumbersAreCheckedAgainstTheFieldRange) {
  int checked = 0;
  for (const OptionSpec& spec : settingOptions()) {
    const SettingRange range = optionRange(spec);
    if (!range.limited()) continue;
    SCOPED_TRACE(spec.name);
    ASSERT_TRUE(spec.form == ValueForm::kInt || spec.form == ValueForm::kFloat || spec.form == ValueForm::kSize);
    const double step = spec.form == ValueForm::kFloat ? 0.01 : 1;
    const auto form = [&](double number) {
      return spec.form == ValueForm::kSize ? text(number) + "x" + text(range.min) : text(number);
    };
    OptionValue v;
    std::string error;
    for (double inside : {range.min, range.max}) EXPECT_TRUE(readOptionValue(spec, form(inside), &v, &error)) << inside;
    const std::string what = spec.form == ValueForm::kSize ? "WIDTHxHEIGHT in pixels, each"
                             : spec.form == ValueForm::kFloat ? "a decimal number"
                             : spec.percent_ok ? "a whole number (or a percentage such as 50%)"
                                               : "a whole number";
    for (double outside : {range.min - step, range.max + step}) {
      ASSERT_FALSE(readOptionValue(spec, form(outside), &v, &error)) << outside;
      EXPECT_EQ("expected " + what + " from " + text(range.min) + " to " + text(range.max), error);
    }
    ++checked;
  }
  EXPECT_GT(checked, 40);
}

TEST(OptionFields, AValueIsStoredInTheFieldAndSwitchesItsStageOn) {
  for (const OptionSpec& spec : settingOptions()) {
    const SettingField* field = optionField(spec);
    if (spec.form == ValueForm::kKeyword || spec.form == ValueForm::kText) continue;
    SCOPED_TRACE(spec.name);
    const double number = field->range.limited() ? field->range.max : 1;
    const std::string raw = spec.form == ValueForm::kSize ? text(number) + "x" + text(number) : text(number);
    OptionValue v;
    std::string error;
    ASSERT_TRUE(readOptionValue(spec, raw, &v, &error));
    Settings s;
    applyOptionValue(spec, s, v);
    const bool inverted = std::string(spec.name) == "--NO-SUBFOLDERS";  // The flag turns the field off.
    if (spec.form == ValueForm::kFloat)
      EXPECT_FLOAT_EQ(static_cast<float>(number), static_cast<float>(settingNumber(s, *field)));
    else
      EXPECT_EQ(inverted ? 0 : number, settingNumber(s, *field));
  }
  Settings s;
  OptionValue v;
  std::string error;
  ASSERT_TRUE(readOptionValue(option("--ROTATION"), "90", &v, &error));
  applyOptionValue(option("--ROTATION"), s, v);
  EXPECT_TRUE(s.do_image_rotation);
  ASSERT_TRUE(readOptionValue(option("--FIT"), "800x600", &v, &error));
  applyOptionValue(option("--FIT"), s, v);
  EXPECT_EQ(800, s.image_width);
  EXPECT_EQ(600, s.image_height);
  EXPECT_TRUE(s.fit_inside && s.do_image_resize);
  ASSERT_TRUE(readOptionValue(option("--WM-TEXT"), "hello", &v, &error));
  applyOptionValue(option("--WM-TEXT"), s, v);
  EXPECT_EQ("hello", s.watermark_text);
  EXPECT_EQ(kWatermarkText, s.do_watermark);
  ASSERT_TRUE(readOptionValue(option("--WM-TEXT-BOUNDARY"), "frame", &v, &error));
  applyOptionValue(option("--WM-TEXT-BOUNDARY"), s, v);
  EXPECT_TRUE(s.text_boundary);
}

}  // namespace
}  // namespace pixolune
