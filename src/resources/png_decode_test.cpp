#include "resources/png_decode.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>

#include "resources/test_pictures.h"
#include "resources/zip_archive.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::solidPng;

/// PNG bytes of a 3 x 2 grey picture without alpha (value 10 * (x + y)).
std::string greyPng() {
  uint8_t grey[6] = {0, 10, 20, 10, 20, 30};
  png_image image;
  std::memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  image.width = 3;
  image.height = 2;
  image.format = PNG_FORMAT_GRAY;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, grey, 0, nullptr);
  std::string bytes(size, '\0');
  png_image_write_to_memory(&image, bytes.data(), &size, 0, grey, 0, nullptr);
  bytes.resize(size);
  return bytes;
}

TEST(DecodePng, GivesRgbaRowsTopDown) {
  Picture picture;
  ASSERT_TRUE(decodePng(solidPng(5, 4, 200, 100, 50, 128), &picture));
  EXPECT_EQ(5, picture.width);
  EXPECT_EQ(4, picture.height);
  ASSERT_EQ(5u * 4 * 4, picture.rgba.size());
  EXPECT_EQ((std::vector<uint8_t>{200, 100, 50, 128}), std::vector<uint8_t>(picture.rgba.end() - 4, picture.rgba.end()));

  ASSERT_TRUE(decodePng(greyPng(), &picture));
  EXPECT_EQ(3, picture.width);
  const uint8_t* last = &picture.rgba[(1 * 3 + 2) * 4];  // x 2, y 1.
  EXPECT_EQ(30, last[0]);
  EXPECT_EQ(30, last[2]);
  EXPECT_EQ(255, last[3]);  // No alpha channel: opaque.
}

TEST(DecodePng, RefusesDamagedBytesAndKeepsThePicture) {
  std::string good = solidPng(8, 8, 1, 2, 3);
  Picture picture;
  ASSERT_TRUE(decodePng(solidPng(2, 2, 9, 9, 9), &picture));
  std::string flipped = good;
  flipped[24] ^= 0x55;  // Bit depth: breaks the header's checksum.
  for (const std::string& bad : {std::string(), std::string("not a png at all"), good.substr(0, 8),
                                 good.substr(0, good.size() / 2), flipped}) {
    EXPECT_FALSE(decodePng(bad, &picture)) << bad.size() << " bytes";
    EXPECT_EQ(2, picture.width);
    EXPECT_EQ(9, picture.rgba[0]);
  }
}

TEST(DecodePng, RefusesHugeDimensionsBeforeAllocating) {
  // A valid header claiming 60000 x 60000 pixels (14 GB of RGBA).
  std::string png = solidPng(1, 1, 0, 0, 0);
  const unsigned char side[4] = {0x00, 0x00, 0xEA, 0x60};
  std::memcpy(&png[16], side, 4);
  std::memcpy(&png[20], side, 4);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(&png[12]), 17);
  for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  Picture picture;
  EXPECT_FALSE(decodePng(png, &picture));
  EXPECT_FALSE(picture.valid());
}

TEST(ZipArchive, ListsAndExtractsEntries) {
  testing::TempDir dir;
  std::string path = dir.file("a.zip");
  ASSERT_TRUE(testing::writeZip(path, {{"one.txt", "first"}, {"sub/two.txt", "second entry"}, {"empty", ""}}));
  std::vector<ZipEntry> entries;
  ASSERT_TRUE(listZipEntries(path, &entries));
  ASSERT_EQ(3u, entries.size());
  EXPECT_EQ("sub/two.txt", entries[1].name);
  EXPECT_EQ(12, entries[1].size);
  EXPECT_EQ(0, entries[2].size);

  std::map<std::string, std::string> out;
  ASSERT_TRUE(extractZipEntries(path, {"sub/two.txt", "missing", "one.txt"}, &out, 6));
  EXPECT_EQ((std::map<std::string, std::string>{{"one.txt", "first"}, {"sub/two.txt", "second"}}), out);

  EXPECT_FALSE(listZipEntries(dir.file("absent.zip"), &entries));
  testing::writeText(dir.file("empty.zip"), "");
  EXPECT_FALSE(extractZipEntries(dir.file("empty.zip"), {"one.txt"}, &out));
}

}  // namespace
}  // namespace pixolune
