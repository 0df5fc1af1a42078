#include "image/format_table.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include "settings/settings.h"

namespace pixolune {
namespace {

class SaveFlagsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    createFormatLists();
    applyDefaultSettings(false);
  }
  Settings& s = settings();
};

TEST_F(SaveFlagsTest, PngCompressionAndInterlace) {
  const int expected[] = {0x100, 1, 6, 9, 0};
  for (int code = 0; code < 5; ++code) {
    s.png_compression = code;
    EXPECT_EQ(expected[code], saveFlagsFor("png", s)) << code;
  }
  s.png_compression = 0;
  s.png_interlaced = true;
  EXPECT_EQ(0x300, saveFlagsFor("png", s));
}

TEST_F(SaveFlagsTest, JpegQualityChromaAndEncoding) {
  EXPECT_EQ(95 + 0x10000, saveFlagsFor("jpg", s));
  const int chroma[] = {0x10000, 0x8000, 0x4000, 0x1000};
  const int save_as[] = {0, 0x40000, 0x20000, 0x2000};
  for (int c = 0; c < 4; ++c)
    for (int a = 0; a < 4; ++a) {
      s.jpg_chroma = c, s.jpg_save_as = a, s.jpg_quality = 50;
      EXPECT_EQ(50 | chroma[c] | save_as[a], saveFlagsFor("jpg", s));
    }
}

TEST_F(SaveFlagsTest, TiffCompressionAndCmyk) {
  const int expected[] = {0x800, 0x1000, 0x2000, 0x100, 0x200, 0x400, 0x4000, 0x8000, 0x10000, 0};
  for (int code = 0; code < 10; ++code) {
    s.tiff_compression = code;
    EXPECT_EQ(expected[code], saveFlagsFor("tiff", s)) << code;
  }
  s.tiff_compression = 6, s.tiff_color_model = 1;
  EXPECT_EQ(0x4000 + 1, saveFlagsFor("tiff", s));
}

TEST_F(SaveFlagsTest, OtherFormats) {
  EXPECT_EQ(0, saveFlagsFor("bmp", s));
  s.bmp_compression = 1;
  EXPECT_EQ(1, saveFlagsFor("bmp", s));
  const int exr[] = {2, 4, 8, 16, 32, 0};
  for (int code = 0; code < 6; ++code) {
    s.exr_compression = code;
    EXPECT_EQ(exr[code], saveFlagsFor("exr", s));
  }
  EXPECT_EQ(100, saveFlagsFor("jxr", s));
  s.tga_compression = 1;
  EXPECT_EQ(2, saveFlagsFor("tga", s));
  s.tga_compression = 7;
  EXPECT_EQ(0, saveFlagsFor("tga", s));
  EXPECT_EQ(0x100, saveFlagsFor("webp", s));
  s.webp_quality = 99;
  EXPECT_EQ(99, saveFlagsFor("webp", s));
  for (const char* key : {"dds", "gif", "hdr", "ico", "j2k", "jng", "jp2", "pbm", "pcx", "pfm", "pgm", "ppm", "psd",
                          "wbmp", "xpm", "PNG", "unknown"})
    EXPECT_EQ(0, saveFlagsFor(key, s)) << key;
}

TEST_F(SaveFlagsTest, PsdLoadFlagsFollowColourModel) {
  const int expected[] = {0, 1, 2, 0};
  for (int code = 0; code < 4; ++code) {
    s.psd_color_model = code;
    EXPECT_EQ(expected[code], loadFlagsFor("psd", s));
  }
  EXPECT_EQ(0, loadFlagsFor("png", s));
}

TEST(FormatTable, HoldsTwentyRowsWithFreeImageIds) {
  buildFormatTable();
  ASSERT_EQ(20u, formatTable().size());
  EXPECT_EQ(FIF_PNG, formatTable().at("png").format_id);
  EXPECT_EQ("1,4,8,24,32,48", formatTable().at("png").depths);
  EXPECT_EQ(7, formatTable().at("pbm").format_id);
  EXPECT_EQ(11, formatTable().at("pgm").format_id);
  EXPECT_EQ(14, formatTable().at("ppm").format_id);
  EXPECT_EQ(0u, formatTable().count("dds"));
  buildFormatTable();
  EXPECT_EQ(20u, formatTable().size());
}

}  // namespace
}  // namespace pixolune
