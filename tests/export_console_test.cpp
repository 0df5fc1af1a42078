// Exporting layers, groups and layer comps, end to end through the binary.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "psd/layers/layer_test_support.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

// A text as descriptors hold it: its length, then UTF-16 (ASCII here).
std::string unicode(const std::string& ascii) {
  std::string out = Desc().integer(static_cast<int>(ascii.size())).bytes();
  for (char c : ascii) out += '\0', out += c;
  return out;
}

constexpr int kNight = 5;

// The layer's settings in comp "Night": hidden, or moved right by `dx`,
// drawn in screen mode at half opacity and overlaid with green.
std::string compMetadata(bool hidden, int dx) {
  Desc d;
  d.object("null", 1).item("layerSettings", "VlLs").list(1).raw("Objc").object("null", hidden ? 2 : 4);
  if (hidden) {
    d.item("enab", "bool").raw(std::string(1, '\0'));
  } else {
    d.item("Ofst", "Objc").object("Pnt ", 2).item("Hrzn", "long").integer(dx).item("Vrtc", "long").integer(0);
    d.item("blendOptions", "Objc").object("blendOptions", 2).item("Md  ", "enum").enumeration("BlnM", "Scrn");
    d.item("Opct", "UntF").raw("#Prc").number(50);
    d.item("Lefx", "Objc").object("null", 2).item("masterFXSwitch", "bool").raw(std::string(1, '\1'));
    d.item("SoFi", "Objc").object("SoFi", 4).item("enab", "bool").raw(std::string(1, '\1'));
    d.item("Md  ", "enum").enumeration("BlnM", "Nrml").item("Opct", "UntF").raw("#Prc").number(100);
    d.item("Clr ", "Objc").rgb(0, 255, 0);
  }
  d.item("compList", "VlLs").list(1).raw("long").integer(kNight);
  const std::string data = d.block();
  return std::string("\0\0\0\x01", 4) + "8BIMcmls" + std::string(4, '\0') +
         Desc().integer(static_cast<int>(data.size())).bytes() + data;
}

PsdResource compsResource() {
  Desc d;
  d.object("null", 1).item("list", "VlLs").list(1).raw("Objc").object("CmpS", 3);
  d.item("Nm  ", "TEXT").raw(unicode("Night"));
  d.item("compID", "long").integer(kNight);
  d.item("capturedInfo", "long").integer(7);
  return {1065, d.block()};
}

PsdLayer solid(const std::string& name, int top, int left, int bottom, int right, int r, int g, int b) {
  PsdLayer l;
  l.name = name;
  l.top = top, l.left = left, l.bottom = bottom, l.right = right;
  const size_t n = static_cast<size_t>(bottom - top) * (right - left);
  l.channels.push_back({-1, std::vector<double>(n, 255), 1});
  for (int c : {r, g, b}) l.channels.push_back({static_cast<int>(l.channels.size()) - 1, std::vector<double>(n, c), 1});
  return l;
}

PsdLayer marker(int section, const std::string& name = "</Layer group>") {
  PsdLayer l;
  l.name = name;
  l.section = section;
  if (section == 1) l.section_blend_key = "pass";
  return l;
}

// An 8 x 4 document, bottom first:
//   Back: the whole canvas, (10, 20, 30); hidden in comp Night.
//   Sprites/ (opacity 204)
//     Eyes/ { Left: (1, 1)-(3, 3) red; in comp Night moved 2 right, at opacity 50 %, green }
//     Masked: (4, 0)-(8, 4) blue, its mask showing columns 4 and 5 only
//     Shade: (4, 0)-(8, 2) green at opacity 128, clipped to Masked
PsdDocument sampleDocument() {
  PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 8, 4, 0, [](int, int, int) { return 0.0; });
  doc.resources = {versionInfo(false), compsResource()};
  PsdLayer back = solid("Back", 0, 0, 4, 8, 10, 20, 30);
  back.blocks = {{"shmd", compMetadata(true, 0)}};
  PsdLayer left = solid("Left", 1, 1, 3, 3, 200, 0, 0);
  left.blocks = {{"shmd", compMetadata(false, 2)}};
  PsdLayer masked = solid("Masked", 0, 4, 4, 8, 0, 0, 200);
  masked.has_mask = true;
  masked.mask_top = 0, masked.mask_left = 4, masked.mask_bottom = 4, masked.mask_right = 6;
  masked.mask_default = 0;
  masked.channels.push_back({-2, std::vector<double>(8, 255), 1});
  PsdLayer shade = solid("Shade", 0, 4, 2, 8, 0, 250, 0);
  shade.opacity = 128;
  shade.clipped = true;
  PsdLayer sprites = marker(1, "Sprites");
  sprites.opacity = 204;
  doc.layers = {back, marker(3), marker(3), left, marker(1, "Eyes"), masked, shade, sprites};
  return doc;
}

class ExportConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("out"));
    fs::create_directories(dir_.file("home"));
    ASSERT_TRUE(writePsdFile(dir_.file("doc.psd"), sampleDocument()));
  }
  RunResult run(std::vector<std::string> options) {
    options.insert(options.begin(), "-q");
    for (const char* tail : {"-o", "out", "doc.psd"}) options.push_back(tail);
    return runPixolune(options, dir_.path(), dir_.file("home"));
  }
  // The files below out/, as paths from it, sorted.
  std::vector<std::string> written() {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir_.file("out")))
      if (e.is_regular_file()) files.push_back(fs::relative(e.path(), dir_.file("out")).string());
    std::sort(files.begin(), files.end());
    return files;
  }
  static void expectPixel(const Pixels& px, int x, int y, std::vector<int> rgba, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(px.ok());
    ASSERT_LT(x, px.width);
    ASSERT_LT(y, px.height);
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(rgba[c], px.at(x, y)[c], 1) << "channel " << c << " at " << x << ", " << y;
  }
  TempDir dir_;
};

TEST_F(ExportConsoleTest, LayersAreNamedByTheirGroupsAndDrawnWithMasksAndClippedLayers) {
  const RunResult r = run({"--export=layers"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ((std::vector<std::string>{"doc/Back.png", "doc/Sprites/Eyes/Left.png", "doc/Sprites/Masked.png"}),
            written());
  const Pixels back = readImage(dir_.file("out/doc/Back.png"));
  EXPECT_EQ(8, back.width);
  expectPixel(back, 7, 3, {10, 20, 30, 255}, "the background");
  // Cut to what shows; the group's opacity is not the layer's.
  const Pixels left = readImage(dir_.file("out/doc/Sprites/Eyes/Left.png"));
  EXPECT_EQ(2, left.width);
  EXPECT_EQ(2, left.height);
  expectPixel(left, 1, 1, {200, 0, 0, 255}, "the red eye");
  // The mask leaves columns 4 and 5; the clipped green lies over the top two rows.
  const Pixels masked = readImage(dir_.file("out/doc/Sprites/Masked.png"));
  EXPECT_EQ(2, masked.width);
  EXPECT_EQ(4, masked.height);
  const double a = 128 / 255.0;
  expectPixel(masked, 0, 0, {0, static_cast<int>(std::lround(250 * a)), static_cast<int>(std::lround(200 * (1 - a))), 255},
              "green over blue");
  expectPixel(masked, 1, 3, {0, 0, 200, 255}, "blue alone");
}

TEST_F(ExportConsoleTest, GroupsAreDrawnWholeAtTheChosenDepth) {
  RunResult r = run({"--export=groups"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  ASSERT_EQ((std::vector<std::string>{"doc/Sprites.png"}), written());
  // Columns 1 to 5 hold the eye and the masked layer; the group's opacity fades both.
  const Pixels sprites = readImage(dir_.file("out/doc/Sprites.png"));
  EXPECT_EQ(5, sprites.width);
  EXPECT_EQ(4, sprites.height);
  expectPixel(sprites, 0, 1, {200, 0, 0, 204}, "the eye");
  expectPixel(sprites, 3, 3, {0, 0, 200, 204}, "the masked layer");
  expectPixel(sprites, 0, 0, {0, 0, 0, 0}, "between them");

  fs::remove_all(dir_.file("out/doc"));
  r = run({"--export=groups", "--export-depth=2", "--export-bounds=canvas"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  ASSERT_EQ((std::vector<std::string>{"doc/Sprites/Eyes.png"}), written());
  const Pixels eyes = readImage(dir_.file("out/doc/Sprites/Eyes.png"));
  EXPECT_EQ(8, eyes.width);
  expectPixel(eyes, 2, 2, {200, 0, 0, 255}, "the eye in place");
  EXPECT_EQ(0, eyes.at(0, 0)[3]);
}

TEST_F(ExportConsoleTest, CompsShowTheirOwnVisibilityPositionsBlendingAndEffects) {
  RunResult r = run({"--export=comps", "--export-bounds=canvas", "--filename-mask=%comp%-%index%.%ext%"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  ASSERT_EQ((std::vector<std::string>{"Night-001.png"}), written());
  const Pixels night = readImage(dir_.file("out/Night-001.png"));
  r = run({"--export=layers"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ(8, night.width);
  EXPECT_EQ(0, night.at(0, 0)[3]) << "the background is hidden in this comp";
  EXPECT_EQ(0, night.at(1, 1)[3]) << "the eye moved away";
  expectPixel(night, 3, 1, {0, 255, 0, 102}, "the eye moved two columns right, green, at half its opacity");
  // Outside the comp the eye keeps its own look.
  expectPixel(readImage(dir_.file("out/doc/Sprites/Eyes/Left.png")), 0, 0, {200, 0, 0, 255}, "the eye as stored");
}

TEST_F(ExportConsoleTest, TheManifestPlacesEveryPieceOnTheCanvas) {
  RunResult r = run({"--export=layers", "--export-manifest", "-d"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("Saving As: " + dir_.file("out/doc/Sprites/Eyes/Left.png"))) << r.out;
  std::ifstream in(dir_.file("out/doc.json"));
  std::stringstream text;
  text << in.rdbuf();
  const std::string json = text.str();
  EXPECT_NE(std::string::npos, json.find("\"export\": \"layers\"")) << json;
  EXPECT_NE(std::string::npos,
            json.find("{\"file\": \"doc/Sprites/Eyes/Left.png\", \"name\": \"Left\", \"groups\": [\"Sprites\", "
                      "\"Eyes\"], \"index\": 2, \"left\": 1, \"top\": 1, \"width\": 2, \"height\": 2, "
                      "\"opacity\": 1, \"blend\": \"normal\"}"))
      << json;
  EXPECT_NE(std::string::npos, json.find("\"left\": 4, \"top\": 0, \"width\": 2, \"height\": 4")) << json;

  // Without sub-folders the groups make one name.
  fs::remove_all(dir_.file("out"));
  fs::create_directories(dir_.file("out"));
  r = run({"--export=layers", "--no-subfolders", "--filename-mask=%group%_%layer%.%ext%"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ((std::vector<std::string>{"Back.png", "Sprites_Eyes_Left.png", "Sprites_Masked.png"}), written());
}

TEST_F(ExportConsoleTest, NamesStayInsideTheOutputFolderAndStagesApplyToEachPiece) {
  PsdDocument doc = sampleDocument();
  doc.layers[0].name = "../../escape";
  doc.layers[7].name = "..";
  ASSERT_TRUE(writePsdFile(dir_.file("doc.psd"), doc));
  const RunResult r = run({"--export=layers", "--width=50%", "--height=50%"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ((std::vector<std::string>{"doc/.._.._escape.png", "doc/_/Eyes/Left.png", "doc/_/Masked.png"}), written());
  const Pixels back = readImage(dir_.file("out/doc/.._.._escape.png"));
  EXPECT_EQ(4, back.width);
  EXPECT_EQ(2, back.height);
}

TEST_F(ExportConsoleTest, ALayerThatShowsNothingIsSkippedNotFailed) {
  PsdDocument doc = sampleDocument();
  doc.layers.push_back(solid("Parked", 10, 20, 12, 24, 1, 2, 3));  // Beside the canvas.
  ASSERT_TRUE(writePsdFile(dir_.file("doc.psd"), doc));
  RunResult r = run({"--export=layers", "-d"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("Skipped: layer \"Parked\" shows nothing on the canvas")) << r.out;
  EXPECT_EQ(3u, written().size());
  // With the canvas as the size, it is written, transparent.
  r = run({"--export=layers", "--export-bounds=canvas"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ(0, readImage(dir_.file("out/doc/Parked.png")).at(0, 0)[3]);
}

TEST_F(ExportConsoleTest, ADocumentWithoutPiecesFailsAndIsNamed) {
  ASSERT_TRUE(writePsdFile(dir_.file("doc.psd"), makeDocument(PsdMode::kRgb, 8, 2, 2, 0, [](int, int, int) { return 9.0; })));
  const RunResult r = run({"--export=comps"});
  EXPECT_NE(0, r.exit_code);
  EXPECT_NE(std::string::npos, r.err.find("doc.psd: it has no layer comps to export")) << r.err;
  EXPECT_TRUE(written().empty());
}

}  // namespace
}  // namespace pixolune::testing
