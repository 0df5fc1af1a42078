#include "psd/layers/layer_records.h"

#include <gtest/gtest.h>

#include "image/bitmap.h"
#include "run/decode.h"
#include "psd/psd_document.h"
#include "run/pipeline.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::PsdDocument;
using testing::PsdLayer;

// A greyscale document of two layers in a group: a masked one and a
// clipped half-opaque one.
PsdDocument layeredDocument() {
  PsdDocument doc = testing::makeDocument(testing::PsdMode::kGrey, 8, 4, 2, 0, [](int, int, int) { return 0.0; });
  doc.resources = {testing::versionInfo(false)};
  PsdLayer end;
  end.name = "</Layer group>", end.section = 3;
  PsdLayer masked;
  masked.name = "masked", masked.top = 0, masked.left = 1, masked.bottom = 2, masked.right = 4;
  masked.channels = {{-1, std::vector<double>(6, 255), 1}, {0, std::vector<double>(6, 90), 2}};
  masked.has_mask = true, masked.mask_top = 0, masked.mask_left = 0, masked.mask_bottom = 1, masked.mask_right = 2;
  masked.mask_default = 255, masked.mask_flags = 2;
  masked.channels.push_back({-2, {10, 20}, 3});
  PsdLayer clipped;
  clipped.name = "clipped", clipped.bottom = 2, clipped.right = 4, clipped.opacity = 128, clipped.clipped = true;
  clipped.fill_opacity = 64, clipped.blend_key = "mul ";
  clipped.channels = {{0, std::vector<double>(8, 200), 0}};
  PsdLayer group;
  group.name = "group", group.section = 1, group.section_blend_key = "pass", group.hidden = true;
  doc.layers = {end, masked, clipped, group};
  return doc;
}

class LayerRecordsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initImageLibrary(); }
  Status read(const std::string& bytes, LayerSet* set) {
    testing::writeText(path_, bytes);
    pixolune::PsdDocument document;
    Status st = document.open(path_);
    return st.ok() ? readLayerRecords(document, set) : st;
  }
  testing::TempDir dir_;
  std::string path_ = dir_.file("layers.psd");
};

TEST_F(LayerRecordsTest, ReadsWhatEachRecordSays) {
  LayerSet set;
  ASSERT_TRUE(read(testing::encodePsd(layeredDocument()), &set).ok());
  ASSERT_EQ(4u, set.layers.size());
  EXPECT_EQ(SectionKind::kGroupEnd, set.layers[0].section);
  const LayerRecord& masked = set.layers[1];
  EXPECT_EQ("masked", masked.name);
  EXPECT_EQ(1, masked.rect.left);
  EXPECT_EQ(3, masked.rect.width());
  ASSERT_TRUE(masked.user_mask.present);
  EXPECT_EQ(255, masked.user_mask.default_colour);
  EXPECT_TRUE(masked.user_mask.disabled);
  EXPECT_EQ(2, masked.user_mask.rect.right);
  const LayerRecord& clipped = set.layers[2];
  EXPECT_TRUE(clipped.clipped);
  EXPECT_EQ(128, clipped.opacity);
  EXPECT_EQ(64, clipped.fill_opacity);
  EXPECT_EQ("mul ", clipped.blend_key);
  const LayerRecord& group = set.layers[3];
  EXPECT_EQ(SectionKind::kOpenGroup, group.section);
  EXPECT_EQ("pass", group.section_blend_key);
  EXPECT_FALSE(group.visible);
}

TEST_F(LayerRecordsTest, DocumentWithoutLayerSectionHasNoLayers) {
  LayerSet set;
  PsdDocument doc = testing::makeDocument(testing::PsdMode::kRgb, 8, 1, 1, 0, [](int, int, int) { return 1.0; });
  ASSERT_TRUE(read(testing::encodePsd(doc), &set).ok());
  EXPECT_TRUE(set.layers.empty());
}

TEST_F(LayerRecordsTest, LyingLengthsAreCorrupt) {
  PsdDocument doc = layeredDocument();
  doc.layers.resize(2);
  std::string bytes = testing::encodePsd(doc);
  // The first channel length of the second record: after its rectangle and channel count.
  const size_t records = bytes.find("8BIMnorm");  // Blend signature of the first record.
  const size_t second = bytes.find("8BIMnorm", records + 1);
  ASSERT_NE(std::string::npos, second);
  const size_t length_at = second - 3 * 6 + 2;  // Three channels of 6 bytes each before it.
  bytes.replace(length_at, 4, "\x7f\xff\xff\xff");
  LayerSet set;
  Status st = read(bytes, &set);
  EXPECT_EQ(Status::Code::kCorrupt, st.code());
  EXPECT_EQ("layer records: channel data runs past the layer info", st.message());
}

TEST_F(LayerRecordsTest, LayerCountBeyondTheLayerInfoIsCorrupt) {
  PsdDocument doc = layeredDocument();
  std::string bytes = testing::encodePsd(doc);
  const size_t count_at = bytes.find("8BIMnorm") - 18 - 2;  // Before the first record, which has no channels.
  ASSERT_EQ(4, bytes[count_at + 1]);
  bytes[count_at] = 0x30;
  LayerSet set;
  EXPECT_EQ("layer records: too many layers for the layer info", read(bytes, &set).message());
}

// Photoshop writes inverted rectangles for some layers drawn from a path
// only: such a layer is empty, its channel bytes are passed over, and the
// layers after it are read and drawn as usual. A side longer than any layer
// can be stays damage, whichever way round.
TEST_F(LayerRecordsTest, InvertedLayerRectangleIsAnEmptyLayer) {
  PsdDocument doc = testing::makeDocument(testing::PsdMode::kGrey, 8, 3, 2, 0, [](int, int, int) { return 0.0; });
  doc.resources = {testing::versionInfo(false)};
  PsdLayer inverted;
  inverted.name = "inverted", inverted.top = 2, inverted.left = 3, inverted.bottom = 0, inverted.right = 1;
  inverted.channels = {{-1, {255, 255, 255}, 0}, {0, {7, 8, 9}, 1}};
  PsdLayer flat;
  flat.name = "flat", flat.top = 1, flat.left = 0, flat.bottom = 1, flat.right = 3;  // No rows.
  PsdLayer above;
  above.name = "above", above.bottom = 2, above.right = 3;
  above.channels = {{-1, std::vector<double>(6, 255), 0}, {0, {10, 20, 30, 40, 50, 60}, 1}};
  doc.layers = {inverted, flat, above};
  LayerSet set;
  ASSERT_TRUE(read(testing::encodePsd(doc), &set).ok());
  ASSERT_EQ(3u, set.layers.size());
  EXPECT_EQ(LayerRect(), set.layers[0].rect);
  EXPECT_TRUE(set.layers[1].rect.empty());
  EXPECT_EQ((LayerRect{0, 0, 2, 3}), set.layers[2].rect);

  BitmapPtr image;
  ASSERT_TRUE(decodeLayers(path_, &image).ok());
  ASSERT_EQ(8u, FreeImage_GetBPP(image.get()));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(10 * (1 + x + 3 * y), FreeImage_GetScanLine(image.get(), 1 - y)[x]) << x << "," << y;

  doc.layers[0].top = kMaxLayerSide + 5;
  LayerSet damaged;
  EXPECT_EQ("layer records: impossible layer rectangle", read(testing::encodePsd(doc), &damaged).message());
}

// Every byte of the layer section set to 0xFF in turn: the reader and the
// merge either work or say why, and never read outside the file.
TEST_F(LayerRecordsTest, DamagedBytesAnywhereAreSurvived) {
  const std::string good = testing::encodePsd(layeredDocument());
  PsdHeader header;
  testing::writeText(path_, good);
  ASSERT_TRUE(readPsdHeader(path_, &header).ok());
  int refused = 0;
  for (size_t i = header.layer_info_offset; i < header.image_data_offset; ++i) {
    std::string bytes = good;
    bytes[i] = static_cast<char>(0xFF);
    testing::writeText(path_, bytes);
    std::string reason;
    BitmapPtr image;
    reason = decodeDocument(path_, 0, &image).message();
    if (!image) {
      ++refused;
      EXPECT_FALSE(reason.empty()) << "byte " << i;
    }
  }
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace pixolune
