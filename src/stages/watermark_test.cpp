#include "stages/watermark.h"

#include <gtest/gtest.h>

#include <functional>

#include "run/conversion_job.h"
#include "run/pipeline.h"
#include "platform/drawing.h"
#include "settings/settings.h"
#include "support/convert_fixture.h"

namespace pixolune {
namespace {

using testing::Box;
using testing::changedBox;
using testing::Pixels;
using testing::Rgb;
using testing::rgbAt;
using testing::solidDocument;

constexpr Rgb kGrey{100, 100, 100};
constexpr Rgb kRed{255, 0, 0};

// Writes a PNG of w x h pixels, 32-bit when with_alpha, else 24-bit.
bool writePicture(const std::string& path, int w, int h, bool with_alpha,
                  const std::function<RGBQUAD(int x, int y)>& pixel) {
  FIBITMAP* dib = FreeImage_Allocate(w, h, with_alpha ? 32 : 24);
  const int step = with_alpha ? 4 : 3;
  for (int y = 0; y < h; ++y) {
    BYTE* line = FreeImage_GetScanLine(dib, h - 1 - y);
    for (int x = 0; x < w; ++x) {
      RGBQUAD q = pixel(x, y);
      line[x * step + FI_RGBA_RED] = q.rgbRed;
      line[x * step + FI_RGBA_GREEN] = q.rgbGreen;
      line[x * step + FI_RGBA_BLUE] = q.rgbBlue;
      if (with_alpha) line[x * step + FI_RGBA_ALPHA] = q.rgbReserved;
    }
  }
  bool ok = FreeImage_Save(FIF_PNG, dib, path.c_str(), 0);
  FreeImage_Unload(dib);
  return ok;
}

RGBQUAD quad(int r, int g, int b, int a = 255) {
  return RGBQUAD{static_cast<BYTE>(b), static_cast<BYTE>(g), static_cast<BYTE>(r), static_cast<BYTE>(a)};
}

void expectBox(const Box& box, int x, int y, int w, int h) {
  EXPECT_EQ(x, box.x);
  EXPECT_EQ(y, box.y);
  EXPECT_EQ(w, box.width);
  EXPECT_EQ(h, box.height);
}

class PictureWatermarkTest : public testing::ConvertFixture {
 protected:
  void SetUp() override {
    ConvertFixture::SetUp();
    settings().do_watermark = 2;
    settings().watermark_image = dir_.file("mark.png");
    ASSERT_TRUE(writePicture(settings().watermark_image, 100, 20, false, [](int, int) { return quad(255, 0, 0); }));
  }
};

TEST_F(PictureWatermarkTest, BottomRightWithOffsetsCoversItsRectangle) {
  Pixels px = convert(solidDocument(640, 480, kGrey));
  ASSERT_TRUE(px.ok());
  expectBox(changedBox(px, kGrey), 530, 450, 100, 20);
  for (int y = 450; y < 470; ++y)
    for (int x = 530; x < 630; ++x) ASSERT_EQ(kRed, rgbAt(px, x, y)) << x << "," << y;
}

TEST_F(PictureWatermarkTest, NineAnchors) {
  settings().wm_image_x_offset = 3;
  settings().wm_image_y_offset = 4;
  const int xs[3] = {3, 50, 97}, ys[3] = {4, 40, 76};  // 200 x 100 room, 100 x 20 block.
  for (int position = 0; position < 10; ++position) {
    settings().wm_image_position = static_cast<uint8_t>(position);
    Pixels px = convert(solidDocument(200, 100, kGrey));
    ASSERT_TRUE(px.ok());
    SCOPED_TRACE(position);
    if (position == 9)
      expectBox(changedBox(px, kGrey), 0, 0, 100, 20);
    else
      expectBox(changedBox(px, kGrey), xs[position % 3], ys[position / 3], 100, 20);
  }
}

TEST_F(PictureWatermarkTest, FrameBoundaryMovesTheRoom) {
  Settings& s = settings();
  s.do_frame = true;
  s.solid_left = 20, s.solid_top = 15;
  s.solid_left_color = s.solid_top_color = "646464";  // The picture's own grey: the frame stays invisible.
  s.wm_image_position = 0;
  s.wm_image_boundary = true;
  expectBox(changedBox(convert(solidDocument(640, 480, kGrey)), kGrey), 30, 25, 100, 20);
  s.do_frame = false;
  expectBox(changedBox(convert(solidDocument(640, 480, kGrey)), kGrey), 10, 10, 100, 20);
}

TEST_F(PictureWatermarkTest, RotationSwapsTheSides) {
  settings().wm_image_rotation = 90;
  expectBox(changedBox(convert(solidDocument(640, 480, kGrey)), kGrey), 610, 370, 20, 100);
  // Other angles grow the block; the corners it gains are transparent.
  settings().wm_image_rotation = 45;
  Pixels px = convert(solidDocument(640, 480, kGrey));
  Box box = changedBox(px, kGrey, 8);
  EXPECT_NEAR(85, box.width, 2);  // (100 + 20) / sqrt(2).
  EXPECT_EQ(kGrey, rgbAt(px, box.x + 2, box.y + 2));
  EXPECT_EQ(kRed, rgbAt(px, box.x + box.width / 2, box.y + box.height / 2));
}

TEST_F(PictureWatermarkTest, BlockIsCroppedToTheRoomEvenWhenCentred) {
  settings().wm_image_position = 4;
  expectBox(changedBox(convert(solidDocument(60, 40, kGrey)), kGrey), 5, 10, 50, 20);
}

TEST_F(PictureWatermarkTest, NegativeOffsetLeavesTheImageUnmarked) {
  settings().wm_image_position = 0;
  settings().wm_image_x_offset = -20;
  Pixels px = convert(solidDocument(200, 100, kGrey));
  ASSERT_TRUE(px.ok());
  EXPECT_EQ(0, changedBox(px, kGrey).width);
  EXPECT_EQ(24, px.bpp);
}

TEST_F(PictureWatermarkTest, OpacityAndGreyscale) {
  settings().wm_image_opacity = 128;
  Rgb half = rgbAt(convert(solidDocument(200, 100, kGrey)), 150, 80);
  EXPECT_NEAR(178, half.r, 2);  // 255 * 128/255 + 100 * 127/255.
  EXPECT_NEAR(50, half.g, 2);

  ASSERT_TRUE(writePicture(settings().watermark_image, 100, 20, false, [](int, int) { return quad(200, 100, 50); }));
  settings().wm_image_opacity = 255;
  settings().wm_image_greyscale = true;
  const int grey = (77 * 200 + 150 * 100 + 29 * 50) >> 8;
  EXPECT_EQ((Rgb{grey, grey, grey}), rgbAt(convert(solidDocument(200, 100, kGrey)), 150, 80));
}

TEST_F(PictureWatermarkTest, PictureAlphaIsKept) {
  ASSERT_TRUE(writePicture(settings().watermark_image, 100, 20, true,
                           [](int x, int) { return quad(255, 0, 0, x < 50 ? 0 : 255); }));
  expectBox(changedBox(convert(solidDocument(640, 480, kGrey)), kGrey), 580, 450, 50, 20);
}

TEST_F(PictureWatermarkTest, PictureSpoiledAfterPreparationStillConverts) {
  const std::string input = dir_.file("input.psd");
  ASSERT_TRUE(testing::writePsdFile(input, solidDocument(50, 40, kGrey)));
  ConversionRequest request;
  request.input_path = input;
  request.output_folder = dir_.path() + "/";
  RunOptions run;
  ASSERT_TRUE(prepareRun(settings(), &run).ok());
  testing::writeText(settings().watermark_image, "not a picture");
  const ConversionResult result = convertFile(request, run);
  ASSERT_TRUE(result.ok());
  Pixels px = testing::readImage(result.output_path);
  ASSERT_TRUE(px.ok());
  EXPECT_EQ(0, changedBox(px, kGrey).width);
}

TEST_F(PictureWatermarkTest, PreparationReportsWhichCheckFailed) {
  EXPECT_TRUE(prepareWatermarkRun(watermarkOptionsFrom(settings())).ok());
  settings().watermark_image = "";
  EXPECT_EQ(Status::Code::kInvalid, prepareWatermarkRun(watermarkOptionsFrom(settings())).code());
  for (const std::string& bad : {dir_.file("missing.png"), dir_.file("empty.png"), dir_.path()}) {
    testing::writeText(dir_.file("empty.png"), "");
    settings().watermark_image = bad;
    Status prep = prepareWatermarkRun(watermarkOptionsFrom(settings()));
    EXPECT_EQ(Status::Code::kNotFound, prep.code()) << bad;
    EXPECT_NE(std::string::npos, prep.message().find("\"" + bad + "\"")) << prep.message();
    RunOptions run;
    EXPECT_FALSE(prepareRun(settings(), &run).ok());
  }
}

}  // namespace
}  // namespace pixolune
