// What the PNG files of a console run hold at the defaults and with the
// options that change them: compressed rows, compressed texts, metadata left
// out on request, and a resize that fits a box.
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/png_chunks.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

// mogrify -format png over a copy of the corpus (ImageMagick 6.9.11-60):
// the bytes of the 131 composites it wrote (bench/png_sizes.md).
constexpr uintmax_t kMogrifyCorpusBytes = 2381420;

// An ICC profile that PNG takes for RGB: a header, no tags.
std::string rgbProfile() {
  std::string icc(132, '\0');
  icc[3] = static_cast<char>(132);
  icc.replace(12, 4, "mntr");
  icc.replace(16, 4, "RGB ");
  icc.replace(20, 4, "XYZ ");
  icc.replace(36, 4, "acsp");
  return icc;
}

// Resolution info at 300 pixels per inch both ways.
std::string resolution300() {
  const char fixed[4] = {0x01, 0x2C, 0, 0};  // 300.0 as 16.16.
  std::string info;
  for (int axis = 0; axis < 2; ++axis) info += std::string(fixed, 4) + std::string("\0\1\0\1", 4);
  return info;
}

// An XMP packet as Photoshop writes them: long, repetitive, with layer names
// in UTF-8.
std::string xmpPacket() {
  std::string packet = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                       "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF><rdf:Description>\n";
  for (int i = 0; i < 60; ++i)
    packet += "<stEvt:action>saved</stEvt:action><stEvt:instanceID>xmp.iid:" + std::to_string(1000 + i) +
              "</stEvt:instanceID><photoshop:LayerName>Ebene " + std::to_string(i) + " \xE2\x80\x93 \xC3\x9C"
              "berschrift</photoshop:LayerName>\n";
  return packet + "</rdf:Description></rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

// Smooth colours with a flat band: a picture that compresses well.
double picture(int c, int x, int y) { return y < 10 ? 40.0 * c : static_cast<double>((x * (c + 1) + y * 3) % 256); }

class PngOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("out"));
    fs::create_directories(dir_.file("home"));
  }
  // Writes the document as name.psd, converts it with the options and
  // returns the output's path.
  std::string convert(const PsdDocument& doc, const std::string& name, std::vector<std::string> options = {}) {
    EXPECT_TRUE(writePsdFile(dir_.file(name + ".psd"), doc));
    options.insert(options.begin(), {"-q", "-i", dir_.file(name + ".psd"), "-o", dir_.file("out")});
    const RunResult r = runPixolune(options, dir_.path(), dir_.file("home"));
    EXPECT_EQ(0, r.exit_code) << r.out << r.err;
    return dir_.file("out/" + name + ".png");
  }
  // A document with XMP, EXIF, IPTC, a profile and a resolution.
  static PsdDocument documentWithMetadata(int width, int height) {
    PsdDocument doc = makeDocument(PsdMode::kRgb, 8, width, height, 0, picture);
    doc.resources = {{1005, resolution300()},
                     {1028, std::string("\x1C\x02\x00\x00\x02\x00\x04\x1C\x02\x05\x00\x05Title", 17)},
                     {1039, rgbProfile()},
                     {1058, std::string("II*\0\x08\0\0\0\0\0\0\0\0\0", 14)},
                     {1060, xmpPacket()}};
    return doc;
  }
  TempDir dir_;
};

TEST_F(PngOutputTest, DefaultRowsAreCompressedAndReadBackAsTheDocument) {
  const PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 120, 80, 0, picture);
  const std::string path = convert(doc, "plain");
  size_t idat = 0;
  for (const Chunk& c : chunksOfType(chunksOf(path), "IDAT")) idat += c.data.size();
  const size_t raw = 80 * (1 + 120 * 3);
  EXPECT_GT(idat, 0u);
  EXPECT_LT(idat, raw / 4) << "the rows are stored, not compressed";
  const Pixels px = readImage(path);
  ASSERT_EQ(120, px.width);
  ASSERT_EQ(80, px.height);
  int off = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 120; ++x)
      for (int c = 0; c < 3; ++c) off += px.at(x, y)[c] != static_cast<uint8_t>(picture(c, x, y));
  EXPECT_EQ(0, off);
  // "none" still stores them, with the same pixels.
  const std::string stored = convert(doc, "stored", {"--png-compression=none"});
  size_t stored_idat = 0;
  for (const Chunk& c : chunksOfType(chunksOf(stored), "IDAT")) stored_idat += c.data.size();
  EXPECT_GT(stored_idat, raw);
  EXPECT_EQ(px.rgba, readImage(stored).rgba);
}

TEST_F(PngOutputTest, XmpIsWrittenCompressedAndReadsBackTheSame) {
  const std::string path = convert(documentWithMetadata(16, 12), "xmp");
  const std::vector<Chunk> texts = chunksOfType(chunksOf(path), "iTXt");
  ASSERT_EQ(1u, texts.size());
  const std::string& data = texts[0].data;
  const std::string keyword = "XML:com.adobe.xmp";
  ASSERT_GT(data.size(), keyword.size() + 5);
  EXPECT_EQ(keyword, data.substr(0, data.find('\0')));
  EXPECT_EQ(std::string("\1\0\0\0", 4), data.substr(keyword.size() + 1, 4));  // zlib, no language.
  const std::string packed = data.substr(keyword.size() + 5);
  EXPECT_EQ(xmpPacket(), inflated(packed));
  EXPECT_LT(packed.size(), xmpPacket().size() / 5);
  // libpng, as FreeImage reads the file, gives back the same packet.
  FIBITMAP* image = FreeImage_Load(FIF_PNG, path.c_str(), 0);
  ASSERT_TRUE(image);
  FITAG* tag = nullptr;
  ASSERT_TRUE(FreeImage_GetMetadata(FIMD_XMP, image, "XMLPacket", &tag));
  EXPECT_EQ(xmpPacket(), std::string(static_cast<const char*>(FreeImage_GetTagValue(tag)),
                                     strnlen(static_cast<const char*>(FreeImage_GetTagValue(tag)),
                                             FreeImage_GetTagLength(tag))));
  FreeImage_Unload(image);
}

TEST_F(PngOutputTest, StrippedFilesKeepOnlyTheProfileAndTheResolution) {
  const PsdDocument doc = documentWithMetadata(16, 12);
  const std::string kept = convert(doc, "kept");
  ASSERT_EQ(1u, chunksOfType(chunksOf(kept), "iTXt").size());
  const std::string stripped = convert(doc, "stripped", {"--strip-metadata"});
  const std::vector<Chunk> chunks = chunksOf(stripped);
  ASSERT_FALSE(chunks.empty());
  for (const Chunk& c : chunks)
    for (const char* metadata : {"iTXt", "zTXt", "tEXt", "eXIf", "tIME"}) EXPECT_NE(metadata, c.type);
  const std::vector<Chunk> profile = chunksOfType(chunks, "iCCP"), density = chunksOfType(chunks, "pHYs");
  ASSERT_EQ(1u, profile.size());
  const size_t name_end = profile[0].data.find('\0');
  EXPECT_EQ(rgbProfile(), inflated(profile[0].data.substr(name_end + 2)));
  ASSERT_EQ(1u, density.size());
  EXPECT_EQ(std::string("\0\0\x2E\x23\0\0\x2E\x23\1", 9), density[0].data);  // 11811 per metre: 300 per inch.
  EXPECT_EQ(readImage(kept).rgba, readImage(stripped).rgba);
}

// Left half red, right half blue, so a scaled picture shows where it went.
PsdDocument halves(int width, int height) {
  return makeDocument(PsdMode::kRgb, 8, width, height, 0,
                      [width](int c, int x, int) { return (x < width / 2 ? c == 0 : c == 2) ? 255.0 : 0.0; });
}

TEST_F(PngOutputTest, FitScalesIntoTheBoxKeepingTheProportions) {
  const struct {
    int width, height;
    std::vector<std::string> options;
    int fitted_width, fitted_height;
  } cases[] = {
      {400, 400, {"--fit=800x600"}, 600, 600},
      {1000, 500, {"--fit=800x600"}, 800, 400},
      {300, 900, {"--fit=800x600"}, 200, 600},
      {400, 400, {"--fit=800x600", "--resize-type=largeimages"}, 400, 400},
      {1000, 500, {"--fit=800x600", "--resize-type=largeimages"}, 800, 400},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "doc" + std::to_string(n++);
    SCOPED_TRACE(name);
    const Pixels px = readImage(convert(halves(c.width, c.height), name, c.options));
    ASSERT_EQ(c.fitted_width, px.width);
    ASSERT_EQ(c.fitted_height, px.height);
    const int mid_y = px.height / 2;
    for (int x : {2, px.width / 2 - 3}) EXPECT_EQ(255, px.at(x, mid_y)[0]) << x;
    for (int x : {px.width / 2 + 3, px.width - 3}) EXPECT_EQ(255, px.at(x, mid_y)[2]) << x;
  }
}

TEST_F(PngOutputTest, CorpusAtTheDefaultsIsNoLargerThanImageMagicksOutput) {
  const std::string corpus = corpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "the real corpus (../shared/psd-corpus) is absent";
  const RunResult r = runPixolune({"-q", "-i", corpus + "/files/", "-o", dir_.file("out")}, dir_.path(),
                                  dir_.file("home"), 600);
  EXPECT_NE(-1, r.exit_code) << r.err;  // One damaged document fails; the rest are written.
  uintmax_t total = 0;
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir_.file("out")))
    if (entry.is_regular_file() && entry.path().extension() == ".png") total += entry.file_size(), ++files;
  EXPECT_GE(files, 131);
  EXPECT_LE(total, kMogrifyCorpusBytes) << files << " files";
  std::printf("corpus at the defaults: %d files, %ju bytes (ImageMagick: %ju)\n", files, total, kMogrifyCorpusBytes);
}

}  // namespace
}  // namespace pixolune::testing
