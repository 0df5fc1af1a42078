#include "psd/layers/layer_render.h"

#include "psd/layers/layer_test_support.h"
#include "platform/helper_process.h"

namespace pixolune {
namespace {

using testing::PsdDocument;

class LayerMemoryTest : public LayerMergeTest {
 protected:
  void TearDown() override { setDecodeMemoryLimit(defaultMemoryLimit()); }
};

TEST_F(LayerMemoryTest, CanvasBeyondTheLimitIsRefusedWithTheReason) {
  const Kind k = kKinds[0];
  PsdDocument doc = document(k, 100, 100);
  doc.layers.push_back(solidLayer(k, 0, 0, 100, 100, {0, 0, 0}, opaque));
  setDecodeMemoryLimit(100 * 100 * 20);  // Enough for the composite, not for the float canvas.
  std::string reason;
  render(doc, &reason);
  EXPECT_EQ("the document holds no composite image (saved without maximum compatibility) and drawing its layers "
            "needs more memory than the limit allows",
            reason);
}

TEST_F(LayerMemoryTest, GroupsNestedBeyondTheLimitAreRefused) {
  const Kind k = kKinds[0];
  PsdDocument doc = document(k, 100, 100);
  PsdLayer end, group;
  end.section = 3, group.section = 1, group.section_blend_key = "norm";
  for (int i = 0; i < 6; ++i) doc.layers.push_back(end);
  doc.layers.push_back(solidLayer(k, 0, 0, 100, 100, {0, 0, 0}, opaque));
  for (int i = 0; i < 6; ++i) doc.layers.push_back(group);
  setDecodeMemoryLimit(100 * 100 * 60);  // Room for the canvas and one group of it.
  std::string reason;
  render(doc, &reason);
  EXPECT_EQ("the document holds no composite image (saved without maximum compatibility) and its layers cannot "
            "be read: its groups need more memory than the limit allows",
            reason);
  doc.layers.erase(doc.layers.begin(), doc.layers.begin() + 5);
  doc.layers.resize(3);  // One group: fits.
  EXPECT_EQ(100, render(doc).width);
}

TEST_F(LayerMemoryTest, LayerFarBeyondTheDocumentCostsOnlyItsVisiblePart) {
  // 200000 x 2 samples per plane would not fit the limit; the 4 x 2 inside do.
  for (int compression : {0, 1, 3}) {
    const Kind k = kKinds[0];
    PsdDocument doc = document(k, 4, 2);
    doc.layers.push_back(solidLayer(k, 0, -100000, 2, 100000, {0.2, 0.4, 0.6},
                                    [](int x, int) { return x == 100001 ? 0.0 : 1.0; }, compression));
    setDecodeMemoryLimit(64 * 1024);
    Image im = render(doc);
    ASSERT_EQ(4, im.width) << compression;
    EXPECT_NEAR(0.4, im.at(0, 1)[1], 0.6 / 255) << compression;
    EXPECT_EQ(0.0, im.at(1, 0)[3]) << compression;  // Column 100001 of the layer is document column 1.
    EXPECT_EQ(1.0, im.at(2, 0)[3]) << compression;
  }
}

}  // namespace
}  // namespace pixolune
