#include "psd/composite_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "image/colour_management.h"
#include "platform/files.h"
#include "psd/psd_document.h"
#include "run/pipeline.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::PsdDocument;
using testing::PsdMode;

std::string bytesOf(const void* data, size_t size) { return std::string(static_cast<const char*>(data), size); }

// Everything a later stage or writer can see of a bitmap.
void expectSameBitmap(FIBITMAP* expected, FIBITMAP* actual) {
  ASSERT_NE(nullptr, expected);
  ASSERT_NE(nullptr, actual);
  ASSERT_EQ(FreeImage_GetImageType(expected), FreeImage_GetImageType(actual));
  ASSERT_EQ(FreeImage_GetBPP(expected), FreeImage_GetBPP(actual));
  ASSERT_EQ(FreeImage_GetWidth(expected), FreeImage_GetWidth(actual));
  ASSERT_EQ(FreeImage_GetHeight(expected), FreeImage_GetHeight(actual));
  EXPECT_EQ(FreeImage_GetRedMask(expected), FreeImage_GetRedMask(actual));
  EXPECT_EQ(FreeImage_GetBlueMask(expected), FreeImage_GetBlueMask(actual));
  EXPECT_EQ(FreeImage_GetColorType(expected), FreeImage_GetColorType(actual));
  EXPECT_EQ(FreeImage_GetInfoHeader(expected)->biCompression, FreeImage_GetInfoHeader(actual)->biCompression);
  const unsigned line = FreeImage_GetLine(expected);
  for (unsigned y = 0; y < FreeImage_GetHeight(expected); ++y)
    ASSERT_EQ(bytesOf(FreeImage_GetScanLine(expected, y), line), bytesOf(FreeImage_GetScanLine(actual, y), line))
        << "row " << y;
  EXPECT_EQ(FreeImage_GetColorsUsed(expected), FreeImage_GetColorsUsed(actual));
  if (FreeImage_GetPalette(expected)) {
    EXPECT_EQ(bytesOf(FreeImage_GetPalette(expected), 4 * FreeImage_GetColorsUsed(expected)),
              bytesOf(FreeImage_GetPalette(actual), 4 * FreeImage_GetColorsUsed(actual)));
  }
  EXPECT_EQ(FreeImage_GetDotsPerMeterX(expected), FreeImage_GetDotsPerMeterX(actual));
  EXPECT_EQ(FreeImage_GetDotsPerMeterY(expected), FreeImage_GetDotsPerMeterY(actual));
  const FIICCPROFILE* a = FreeImage_GetICCProfile(expected);
  const FIICCPROFILE* b = FreeImage_GetICCProfile(actual);
  EXPECT_EQ(a->size, b->size);
  EXPECT_EQ(a->flags, b->flags);
  if (a->size > 0 && a->size == b->size) {
    EXPECT_EQ(bytesOf(a->data, a->size), bytesOf(b->data, b->size));
  }
  EXPECT_EQ(FreeImage_GetThumbnail(expected) != nullptr, FreeImage_GetThumbnail(actual) != nullptr);
  if (FreeImage_GetThumbnail(expected) && FreeImage_GetThumbnail(actual)) {
    EXPECT_EQ(FreeImage_GetWidth(FreeImage_GetThumbnail(expected)), FreeImage_GetWidth(FreeImage_GetThumbnail(actual)));
  }
  for (FREE_IMAGE_MDMODEL model : {FIMD_COMMENTS, FIMD_EXIF_MAIN, FIMD_IPTC, FIMD_XMP})
    EXPECT_EQ(FreeImage_GetMetadataCount(model, expected), FreeImage_GetMetadataCount(model, actual)) << model;
}

// A thumbnail resource (1036): a small JPEG with its header, as Photoshop
// stores it, so the library attaches a thumbnail to what it loads.
testing::PsdResource thumbnailResource() {
  BitmapPtr small(FreeImage_Allocate(16, 12, 24));
  FIMEMORY* memory = FreeImage_OpenMemory();
  EXPECT_TRUE(FreeImage_SaveToMemory(FIF_JPEG, small.get(), memory, 0));
  BYTE* jpeg = nullptr;
  DWORD size = 0;
  FreeImage_AcquireMemory(memory, &jpeg, &size);
  auto be32 = [](std::string* out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(v >> shift));
  };
  std::string data;
  be32(&data, 1);   // JPEG, RGB.
  be32(&data, 16);  // Width, height, bytes a row (padded to 4), raw size.
  be32(&data, 12);
  be32(&data, 48);
  be32(&data, 48 * 12);
  be32(&data, size);
  data += std::string("\0\x18\0\x01", 4);  // 24 bits a pixel, 1 plane.
  data.append(reinterpret_cast<const char*>(jpeg), size);
  FreeImage_CloseMemory(memory);
  return {1036, data};
}

class CompositeReaderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initImageLibrary(); }

  // The document at path opened once, as a conversion opens it, and its composite read.
  static CompositeReading readAt(const std::string& path, int flags, int threads) {
    pixolune::PsdDocument document;
    Status st = document.open(path);
    EXPECT_TRUE(st.ok()) << st.message();
    return readComposite(document, flags, threads);
  }

  // Reads the document both ways; the reader must not decline it. Returns
  // whether the library's bitmap has a thumbnail.
  bool expectReadAsTheLibraryReadsIt(const PsdDocument& doc, int threads) {
    EXPECT_TRUE(testing::writePsdFile(path_, doc));
    PsdHeader header;
    EXPECT_TRUE(readPsdHeader(path_, &header).ok());
    BitmapPtr expected(FreeImage_Load(FIF_PSD, path_.c_str(), 0));
    CompositeReading read = readAt(path_, 0, threads);
    EXPECT_EQ(CompositeOutcome::kRead, read.outcome) << read.status.message();
    if (read.image) expectSameBitmap(expected.get(), read.image.get());
    return expected && FreeImage_GetThumbnail(expected.get()) != nullptr;
  }

  testing::TempDir dir_;
  std::string path_ = dir_.file("doc.psd");
};

// A profile the library attaches as it is (the reader must copy it).
testing::PsdResource profileResource() {
  std::string icc(200, '\0');
  icc[3] = static_cast<char>(200);
  std::memcpy(&icc[36], "acsp", 4);
  for (size_t i = 40; i < icc.size(); ++i) icc[i] = static_cast<char>(i * 7);
  return {1039, icc};
}

// Resolution 300 dpi horizontally, 150 vertically (16.16 fixed point).
testing::PsdResource resolutionResource() {
  std::string r(16, '\0');
  r[0] = 0x01, r[1] = 0x2C;  // 300
  r[5] = 1;                  // Pixels per inch.
  r[8] = 0x00, r[9] = static_cast<char>(0x96);  // 150
  r[13] = 1;
  return {1005, r};
}

// A 37 x 203 document of runs (for PackBits), gradients and noise,
// different in every channel, uneven bands for the threads.
PsdDocument patterned(PsdMode mode, int depth, int extra, bool rle) {
  const double top = depth == 16 ? 65535.0 : 255.0;
  PsdDocument doc = testing::makeDocument(mode, depth, 37, 203, extra, [&](int c, int x, int y) {
    if (y % 7 == 0) return top;
    return static_cast<double>((x * 131 + y * 17 * (c + 1) + ((x * y) % 13) * 977) % (static_cast<int>(top) + 1));
  });
  doc.rle = rle;
  return doc;
}

// Every kind it reads, raw and compressed, with and without extra channels,
// on one thread and on several (bands that split the rows unevenly):
// the same bitmap as the library's, to the bit, with its metadata.
TEST_F(CompositeReaderTest, EveryKindItReadsComesOutAsTheLibraryReadsIt) {
  struct Kind {
    PsdMode mode;
    int depth, extra;
  };
  const Kind kinds[] = {{PsdMode::kRgb, 8, 0},  {PsdMode::kRgb, 8, 1},   {PsdMode::kRgb, 8, 2},
                        {PsdMode::kRgb, 16, 0}, {PsdMode::kRgb, 16, 1},  {PsdMode::kGrey, 8, 0},
                        {PsdMode::kGrey, 8, 1}, {PsdMode::kGrey, 16, 0}, {PsdMode::kGrey, 16, 1}};
  for (const Kind& kind : kinds) {
    for (bool rle : {false, true}) {
      for (int threads : {1, 3}) {
        SCOPED_TRACE(::testing::Message() << "mode " << static_cast<int>(kind.mode) << ", " << kind.depth << " bits, "
                                        << kind.extra << " extra, rle " << rle << ", threads " << threads);
        PsdDocument doc = patterned(kind.mode, kind.depth, kind.extra, rle);
        doc.resources = {profileResource(), resolutionResource(), thumbnailResource()};
        EXPECT_TRUE(expectReadAsTheLibraryReadsIt(doc, threads));
      }
    }
  }
}

// The sRGB pixels of a CMYK or Lab document's planes, computed pixel by
// pixel with the document's conversion, in FreeImage's layout, bottom row
// first; with alpha from the plane after the colours. CMYK is stored as the
// writer stores it: inverted inks.
std::vector<uint8_t> convertedPlanes(const PsdDocument& doc, const SrgbConversion& conversion, bool alpha) {
  const size_t colours = static_cast<size_t>(conversion.inputChannels());
  const size_t sample = doc.depth / 8, pixel = (alpha ? 4 : 3) * sample;
  const double top = sample == 2 ? 65535.0 : 255.0;
  std::vector<uint8_t> out(static_cast<size_t>(doc.width) * doc.height * pixel);
  for (int y = 0; y < doc.height; ++y) {
    for (int x = 0; x < doc.width; ++x) {
      const size_t at = static_cast<size_t>(y) * doc.width + x;
      uint8_t* to = out.data() + ((static_cast<size_t>(doc.height - 1 - y) * doc.width + x) * pixel);
      uint16_t in16[4];
      uint8_t in8[4];
      for (size_t c = 0; c < colours; ++c) {
        const double stored = doc.mode == PsdMode::kCmyk ? top - doc.channels[c][at] : doc.channels[c][at];
        in16[c] = static_cast<uint16_t>(stored);
        in8[c] = static_cast<uint8_t>(in16[c]);  // Only used at 8 bits, where it fits.
      }
      if (sample == 2) conversion.convert(in16, to, 1);
      else conversion.convert(in8, to, 1);
      if (!alpha) continue;
      const double a = doc.channels[colours][at];
      if (sample == 2) reinterpret_cast<uint16_t*>(to)[3] = static_cast<uint16_t>(a);
      else to[FI_RGBA_ALPHA] = static_cast<uint8_t>(a);
    }
  }
  return out;
}

// CMYK and Lab become sRGB through the document's conversion: every pixel
// of every row of every band in its place, with the transparency after the
// colours, on one thread and on several.
TEST_F(CompositeReaderTest, CmykAndLabAreReadIntoSrgb) {
  struct Kind {
    PsdMode mode;
    int depth, extra;
  };
  for (const Kind& kind : {Kind{PsdMode::kCmyk, 8, 0}, Kind{PsdMode::kCmyk, 8, 1}, Kind{PsdMode::kCmyk, 16, 0},
                           Kind{PsdMode::kCmyk, 16, 1}, Kind{PsdMode::kLab, 8, 0}, Kind{PsdMode::kLab, 16, 1}}) {
    for (bool rle : {false, true}) {
      for (int threads : {1, 3}) {
        SCOPED_TRACE(::testing::Message() << "mode " << static_cast<int>(kind.mode) << ", " << kind.depth << " bits, "
                                          << kind.extra << " extra, rle " << rle << ", threads " << threads);
        const PsdDocument doc = patterned(kind.mode, kind.depth, kind.extra, rle);
        ASSERT_TRUE(testing::writePsdFile(path_, doc));
        pixolune::PsdDocument document;
        ASSERT_TRUE(document.open(path_).ok());
        SrgbConversion conversion;
        ASSERT_TRUE(colourConversionFor(document, kind.depth, kind.extra ? 4 : 3, &conversion).ok());
        CompositeReading read = readComposite(document, 0, threads);
        ASSERT_EQ(CompositeOutcome::kRead, read.outcome) << read.status.message();
        FIBITMAP* image = read.image.get();
        EXPECT_EQ(kind.depth == 8 ? FIT_BITMAP : kind.extra ? FIT_RGBA16 : FIT_RGB16, FreeImage_GetImageType(image));
        EXPECT_EQ((kind.extra ? 4u : 3u) * kind.depth, FreeImage_GetBPP(image));
        EXPECT_EQ(conversion.description(), read.colour);
        const std::vector<uint8_t> expected = convertedPlanes(doc, conversion, kind.extra > 0);
        const size_t row = expected.size() / doc.height;
        for (int y = 0; y < doc.height; ++y)
          ASSERT_EQ(0, std::memcmp(expected.data() + y * row, FreeImage_GetScanLine(image, y), row)) << "row " << y;
      }
    }
  }
}

// A CMYK document's own profile is used where it has one, the working
// space where it has none, and the colour-model flags change nothing: PNG
// holds neither CMYK nor Lab.
TEST_F(CompositeReaderTest, CmykGoesThroughTheDocumentsOwnProfile) {
  std::string own;
  if (!readWholeFile("/usr/share/color/icc/ghostscript/ps_cmyk.icc", &own)) GTEST_SKIP() << "no second CMYK profile";
  PsdDocument doc = testing::makeDocument(PsdMode::kCmyk, 8, 8, 8, 0, [](int c, int x, int y) {
    return c == 3 ? 0.0 : (x * 29 + y * 13 * (c + 1)) % 256;  // No black ink.
  });
  ASSERT_TRUE(testing::writePsdFile(path_, doc));
  CompositeReading working = readAt(path_, 0, 1);
  EXPECT_EQ(CompositeOutcome::kRead, readAt(path_, PSD_CMYK, 1).outcome);
  EXPECT_EQ(CompositeOutcome::kRead, readAt(path_, PSD_LAB, 1).outcome);
  doc.resources = {{1039, own}};
  ASSERT_TRUE(testing::writePsdFile(path_, doc));
  CompositeReading embedded = readAt(path_, 0, 1);
  ASSERT_TRUE(working.image && embedded.image);
  EXPECT_NE(std::string::npos, working.colour.find("through the working space")) << working.colour;
  EXPECT_EQ(0u, embedded.colour.find("CMYK through embedded '")) << embedded.colour;
  const size_t bytes = 3 * 8 * 8;
  EXPECT_NE(0, std::memcmp(FreeImage_GetBits(working.image.get()), FreeImage_GetBits(embedded.image.get()), bytes));
  EXPECT_EQ(0, FreeImage_GetICCProfile(embedded.image.get())->size);  // Its colours are sRGB now.
}

// Other kinds it leaves to the library, saying which kind.
TEST_F(CompositeReaderTest, DeclinesOtherKinds) {
  PsdHeader header;
  struct Other {
    PsdMode mode;
    int depth;
    const char* why;
  };
  for (const Other& other : {Other{PsdMode::kMultichannel, 8, "colour mode 7"}, Other{PsdMode::kRgb, 32, "32-bit channels"},
                             Other{PsdMode::kBitmap, 1, "1-bit channels"}, Other{PsdMode::kIndexed, 8, "colour mode 2"},
                             Other{PsdMode::kDuotone, 8, "colour mode 8"}}) {
    PsdDocument doc = testing::makeDocument(other.mode, other.depth, 8, 8, 0, [](int, int, int) { return 0.0; });
    if (other.mode == PsdMode::kIndexed) doc.palette.assign(768, 0);
    ASSERT_TRUE(testing::writePsdFile(path_, doc));
    ASSERT_TRUE(readPsdHeader(path_, &header).ok());
    CompositeReading read = readAt(path_, 0, 2);
    EXPECT_EQ(CompositeOutcome::kDeclined, read.outcome) << other.why;
    EXPECT_EQ(std::string("composite image: ") + other.why + " is left to the image library", read.status.message());
    EXPECT_EQ(nullptr, read.image);
  }
}

class DamagedCompositeTest : public CompositeReaderTest {
 protected:
  // An RGB document of `height` rows of 40 pixels (each row a literal of
  // 40 bytes: "39" then the bytes), compressed; its bytes and header.
  void writeCompressed(int height) {
    PsdDocument doc = testing::makeDocument(PsdMode::kRgb, 8, 40, height, 0, [](int, int x, int) { return x * 5.0; });
    doc.rle = true;
    ASSERT_TRUE(testing::writePsdFile(path_, doc));
    ASSERT_TRUE(readPsdHeader(path_, &header_).ok());
    bytes_ = testing::encodePsd(doc);
  }
  // The offset of the first byte of `row` of `channel`: every row takes 41 bytes.
  size_t rowAt(int channel, int row) const {
    return header_.image_data_offset + 2 + 2 * 3 * header_.height + 41 * (channel * header_.height + row);
  }
  CompositeReading readAgain(int threads) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes_;
    EXPECT_TRUE(readPsdHeader(path_, &header_).ok());
    return readAt(path_, 0, threads);
  }
  PsdHeader header_;
  std::string bytes_;
};

// A PackBits row that does not make a row is damage: the document is
// refused with the place, never handed to the library, which writes past
// its buffers on such rows.
TEST_F(DamagedCompositeTest, RowThatDoesNotExpandToARowIsRefusedWithItsPlace) {
  writeCompressed(8);
  ASSERT_EQ(39, bytes_[rowAt(0, 0)]);
  bytes_[rowAt(2, 5)] = 19;  // Claims 20 bytes: the rest of the row is read as codes and runs past it.
  CompositeReading read = readAgain(2);
  EXPECT_EQ(CompositeOutcome::kFailed, read.outcome);
  EXPECT_EQ(Status::Code::kCorrupt, read.status.code());
  EXPECT_EQ("composite image: row 5 of channel 2 does not expand to a row", read.status.message());
  EXPECT_EQ(nullptr, read.image);
  // A run longer than the row left.
  writeCompressed(8);
  bytes_[rowAt(1, 7)] = static_cast<char>(0x80 + 1);  // A run of 128 bytes.
  EXPECT_EQ("composite image: row 7 of channel 1 does not expand to a row", readAgain(1).status.message());
}

// With damage in several bands the first is named, however the threads
// shared the bands.
TEST_F(DamagedCompositeTest, FirstDamagedPlaceIsNamedOnAnyNumberOfThreads) {
  writeCompressed(300);  // Five bands of 64 rows.
  for (int row : {290, 70, 200}) bytes_[rowAt(0, row)] = 10;
  bytes_[rowAt(2, 3)] = 10;  // A later channel of an earlier band, found after channel 0 of rows 0..15.
  for (int threads : {1, 2, 3, 5}) {
    CompositeReading read = readAgain(threads);
    EXPECT_EQ(CompositeOutcome::kFailed, read.outcome) << threads;
    EXPECT_EQ("composite image: row 3 of channel 2 does not expand to a row", read.status.message()) << threads;
  }
  bytes_[rowAt(2, 3)] = 39;
  EXPECT_EQ("composite image: row 70 of channel 0 does not expand to a row", readAgain(3).status.message());
}

// The document is opened once: the header and the pixels come from the
// same bytes, even when the file is removed or replaced by a damaged one
// after it was opened, read mapped or at offsets.
TEST_F(DamagedCompositeTest, ReadsTheBytesItOpenedWhateverBecomesOfTheFile) {
  writeCompressed(8);
  BitmapPtr expected(FreeImage_Load(FIF_PSD, path_.c_str(), 0));
  for (MappedFile::Access access : {MappedFile::Access::kMapped, MappedFile::Access::kPositional}) {
    writeCompressed(8);
    pixolune::PsdDocument document;
    ASSERT_TRUE(document.open(path_, access).ok());
    std::filesystem::remove(path_);
    std::string damaged = bytes_;
    damaged[rowAt(1, 3)] = 0x7F;
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << damaged;
    CompositeReading read = readComposite(document, 0, 2);
    ASSERT_EQ(CompositeOutcome::kRead, read.outcome) << read.status.message();
    expectSameBitmap(expected.get(), read.image.get());
  }
}

// The real documents of the corpus that it reads: the library's bitmap.
TEST_F(CompositeReaderTest, CorpusDocumentsComeOutAsTheLibraryReadsThem) {
  const std::string corpus = testing::corpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  int read_count = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus + "/files")) {
    const std::string path = entry.path().string();
    PsdHeader header;
    if (entry.path().extension() != ".psd" || !readPsdHeader(path, &header).ok()) continue;
    CompositeReading read = readAt(path, 0, 2);
    SCOPED_TRACE(path);
    // Intact documents are read, or declined as another kind; never refused.
    EXPECT_NE(CompositeOutcome::kFailed, read.outcome) << read.status.message();
    // CMYK and Lab are made sRGB through their profiles, unlike the library's formulas.
    if (!read.image || header.mode == kModeCmyk || header.mode == kModeLab) continue;
    BitmapPtr expected(FreeImage_Load(FIF_PSD, path.c_str(), 0));
    expectSameBitmap(expected.get(), read.image.get());
    ++read_count;
  }
  EXPECT_GT(read_count, 10);
}

}  // namespace
}  // namespace pixolune
