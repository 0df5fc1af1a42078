#include "platform/drawing.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include "support/test_util.h"

namespace pixolune {
namespace {

constexpr uint32_t kRed = makeColor(255, 0, 0, 255);
constexpr uint32_t kBlack = makeColor(0, 0, 0, 255);

int filledPixels(const Surface& s) {
  int n = 0;
  for (int y = 0; y < surfaceHeight(s); ++y)
    for (int x = 0; x < surfaceWidth(s); ++x) n += colorAlpha(surfacePixel(s, x, y)) != 0;
  return n;
}

TEST(DrawingPath, FillsTheOutlineOnWholePixels) {
  SurfacePtr s = createSurface(10, 10);
  ASSERT_TRUE(s);
  ASSERT_TRUE(fillPath(*s, "M 2 1 l 5 0 l 0 4 l -5 0 Z", kRed));
  EXPECT_EQ(20, filledPixels(*s));
  EXPECT_EQ(kRed, surfacePixel(*s, 2, 1));
  EXPECT_EQ(kRed, surfacePixel(*s, 6, 4));
  EXPECT_EQ(0u, surfacePixel(*s, 7, 4));

  SurfacePtr twice = createSurface(10, 10);
  ASSERT_TRUE(fillPath(*twice, "M 0 0 l --5 0 l 0 5 l -5 0 Z", kRed));  // "--5" is 5.
  EXPECT_EQ(25, filledPixels(*twice));
}

TEST(DrawingPath, MalformedTextDrawsNothing) {
  SurfacePtr s = createSurface(10, 10);
  for (const char* bad : {"M 0", "l 1 1 Z", "M 0 0 X 1 1", "M a 0 l 5 5 Z", "Z", "M 0 0 l 1.5 2 Z"}) {
    EXPECT_FALSE(fillPath(*s, bad, kRed)) << bad;
  }
  EXPECT_EQ(0, filledPixels(*s));
}

TEST(DrawingCompose, ConstantAlphaFilterAndReplace) {
  SurfacePtr red = createFilledSurface(4, 4, kRed);
  SurfacePtr dest = createSurface(4, 4);
  drawSurface(*dest, *red, 0, 0, 128);
  EXPECT_EQ(makeColor(255, 0, 0, 128), surfacePixel(*dest, 1, 1));

  SurfacePtr black = createFilledSurface(4, 4, kBlack);
  drawSurface(*black, *red, 0, 0, 128, nullptr, DrawMode::kReplace);
  EXPECT_EQ(makeColor(255, 0, 0, 128), surfacePixel(*black, 1, 1));
  SurfacePtr blended = createFilledSurface(4, 4, kBlack);
  drawSurface(*blended, *red, 2, 2, 128);
  EXPECT_EQ(makeColor(128, 0, 0, 255), surfacePixel(*blended, 3, 3));
  EXPECT_EQ(kBlack, surfacePixel(*blended, 1, 1));

  SurfacePtr grey = createSurface(4, 4);
  drawSurface(*grey, *red, 0, 0, 255, [](uint8_t& r, uint8_t& g, uint8_t& b, uint8_t&) { g = b = r = r / 5; });
  EXPECT_EQ(makeColor(51, 51, 51, 255), surfacePixel(*grey, 0, 0));
  EXPECT_EQ(kRed, surfacePixel(*red, 0, 0)) << "the source is left as it was";
}

TEST(DrawingPng, EncodesStraightRgba) {
  SurfacePtr s = createFilledSurface(3, 2, makeColor(10, 200, 30, 255));
  fillRectangle(*s, 0, 0, 1, 1, makeColor(0, 0, 0, 0));  // Blending nothing changes nothing.
  drawSurface(*s, *createFilledSurface(1, 1, makeColor(0, 0, 255, 255)), 2, 1, 100, nullptr, DrawMode::kReplace);
  std::string png;
  ASSERT_TRUE(encodePng(*s, &png));
  FIMEMORY* mem = FreeImage_OpenMemory(reinterpret_cast<BYTE*>(png.data()), static_cast<DWORD>(png.size()));
  FIBITMAP* dib = FreeImage_LoadFromMemory(FIF_PNG, mem, 0);
  ASSERT_TRUE(dib);
  EXPECT_EQ(32u, FreeImage_GetBPP(dib));
  RGBQUAD q;
  FreeImage_GetPixelColor(dib, 0, 1, &q);  // Top-left.
  EXPECT_EQ(200, q.rgbGreen);
  EXPECT_EQ(255, q.rgbReserved);
  FreeImage_GetPixelColor(dib, 2, 0, &q);  // Bottom-right.
  EXPECT_EQ(255, q.rgbBlue);
  EXPECT_EQ(100, q.rgbReserved);
  FreeImage_Unload(dib);
  FreeImage_CloseMemory(mem);
}

TEST(DrawingPicture, LoadsWithOrWithoutAlpha) {
  testing::TempDir dir;
  for (int bpp : {24, 32}) {
    FIBITMAP* dib = FreeImage_Allocate(5, 3, bpp);
    std::string path = dir.file("p" + std::to_string(bpp) + ".png");
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, dib, path.c_str(), 0));
    FreeImage_Unload(dib);
    Picture picture = loadPicture(path);
    ASSERT_TRUE(picture.surface) << bpp;
    EXPECT_EQ(bpp == 32, picture.has_alpha);
    EXPECT_EQ(5, surfaceWidth(*picture.surface));
    EXPECT_EQ(bpp == 32 ? 0 : 255, colorAlpha(surfacePixel(*picture.surface, 0, 0)));
  }
  testing::writeText(dir.file("text.png"), "no picture");
  EXPECT_FALSE(loadPicture(dir.file("text.png")).surface);
  EXPECT_FALSE(loadPicture(dir.file("missing.png")).surface);
}

// JPEG pictures are decoded with the accurate decoder, not the fast one.
TEST(DrawingPicture, JpegIsDecodedAccurately) {
  testing::TempDir dir;
  FIBITMAP* dib = FreeImage_Allocate(64, 32, 24);
  for (unsigned y = 0; y < 32; ++y) {
    BYTE* line = FreeImage_GetScanLine(dib, static_cast<int>(y));
    for (unsigned x = 0; x < 64; ++x, line += 3) {
      line[FI_RGBA_RED] = static_cast<BYTE>(x * 4), line[FI_RGBA_GREEN] = static_cast<BYTE>((x * y) % 256);
      line[FI_RGBA_BLUE] = static_cast<BYTE>(255 - y * 8);
    }
  }
  const std::string path = dir.file("p.jpg");
  ASSERT_TRUE(FreeImage_Save(FIF_JPEG, dib, path.c_str(), 90));
  FreeImage_Unload(dib);
  FIBITMAP* accurate = FreeImage_Load(FIF_JPEG, path.c_str(), JPEG_ACCURATE);
  FIBITMAP* fast = FreeImage_Load(FIF_JPEG, path.c_str(), JPEG_FAST);
  ASSERT_TRUE(accurate && fast);
  Picture picture = loadPicture(path);
  ASSERT_TRUE(picture.surface);
  EXPECT_FALSE(picture.has_alpha);
  int differs = 0, fast_differs = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) {
      RGBQUAD a, f;
      FreeImage_GetPixelColor(accurate, static_cast<unsigned>(x), static_cast<unsigned>(31 - y), &a);
      FreeImage_GetPixelColor(fast, static_cast<unsigned>(x), static_cast<unsigned>(31 - y), &f);
      const uint32_t p = surfacePixel(*picture.surface, x, y);
      differs += colorRed(p) != a.rgbRed || colorGreen(p) != a.rgbGreen || colorBlue(p) != a.rgbBlue;
      fast_differs += f.rgbRed != a.rgbRed || f.rgbGreen != a.rgbGreen || f.rgbBlue != a.rgbBlue;
    }
  EXPECT_EQ(0, differs);
  EXPECT_GT(fast_differs, 0) << "the two decoders should differ on this picture";
  FreeImage_Unload(accurate);
  FreeImage_Unload(fast);
}

TEST(DrawingFont, FamiliesTheFontSystemKnowsLoad) {
  for (const char* family : {"Arial", "arial", "DejaVu Sans", "Liberation Sans", "Times New Roman"})
    EXPECT_TRUE(loadFont(FontRequest{family, 12})) << family;
  for (const char* family : {"Arail", "Nosuchfont", "", "  "}) EXPECT_FALSE(loadFont(FontRequest{family, 12})) << family;
  EXPECT_FALSE(loadFont(FontRequest{"Arial", 0}));
}

TEST(DrawingText, PlainTextIsNotBlendedAndVectorTextIs) {
  FontPtr font = loadFont(FontRequest{"Arial", 20, true});
  ASSERT_TRUE(font);
  TextSize size = measureText(*font, "Wave");
  EXPECT_GT(size.width, measureText(*font, "W").width);
  EXPECT_EQ(0, measureText(*font, "").width);
  EXPECT_GT(measureText(*font, "").height, 0);

  const uint32_t back = makeColor(0, 0, 255, 77), fore = makeColor(255, 255, 0, 200);
  SurfacePtr plain = createSurface(size.width + 4, size.height + 4);
  drawText(*plain, *font, 2, 2, "Wave", fore, back);
  SurfacePtr smooth = createSurface(size.width + 4, size.height + 4);
  drawVectorText(*smooth, *font, 2, 2, "Wave", makeColor(255, 255, 0, 255));
  int fore_pixels = 0, partial = 0;
  for (int y = 0; y < surfaceHeight(*plain); ++y) {
    for (int x = 0; x < surfaceWidth(*plain); ++x) {
      uint32_t c = surfacePixel(*plain, x, y);
      bool in_box = x >= 2 && y >= 2 && x < 2 + size.width && y < 2 + size.height;
      if (in_box) {
        ASSERT_TRUE(c == fore || c == back) << x << "," << y;
      } else {
        ASSERT_EQ(0u, c) << x << "," << y;
      }
      fore_pixels += c == fore;
      int a = colorAlpha(surfacePixel(*smooth, x, y));
      partial += a > 0 && a < 255;
    }
  }
  EXPECT_GT(fore_pixels, 50);
  EXPECT_GT(partial, 10);
}

// Whatever the installed faces, the measured box is the drawn one: plain
// text fills exactly that box and vector text stays inside it, overhanging
// italics and wide glyphs included.
TEST(DrawingText, EveryGlyphPixelLiesInTheMeasuredBox) {
  const char* texts[] = {"Hello", "jfff", "Wave", "\xC3\x89g\xC3\x85y", ""};
  for (const char* family : {"Arial", "Liberation Sans", "DejaVu Sans", "Times New Roman"}) {
    for (bool italic : {false, true}) {
      FontRequest request{family, 24, false, italic};
      FontPtr font = loadFont(request);
      ASSERT_TRUE(font) << family;
      for (const char* text : texts) {
        SCOPED_TRACE(std::string(family) + (italic ? " italic \"" : " \"") + text + "\"");
        const TextSize plain = measureText(*font, text), smooth = measureVectorText(*font, text);
        constexpr int kMargin = 12;
        const uint32_t back = makeColor(0, 0, 255, 255), fore = makeColor(255, 255, 0, 255);
        SurfacePtr drawn = createSurface(plain.width + 2 * kMargin, plain.height + 2 * kMargin);
        drawText(*drawn, *font, kMargin, kMargin, text, fore, back);
        SurfacePtr outlined = createSurface(smooth.width + 2 * kMargin, smooth.height + 2 * kMargin);
        drawVectorText(*outlined, *font, kMargin, kMargin, text, fore);
        int outside = 0, unpainted = 0, stray = 0;
        for (int y = 0; y < surfaceHeight(*drawn); ++y)
          for (int x = 0; x < surfaceWidth(*drawn); ++x) {
            const bool in = x >= kMargin && y >= kMargin && x < kMargin + plain.width && y < kMargin + plain.height;
            const uint32_t c = surfacePixel(*drawn, x, y);
            outside += !in && c != 0;
            unpainted += in && c != fore && c != back;
          }
        for (int y = 0; y < surfaceHeight(*outlined); ++y)
          for (int x = 0; x < surfaceWidth(*outlined); ++x) {
            const bool in = x >= kMargin && y >= kMargin && x < kMargin + smooth.width && y < kMargin + smooth.height;
            stray += !in && colorAlpha(surfacePixel(*outlined, x, y)) != 0;
          }
        EXPECT_EQ(0, outside);
        EXPECT_EQ(0, unpainted);
        EXPECT_EQ(0, stray);
      }
    }
  }
}

}  // namespace
}  // namespace pixolune
