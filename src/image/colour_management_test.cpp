#include "image/colour_management.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "image/image_library.h"

namespace pixolune {
namespace {

// A profile LittleCMS makes, as the bytes a document would embed.
std::string bytesOf(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  EXPECT_TRUE(cmsSaveProfileToMem(profile, nullptr, &size));
  std::string bytes(size, '\0');
  EXPECT_TRUE(cmsSaveProfileToMem(profile, bytes.data(), &size));
  cmsCloseProfile(profile);
  return bytes;
}

cmsToneCurve* gamma(double g) { return cmsBuildGamma(nullptr, g); }

// Grey with a plain gamma curve.
std::string greyProfile(double g) {
  cmsToneCurve* curve = gamma(g);
  std::string bytes = bytesOf(cmsCreateGrayProfile(cmsD50_xyY(), curve));
  cmsFreeToneCurve(curve);
  return bytes;
}

// RGB with sRGB's primaries (`adobe`: Adobe RGB's) and a plain gamma curve.
std::string rgbProfile(double g, bool adobe) {
  cmsCIExyY white;
  cmsWhitePointFromTemp(&white, 6504);
  const cmsCIExyYTRIPLE srgb = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
  const cmsCIExyYTRIPLE adobe_rgb = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
  cmsToneCurve* curve = gamma(g);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  std::string bytes = bytesOf(cmsCreateRGBProfile(&white, adobe ? &adobe_rgb : &srgb, curves));
  cmsFreeToneCurve(curve);
  return bytes;
}

double srgbEncoded(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

TEST(ColourManagementTest, ProfilesAreToldApartByTheirHeaders) {
  EXPECT_EQ(ProfileSpace::kRgb, profileSpace(bytesOf(cmsCreate_sRGBProfile())));
  EXPECT_EQ(ProfileSpace::kLab, profileSpace(bytesOf(cmsCreateLab4Profile(nullptr))));
  EXPECT_EQ(ProfileSpace::kGrey, profileSpace(greyProfile(2.2)));
  EXPECT_EQ(ProfileSpace::kNone, profileSpace(""));
  EXPECT_EQ(ProfileSpace::kNone, profileSpace(std::string(200, 'x')));  // No "acsp" signature.
  std::string cmyk = rgbProfile(2.2, false);
  cmyk.replace(16, 4, "CMYK");
  EXPECT_EQ(ProfileSpace::kCmyk, profileSpace(cmyk));
  EXPECT_EQ("", profileDescription("not a profile"));
}

// Paper stays white and four inks at full are black (black-point
// compensation), at both depths, stored inverted as Photoshop stores CMYK
// or as full ink as the image library keeps it; the fourth sample of every
// pixel is left for the alpha.
TEST(ColourManagementTest, CmykPaperIsWhiteAndFullInkIsBlack) {
  for (StoredColour colour : {StoredColour::kCmyk, StoredColour::kCmykInk}) {
    for (int bits : {8, 16}) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, inverted " << (colour == StoredColour::kCmyk));
      SrgbConversion conversion;
      ASSERT_TRUE(SrgbConversion::create(colour, bits, "", 4, &conversion).ok());
      EXPECT_EQ(4, conversion.inputChannels());
      const unsigned top = bits == 8 ? 255 : 65535;
      const unsigned paper = colour == StoredColour::kCmyk ? top : 0, ink = top - paper;
      const unsigned in[8] = {paper, paper, paper, paper, ink, ink, ink, ink};
      std::vector<uint8_t> in_bytes(8 * bits / 8), out_bytes(8 * bits / 8);
      for (int i = 0; i < 8; ++i) {
        if (bits == 8) in_bytes[i] = static_cast<uint8_t>(in[i]);
        else reinterpret_cast<uint16_t*>(in_bytes.data())[i] = static_cast<uint16_t>(in[i]);
        if (bits == 8) out_bytes[i] = 77;
        else reinterpret_cast<uint16_t*>(out_bytes.data())[i] = 7777;
      }
      conversion.convert(in_bytes.data(), out_bytes.data(), 2);
      auto sample = [&](int i) -> double {
        return bits == 8 ? out_bytes[i] : reinterpret_cast<uint16_t*>(out_bytes.data())[i] / 257.0;
      };
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(255, sample(c), 1) << c;
        EXPECT_NEAR(0, sample(4 + c), 2) << c;
      }
      EXPECT_EQ(bits == 8 ? 77 : 7777 / 257.0, sample(3));
      EXPECT_EQ(bits == 8 ? 77 : 7777 / 257.0, sample(7));
      EXPECT_NE(std::string::npos, conversion.description().find("through the working space")) << conversion.description();
    }
  }
}

// Linear light encoded with sRGB's curve where the profile is linear (or
// absent), with the profile's own curve where it has one; alpha stays
// linear; light above 1.0 clips.
TEST(ColourManagementTest, LinearSamplesAreEncodedWithTheRightCurve) {
  initImageLibrary();
  const float values[4] = {0.0f, 0.2f, 0.5f, 3.0f};
  struct Case {
    std::string icc;
    bool keeps_profile;
    double curve;  // 0: sRGB's.
  } cases[] = {{"", false, 0}, {rgbProfile(1.0, false), false, 0}, {rgbProfile(2.2, true), true, 2.2}};
  for (const Case& k : cases) {
    BitmapPtr image(FreeImage_AllocateT(FIT_RGBAF, 4, 1));
    FIRGBAF* p = reinterpret_cast<FIRGBAF*>(FreeImage_GetScanLine(image.get(), 0));
    for (int x = 0; x < 4; ++x) p[x] = {values[x], values[x], values[x], values[x] > 1 ? 1.0f : values[x]};
    std::string icc = k.icc, description;
    image = encodeLinear(std::move(image), &icc, &description);
    ASSERT_TRUE(image);
    ASSERT_EQ(FIT_RGBA16, FreeImage_GetImageType(image.get()));
    EXPECT_EQ(k.keeps_profile, icc == k.icc && !icc.empty());
    const FIRGBA16* q = reinterpret_cast<const FIRGBA16*>(FreeImage_GetScanLine(image.get(), 0));
    for (int x = 0; x < 4; ++x) {
      const double v = std::min(1.0f, values[x]);
      const double encoded = k.curve == 0 ? srgbEncoded(v) : std::pow(v, 1 / k.curve);
      EXPECT_NEAR(65535 * encoded, q[x].green, 2) << x << " " << description;
      EXPECT_NEAR(65535 * v, q[x].alpha, 1) << x;
    }
  }
}

// A linear profile with primaries other than sRGB's is kept with sRGB's
// curve in place of its own, so the encoded samples still mean its colours.
TEST(ColourManagementTest, LinearProfileOfOtherPrimariesGetsTheCurveItWasEncodedWith) {
  initImageLibrary();
  BitmapPtr image(FreeImage_AllocateT(FIT_RGBF, 1, 1));
  std::string icc = rgbProfile(1.0, true), description;
  image = encodeLinear(std::move(image), &icc, &description);
  ASSERT_TRUE(image);
  ASSERT_EQ(ProfileSpace::kRgb, profileSpace(icc));
  cmsHPROFILE kept = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
  ASSERT_NE(nullptr, kept);
  const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(kept, cmsSigGreenTRCTag));
  ASSERT_NE(nullptr, curve);
  cmsToneCurve* encoding = cmsReverseToneCurve(curve);
  EXPECT_NEAR(srgbEncoded(0.2), cmsEvalToneCurveFloat(encoding, 0.2f), 0.002);
  cmsFreeToneCurve(encoding);
  const auto* green = static_cast<const cmsCIEXYZ*>(cmsReadTag(kept, cmsSigGreenColorantTag));
  ASSERT_NE(nullptr, green);
  EXPECT_LT(green->X, 0.25);  // Adobe RGB's green, not sRGB's (about 0.385).
  cmsCloseProfile(kept);
  EXPECT_NE(std::string::npos, description.find("primaries of embedded")) << description;
}

// Grey becomes colour through its profile: a gamma 1.8 grey's middle level
// is lighter in sRGB, gamma 2.2 about the same; without a profile every
// level stays itself; grey with alpha keeps its alpha.
TEST(ColourManagementTest, GreyBecomesColourThroughItsProfile) {
  initImageLibrary();
  auto middle = [](const std::string& icc, int bits) {
    BitmapPtr grey(bits == 8 ? FreeImage_Allocate(1, 1, 8) : FreeImage_AllocateT(FIT_UINT16, 1, 1));
    if (bits == 8) {
      RGBQUAD* palette = FreeImage_GetPalette(grey.get());
      for (int i = 0; i < 256; ++i) palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
      *FreeImage_GetScanLine(grey.get(), 0) = 128;
    } else {
      *reinterpret_cast<WORD*>(FreeImage_GetScanLine(grey.get(), 0)) = 128 * 257;
    }
    BitmapPtr colour = greyToSrgb(std::move(grey), icc);
    EXPECT_EQ(bits == 8 ? 24u : 48u, FreeImage_GetBPP(colour.get()));
    const BYTE* p = FreeImage_GetScanLine(colour.get(), 0);
    if (bits == 8) {
      EXPECT_EQ(p[0], p[1]);
      return static_cast<double>(p[FI_RGBA_RED]);
    }
    const WORD* w = reinterpret_cast<const WORD*>(p);
    EXPECT_EQ(w[0], w[1]);
    return w[0] / 257.0;
  };
  for (int bits : {8, 16}) {
    EXPECT_EQ(128, middle("", bits));
    EXPECT_NEAR(128, middle(greyProfile(2.2), bits), 1.5);
    EXPECT_NEAR(255 * srgbEncoded(std::pow(128 / 255.0, 1.8)), middle(greyProfile(1.8), bits), 1.5);
  }
  BitmapPtr rgba(FreeImage_Allocate(1, 1, 32));
  BYTE* p = FreeImage_GetScanLine(rgba.get(), 0);
  p[0] = p[1] = p[2] = 128, p[FI_RGBA_ALPHA] = 40;
  FIBITMAP* same = rgba.get();
  rgba = greyToSrgb(std::move(rgba), greyProfile(1.8));
  ASSERT_EQ(same, rgba.get());  // In place.
  EXPECT_NEAR(255 * srgbEncoded(std::pow(128 / 255.0, 1.8)), p[FI_RGBA_RED], 1.5);
  EXPECT_EQ(40, p[FI_RGBA_ALPHA]);
}

}  // namespace
}  // namespace pixolune
