#include "engine/png_store.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "engine/bitmap.h"
#include "engine/pipeline.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

// A well-formed ICC profile of the colour space ("RGB " or "GRAY") with no
// tags, and patterned bytes after its header.
std::vector<BYTE> iccProfile(const char* space) {
  std::vector<BYTE> icc(560);
  for (size_t i = 132; i < icc.size(); ++i) icc[i] = static_cast<BYTE>(i * 31);
  icc[2] = 0x02;  // Size 560, big-endian.
  icc[3] = 0x30;
  icc[8] = 4;  // Version 4.
  std::memcpy(&icc[12], "mntr", 4);
  std::memcpy(&icc[16], space, 4);
  std::memcpy(&icc[20], "XYZ ", 4);
  std::memcpy(&icc[36], "acsp", 4);
  const BYTE d50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
  std::memcpy(&icc[68], d50, sizeof d50);
  return icc;
}

// A bitmap of the given type whose every byte differs from its neighbours,
// with a resolution and an ICC profile, as decoded documents carry them.
BitmapPtr patterned(FREE_IMAGE_TYPE type, int bpp) {
  BitmapPtr image(FreeImage_AllocateT(type, 37, 23, bpp));
  for (unsigned y = 0; y < FreeImage_GetHeight(image.get()); ++y) {
    BYTE* row = FreeImage_GetScanLine(image.get(), y);
    for (unsigned i = 0; i < FreeImage_GetLine(image.get()); ++i) row[i] = static_cast<BYTE>(i * 7 + y * 13 + (i >> 3));
  }
  if (bpp == 8) {
    RGBQUAD* palette = FreeImage_GetPalette(image.get());
    for (int i = 0; i < 256; ++i) palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  }
  FreeImage_SetDotsPerMeterX(image.get(), 11811);
  FreeImage_SetDotsPerMeterY(image.get(), 5906);
  std::vector<BYTE> icc = iccProfile(type == FIT_UINT16 || bpp == 8 ? "GRAY" : "RGB ");
  FreeImage_CreateICCProfile(image.get(), icc.data(), static_cast<long>(icc.size()));
  return image;
}

// Everything a reader gets back from the file: type, depth, size,
// resolution, profile and every pixel byte.
void expectSameFile(const std::string& expected_path, const std::string& actual_path) {
  BitmapPtr expected(FreeImage_Load(FIF_PNG, expected_path.c_str(), 0));
  BitmapPtr actual(FreeImage_Load(FIF_PNG, actual_path.c_str(), 0));
  ASSERT_TRUE(expected && actual);
  ASSERT_EQ(FreeImage_GetImageType(expected.get()), FreeImage_GetImageType(actual.get()));
  ASSERT_EQ(FreeImage_GetBPP(expected.get()), FreeImage_GetBPP(actual.get()));
  ASSERT_EQ(FreeImage_GetWidth(expected.get()), FreeImage_GetWidth(actual.get()));
  ASSERT_EQ(FreeImage_GetHeight(expected.get()), FreeImage_GetHeight(actual.get()));
  EXPECT_EQ(FreeImage_GetColorType(expected.get()), FreeImage_GetColorType(actual.get()));
  EXPECT_EQ(FreeImage_GetDotsPerMeterX(expected.get()), FreeImage_GetDotsPerMeterX(actual.get()));
  EXPECT_EQ(FreeImage_GetDotsPerMeterY(expected.get()), FreeImage_GetDotsPerMeterY(actual.get()));
  FIICCPROFILE* a = FreeImage_GetICCProfile(expected.get());
  FIICCPROFILE* b = FreeImage_GetICCProfile(actual.get());
  ASSERT_EQ(a->size, b->size);
  EXPECT_EQ(0, std::memcmp(a->data, b->data, a->size));
  const unsigned line = FreeImage_GetLine(actual.get());
  for (unsigned y = 0; y < FreeImage_GetHeight(actual.get()); ++y)
    ASSERT_EQ(0, std::memcmp(FreeImage_GetScanLine(expected.get(), y), FreeImage_GetScanLine(actual.get(), y), line))
        << "row " << y;
}

TEST(PngStore, WritesWhatFreeImageWritesForEveryHandledKindUncompressed) {
  initImageLibrary();
  testing::TempDir dir;
  const struct {
    FREE_IMAGE_TYPE type;
    int bpp;
  } kinds[] = {{FIT_BITMAP, 24}, {FIT_BITMAP, 32}, {FIT_BITMAP, 8}, {FIT_UINT16, 16}, {FIT_RGB16, 48}, {FIT_RGBA16, 64}};
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.bpp);
    BitmapPtr image = patterned(kind.type, kind.bpp);
    const std::string theirs = dir.file("freeimage.png"), ours = dir.file("stored.png");
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, image.get(), theirs.c_str(), PNG_Z_NO_COMPRESSION));
    ASSERT_EQ(PngStoreResult::kWritten, storeUncompressedPng(image.get(), ours));
    expectSameFile(theirs, ours);
    // Stored, not compressed: at least one byte per sample plus a filter byte per row.
    const uintmax_t raw = uintmax_t{FreeImage_GetLine(image.get()) + 1} * FreeImage_GetHeight(image.get());
    EXPECT_GE(std::filesystem::file_size(ours), raw);
  }
}

TEST(PngStore, LeavesPalettesMetadataAndOtherSavesToFreeImage) {
  initImageLibrary();
  testing::TempDir dir;
  BitmapPtr palette(FreeImage_Allocate(8, 8, 8));
  FreeImage_GetPalette(palette.get())[0] = {0, 0, 255, 0};
  EXPECT_EQ(PngStoreResult::kNotHandled, storeUncompressedPng(palette.get(), dir.file("a.png")));
  BitmapPtr commented = patterned(FIT_BITMAP, 24);
  FITAG* tag = FreeImage_CreateTag();
  FreeImage_SetTagKey(tag, "Comment");
  FreeImage_SetTagType(tag, FIDT_ASCII);
  FreeImage_SetTagLength(tag, 3);
  FreeImage_SetTagCount(tag, 3);
  FreeImage_SetTagValue(tag, "hi");
  FreeImage_SetMetadata(FIMD_COMMENTS, commented.get(), "Comment", tag);
  FreeImage_DeleteTag(tag);
  EXPECT_EQ(PngStoreResult::kNotHandled, storeUncompressedPng(commented.get(), dir.file("b.png")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("a.png")) || std::filesystem::exists(dir.file("b.png")));

  EXPECT_TRUE(isUncompressedPngSave(FIF_PNG, PNG_Z_NO_COMPRESSION));
  EXPECT_FALSE(isUncompressedPngSave(FIF_PNG, PNG_Z_DEFAULT_COMPRESSION));
  EXPECT_FALSE(isUncompressedPngSave(FIF_PNG, PNG_Z_NO_COMPRESSION | PNG_INTERLACED));
  EXPECT_FALSE(isUncompressedPngSave(FIF_TIFF, PNG_Z_NO_COMPRESSION));
}

TEST(PngStore, ReportsAFileThatCannotBeWritten) {
  BitmapPtr image = patterned(FIT_BITMAP, 24);
  EXPECT_EQ(PngStoreResult::kFailed, storeUncompressedPng(image.get(), "/nonexistent-folder/x.png"));
}

}  // namespace
}  // namespace pixolune
