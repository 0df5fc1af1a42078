#include "run/pipeline.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "stages/bit_depth.h"
#include "image/format_table.h"
#include "settings/settings.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::makeDocument;
using testing::PsdDocument;
using testing::PsdMode;

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initImageLibrary();
    createFormatLists();
    buildFormatTable();
    applyDefaultSettings(true);
    request_ = ConversionRequest();
    request_.output_folder = dir_.path() + "/";
  }

  // Writes the document as in.psd, converts it and reads the output back.
  testing::Pixels convert(const PsdDocument& doc, const std::string& name = "in.psd") {
    std::string in = dir_.file(name);
    EXPECT_TRUE(testing::writePsdFile(in, doc));
    request_.input_path = in;
    EXPECT_TRUE(prepareRun(settings(), &run_).ok());
    result_ = convertFile(request_, run_);
    ok_ = result_.ok();
    return ok_ ? testing::readImage(result_.output_path) : testing::Pixels();
  }

  testing::TempDir dir_;
  ConversionRequest request_;
  RunOptions run_;
  ConversionResult result_;
  bool ok_ = false;
};

// A small gradient pattern that differs in every channel.
double pattern(int c, int x, int y) { return std::fmod(40.0 * c + 17.0 * x + 29.0 * y, 256.0); }

TEST_F(PipelineTest, Rgb8ConvertsToIdentical24BitPng) {
  for (bool rle : {false, true}) {
    PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 7, 5, 0, pattern);
    doc.rle = rle;
    testing::Pixels px = convert(doc);
    ASSERT_TRUE(ok_) << result_.failureReason();
    EXPECT_EQ(24, px.bpp);
    EXPECT_EQ(dir_.file("in.png"), result_.output_path);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x)
        for (int c = 0; c < 3; ++c) ASSERT_EQ(pattern(c, x, y), px.at(x, y)[c]) << x << "," << y << " rle " << rle;
  }
}

TEST_F(PipelineTest, Rgb16ScalesPlainlyToEightBitsAndWritesDepth48) {
  PsdDocument doc = makeDocument(PsdMode::kRgb, 16, 4, 3, 0,
                                 [](int c, int x, int y) { return 257.0 * pattern(c, x, y) + 100; });
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_EQ(48, px.bpp);  // automatic depth: the smallest PNG depth not below 48
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      for (int c = 0; c < 3; ++c) ASSERT_NEAR(pattern(c, x, y), px.at(x, y)[c], 1);
}

TEST_F(PipelineTest, Grey16ScalesByValueNotByStretching) {
  // Values 20000..30000 must not be stretched to 0..255.
  PsdDocument doc = makeDocument(PsdMode::kGrey, 16, 3, 1, 0, [](int, int x, int) { return 20000.0 + 5000 * x; });
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_EQ(16, px.bpp);  // automatic depth: PNG stores 16-bit grey as it is
  EXPECT_EQ(16, result_.target_bpp);
  testing::Pixels16 wide = testing::readImage16(result_.output_path);
  ASSERT_TRUE(wide.ok());
  for (int x = 0; x < 3; ++x) EXPECT_EQ(20000 + 5000 * x, wide.at(x, 0)[0]) << x;
}

TEST_F(PipelineTest, Grey8KeepsGreyPaletteAtDepth8) {
  PsdDocument doc = makeDocument(PsdMode::kGrey, 8, 5, 2, 0, pattern);
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_EQ(8, px.bpp);
  EXPECT_EQ(FIC_MINISBLACK, px.color_type);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(pattern(0, x, 1), px.at(x, 1)[0]);
}

TEST_F(PipelineTest, BitmapModeGivesOneBitPng) {
  PsdDocument doc = makeDocument(PsdMode::kBitmap, 1, 10, 2, 0, [](int, int x, int) { return x % 3 == 0 ? 1 : 0; });
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_EQ(1, px.bpp);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(x % 3 == 0 ? 0 : 255, px.at(x, 0)[0]) << x;
}

TEST_F(PipelineTest, IndexedGivesPaletteColours) {
  PsdDocument doc = makeDocument(PsdMode::kIndexed, 8, 4, 1, 0, [](int, int x, int) { return x; });
  doc.palette.assign(768, 0);
  for (int i = 0; i < 4; ++i) doc.palette[i] = static_cast<uint8_t>(60 * i), doc.palette[512 + i] = 200;
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_EQ(8, px.bpp);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(60 * x, px.at(x, 0)[0]);
    EXPECT_EQ(200, px.at(x, 0)[2]);
  }
}

// CMYK without a profile of its own goes through the CMYK working space
// to sRGB: paper stays white, full cyan is the printed cyan (no red, blue
// above green), and the run says so.
TEST_F(PipelineTest, CmykConvertsToSrgbThroughTheWorkingSpace) {
  PsdDocument doc = makeDocument(PsdMode::kCmyk, 8, 2, 1, 0, [](int c, int x, int) { return x == 1 && c == 0 ? 255 : 0; });
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_EQ(24, px.bpp);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(255, px.at(0, 0)[c], 1) << c;
  EXPECT_LT(px.at(1, 0)[0], 30);
  EXPECT_GT(px.at(1, 0)[1], 120);
  EXPECT_GT(px.at(1, 0)[2], px.at(1, 0)[1] + 30);
  EXPECT_EQ(0u, result_.colour_note.find("CMYK through the working space '")) << result_.colour_note;
}

// PNG holds neither CMYK nor Lab: whatever colour model is asked for,
// CMYK and Lab documents are written as the same sRGB pixels, never as
// separated inks or raw Lab values.
TEST_F(PipelineTest, ColourModelChoiceGivesTheSameSrgbPixels) {
  for (PsdMode mode : {PsdMode::kCmyk, PsdMode::kLab}) {
    for (int depth : {8, 16}) {
      const double full = depth == 16 ? 65535 : 255;
      PsdDocument doc = makeDocument(mode, depth, 3, 2, 0, [&](int c, int x, int y) {
        return std::fmod((c + 1) * 0.31 * full + x * 0.2 * full + y * 0.13 * full, full);
      });
      std::vector<uint8_t> first;
      for (int model : {0, 1, 2}) {
        SCOPED_TRACE(::testing::Message() << "mode " << static_cast<int>(mode) << ", " << depth << " bits, model " << model);
        settings().psd_color_model = model;
        testing::Pixels px = convert(doc);
        ASSERT_TRUE(ok_) << result_.failureReason();
        EXPECT_EQ(depth == 16 ? 48 : 24, px.bpp);
        if (first.empty()) first = px.rgba;
        EXPECT_EQ(first, px.rgba);
      }
    }
  }
}

TEST_F(PipelineTest, LabAndMultichannelConvert) {
  PsdDocument lab = makeDocument(PsdMode::kLab, 8, 3, 3, 0, [](int c, int, int) { return c == 0 ? 255 : 128; });
  testing::Pixels px = convert(lab);
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_NEAR(255, px.at(0, 0)[0], 3);  // L = 100, a = b = 0 is white
  EXPECT_NEAR(255, px.at(0, 0)[2], 3);
  // A multichannel document of one channel is written as that channel in grey.
  PsdDocument multi = makeDocument(PsdMode::kMultichannel, 8, 3, 3, 0, pattern);
  px = convert(multi, "multi.psd");
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_EQ(dir_.file("multi.png"), result_.output_path);
  ASSERT_EQ(3, px.width);
  ASSERT_EQ(3, px.height);
  EXPECT_EQ(8, px.bpp);
  EXPECT_EQ(FIC_MINISBLACK, px.color_type);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(pattern(0, x, y), px.at(x, y)[0]) << x << "," << y;
}

// Lab colours as the ICC profile connection space (D50) holds sRGB's white,
// black, mid grey and primaries, written as a 16-bit Lab document (a and b
// at 0x8080 for 0); the second row holds them in reverse order.
TEST_F(PipelineTest, Lab16GivesTheStandardSrgbColours) {
  struct Sample {
    double l, a, b;
    int rgb[3];
  };
  const Sample samples[] = {{100, 0, 0, {255, 255, 255}},          {0, 0, 0, {0, 0, 0}},
                            {50, 0, 0, {119, 119, 119}},           {54.29, 80.81, 69.89, {255, 0, 0}},
                            {87.82, -79.29, 80.99, {0, 255, 0}}, {29.57, 68.30, -112.03, {0, 0, 255}}};
  const int n = static_cast<int>(std::size(samples));
  auto at = [&](int x, int y) -> const Sample& { return samples[y == 0 ? x : n - 1 - x]; };
  PsdDocument doc = makeDocument(PsdMode::kLab, 16, n, 2, 0, [&](int c, int x, int y) {
    const Sample& s = at(x, y);
    return c == 0 ? std::round(s.l * 65535 / 100) : std::round(((c == 1 ? s.a : s.b) + 128) * 257);
  });
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_EQ("Lab (D50) to sRGB", result_.colour_note);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < n; ++x)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(at(x, y).rgb[c], px.at(x, y)[c], 2) << x << "," << y << " channel " << c;
}

// A 16-bit document is written at 48 bits; full scale stays full scale
// (not 255 shifted up to 65280).
TEST_F(PipelineTest, SixteenBitOutputKeepsFullScale) {
  PsdDocument doc = makeDocument(PsdMode::kRgb, 16, 2, 1, 0, [](int, int x, int) { return x == 0 ? 65535.0 : 0.0; });
  convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  FIBITMAP* out = FreeImage_Load(FIF_PNG, result_.output_path.c_str(), 0);
  ASSERT_NE(nullptr, out);
  ASSERT_EQ(FIT_RGB16, FreeImage_GetImageType(out));
  const FIRGB16* row = reinterpret_cast<const FIRGB16*>(FreeImage_GetScanLine(out, 0));
  EXPECT_EQ(65535, row[0].red);
  EXPECT_EQ(65535, row[0].blue);
  EXPECT_EQ(0, row[1].green);
  FreeImage_Unload(out);
}

double srgbEncoded(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

// 32-bit documents hold linear light: it is encoded with the sRGB curve,
// not tone-mapped, and kept at 16 bits a sample; light above 1.0 clips.
TEST_F(PipelineTest, Float32IsEncodedWithTheSrgbCurve) {
  PsdDocument doc = makeDocument(PsdMode::kRgb, 32, 6, 2, 0, [](int c, int x, int) { return 0.25 * x + 0.01 * c; });
  convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  testing::Pixels16 px = testing::readImage16(result_.output_path);
  ASSERT_TRUE(px.ok());
  EXPECT_EQ(48, px.bpp);
  for (int x = 0; x < 6; ++x)
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(65535 * srgbEncoded(std::min(1.0, 0.25 * x + 0.01 * c)), px.at(x, 1)[c], 1) << x << " " << c;
  EXPECT_EQ("32-bit linear samples encoded with the sRGB curve", result_.colour_note);
}

// A transparent 32-bit document goes through every stage: resized to
// half, its transparency and encoded colours kept.
TEST_F(PipelineTest, Transparent32BitDocumentResizes) {
  PsdDocument doc = makeDocument(PsdMode::kRgb, 32, 100, 150, 1, [](int c, int x, int) {
    if (c == 3) return x < 50 ? 1.0 : 0.0;
    return c == 0 ? 0.675 : 0.043;  // Stored blended over white where transparent: that is taken out.
  });
  settings().do_image_resize = true;
  settings().image_width = 50;
  settings().image_width_unit = kSizeInPercent;
  settings().image_height = 50;
  settings().image_height_unit = kSizeInPercent;
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  ASSERT_EQ(50, px.width);
  ASSERT_EQ(75, px.height);
  EXPECT_EQ(64, px.bpp);
  EXPECT_NEAR(215, px.at(5, 30)[0], 1);
  EXPECT_NEAR(59, px.at(5, 30)[1], 1);
  EXPECT_EQ(255, px.at(5, 30)[3]);
  EXPECT_EQ(0, px.at(45, 30)[3]);
}

TEST_F(PipelineTest, TransparencyKeptAt32Bits) {
  PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 4, 4, 1, [](int c, int x, int) { return c == 3 ? 60.0 * x : 255.0; });
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_EQ(32, px.bpp);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(60 * x, px.at(x, 2)[3]);
}

TEST_F(PipelineTest, FixedDepthsFromSettings) {
  PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 16, 16, 0, pattern);
  settings().png_bpp = 8;
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_);
  EXPECT_EQ(8, px.bpp);
  EXPECT_EQ(FIC_PALETTE, px.color_type);
  settings().png_bpp = 1;
  px = convert(doc);
  ASSERT_TRUE(ok_);
  EXPECT_EQ(1, px.bpp);
  settings().png_bpp = 12;  // a depth no stage can make fails the file
  convert(doc);
  EXPECT_FALSE(ok_);
}

// A picture of at most 256 colours gets them exactly in its palette; Wu's
// quantiser would round them to 5 bits per channel.
TEST_F(PipelineTest, FewColoursGetAnExactPalette) {
  settings().png_bpp = 8;
  PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 20, 10, 0, [](int c, int x, int y) {
    return static_cast<double>((37 * (x + 20 * y) + 91 * c) % 256);  // 200 colours.
  });
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_EQ(FIC_PALETTE, px.color_type);
  int wrong = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x)
      for (int c = 0; c < 3; ++c) wrong += px.at(x, y)[c] != (37 * (x + 20 * y) + 91 * c) % 256;
  EXPECT_EQ(0, wrong);
}

TEST_F(PipelineTest, NonPsdInputIsRejectedAndNothingWritten) {
  testing::writeText(dir_.file("fake.psd"), "\x89PNG\r\n\x1a\n not really");
  request_.input_path = dir_.file("fake.psd");
  ASSERT_TRUE(prepareRun(settings(), &run_).ok());
  const ConversionResult result = convertFile(request_, run_);
  EXPECT_FALSE(result.ok());
  EXPECT_FALSE(result.failureReason().empty());
  EXPECT_FALSE(std::filesystem::exists(dir_.file("fake.png")));
}

TEST_F(PipelineTest, FailedSaveLeavesExistingOutputAndNoTemporaryFiles) {
  PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 3, 3, 0, pattern);
  request_.output_folder = dir_.file("missing/");
  convert(doc);
  EXPECT_FALSE(ok_);
  request_.output_folder = dir_.path() + "/";
  testing::writeText(dir_.file("in.png"), "old");
  settings().png_bpp = 12;
  convert(doc);
  EXPECT_FALSE(ok_);
  EXPECT_EQ("old", testing::readText(dir_.file("in.png")));
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir_.path())) files += e.is_regular_file();
  EXPECT_EQ(2, files);  // in.psd and the old in.png
}

TEST_F(PipelineTest, StageNotBuiltFailsTheFileInsteadOfSkippingIt) {
  // A switched-on stage must either apply or fail the file; never pass the
  // image through silently. The frame applies: a one-pixel black left side
  // drawn over the picture, which keeps its size and the rest of its pixels.
  PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 3, 3, 0, pattern);
  settings().do_frame = true;
  settings().solid_left = 1;
  testing::Pixels px = convert(doc);
  ASSERT_TRUE(ok_) << result_.failureReason();
  EXPECT_TRUE(result_.failureReason().empty());
  ASSERT_EQ(3, px.width);
  ASSERT_EQ(3, px.height);
  for (int y = 0; y < 3; ++y) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(0, px.at(0, y)[c]) << "frame at row " << y;
      for (int x = 1; x < 3; ++x) EXPECT_EQ(pattern(c, x, y), px.at(x, y)[c]) << x << "," << y;
    }
  }
}

// A run converts with the options it was prepared with: settings changed
// afterwards (as the window's dialogs may) reach only the next run.
TEST_F(PipelineTest, ARunKeepsTheOptionsItWasPreparedWith) {
  PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 6, 4, 0, pattern);
  ASSERT_TRUE(testing::writePsdFile(dir_.file("in.psd"), doc));
  request_.input_path = dir_.file("in.psd");
  ASSERT_TRUE(prepareRun(settings(), &run_).ok());
  settings().do_image_flip_horizontal = true;
  settings().filename_mask = "other.%ext%";
  settings().output_format = "jpg";
  const ConversionResult result = convertFile(request_, run_);
  ASSERT_TRUE(result.ok()) << result.failureReason();
  EXPECT_EQ(dir_.file("in.png"), result.output_path);
  testing::Pixels px = testing::readImage(result.output_path);
  ASSERT_TRUE(px.ok());
  for (int c = 0; c < 3; ++c) EXPECT_EQ(pattern(c, 0, 0), px.at(0, 0)[c]);
  ASSERT_TRUE(prepareRun(settings(), &run_).ok());
  EXPECT_EQ("jpg", run_.output_extension);
  EXPECT_TRUE(run_.stages.transform.flip_horizontal);
}

TEST_F(PipelineTest, AnUnknownOutputFormatPreparesNoRun) {
  settings().output_format = "xyz";
  RunOptions run;
  const Status st = prepareRun(settings(), &run);
  EXPECT_EQ(Status::Code::kInvalid, st.code());
  EXPECT_EQ("unknown output format \"xyz\"", st.message());
}

TEST(BitDepth, AutoPicksSmallestAcceptedDepth) {
  buildFormatTable();
  EXPECT_EQ(24, autoBitDepth("jpg", 32));
  EXPECT_EQ(8, autoBitDepth("png", 8));
  EXPECT_EQ(8, autoBitDepth("jpg", 1));
  EXPECT_EQ(48, autoBitDepth("png", 64));
  EXPECT_EQ(1, autoBitDepth("png", 1));
  EXPECT_EQ(0, autoBitDepth("dds", 24));
}

}  // namespace
}  // namespace pixolune
