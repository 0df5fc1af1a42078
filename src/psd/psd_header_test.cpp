#include "psd/psd_header.h"

#include <gtest/gtest.h>

#include "psd/psd_document.h"

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::PsdDocument;
using testing::PsdMode;

// Offsets in a document without colour-mode data.
constexpr size_t kResourcesLength = 30;
constexpr size_t kFirstResourceSize = 42;

class PsdHeaderTest : public ::testing::Test {
 protected:
  // An RGB document of 3 x 2 with one extra channel whose values differ per pixel.
  static PsdDocument rgbWithExtra(int depth = 8) {
    const double scale = depth == 16 ? 257.0 : 1.0;
    return testing::makeDocument(PsdMode::kRgb, depth, 3, 2, 1,
                                 [=](int c, int x, int y) { return (c * 40 + x * 7 + y * 60) * scale; });
  }
  Status read(const std::string& bytes, PsdHeader* header) {
    testing::writeText(path_, bytes);
    return readPsdHeader(path_, header);
  }
  Status read(const PsdDocument& doc, PsdHeader* header) { return read(testing::encodePsd(doc), header); }
  // One composite plane of the document last read.
  Status readPlane(int channel, std::vector<uint8_t>* plane) {
    pixolune::PsdDocument document;
    Status st = document.open(path_);
    return st.ok() ? readCompositePlane(document.file(), document.header(), channel, plane) : st;
  }
  static void putU32(std::string* bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
  }
  testing::TempDir dir_;
  std::string path_ = dir_.file("doc.psd");
};

TEST_F(PsdHeaderTest, ReadsHeaderResourcesAndLayerCount) {
  PsdDocument doc = rgbWithExtra();
  doc.resources = {testing::alphaIdentifiers({0}), testing::versionInfo(false)};
  doc.write_layers = true;
  doc.layer_count = -1;
  PsdHeader h;
  ASSERT_TRUE(read(doc, &h).ok());
  EXPECT_EQ(1, h.version);
  EXPECT_EQ(4, h.channels);
  EXPECT_EQ(3, h.width);
  EXPECT_EQ(2, h.height);
  EXPECT_EQ(8, h.depth);
  EXPECT_EQ(kModeRgb, h.mode);
  EXPECT_EQ(std::vector<uint32_t>{0}, h.alpha_ids);
  EXPECT_TRUE(h.has_version_info);
  EXPECT_FALSE(h.has_real_merged_data);
  EXPECT_EQ(-1, h.layer_count);
  EXPECT_FALSE(h.merged_transparency);
  EXPECT_EQ(1, extraChannelCount(h));
}

TEST_F(PsdHeaderTest, WhichExtraChannelIsTransparency) {
  struct Case {
    const char* name;
    int16_t layers;                 // 0: no layer section.
    std::vector<uint32_t> ids;      // Empty: no resource 1053.
    std::vector<std::string> blocks;
    bool transparency;
  };
  const Case cases[] = {
      {"negative layer count", -1, {0}, {}, true},
      {"negative count beats a positive identifier", -2, {9}, {}, true},
      {"Mtrn block", 1, {9}, {"Mtrn"}, true},
      {"Mt16 block", 2, {}, {"Mt16"}, true},
      {"Mt32 block", 1, {}, {"Mt32"}, true},
      {"positive layer count", 1, {0}, {}, false},
      {"positive alpha identifier", 0, {7}, {}, false},
      {"nothing marks a selection", 0, {}, {}, true},
  };
  for (const Case& c : cases) {
    PsdDocument doc = rgbWithExtra();
    if (!c.ids.empty()) doc.resources.push_back(testing::alphaIdentifiers(c.ids));
    doc.write_layers = c.layers != 0;
    doc.layer_count = c.layers;
    doc.layer_blocks = c.blocks;
    PsdHeader h;
    ASSERT_TRUE(read(doc, &h).ok()) << c.name;
    EXPECT_EQ(c.transparency, firstExtraIsTransparency(h)) << c.name;
  }
  PsdHeader opaque;
  ASSERT_TRUE(read(testing::makeDocument(PsdMode::kRgb, 8, 2, 2, 0, [](int, int, int) { return 9.0; }), &opaque).ok());
  EXPECT_FALSE(firstExtraIsTransparency(opaque));
}

TEST_F(PsdHeaderTest, EveryTruncationIsRejected) {
  PsdDocument doc = rgbWithExtra();
  doc.resources = {testing::alphaIdentifiers({0}), testing::versionInfo(true)};
  doc.write_layers = true;
  doc.layer_count = -1;
  doc.layer_blocks = {"Mtrn"};
  for (bool rle : {false, true}) {
    doc.rle = rle;
    const std::string bytes = testing::encodePsd(doc);
    PsdHeader h;
    ASSERT_TRUE(read(bytes, &h).ok());
    for (size_t n = 0; n < bytes.size(); ++n) {
      Status st = read(bytes.substr(0, n), &h);
      EXPECT_FALSE(st.ok()) << "prefix of " << n << " bytes";
      EXPECT_EQ(Status::Code::kCorrupt, st.code()) << "prefix of " << n << " bytes";
    }
  }
}

TEST_F(PsdHeaderTest, LyingFieldsAreRejected) {
  PsdDocument doc = rgbWithExtra();
  doc.resources = {testing::alphaIdentifiers({0})};
  doc.write_layers = true;
  doc.layer_count = -1;
  const std::string good = testing::encodePsd(doc);
  const size_t layer_section = kResourcesLength + 4 + 16;  // One resource of 4 data bytes.
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    int bytes;
    Status::Code kind;
  };
  const Case cases[] = {
      {"signature", 0, 0x38425058, 4, Status::Code::kCorrupt},
      {"version", 4, 3, 2, Status::Code::kUnsupported},
      {"no channels", 12, 0, 2, Status::Code::kCorrupt},
      {"too many channels", 12, 57, 2, Status::Code::kCorrupt},
      {"zero height", 14, 0, 4, Status::Code::kCorrupt},
      {"huge width", 18, 0x7FFFFFFF, 4, Status::Code::kCorrupt},
      {"depth", 22, 7, 2, Status::Code::kCorrupt},
      {"colour mode", 24, 5, 2, Status::Code::kUnsupported},
      {"colour mode data length", 26, 0xFFFFFFF0, 4, Status::Code::kCorrupt},
      {"resources length", kResourcesLength, 0x10000000, 4, Status::Code::kCorrupt},
      {"resource size", kFirstResourceSize, 0x1000, 4, Status::Code::kCorrupt},
      {"layer section length", layer_section, 0x10000000, 4, Status::Code::kCorrupt},
      {"layer info length", layer_section + 4, 0x0FFFFFFF, 4, Status::Code::kCorrupt},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    for (int i = 0; i < c.bytes; ++i)
      bytes[c.at + i] = static_cast<char>((c.value >> (8 * (c.bytes - 1 - i))) & 0xFF);
    PsdHeader h;
    Status st = read(bytes, &h);
    EXPECT_FALSE(st.ok()) << c.name;
    EXPECT_EQ(c.kind, st.code()) << c.name << ": " << st.message();
  }
}

TEST_F(PsdHeaderTest, LargeDocumentFormatHasLongerLengths) {
  PsdDocument doc = rgbWithExtra();
  doc.rle = true;
  std::string bytes = testing::encodePsd(doc);
  // Version 2, an empty layer section with an 8-byte length, and 4-byte row
  // lengths in the compressed composite.
  bytes[5] = 2;
  bytes.insert(kResourcesLength + 4, 4, '\0');
  const size_t counts = kResourcesLength + 4 + 8 + 2;
  const size_t rows = 4 * 2;
  for (size_t r = rows; r-- > 0;) bytes.insert(counts + 2 * r, 2, '\0');
  PsdHeader h;
  Status st = read(bytes, &h);
  ASSERT_TRUE(st.ok()) << st.message();
  EXPECT_EQ(2, h.version);
  EXPECT_EQ(1, h.compression);
  std::vector<uint8_t> plane;
  ASSERT_TRUE(readPlane(3, &plane).ok());
  EXPECT_EQ(static_cast<uint8_t>(doc.channels[3][5]), plane[5]);
  EXPECT_FALSE(read(bytes.substr(0, bytes.size() - 1), &h).ok());
}

TEST_F(PsdHeaderTest, MissingFileAndForeignFile) {
  PsdHeader h;
  Status st = readPsdHeader(dir_.file("absent.psd"), &h);
  EXPECT_EQ(Status::Code::kNotFound, st.code());
  st = read(std::string("\x89PNG\r\n\x1a\n") + std::string(40, '\0'), &h);
  EXPECT_EQ(Status::Code::kCorrupt, st.code());
  EXPECT_EQ("header: not a Photoshop document (bad signature)", st.message());
}

TEST_F(PsdHeaderTest, ReadsCompositePlanesRawAndCompressed) {
  for (int depth : {8, 16}) {
    for (bool rle : {false, true}) {
      PsdDocument doc = rgbWithExtra(depth);
      doc.rle = rle;
      PsdHeader h;
      ASSERT_TRUE(read(doc, &h).ok());
      std::vector<uint8_t> plane;
      ASSERT_TRUE(readPlane(3, &plane).ok()) << depth << (rle ? " rle" : " raw");
      const size_t bytes = static_cast<size_t>(depth / 8);
      ASSERT_EQ(3u * 2u * bytes, plane.size());
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
          const uint8_t* p = &plane[(static_cast<size_t>(y) * 3 + x) * bytes];
          const int stored = bytes == 1 ? p[0] : (p[0] << 8 | p[1]);
          EXPECT_EQ(static_cast<int>(doc.channels[3][y * 3 + x]), stored) << x << "," << y;
        }
    }
  }
}

TEST_F(PsdHeaderTest, MalformedCompressedRowIsCorrupt) {
  PsdDocument doc = rgbWithExtra();
  doc.rle = true;
  std::string bytes = testing::encodePsd(doc);
  // The last row of the last channel: a literal run claiming more bytes than the row holds.
  bytes[bytes.size() - 4] = 0x7F;
  PsdHeader h;
  ASSERT_TRUE(read(bytes, &h).ok());
  std::vector<uint8_t> plane;
  Status st = readPlane(3, &plane);
  EXPECT_EQ(Status::Code::kCorrupt, st.code());
  EXPECT_EQ("composite image: malformed compressed row", st.message());
}

// EXIF data as Photoshop stores it (resource 1058): a big-endian TIFF
// header, then one directory of one entry, the camera maker, whose ten
// bytes follow the directory.
std::string exifData() {
  std::string d("MM\0\x2a\0\0\0\x08", 8);
  d += std::string("\0\x01", 2);                                        // One entry:
  d += std::string("\x01\x0f\0\x02\0\0\0\x0a\0\0\0\x1a", 12);  // 0x10F, ASCII, 10 bytes at 26.
  d += std::string("\0\0\0\0", 4);                                    // No next directory.
  return d + std::string("Photoshop\0", 10);
}

// The image library parses EXIF data even for the header alone and reads
// past directories that run outside it: a damaged one is named, for
// whoever hands the file to the library, and fails nothing here.
TEST_F(PsdHeaderTest, DamagedExifDataIsNamedForTheLibrary) {
  PsdDocument doc = rgbWithExtra();
  PsdHeader h;
  doc.resources = {{1058, exifData()}};
  ASSERT_TRUE(read(doc, &h).ok());
  EXPECT_TRUE(h.library_fault.ok()) << h.library_fault.message();
  struct Damage {
    size_t at;
    char byte;
    const char* fault;
  };
  for (const Damage& damage : {Damage{9, '\x40', "a directory runs past the data"},
                               Damage{7, '\x60', "a directory lies outside the data"},
                               Damage{21, '\x30', "a value lies outside the data"},
                               Damage{0, 'X', "unknown byte order"}}) {
    std::string exif = exifData();
    exif[damage.at] = damage.byte;
    doc.resources = {{1059, exif}};
    ASSERT_TRUE(read(doc, &h).ok()) << damage.fault;
    EXPECT_EQ(Status::Code::kCorrupt, h.library_fault.code());
    EXPECT_EQ(std::string("image resources: the EXIF data (1059) is damaged: ") + damage.fault,
              h.library_fault.message());
  }
  // A directory that names itself as the next one ends the walk.
  std::string looped = exifData();
  looped[25] = 8;
  doc.resources = {{1058, looped}};
  ASSERT_TRUE(read(doc, &h).ok());
  EXPECT_TRUE(h.library_fault.ok()) << h.library_fault.message();
}

}  // namespace
}  // namespace pixolune
