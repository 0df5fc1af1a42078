#include "app/options.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pixolune
