#include "psd/psd_document.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "psd/composite_reader.h"
#include "run/pipeline.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::PsdMode;

const MappedFile::Access kBothWays[] = {MappedFile::Access::kMapped, MappedFile::Access::kPositional};

uint64_t be32(const std::string& bytes, size_t at) {
  uint64_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(bytes[at + i]);
  return v;
}

// The same pixels, palette and resolution: what the stages and writers see.
void expectSamePixels(FIBITMAP* expected, FIBITMAP* actual) {
  ASSERT_NE(nullptr, expected);
  ASSERT_NE(nullptr, actual);
  ASSERT_EQ(FreeImage_GetImageType(expected), FreeImage_GetImageType(actual));
  ASSERT_EQ(FreeImage_GetBPP(expected), FreeImage_GetBPP(actual));
  ASSERT_EQ(FreeImage_GetWidth(expected), FreeImage_GetWidth(actual));
  ASSERT_EQ(FreeImage_GetHeight(expected), FreeImage_GetHeight(actual));
  const unsigned line = FreeImage_GetLine(expected);
  for (unsigned y = 0; y < FreeImage_GetHeight(expected); ++y)
    ASSERT_EQ(0, std::memcmp(FreeImage_GetScanLine(expected, y), FreeImage_GetScanLine(actual, y), line)) << "row " << y;
  ASSERT_EQ(FreeImage_GetColorsUsed(expected), FreeImage_GetColorsUsed(actual));
  if (FreeImage_GetPalette(expected)) {
    EXPECT_EQ(0, std::memcmp(FreeImage_GetPalette(expected), FreeImage_GetPalette(actual),
                             sizeof(RGBQUAD) * FreeImage_GetColorsUsed(expected)));
  }
  EXPECT_EQ(FreeImage_GetDotsPerMeterX(expected), FreeImage_GetDotsPerMeterX(actual));
  EXPECT_EQ(FreeImage_GetICCProfile(expected)->size, FreeImage_GetICCProfile(actual)->size);
  EXPECT_EQ(FreeImage_GetThumbnail(expected) != nullptr, FreeImage_GetThumbnail(actual) != nullptr);
}

class PsdDocumentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initImageLibrary(); }
  testing::TempDir dir_;
  std::string path_ = dir_.file("doc.psd");
};

// An indexed document with a palette, resources and layers: every section
// is found where the file puts it, and the header is the same read from
// the file mapped, at offsets, or from memory.
TEST_F(PsdDocumentTest, FindsEverySectionOnceWhereverTheBytesAre) {
  testing::PsdDocument doc = testing::makeDocument(PsdMode::kIndexed, 8, 5, 3, 0, [](int, int x, int y) { return x + 5 * y; });
  doc.palette.assign(768, 7);
  doc.resources = {testing::alphaIdentifiers({0}), testing::versionInfo(true)};
  doc.write_layers = true;
  doc.layer_count = 1;
  const std::string bytes = testing::encodePsd(doc);
  testing::writeText(path_, bytes);
  const uint64_t resources = 30 + 768 + 4, layers = resources + be32(bytes, resources - 4) + 4;
  const uint64_t image_data = layers + be32(bytes, layers - 4);
  for (MappedFile::Access access : kBothWays) {
    PsdDocument document;
    ASSERT_TRUE(document.open(path_, access).ok());
    EXPECT_TRUE(document.isOpen());
    EXPECT_EQ(path_, document.path());
    const PsdSections& s = document.sections();
    EXPECT_EQ(30u, s.colour_mode_data.offset);
    EXPECT_EQ(768u, s.colour_mode_data.length);
    EXPECT_EQ(resources, s.image_resources.offset);
    EXPECT_EQ(be32(bytes, resources - 4), s.image_resources.length);
    EXPECT_EQ(layers, s.layer_and_mask.offset);
    EXPECT_EQ(image_data - layers, s.layer_and_mask.length);
    EXPECT_EQ(image_data, s.image_data.offset);
    EXPECT_EQ(bytes.size() - image_data, s.image_data.length);
    EXPECT_EQ(image_data, document.header().image_data_offset);
    EXPECT_EQ(1, document.header().layer_count);
    EXPECT_EQ(bytes.size(), document.file().size());
    EXPECT_EQ(access == MappedFile::Access::kMapped, document.file().bytes() != nullptr);
  }
  PsdDocument in_memory;
  ASSERT_TRUE(in_memory.openBytes(std::vector<uint8_t>(bytes.begin(), bytes.end())).ok());
  EXPECT_EQ(image_data, in_memory.sections().image_data.offset);
  EXPECT_EQ(std::vector<uint32_t>{0}, in_memory.header().alpha_ids);
  uint8_t word[2];
  ASSERT_TRUE(in_memory.file().read(image_data, 2, word, "test").ok());
  EXPECT_EQ(0, word[0] << 8 | word[1]);  // Raw image data.
}

// A file that cannot be opened, or whose header is damaged, leaves the
// document closed with the reason.
TEST_F(PsdDocumentTest, OpensOnlyADocument) {
  PsdDocument document;
  Status st = document.open(dir_.file("absent.psd"));
  EXPECT_EQ(Status::Code::kNotFound, st.code());
  EXPECT_EQ("the file does not exist", st.message());
  EXPECT_FALSE(document.isOpen());
  std::string bytes = testing::encodePsd(testing::makeDocument(PsdMode::kRgb, 8, 4, 4, 0, [](int, int, int) { return 9.0; }));
  testing::writeText(path_, bytes);
  ASSERT_TRUE(document.open(path_).ok());
  testing::writeText(path_, bytes.substr(0, bytes.size() - 1));
  st = document.open(path_);
  EXPECT_EQ(Status::Code::kCorrupt, st.code());
  EXPECT_EQ("composite image: truncated image data", st.message());
  EXPECT_FALSE(document.isOpen());
  EXPECT_EQ(0u, document.file().size());
}

// The image library decodes the kinds our readers leave to it from the
// document's bytes as it decodes the file itself, mapped or read at offsets.
TEST_F(PsdDocumentTest, TheLibraryDecodesTheBytesAsItDecodesTheFile) {
  struct Kind {
    PsdMode mode;
    int depth, extra, flags;
  };
  for (const Kind& k : {Kind{PsdMode::kLab, 8, 0, 0}, Kind{PsdMode::kLab, 16, 1, 0}, Kind{PsdMode::kRgb, 32, 1, 0},
                        Kind{PsdMode::kIndexed, 8, 0, 0}, Kind{PsdMode::kBitmap, 1, 0, 0},
                        Kind{PsdMode::kCmyk, 8, 1, PSD_CMYK}, Kind{PsdMode::kDuotone, 8, 0, 0}}) {
    testing::PsdDocument doc = testing::makeDocument(k.mode, k.depth, 13, 7, k.extra, [&](int c, int x, int y) {
      if (k.depth == 1) return static_cast<double>((x + y + c) % 2);
      const double v = (c * 50 + x * 13 + y * 29) % 256;
      return k.depth == 32 ? v / 255.0 : k.depth == 16 ? v * 257.0 : v;
    });
    if (k.mode == PsdMode::kIndexed)
      for (int i = 0; i < 768; ++i) doc.palette.push_back(static_cast<uint8_t>(i * 5));
    doc.rle = k.depth == 8;
    ASSERT_TRUE(testing::writePsdFile(path_, doc));
    SCOPED_TRACE(static_cast<int>(k.mode) * 100 + k.depth);
    BitmapPtr expected(FreeImage_Load(FIF_PSD, path_.c_str(), k.flags));
    for (MappedFile::Access access : kBothWays) {
      PsdDocument document;
      ASSERT_TRUE(document.open(path_, access).ok());
      LibraryStream stream(document.file());
      BitmapPtr loaded = stream.load(k.flags);
      expectSamePixels(expected.get(), loaded.get());
    }
  }
}

// The real documents of the corpus, through the same bytes.
TEST_F(PsdDocumentTest, CorpusDocumentsDecodeFromTheirBytesAsFromTheirFiles) {
  const std::string corpus = testing::corpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  int compared = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus + "/files")) {
    const std::string path = entry.path().string();
    PsdDocument document;
    if (entry.path().extension() != ".psd" || !document.open(path).ok() || !document.header().library_fault.ok())
      continue;
    // Documents our reader finds damaged never reach the library.
    if (readComposite(document, 0, 1).outcome == CompositeOutcome::kFailed) continue;
    SCOPED_TRACE(path);
    BitmapPtr expected(FreeImage_Load(FIF_PSD, path.c_str(), 0));
    if (!expected) continue;
    expectSamePixels(expected.get(), LibraryStream(document.file()).load(0).get());
    ++compared;
  }
  EXPECT_GT(compared, 50);
}

}  // namespace
}  // namespace pixolune
