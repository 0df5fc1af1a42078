// The colours of a console run's files: profiles carried to the file through
// the stages, grey kept grey (with alpha too), grey made colour through its
// profile only when a stage colours it, and -d naming each conversion.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <filesystem>

#include "support/png_chunks.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

std::string saved(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::string bytes(size, '\0');
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

// A grey profile with a plain gamma curve, as a document embeds it. (The
// header holds the time it was made: compare a profile with itself.)
std::string greyProfile(double gamma) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  std::string bytes = saved(cmsCreateGrayProfile(cmsD50_xyY(), curve));
  cmsFreeToneCurve(curve);
  return bytes;
}

// Adobe RGB's primaries with gamma 2.2.
std::string adobeLikeProfile() {
  cmsCIExyY white;
  cmsWhitePointFromTemp(&white, 6504);
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  std::string bytes = saved(cmsCreateRGBProfile(&white, &primaries, curves));
  cmsFreeToneCurve(curve);
  return bytes;
}

double srgbEncoded(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

class ColourOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("out"));
    fs::create_directories(dir_.file("home"));
  }
  // Writes the document as name.psd and converts it with the options.
  RunResult run(const PsdDocument& doc, const std::string& name, std::vector<std::string> options = {}) {
    EXPECT_TRUE(writePsdFile(dir_.file(name + ".psd"), doc));
    options.insert(options.begin(), {"-i", dir_.file(name + ".psd"), "-o", dir_.file("out")});
    const RunResult r = runPixolune(options, dir_.path(), dir_.file("home"));
    EXPECT_EQ(0, r.exit_code) << r.out << r.err;
    return r;
  }
  std::string output(const std::string& name) const { return dir_.file("out/" + name + ".png"); }
  TempDir dir_;
};

// The document's own profile reaches the file whatever stages made the
// bitmap anew: an RGB profile on colour, a grey profile on grey.
TEST_F(ColourOutputTest, ProfilesReachTheFileThroughTheStages) {
  const std::string adobe = adobeLikeProfile(), gamma22 = greyProfile(2.2);
  PsdDocument rgb = makeDocument(PsdMode::kRgb, 8, 40, 30, 0, [](int c, int x, int y) { return (c * 70 + x * 3 + y) % 256; });
  rgb.resources = {{1039, adobe}};
  PsdDocument grey = makeDocument(PsdMode::kGrey, 16, 40, 30, 0, [](int, int x, int y) { return 1000.0 * x + 37 * y; });
  grey.resources = {{1039, gamma22}};
  const std::vector<std::vector<std::string>> stages = {
      {}, {"--rotation=30"}, {"--width=50%", "--height=50%"}, {"--flip-horizontal", "--brightness=20"},
      {"--fr-solid-left=3", "--fr-solid-left-color=404040"}};
  for (const auto& options : stages) {
    const std::string what = options.empty() ? "none" : options[0];
    run(rgb, "rgb", options);
    run(grey, "grey", options);
    EXPECT_TRUE(adobe == pngProfileOf(chunksOf(output("rgb")))) << what;
    const std::vector<Chunk> grey_chunks = chunksOf(output("grey"));
    EXPECT_EQ(0, pngKindOf(grey_chunks).colour_type) << what;
    EXPECT_TRUE(gamma22 == pngProfileOf(grey_chunks)) << what;
  }
}

// A transparent grey document is written as grey with alpha at its depth,
// with its grey profile, its levels and its transparency as stored.
TEST_F(ColourOutputTest, TransparentGreyIsWrittenAsGreyWithAlpha) {
  for (int depth : {8, 16}) {
    SCOPED_TRACE(depth);
    const double top = depth == 8 ? 255.0 : 65535.0;
    PsdDocument doc = makeDocument(PsdMode::kGrey, depth, 16, 4, 1, [&](int c, int x, int y) {
      if (c == 1) return y == 0 ? 0.0 : top;  // The top row is clear.
      return std::round(top * x / 15.0);
    });
    const std::string gamma22 = greyProfile(2.2);
    doc.resources = {{1039, gamma22}};
    run(doc, "grey-alpha");
    const std::vector<Chunk> chunks = chunksOf(output("grey-alpha"));
    EXPECT_EQ(4, pngKindOf(chunks).colour_type);
    EXPECT_EQ(depth, pngKindOf(chunks).bit_depth);
    EXPECT_TRUE(gamma22 == pngProfileOf(chunks));
    const Pixels16 px = readImage16(output("grey-alpha"));
    ASSERT_EQ(16, px.width);
    for (int x = 0; x < 16; ++x) {
      const double level = std::round(top * x / 15.0) * (depth == 8 ? 257 : 1);
      EXPECT_EQ(level, px.at(x, 2)[0]) << x;
      EXPECT_EQ(65535, px.at(x, 2)[3]) << x;
      EXPECT_EQ(0, px.at(x, 0)[3]) << x;
    }
    // A fixed depth is the user's: 32 bits stays RGBA.
    run(doc, "grey-alpha", {"--png-bpp=32"});
    EXPECT_EQ(6, pngKindOf(chunksOf(output("grey-alpha"))).colour_type);
  }
}

// A coloured frame makes a grey document colour: its grey goes through
// its profile to sRGB (a gamma 1.8 grey's middle is lighter in sRGB), and
// the grey profile, which no longer describes the file, is left out.
TEST_F(ColourOutputTest, GreyTakingColourGoesThroughItsProfile) {
  PsdDocument doc = makeDocument(PsdMode::kGrey, 8, 20, 20, 0, [](int, int, int) { return 128.0; });
  doc.resources = {{1039, greyProfile(1.8)}};
  run(doc, "framed", {"--fr-solid-left=2", "--fr-solid-left-color=FF0000"});
  const std::vector<Chunk> chunks = chunksOf(output("framed"));
  EXPECT_EQ(2, pngKindOf(chunks).colour_type);
  EXPECT_EQ("", pngProfileOf(chunks));
  const Pixels px = readImage(output("framed"));
  const double expected = 255 * srgbEncoded(std::pow(128 / 255.0, 1.8));
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(expected, px.at(10, 10)[c], 1.5) << c;
  EXPECT_EQ(255, px.at(0, 10)[0]);
  EXPECT_EQ(0, px.at(0, 10)[1]);
}

// -d says how each document's colours were made, and the PNG of a CMYK or
// Lab document carries no profile: its colours are sRGB.
TEST_F(ColourOutputTest, DebugNamesTheColourConversion) {
  const auto ramp = [](int c, int x, int) { return (c * 60 + x * 20) % 256 * 1.0; };
  RunResult r = run(makeDocument(PsdMode::kCmyk, 8, 8, 2, 0, ramp), "cmyk", {"-d"});
  EXPECT_NE(std::string::npos,
            r.out.find("Colour: CMYK through the working space 'Artifex CMYK SWOP Profile' (the document has no "
                       "CMYK profile) to sRGB\n"))
      << r.out;
  EXPECT_EQ("", pngProfileOf(chunksOf(output("cmyk"))));
  r = run(makeDocument(PsdMode::kLab, 16, 8, 2, 0, ramp), "lab", {"-d"});
  EXPECT_NE(std::string::npos, r.out.find("Colour: Lab (D50) to sRGB\n")) << r.out;
  r = run(makeDocument(PsdMode::kRgb, 32, 8, 2, 0, [](int, int x, int) { return x / 8.0; }), "deep", {"-d"});
  EXPECT_NE(std::string::npos, r.out.find("Colour: 32-bit linear samples encoded with the sRGB curve\n")) << r.out;
  r = run(makeDocument(PsdMode::kRgb, 8, 8, 2, 0, ramp), "rgb", {"-d"});
  EXPECT_EQ(std::string::npos, r.out.find("Colour:")) << r.out;
}

}  // namespace
}  // namespace pixolune::testing
