#include "psd/layers/blend_modes.h"

#include <gtest/gtest.h>

#include <array>

namespace pixolune {
namespace {

// Pins each mode's formula at two points worked out by hand: a light
// backdrop under a dark source (0.6 under 0.3) and a dark one under a light
// source (0.2 under 0.8), one channel at a time.
class BlendModeTest : public ::testing::Test {
 protected:
  static float one(BlendMode mode, float b, float s) {
    float out = -1;
    blendPixel(mode, &b, &s, &out, 1);
    return out;
  }
  static void expectPair(const char* key, float light_dark, float dark_light) {
    const BlendMode mode = blendModeFromKey(key);
    ASSERT_NE(BlendMode::kUnknown, mode) << key;
    EXPECT_NEAR(light_dark, one(mode, 0.6f, 0.3f), 1e-5) << key;
    EXPECT_NEAR(dark_light, one(mode, 0.2f, 0.8f), 1e-5) << key;
  }
  // RGB pixels for the modes that work on the whole colour.
  static std::array<float, 3> rgb(const char* key, std::array<float, 3> b, std::array<float, 3> s) {
    std::array<float, 3> out{};
    blendPixel(blendModeFromKey(key), b.data(), s.data(), out.data(), 3);
    return out;
  }
  static void expectRgb(std::array<float, 3> want, std::array<float, 3> got) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(want[i], got[i], 1e-4) << "channel " << i;
  }
  const std::array<float, 3> orange_{0.8f, 0.4f, 0.2f};  // Luminosity 0.498.
  const std::array<float, 3> teal_{0.2f, 0.6f, 0.4f};    // Luminosity 0.458.
};

TEST_F(BlendModeTest, NormalAndDissolveTakeTheSource) {
  expectPair("norm", 0.3f, 0.8f);
  expectPair("diss", 0.3f, 0.8f);
}

TEST_F(BlendModeTest, Darken) { expectPair("dark", 0.3f, 0.2f); }
TEST_F(BlendModeTest, Multiply) { expectPair("mul ", 0.18f, 0.16f); }

TEST_F(BlendModeTest, ColourBurn) {
  expectPair("idiv", 0.0f, 0.0f);
  EXPECT_NEAR(0.6f, one(BlendMode::kColourBurn, 0.8f, 0.5f), 1e-5);  // 1 - 0.2 / 0.5
  EXPECT_EQ(1.0f, one(BlendMode::kColourBurn, 1.0f, 0.0f));           // White backdrop stays.
  EXPECT_EQ(0.0f, one(BlendMode::kColourBurn, 0.5f, 0.0f));
}

TEST_F(BlendModeTest, LinearBurn) {
  expectPair("lbrn", 0.0f, 0.0f);
  EXPECT_NEAR(0.3f, one(BlendMode::kLinearBurn, 0.8f, 0.5f), 1e-5);
}

TEST_F(BlendModeTest, Lighten) { expectPair("lite", 0.6f, 0.8f); }
TEST_F(BlendModeTest, Screen) { expectPair("scrn", 0.72f, 0.84f); }

TEST_F(BlendModeTest, ColourDodge) {
  expectPair("div ", 0.6f / 0.7f, 1.0f);
  EXPECT_EQ(0.0f, one(BlendMode::kColourDodge, 0.0f, 1.0f));  // Black backdrop stays.
}

TEST_F(BlendModeTest, LinearDodge) { expectPair("lddg", 0.9f, 1.0f); }
TEST_F(BlendModeTest, Overlay) { expectPair("over", 0.44f, 0.32f); }
TEST_F(BlendModeTest, SoftLight) { expectPair("sLit", 0.504f, 0.08f + 0.4472136f * 0.6f); }
TEST_F(BlendModeTest, HardLight) { expectPair("hLit", 0.36f, 0.68f); }
TEST_F(BlendModeTest, VividLight) { expectPair("vLit", 1.0f / 3.0f, 0.5f); }
TEST_F(BlendModeTest, LinearLight) { expectPair("lLit", 0.2f, 0.8f); }
TEST_F(BlendModeTest, PinLight) { expectPair("pLit", 0.6f, 0.6f); }
// Hard mix is vivid light cut at one half: black under white stays black,
// white under black stays white, where b + s >= 1 would make both white.
TEST_F(BlendModeTest, HardMix) {
  expectPair("hMix", 0.0f, 1.0f);
  EXPECT_EQ(0.0f, one(BlendMode::kHardMix, 0.0f, 1.0f));
  EXPECT_EQ(1.0f, one(BlendMode::kHardMix, 1.0f, 0.0f));
  EXPECT_EQ(1.0f, one(BlendMode::kHardMix, 0.5f, 0.5f));   // Vivid light 0.5 exactly.
  EXPECT_EQ(0.0f, one(BlendMode::kHardMix, 0.45f, 0.5f));  // 1 - 0.55.
}
TEST_F(BlendModeTest, Difference) { expectPair("diff", 0.3f, 0.6f); }
TEST_F(BlendModeTest, Exclusion) { expectPair("smud", 0.54f, 0.68f); }
TEST_F(BlendModeTest, Subtract) { expectPair("fsub", 0.3f, 0.0f); }

TEST_F(BlendModeTest, Divide) {
  expectPair("fdiv", 1.0f, 0.25f);
  EXPECT_EQ(0.0f, one(BlendMode::kDivide, 0.0f, 0.0f));
  EXPECT_EQ(1.0f, one(BlendMode::kDivide, 0.4f, 0.0f));
}

TEST_F(BlendModeTest, DarkerAndLighterColourPickWholePixels) {
  expectRgb(teal_, rgb("dkCl", orange_, teal_));
  expectRgb(orange_, rgb("lgCl", orange_, teal_));
}

TEST_F(BlendModeTest, Luminosity) { expectRgb({0.76f, 0.36f, 0.16f}, rgb("lum ", orange_, teal_)); }
TEST_F(BlendModeTest, Colour) { expectRgb({0.24f, 0.64f, 0.44f}, rgb("colr", orange_, teal_)); }
TEST_F(BlendModeTest, Saturation) { expectRgb({0.699333f, 0.432667f, 0.299333f}, rgb("sat ", orange_, teal_)); }
TEST_F(BlendModeTest, Hue) { expectRgb({0.111f, 0.711f, 0.411f}, rgb("hue ", orange_, teal_)); }

TEST_F(BlendModeTest, WholeColourModesOnGreyKeepOrTakeTheSample) {
  EXPECT_EQ(0.3f, one(BlendMode::kLuminosity, 0.6f, 0.3f));
  EXPECT_EQ(0.6f, one(BlendMode::kHue, 0.6f, 0.3f));
  EXPECT_EQ(0.6f, one(BlendMode::kColour, 0.6f, 0.3f));
  EXPECT_EQ(0.3f, one(BlendMode::kDarkerColour, 0.6f, 0.3f));
}

TEST_F(BlendModeTest, KeysAndNames) {
  EXPECT_EQ(BlendMode::kPassThrough, blendModeFromKey("pass"));
  EXPECT_EQ(BlendMode::kUnknown, blendModeFromKey("xxxx"));
  EXPECT_STREQ("colour burn", blendModeName(BlendMode::kColourBurn));
}

}  // namespace
}  // namespace pixolune
