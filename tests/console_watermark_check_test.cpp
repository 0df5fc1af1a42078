// The console refuses a watermark picture that does not decode before any
// file is converted, and stamps one that does.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

class ConsoleWatermarkCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("in"));
    fs::create_directories(dir_.file("out"));
    fs::create_directories(dir_.file("home"));
    PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 40, 30, 0, [](int, int, int) { return 20.0; });
    ASSERT_TRUE(writePsdFile(dir_.file("in/a.psd"), doc));
  }
  RunResult convertWith(const std::string& picture) {
    return runPixolune({"-q", "-i", dir_.file("in/a.psd"), "-o", dir_.file("out"), "--wm-image=" + picture},
                       dir_.path(), dir_.file("home"));
  }
  // A 4 x 4 opaque red PNG.
  std::string writeRedPng(const std::string& name) {
    FIBITMAP* dib = FreeImage_Allocate(4, 4, 24);
    RGBQUAD red{0, 0, 255, 0};
    FreeImage_FillBackground(dib, &red);
    const std::string path = dir_.file(name);
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, dib, path.c_str()));
    FreeImage_Unload(dib);
    return path;
  }

  TempDir dir_;
};

TEST_F(ConsoleWatermarkCheckTest, PictureThatDoesNotDecodeStopsTheRunNamingTheFile) {
  const std::string text = dir_.file("notes.txt");
  writeText(text, "this is a note, not a picture\n");
  const std::string named_png = dir_.file("fake.png");
  writeText(named_png, "plain text under a picture's name\n");
  const std::string cut = writeRedPng("cut.png");
  const std::string whole = readText(cut);
  writeText(cut, whole.substr(0, whole.size() / 2));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {text, "its content is not in a picture format this program reads"},
      {named_png, "its content is not in a picture format this program reads"},
      {cut, "the picture is damaged or cut short"},
  };
  for (const auto& [picture, why] : cases) {
    RunResult r = convertWith(picture);
    EXPECT_EQ(1, r.exit_code) << picture;
    EXPECT_EQ("Error: Invalid watermark image: the watermark picture \"" + picture + "\" cannot be decoded: " + why +
                  "\n",
              r.err);
    EXPECT_EQ("", r.out) << picture;
    EXPECT_TRUE(fs::is_empty(dir_.file("out"))) << picture;
  }
}

TEST_F(ConsoleWatermarkCheckTest, PictureThatDecodesIsStamped) {
  RunResult r = convertWith(writeRedPng("red.png"));
  ASSERT_EQ(0, r.exit_code) << r.err;
  const Pixels png = readImage(dir_.file("out/a.png"));
  ASSERT_TRUE(png.ok());
  // Bottom right, 10 pixels in from both edges: x 26..29, y 16..19.
  const uint8_t* stamped = png.at(27, 17);
  EXPECT_EQ(255, stamped[0]);
  EXPECT_EQ(0, stamped[1]);
  EXPECT_EQ(0, stamped[2]);
  const uint8_t* plain = png.at(5, 5);
  EXPECT_EQ(20, plain[0]);
}

}  // namespace
}  // namespace pixolune::testing
