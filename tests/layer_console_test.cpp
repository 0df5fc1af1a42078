// Documents saved without a composite, converted by the real binary.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

// An older-style effects block naming one enabled drop shadow.
std::string dropShadowBlock() {
  std::string data("\x00\x02\x00\x01", 4);
  std::string shadow(51, '\0');
  shadow[38] = 1;  // Enabled.
  data += "8BIMdsdw";
  data += std::string("\x00\x00\x00\x33", 4) + shadow;
  return data;
}

class LayerConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("out"));
    fs::create_directories(dir_.file("home"));
  }
  // A 3 x 2 RGB document without composite: one layer of (10, 200, 30) with a drop shadow.
  void writeDocument(const std::string& path) {
    PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 3, 2, 0, [](int, int, int) { return 0.0; });
    doc.resources = {versionInfo(false)};
    PsdLayer layer;
    layer.bottom = 2, layer.right = 3;
    for (int c = 0; c < 3; ++c) layer.channels.push_back({c, std::vector<double>(6, c == 1 ? 200 : c == 0 ? 10 : 30), 1});
    layer.blocks = {{"lrFX", dropShadowBlock()}};
    doc.layers.push_back(layer);
    ASSERT_TRUE(writePsdFile(path, doc));
  }
  TempDir dir_;
};

TEST_F(LayerConsoleTest, DebugOutputNamesTheEffectsLeftOut) {
  const std::string in = dir_.file("shadow.psd");
  writeDocument(in);
  RunResult r = runPixolune({"-d", "-i", in, "-o", dir_.file("out")}, dir_.path(), dir_.file("home"));
  ASSERT_EQ(0, r.exit_code) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("OK\nNote: drawn from its layers without drop shadow\n")) << r.out;
  Pixels px = readImage(dir_.file("out/shadow.png"));
  ASSERT_EQ(3, px.width);
  EXPECT_EQ(200, px.at(1, 1)[1]);
  EXPECT_EQ(10, px.at(1, 1)[0]);
}

TEST_F(LayerConsoleTest, RenderLayersOptionIgnoresTheStoredComposite) {
  // The composite says black, the layer says (10, 200, 30).
  const std::string in = dir_.file("both.psd");
  writeDocument(in);
  PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 3, 2, 0, [](int, int, int) { return 0.0; });
  PsdLayer layer;
  layer.bottom = 2, layer.right = 3;
  for (int c = 0; c < 3; ++c) layer.channels.push_back({c, std::vector<double>(6, c == 1 ? 200 : c == 0 ? 10 : 30), 0});
  doc.layers.push_back(layer);
  ASSERT_TRUE(writePsdFile(in, doc));
  RunResult plain = runPixolune({"-q", "-i", in, "-o", dir_.file("out")}, dir_.path(), dir_.file("home"));
  ASSERT_EQ(0, plain.exit_code) << plain.err;
  EXPECT_EQ(0, readImage(dir_.file("out/both.png")).at(0, 0)[1]);
  RunResult drawn = runPixolune({"-q", "--render-layers", "-i", in, "-o", dir_.file("out")}, dir_.path(),
                                dir_.file("home"));
  ASSERT_EQ(0, drawn.exit_code) << drawn.err;
  EXPECT_EQ(200, readImage(dir_.file("out/both.png")).at(0, 0)[1]);
}

}  // namespace
}  // namespace pixolune::testing
