#include "run/decode.h"
#include "psd/psd_header.h"

#include <gtest/gtest.h>

#include <cmath>

#include "image/bitmap.h"
#include "run/conversion_job.h"
#include "image/format_table.h"
#include "run/pipeline.h"
#include "platform/helper_process.h"
#include "settings/settings.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::PsdDocument;
using testing::PsdMode;

// The alphas of the test documents, one per column.
const int kAlphas[] = {0, 1, 128, 255};

// What Photoshop stores for colour c (0..white) at alpha a: c blended over white.
double matted(double c, double a, double white) { return c * a / white + white * (1.0 - a / white); }

// The straight colour back from a stored 8-bit value, as the converter must compute it.
int unmatted8(int stored, int a) {
  if (a == 0) return 0;
  return std::clamp(static_cast<int>(std::lround((stored - 255.0 * (1.0 - a / 255.0)) / (a / 255.0))), 0, 255);
}

class DecodeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initImageLibrary(); }
  BitmapPtr decode(const PsdDocument& doc, std::string* reason = nullptr) {
    EXPECT_TRUE(testing::writePsdFile(path_, doc));
    BitmapPtr image;
    const Status st = decodeDocument(path_, 0, &image);
    if (reason) *reason = st.message();
    return image;
  }
  // A 4 x 1 RGB document: true colour (200, 90, 30) blended over white at kAlphas.
  static PsdDocument mattedRgb(int depth) {
    const double white = depth == 16 ? 65535.0 : 255.0;
    const double scale = white / 255.0;
    return testing::makeDocument(PsdMode::kRgb, depth, 4, 1, 1, [=](int c, int x, int) {
      const double a = kAlphas[x] * scale;
      const double colour[] = {200 * scale, 90 * scale, 30 * scale};
      return c == 3 ? a : std::round(matted(colour[c], a, white));
    });
  }
  testing::TempDir dir_;
  std::string path_ = dir_.file("doc.psd");
};

TEST_F(DecodeTest, RemovesWhiteMatteFromEightBitRgb) {
  PsdDocument doc = mattedRgb(8);
  doc.write_layers = true;
  doc.layer_count = -1;
  BitmapPtr image = decode(doc);
  ASSERT_TRUE(image);
  ASSERT_EQ(32u, FreeImage_GetBPP(image.get()));
  const BYTE* row = FreeImage_GetScanLine(image.get(), 0);
  for (int x = 0; x < 4; ++x) {
    const BYTE* p = row + 4 * x;
    const int stored[] = {static_cast<int>(doc.channels[0][x]), static_cast<int>(doc.channels[1][x]),
                          static_cast<int>(doc.channels[2][x])};
    EXPECT_EQ(kAlphas[x], p[FI_RGBA_ALPHA]);
    EXPECT_EQ(unmatted8(stored[0], kAlphas[x]), p[FI_RGBA_RED]) << "alpha " << kAlphas[x];
    EXPECT_EQ(unmatted8(stored[1], kAlphas[x]), p[FI_RGBA_GREEN]) << "alpha " << kAlphas[x];
    EXPECT_EQ(unmatted8(stored[2], kAlphas[x]), p[FI_RGBA_BLUE]) << "alpha " << kAlphas[x];
  }
  // Fully transparent pixels carry no colour; opaque ones are untouched; half
  // transparent ones get their colour back within rounding.
  EXPECT_EQ(0, row[FI_RGBA_RED] + row[FI_RGBA_GREEN] + row[FI_RGBA_BLUE]);
  EXPECT_EQ(200, row[12 + FI_RGBA_RED]);
  EXPECT_NEAR(200, row[8 + FI_RGBA_RED], 1);
  EXPECT_NEAR(90, row[8 + FI_RGBA_GREEN], 1);
  EXPECT_NEAR(30, row[8 + FI_RGBA_BLUE], 2);
}

TEST_F(DecodeTest, RemovesWhiteMatteAtSixteenBits) {
  PsdDocument doc = mattedRgb(16);
  doc.layer_blocks = {"Mt16"};
  BitmapPtr image = decode(doc);
  ASSERT_TRUE(image);
  ASSERT_EQ(FIT_RGBA16, FreeImage_GetImageType(image.get()));
  const FIRGBA16* p = reinterpret_cast<const FIRGBA16*>(FreeImage_GetScanLine(image.get(), 0));
  EXPECT_EQ(0, p[0].red + p[0].green + p[0].blue);
  EXPECT_EQ(0, p[0].alpha);
  EXPECT_EQ(257, p[1].alpha);
  EXPECT_NEAR(200 * 257, p[2].red, 257);
  EXPECT_NEAR(90 * 257, p[2].green, 257);
  EXPECT_NEAR(30 * 257, p[2].blue, 257);
  EXPECT_EQ(200 * 257, p[3].red);
  EXPECT_EQ(65535, p[3].alpha);
}

TEST_F(DecodeTest, GreyscaleKeepsItsTransparencyWithoutMatte) {
  PsdDocument doc = testing::makeDocument(PsdMode::kGrey, 8, 4, 2, 1, [](int c, int x, int y) {
    const double a = y == 0 ? kAlphas[x] : 255;
    return c == 1 ? a : std::round(matted(66, a, 255));
  });
  doc.write_layers = true;
  doc.layer_count = -1;
  doc.rle = true;
  BitmapPtr image = decode(doc);
  ASSERT_TRUE(image);
  ASSERT_EQ(32u, FreeImage_GetBPP(image.get()));
  const BYTE* top = FreeImage_GetScanLine(image.get(), 1);  // Scan lines run bottom to top.
  const BYTE* bottom = FreeImage_GetScanLine(image.get(), 0);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(kAlphas[x], top[4 * x + FI_RGBA_ALPHA]);
    EXPECT_EQ(255, bottom[4 * x + FI_RGBA_ALPHA]);
    EXPECT_EQ(66, bottom[4 * x + FI_RGBA_RED]);
  }
  EXPECT_EQ(0, top[FI_RGBA_GREEN]);
  EXPECT_NEAR(66, top[8 + FI_RGBA_RED], 1);
  EXPECT_EQ(top[8 + FI_RGBA_RED], top[8 + FI_RGBA_BLUE]);
  EXPECT_EQ(66, top[12 + FI_RGBA_GREEN]);
}

TEST_F(DecodeTest, SavedSelectionStaysOutOfTheAlpha) {
  // The extra channel selects nothing (0); read as alpha it would hide everything.
  auto doc_with = [](int depth, std::vector<testing::PsdResource> resources, int16_t layers) {
    const double scale = depth == 16 ? 257.0 : 1.0;
    PsdDocument doc = testing::makeDocument(PsdMode::kRgb, depth, 2, 2, 1,
                                            [=](int c, int x, int) { return c == 3 ? 0.0 : (100 + c * 50 + x) * scale; });
    doc.resources = std::move(resources);
    doc.write_layers = layers != 0;
    doc.layer_count = layers;
    return doc;
  };
  BitmapPtr by_identifier = decode(doc_with(8, {testing::alphaIdentifiers({7})}, 0));
  ASSERT_TRUE(by_identifier);
  EXPECT_EQ(24u, FreeImage_GetBPP(by_identifier.get()));
  const BYTE* p = FreeImage_GetScanLine(by_identifier.get(), 0);
  EXPECT_EQ(100, p[FI_RGBA_RED]);
  EXPECT_EQ(201, p[3 + FI_RGBA_BLUE]);

  BitmapPtr by_layers = decode(doc_with(8, {testing::alphaIdentifiers({0})}, 1));
  ASSERT_TRUE(by_layers);
  EXPECT_EQ(24u, FreeImage_GetBPP(by_layers.get()));

  BitmapPtr deep = decode(doc_with(16, {testing::alphaIdentifiers({3})}, 0));
  ASSERT_TRUE(deep);
  ASSERT_EQ(FIT_RGB16, FreeImage_GetImageType(deep.get()));
  EXPECT_EQ(150 * 257, reinterpret_cast<const FIRGB16*>(FreeImage_GetScanLine(deep.get(), 0))->green);
}

TEST_F(DecodeTest, NegativeLayerCountMakesFirstExtraChannelTheAlpha) {
  // Two extra channels: the first is transparency, the second a selection.
  // The identifiers would make both selections; the layer count decides.
  PsdDocument doc = testing::makeDocument(PsdMode::kRgb, 8, 2, 1, 2, [](int c, int x, int) {
    return c == 3 ? (x == 0 ? 255.0 : 128.0) : c == 4 ? 0.0 : std::round(matted(40.0 + x, x == 0 ? 255 : 128, 255));
  });
  doc.resources = {testing::alphaIdentifiers({5, 12})};
  doc.write_layers = true;
  doc.layer_count = -1;
  BitmapPtr image = decode(doc);
  ASSERT_TRUE(image);
  ASSERT_EQ(32u, FreeImage_GetBPP(image.get()));
  const BYTE* p = FreeImage_GetScanLine(image.get(), 0);
  EXPECT_EQ(255, p[FI_RGBA_ALPHA]);
  EXPECT_EQ(40, p[FI_RGBA_GREEN]);
  EXPECT_EQ(128, p[4 + FI_RGBA_ALPHA]);
  EXPECT_NEAR(41, p[4 + FI_RGBA_GREEN], 1);
}

TEST_F(DecodeTest, RefusesPlaceholderCompositeAndBrokenHeaders) {
  PsdDocument doc = testing::makeDocument(PsdMode::kRgb, 8, 2, 2, 0, [](int, int, int) { return 255.0; });
  doc.resources = {testing::versionInfo(false)};
  std::string reason;
  EXPECT_FALSE(decode(doc, &reason));
  EXPECT_EQ("the document holds no composite image (saved without maximum compatibility) and it has no layers",
            reason);

  doc.resources = {testing::versionInfo(true)};
  EXPECT_TRUE(decode(doc));

  std::string bytes = testing::encodePsd(doc);
  testing::writeText(path_, bytes.substr(0, bytes.size() - 5));
  BitmapPtr image;
  reason = decodeDocument(path_, 0, &image).message();
  EXPECT_FALSE(image);
  EXPECT_EQ("cannot be decoded as a Photoshop document: composite image: truncated image data", reason);
}

// A document of the kinds our readers read whose data is damaged fails as
// damaged with the reader's reason; the image library never decodes it.
TEST_F(DecodeTest, DamagedDataOfOurKindsIsRefusedAsDamaged) {
  PsdDocument doc = testing::makeDocument(PsdMode::kGrey, 8, 40, 4, 0, [](int, int x, int) { return x * 5.0; });
  doc.rle = true;
  std::string bytes = testing::encodePsd(doc);
  const size_t first_row = bytes.size() - 4 * 41;  // Four literals of 40 bytes, the last thing in the file.
  ASSERT_EQ(39, bytes[first_row + 41]);
  bytes[first_row + 41] = 60;
  testing::writeText(path_, bytes);
  BitmapPtr image;
  Status st = decodeDocument(path_, 0, &image);
  EXPECT_FALSE(image);
  EXPECT_EQ(Status::Code::kCorrupt, st.code());
  EXPECT_EQ("cannot be decoded as a Photoshop document: composite image: row 1 of channel 0 does not expand to a row",
            st.message());

  // Layers of a document without a composite whose data is damaged.
  PsdDocument layered = testing::makeDocument(PsdMode::kRgb, 8, 2, 2, 0, [](int, int, int) { return 255.0; });
  layered.resources = {testing::versionInfo(false)};
  testing::PsdLayer layer;
  layer.bottom = layer.right = 2;
  for (int id : {-1, 0, 1, 2}) layer.channels.push_back({id, std::vector<double>(4, 200.0), 1});
  layered.layers = {layer};
  ASSERT_TRUE(decode(layered));
  bytes = testing::encodePsd(layered);
  const size_t channel_data = bytes.find(std::string("\0\x01\0\x02\0\x02", 6));  // Compression 1, two rows of 2 bytes.
  ASSERT_NE(std::string::npos, channel_data);
  bytes[channel_data + 3] = 9;  // The first row claims 9 bytes.
  testing::writeText(path_, bytes);
  st = decodeDocument(path_, 0, &image);
  EXPECT_FALSE(image);
  EXPECT_EQ(Status::Code::kCorrupt, st.code()) << st.message();
}

// Damaged EXIF data would make the library read past it while it parses
// the header, for our reader's kinds as for its own: neither is shown it.
TEST_F(DecodeTest, DamagedExifDataIsNeverHandedToTheLibrary) {
  const std::string exif("MM\0\x2a\0\0\0\x08\x88\x01", 10);  // A directory of 34817 entries.
  for (PsdMode mode : {PsdMode::kRgb, PsdMode::kLab}) {
    PsdDocument doc = testing::makeDocument(mode, 8, 2, 2, 0, [](int, int, int) { return 128.0; });
    doc.resources = {{1058, exif}};
    std::string reason;
    EXPECT_FALSE(decode(doc, &reason));
    EXPECT_EQ("cannot be decoded as a Photoshop document: image resources: the EXIF data (1058) is damaged: a "
              "directory runs past the data",
              reason);
    EXPECT_FALSE(decoderLibraryRan());
  }
}

TEST_F(DecodeTest, ConvertFileWritesNothingForPlaceholderComposite) {
  buildFormatTable();
  createFormatLists();
  applyDefaultSettings(true);
  RunOptions run;
  ASSERT_TRUE(prepareRun(settings(), &run).ok());
  PsdDocument doc = testing::makeDocument(PsdMode::kRgb, 8, 2, 2, 0, [](int, int, int) { return 255.0; });
  doc.resources = {testing::versionInfo(false)};
  ASSERT_TRUE(testing::writePsdFile(path_, doc));
  testing::TempDir out;
  ConversionRequest request;
  request.input_path = path_;
  request.output_folder = out.path() + "/";
  const ConversionResult result = convertFile(request, run);
  EXPECT_FALSE(result.ok());
  EXPECT_NE(std::string::npos, result.failureReason().find("no composite image"));
  EXPECT_FALSE(testing::readImage(out.file("doc.png")).ok());
}

}  // namespace
}  // namespace pixolune

namespace pixolune {
namespace {

TEST_F(DecodeTest, RefusesDocumentsLargerThanTheMemoryLimitBeforeReadingPixels) {
  auto flat = [](int, int, int) { return 90.0; };
  setDecodeMemoryLimit(100000);
  std::string reason;
  // 100 x 100 pixels decoded as 4 bytes each, twice: 80,000 bytes fit.
  EXPECT_TRUE(decode(testing::makeDocument(PsdMode::kRgb, 8, 100, 100, 0, flat)));
  EXPECT_FALSE(decode(testing::makeDocument(PsdMode::kRgb, 8, 200, 100, 0, flat), &reason));
  EXPECT_EQ("the document's size (200 x 100) needs more memory than the limit of 100000 bytes allows", reason);
  setDecodeMemoryLimit(0);  // No limit.
  EXPECT_TRUE(decode(testing::makeDocument(PsdMode::kRgb, 8, 200, 100, 0, flat)));
  setDecodeMemoryLimit(defaultMemoryLimit());

  PsdHeader header;
  header.width = 30000;
  header.height = 30000;
  header.channels = 5;  // CMYK and transparency.
  header.depth = 16;
  EXPECT_EQ(2ull * 30000 * 30000 * 5 * 2, decodeMemoryNeed(header));
  header.channels = 1;
  header.depth = 1;
  EXPECT_EQ(2ull * 30000 * 30000 * 4, decodeMemoryNeed(header));
}

}  // namespace
}  // namespace pixolune
