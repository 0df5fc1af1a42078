#include "png/png_writer.h"

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>
#include <vector>

#include "image/bitmap.h"
#include "run/conversion_job.h"
#include "image/format_table.h"
#include "run/pipeline.h"
#include "settings/settings.h"
#include "support/failing_file_system.h"
#include "support/png_chunks.h"
#include "support/psd_writer.h"
#include "support/sanitizers.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

// FreeImage's PNG_Z_BEST_SPEED, PNG_Z_DEFAULT_COMPRESSION and
// PNG_Z_BEST_COMPRESSION: libpng's header gives the middle name another value.
constexpr int kZlib1 = 1, kZlib6 = 6, kZlib9 = 9;

// What libpng reads from a file: its header and every pixel as 16-bit
// RGBA (palettes, transparency, grey and low depths expanded).
struct Decoded {
  bool ok = false;
  png_uint_32 width = 0, height = 0;
  int bit_depth = 0, colour_type = 0, interlace = 0;
  std::vector<png_uint_16> rgba;
};

bool readInto(png_structp png, png_infop info, FILE* file, Decoded* d) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_read_info(png, info);
  png_get_IHDR(png, info, &d->width, &d->height, &d->bit_depth, &d->colour_type, &d->interlace, nullptr, nullptr);
  png_set_expand(png);
  png_set_expand_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  d->rgba.resize(size_t{d->width} * d->height * 4);
  std::vector<png_bytep> rows(d->height);
  for (png_uint_32 y = 0; y < d->height; ++y) rows[y] = reinterpret_cast<png_bytep>(&d->rgba[size_t{y} * d->width * 4]);
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  return true;
}

Decoded decodeWithLibpng(const std::string& path) {
  Decoded d;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return d;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  d.ok = readInto(png, info, file, &d);
  png_destroy_read_struct(&png, &info, nullptr);
  fclose(file);
  return d;
}

void expectSameDecoding(const std::string& expected_path, const std::string& actual_path) {
  const Decoded expected = decodeWithLibpng(expected_path), actual = decodeWithLibpng(actual_path);
  ASSERT_TRUE(expected.ok && actual.ok);
  EXPECT_EQ(expected.width, actual.width);
  EXPECT_EQ(expected.height, actual.height);
  EXPECT_EQ(expected.bit_depth, actual.bit_depth);
  EXPECT_EQ(expected.colour_type, actual.colour_type);
  EXPECT_EQ(expected.interlace, actual.interlace);
  EXPECT_TRUE(expected.rgba == actual.rgba) << "pixels differ";
}

// A Python with PIL, checking pairs of files: same mode, size, pixels,
// palette, transparency, resolution and profile.
constexpr char kPilCompare[] = R"(
import sys
from PIL import Image
bad = 0
for line in open(sys.argv[1]):
    a, b = line.rstrip('\n').split('\t')
    x, y = Image.open(a), Image.open(b)
    x.load(); y.load()
    keys = ('transparency', 'dpi', 'icc_profile', 'background')
    if (x.mode, x.size, x.getpalette(), x.tobytes()) != (y.mode, y.size, y.getpalette(), y.tobytes()) or \
       [x.info.get(k) for k in keys] != [y.info.get(k) for k in keys]:
        print('differ:', a, b); bad += 1
sys.exit(1 if bad else 0)
)";

std::string pythonWithPil() {
  for (const char* python : {"/usr/bin/python3", "python3"})
    if (std::system((std::string(python) + " -c 'import PIL' 2>/dev/null").c_str()) == 0) return python;
  return "";
}

// Checks every pair written so far with PIL and every file with pngcheck;
// a missing tool skips its check with a message.
class FileChecks {
 public:
  explicit FileChecks(const testing::TempDir& dir) : dir_(dir) {}
  void add(const std::string& freeimage_file, const std::string& our_file) {
    pairs_ += freeimage_file + "\t" + our_file + "\n";
    files_ += " '" + our_file + "'";
  }
  void run() const {
    const std::string python = pythonWithPil();
    if (python.empty()) {
      std::printf("PIL is not installed: pixels compared with libpng only\n");
    } else {
      testing::writeText(dir_.file("pairs.txt"), pairs_);
      testing::writeText(dir_.file("compare.py"), kPilCompare);
      EXPECT_EQ(0, std::system((python + " " + dir_.file("compare.py") + " " + dir_.file("pairs.txt")).c_str()));
    }
    if (std::system("command -v pngcheck >/dev/null") != 0) {
      std::printf("pngcheck is not installed: files not checked with it\n");
      return;
    }
    EXPECT_EQ(0, std::system(("pngcheck -q" + files_).c_str()));
  }

 private:
  const testing::TempDir& dir_;
  std::string pairs_, files_;
};

// A well-formed ICC profile for D50 without tags of the colour space ("RGB ",
// "GRAY", "CMYK"), patterned bytes after its header.
std::vector<BYTE> iccProfile(const char* space) {
  std::vector<BYTE> icc(560);
  for (size_t i = 132; i < icc.size(); ++i) icc[i] = static_cast<BYTE>(i * 31);
  icc[2] = 0x02;  // Size 560, big-endian.
  icc[3] = 0x30;
  icc[8] = 4;
  std::memcpy(&icc[12], "mntr", 4);
  std::memcpy(&icc[16], space, 4);
  std::memcpy(&icc[20], "XYZ ", 4);
  std::memcpy(&icc[36], "acsp", 4);
  const BYTE d50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};  // The illuminant.
  std::memcpy(&icc[68], d50, sizeof d50);
  return icc;
}

enum class Palette { kNone, kGrey, kWhiteFirst, kColour };

struct Kind {
  const char* name;
  FREE_IMAGE_TYPE type;
  unsigned bpp;
  Palette palette;
  bool transparent;
};

constexpr Kind kKinds[] = {
    {"palette1", FIT_BITMAP, 1, Palette::kColour, false},   {"grey1", FIT_BITMAP, 1, Palette::kGrey, false},
    {"white1", FIT_BITMAP, 1, Palette::kWhiteFirst, false}, {"palette1-trns", FIT_BITMAP, 1, Palette::kColour, true},
    {"palette4", FIT_BITMAP, 4, Palette::kColour, false},   {"grey4", FIT_BITMAP, 4, Palette::kGrey, false},
    {"palette4-trns", FIT_BITMAP, 4, Palette::kColour, true}, {"palette8", FIT_BITMAP, 8, Palette::kColour, false},
    {"grey8", FIT_BITMAP, 8, Palette::kGrey, false},        {"grey8-trns", FIT_BITMAP, 8, Palette::kGrey, true},
    {"white8", FIT_BITMAP, 8, Palette::kWhiteFirst, false},
    {"palette8-trns", FIT_BITMAP, 8, Palette::kColour, true},
    {"rgb", FIT_BITMAP, 24, Palette::kNone, false},         {"rgba", FIT_BITMAP, 32, Palette::kNone, false},
    {"grey16", FIT_UINT16, 16, Palette::kNone, false},      {"rgb16", FIT_RGB16, 48, Palette::kNone, false},
    {"rgba16", FIT_RGBA16, 64, Palette::kNone, false},
};

const Kind& kind(const std::string& name) {
  for (const Kind& k : kKinds)
    if (name == k.name) return k;
  return kKinds[0];
}

void fillPalette(FIBITMAP* image, Palette palette, bool transparent) {
  RGBQUAD* colours = FreeImage_GetPalette(image);
  const unsigned n = FreeImage_GetColorsUsed(image);
  for (unsigned i = 0; i < n; ++i) {
    const BYTE grey = static_cast<BYTE>(n > 1 ? i * 255 / (n - 1) : 0);
    colours[i] = palette == Palette::kGrey         ? RGBQUAD{grey, grey, grey, 0}
                 : palette == Palette::kWhiteFirst ? RGBQUAD{BYTE(255 - grey), BYTE(255 - grey), BYTE(255 - grey), 0}
                                                   : RGBQUAD{BYTE(i * 37), BYTE(255 - i * 11), BYTE(i * 91), 0};
  }
  if (!transparent) return;
  std::vector<BYTE> table(n);
  for (unsigned i = 0; i < n; ++i) table[i] = static_cast<BYTE>(i * 73);
  FreeImage_SetTransparencyTable(image, table.data(), static_cast<int>(std::min(n, 5u)));
}

// A bitmap of the kind whose bytes vary from pixel to pixel and row to row,
// with a resolution and a fitting ICC profile, as decoded documents carry.
BitmapPtr patterned(const Kind& kind, unsigned width, unsigned height) {
  BitmapPtr image(FreeImage_AllocateT(kind.type, width, height, kind.bpp));
  for (unsigned y = 0; y < height; ++y) {
    BYTE* row = FreeImage_GetScanLine(image.get(), y);
    for (unsigned i = 0; i < FreeImage_GetLine(image.get()); ++i)
      row[i] = static_cast<BYTE>(i * 7 + y * 13 + (i >> 3) + (i * y) % 5);
  }
  if (kind.palette != Palette::kNone) fillPalette(image.get(), kind.palette, kind.transparent);
  FreeImage_SetDotsPerMeterX(image.get(), 11811);
  FreeImage_SetDotsPerMeterY(image.get(), 5906);
  const FREE_IMAGE_COLOR_TYPE colours = FreeImage_GetColorType(image.get());
  const bool grey = kind.type == FIT_UINT16 || (kind.bpp <= 8 && !kind.transparent &&
                                                (colours == FIC_MINISBLACK || colours == FIC_MINISWHITE));
  std::vector<BYTE> icc = iccProfile(grey ? "GRAY" : "RGB ");
  FreeImage_CreateICCProfile(image.get(), icc.data(), static_cast<long>(icc.size()));
  return image;
}

class PngWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { initImageLibrary(); }

  // Writes image with FreeImage and with ours at the same save flags and
  // compares what libpng reads; returns the two paths.
  std::pair<std::string, std::string> writeBoth(FIBITMAP* image, int flags, const std::string& name, int threads = 1) {
    const std::string theirs = dir_.file(name + "-freeimage.png"), ours = dir_.file(name + "-ours.png");
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, image, theirs.c_str(), flags));
    PngWriteOptions options = pngOptionsForSaveFlags(flags);
    options.threads = options.pieces = threads;
    EXPECT_TRUE(writePng(image, ours, options).ok());
    expectSameDecoding(theirs, ours);
    checks_.add(theirs, ours);
    return {theirs, ours};
  }

  testing::TempDir dir_;
  FileChecks checks_{dir_};
};

TEST_F(PngWriterTest, EveryKindReadsBackAsFreeImageWroteItAtEverySetting) {
  const int levels[] = {PNG_Z_NO_COMPRESSION, kZlib1, kZlib6, kZlib9};
  for (const Kind& kind : kKinds) {
    BitmapPtr image = patterned(kind, 37, 23);
    for (int level : levels) {
      for (int interlaced : {0, PNG_INTERLACED}) {
        const std::string name = std::string(kind.name) + "-" + std::to_string(level) + (interlaced ? "-i" : "");
        SCOPED_TRACE(name);
        writeBoth(image.get(), level | interlaced, name);
      }
    }
  }
  checks_.run();
}

TEST_F(PngWriterTest, LargeImagesWrittenInPiecesReadBackIdentically) {
  for (const Kind& kind : {kind("rgb"), kind("rgba"), kind("grey8"), kind("rgba16")}) {
    BitmapPtr image = patterned(kind, 700, 450);
    for (int interlaced : {0, PNG_INTERLACED}) {
      SCOPED_TRACE(std::string(kind.name) + (interlaced ? " interlaced" : ""));
      writeBoth(image.get(), kZlib6 | interlaced, kind.name + std::to_string(interlaced), 3);
    }
  }
  checks_.run();
}

// By default an image's pieces follow its size alone: a file of several
// MiB of rows comes out in pieces, the same bytes on one thread or four.
TEST_F(PngWriterTest, DefaultPiecesFollowTheImageNotTheThreads) {
  BitmapPtr image = patterned(kind("rgba16"), 700, 450);  // 2.5 MiB of rows: two pieces.
  PngWriteOptions options = pngOptionsForSaveFlags(kZlib6);
  ASSERT_EQ(0, options.pieces);
  std::string files[2];
  for (int i = 0; i < 2; ++i) {
    options.threads = i == 0 ? 1 : 4;
    const std::string path = dir_.file("threads" + std::to_string(options.threads) + ".png");
    ASSERT_TRUE(writePng(image.get(), path, options).ok());
    std::ifstream in(path, std::ios::binary);
    files[i].assign(std::istreambuf_iterator<char>(in), {});
  }
  EXPECT_EQ(files[0], files[1]);
  options.pieces = 1;
  const std::string whole = dir_.file("whole.png");
  ASSERT_TRUE(writePng(image.get(), whole, options).ok());
  EXPECT_NE(std::filesystem::file_size(whole), files[0].size());  // Not one piece: the pieces are there.
  EXPECT_EQ(testing::readImage(whole).rgba, testing::readImage(dir_.file("threads4.png")).rgba);
}

// FreeImage's writer takes the bytes of 5-5-5 and 5-6-5 rows for 24-bit
// pixels (a scrambled picture); ours writes the pixels' colours.
TEST_F(PngWriterTest, SixteenBitBitmapsAreWrittenAsTheirColours) {
  for (bool six_for_green : {false, true}) {
    BitmapPtr image(six_for_green ? FreeImage_Allocate(13, 6, 16, FI16_565_RED_MASK, FI16_565_GREEN_MASK, FI16_565_BLUE_MASK)
                                  : FreeImage_Allocate(13, 6, 16));
    for (unsigned y = 0; y < 6; ++y)
      for (unsigned i = 0; i < 26; ++i) FreeImage_GetScanLine(image.get(), y)[i] = static_cast<BYTE>(i * 37 + y * 5);
    BitmapPtr colours(FreeImage_ConvertTo24Bits(image.get()));
    const std::string theirs = dir_.file("converted.png"), ours = dir_.file("ours.png");
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, colours.get(), theirs.c_str(), kZlib6));
    ASSERT_TRUE(writePng(image.get(), ours, {6, true, 1}).ok());
    const Decoded a = decodeWithLibpng(theirs), b = decodeWithLibpng(ours);
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_TRUE(a.rgba == b.rgba) << (six_for_green ? "5-6-5" : "5-5-5");
  }
}

TEST_F(PngWriterTest, StoredFilesHoldEveryByteUnfiltered) {
  BitmapPtr image = patterned(kind("rgba"), 300, 200);
  const std::string path = dir_.file("stored.png");
  ASSERT_TRUE(writePng(image.get(), path, pngOptionsForSaveFlags(PNG_Z_NO_COMPRESSION)).ok());
  const uintmax_t raw = uintmax_t{FreeImage_GetLine(image.get()) + 1} * 200;
  EXPECT_GE(std::filesystem::file_size(path), raw);
  EXPECT_LT(std::filesystem::file_size(path), raw + 2000);
}

void setText(FIBITMAP* image, FREE_IMAGE_MDMODEL model, const char* key, const char* text) {
  FITAG* tag = FreeImage_CreateTag();
  FreeImage_SetTagKey(tag, key);
  FreeImage_SetTagType(tag, FIDT_ASCII);
  FreeImage_SetTagLength(tag, static_cast<DWORD>(std::strlen(text) + 1));
  FreeImage_SetTagCount(tag, static_cast<DWORD>(std::strlen(text) + 1));
  FreeImage_SetTagValue(tag, text);
  FreeImage_SetMetadata(model, image, key, tag);
  FreeImage_DeleteTag(tag);
}

std::string textOf(FIBITMAP* image, FREE_IMAGE_MDMODEL model, const char* key) {
  FITAG* tag = nullptr;
  if (!FreeImage_GetMetadata(model, image, key, &tag) || !tag) return "(none)";
  return static_cast<const char*>(FreeImage_GetTagValue(tag));
}

TEST_F(PngWriterTest, MetadataReadsBackAsFreeImageWroteIt) {
  for (const Kind& kind : {kind("rgba"), kind("grey8"), kind("palette8-trns"), kind("rgba16")}) {
    SCOPED_TRACE(kind.name);
    BitmapPtr image = patterned(kind, 9, 7);
    setText(image.get(), FIMD_COMMENTS, "Comment", "made by a test");
    setText(image.get(), FIMD_COMMENTS, "Title", "Pixels");
    setText(image.get(), FIMD_XMP, "XMLPacket", "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>");
    RGBQUAD background = {10, 20, 30, 2};
    FreeImage_SetBackgroundColor(image.get(), &background);
    const auto [theirs, ours] = writeBoth(image.get(), kZlib6, kind.name);
    BitmapPtr a(FreeImage_Load(FIF_PNG, theirs.c_str(), 0)), b(FreeImage_Load(FIF_PNG, ours.c_str(), 0));
    ASSERT_TRUE(a && b);
    for (const char* key : {"Comment", "Title"})
      EXPECT_EQ(textOf(a.get(), FIMD_COMMENTS, key), textOf(b.get(), FIMD_COMMENTS, key));
    EXPECT_EQ(textOf(a.get(), FIMD_XMP, "XMLPacket"), textOf(b.get(), FIMD_XMP, "XMLPacket"));
    EXPECT_EQ(FreeImage_GetDotsPerMeterX(a.get()), FreeImage_GetDotsPerMeterX(b.get()));
    EXPECT_EQ(FreeImage_GetDotsPerMeterY(a.get()), FreeImage_GetDotsPerMeterY(b.get()));
    RGBQUAD x{}, y{};
    EXPECT_EQ(FreeImage_GetBackgroundColor(a.get(), &x), FreeImage_GetBackgroundColor(b.get(), &y));
    EXPECT_EQ(0, std::memcmp(&x, &y, sizeof x));
    const FIICCPROFILE *p = FreeImage_GetICCProfile(a.get()), *q = FreeImage_GetICCProfile(b.get());
    ASSERT_EQ(p->size, q->size);
    if (p->size > 0) {
      EXPECT_EQ(0, std::memcmp(p->data, q->data, static_cast<size_t>(p->size)));
    }
  }
  checks_.run();
}

// The texts as libpng reads them: keyword, text and how it was stored.
std::vector<std::tuple<std::string, std::string, int>> textsOf(const std::string& path) {
  std::vector<std::tuple<std::string, std::string, int>> texts;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return texts;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (!setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
    png_read_info(png, info);
    png_textp text = nullptr;
    const int count = png_get_text(png, info, &text, nullptr);
    for (int i = 0; i < count; ++i)
      texts.emplace_back(text[i].key, text[i].text, text[i].compression);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  fclose(file);
  return texts;
}

TEST_F(PngWriterTest, TextsAreWrittenCompressedWhateverTheLevel) {
  std::string packet = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">";
  for (int i = 0; i < 200; ++i) packet += "<rdf:li>Ebene " + std::to_string(i) + " \xC3\x9C" "berschrift</rdf:li>";
  packet += "</x:xmpmeta>";
  BitmapPtr image = patterned(kind("rgb"), 9, 7);
  setText(image.get(), FIMD_COMMENTS, "Comment", "gr\xC3\xBCn");
  setText(image.get(), FIMD_COMMENTS, "Title", "Plain ASCII");
  setText(image.get(), FIMD_XMP, "XMLPacket", packet.c_str());
  for (int flags : {PNG_Z_NO_COMPRESSION, kZlib6}) {
    SCOPED_TRACE(flags);
    const std::string path = dir_.file("texts" + std::to_string(flags) + ".png");
    ASSERT_TRUE(writePng(image.get(), path, pngOptionsForSaveFlags(flags)).ok());
    const auto texts = textsOf(path);
    ASSERT_EQ(3u, texts.size());
    // UTF-8 and the XMP packet in compressed iTXt; ASCII in zTXt, which ImageMagick 6 reads too.
    EXPECT_EQ(std::make_tuple(std::string("Comment"), std::string("gr\xC3\xBCn"), int{PNG_ITXT_COMPRESSION_zTXt}),
              texts[0]);
    EXPECT_EQ(std::make_tuple(std::string("Title"), std::string("Plain ASCII"), int{PNG_TEXT_COMPRESSION_zTXt}), texts[1]);
    EXPECT_EQ(std::make_tuple(std::string("XML:com.adobe.xmp"), packet, int{PNG_ITXT_COMPRESSION_zTXt}), texts[2]);
    EXPECT_LT(std::filesystem::file_size(path), packet.size() / 4 + 9 * 7 * 3 + 1000);
  }
}

// FreeImage's save fails on a profile of another colour space (a CMYK
// document's profile on its RGB composite); the pixels are still wanted.
TEST_F(PngWriterTest, ProfileOfAnotherColourSpaceIsLeftOutInsteadOfFailingTheFile) {
  BitmapPtr image = patterned(kind("rgb"), 11, 5);
  std::vector<BYTE> cmyk = iccProfile("CMYK");
  FreeImage_CreateICCProfile(image.get(), cmyk.data(), static_cast<long>(cmyk.size()));
  EXPECT_FALSE(FreeImage_Save(FIF_PNG, image.get(), dir_.file("refused.png").c_str(), kZlib6));
  const std::string ours = dir_.file("ours.png");
  ASSERT_TRUE(writePng(image.get(), ours, {6, false, 1}).ok());
  BitmapPtr back(FreeImage_Load(FIF_PNG, ours.c_str(), 0));
  ASSERT_TRUE(back);
  EXPECT_EQ(0, FreeImage_GetICCProfile(back.get())->size);
  FreeImage_DestroyICCProfile(image.get());
  writeBoth(image.get(), kZlib6, "without-profile");
  expectSameDecoding(dir_.file("without-profile-freeimage.png"), ours);
}

// Grey level and alpha of pixel (x, y) of neutralImage(): spread over the
// whole range of the depth, so that a swapped or lost byte of a 16-bit
// sample shows.
unsigned greyAt(bool wide, unsigned x, unsigned y) { return (x * 2897 + y * 40503) % (wide ? 65536 : 256); }
unsigned alphaAt(bool wide, unsigned x, unsigned y) { return (x * 6053 + y * 1741 + 5) % (wide ? 65536 : 256); }

// A 32-bit (or, wide, RGBA16) image whose pixels all have red == green ==
// blue, with levels and alphas from greyAt and alphaAt.
BitmapPtr neutralImage(bool wide, unsigned width, unsigned height) {
  BitmapPtr image(wide ? FreeImage_AllocateT(FIT_RGBA16, width, height) : FreeImage_Allocate(width, height, 32));
  for (unsigned y = 0; y < height; ++y) {
    BYTE* row = FreeImage_GetScanLine(image.get(), static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) {
      if (wide) {
        const auto g = static_cast<WORD>(greyAt(true, x, y));
        reinterpret_cast<FIRGBA16*>(row)[x] = {g, g, g, static_cast<WORD>(alphaAt(true, x, y))};
      } else {
        row[4 * x + FI_RGBA_RED] = row[4 * x + FI_RGBA_GREEN] = row[4 * x + FI_RGBA_BLUE] =
            static_cast<BYTE>(greyAt(false, x, y));
        row[4 * x + FI_RGBA_ALPHA] = static_cast<BYTE>(alphaAt(false, x, y));
      }
    }
  }
  return image;
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A neutral RGBA image asked for grey with alpha is written as PNG grey
// with alpha at its depth, every level and alpha kept: plain, interlaced,
// and in pieces compressed on several threads (the pieces cut rows).
TEST_F(PngWriterTest, NeutralImagesWithAlphaAreWrittenAsGreyWithAlpha) {
  const unsigned width = 23, height = 17;
  for (bool wide : {false, true}) {
    BitmapPtr image = neutralImage(wide, width, height);
    for (bool interlaced : {false, true}) {
      for (int level : {0, 6}) {
        SCOPED_TRACE(::testing::Message() << (wide ? "16" : "8") << " bits, interlaced " << interlaced << ", level "
                                          << level);
        const std::string path = dir_.file("grey-alpha.png");
        PngWriteOptions options{level, interlaced, 3, 3};
        options.grey_alpha = true;
        ASSERT_TRUE(writePng(image.get(), path, options).ok());
        const Decoded d = decodeWithLibpng(path);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(PNG_COLOR_TYPE_GRAY_ALPHA, d.colour_type);
        EXPECT_EQ(wide ? 16 : 8, d.bit_depth);
        EXPECT_EQ(interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, d.interlace);
        const unsigned scale = wide ? 1 : 257;  // libpng widens 8-bit samples to 16.
        int off = 0;
        for (unsigned y = 0; y < height; ++y) {
          for (unsigned x = 0; x < width; ++x) {
            const png_uint_16* p = &d.rgba[(size_t{height - 1 - y} * width + x) * 4];
            // libpng's rows hold the samples big-endian.
            auto sample = [p](int c) { return static_cast<unsigned>(p[c] >> 8 | (p[c] & 0xFF) << 8); };
            off += sample(0) != greyAt(wide, x, y) * scale || sample(3) != alphaAt(wide, x, y) * scale;
          }
        }
        EXPECT_EQ(0, off) << "pixels differ";
      }
    }
  }
}

// The option leaves other images as they were: one pixel whose red, green
// or blue differs from the others keeps an RGBA image RGBA (the same file
// as without the option, the pixel's colour kept), and a neutral image
// without alpha stays RGB.
TEST_F(PngWriterTest, GreyWithAlphaIsOnlyForNeutralImagesWithAlpha) {
  PngWriteOptions plain{6, false, 1}, grey_alpha = plain;
  grey_alpha.grey_alpha = true;
  for (bool wide : {false, true}) {
    for (int channel : {0, 1, 2}) {  // Red, green, blue.
      SCOPED_TRACE(::testing::Message() << (wide ? "16" : "8") << " bits, channel " << channel);
      BitmapPtr image = neutralImage(wide, 19, 7);
      BYTE* corner = FreeImage_GetScanLine(image.get(), 6) + (wide ? 8 : 4) * 18;  // Top right pixel.
      if (wide) reinterpret_cast<WORD*>(corner)[channel] ^= 0x100;  // FIRGBA16: red, green, blue, alpha.
      else corner[channel == 0 ? FI_RGBA_RED : channel == 1 ? FI_RGBA_GREEN : FI_RGBA_BLUE] ^= 1;
      const std::string with = dir_.file("with.png"), without = dir_.file("without.png");
      ASSERT_TRUE(writePng(image.get(), with, grey_alpha).ok());
      ASSERT_TRUE(writePng(image.get(), without, plain).ok());
      const Decoded d = decodeWithLibpng(with);
      ASSERT_TRUE(d.ok);
      EXPECT_EQ(PNG_COLOR_TYPE_RGB_ALPHA, d.colour_type);
      const png_uint_16* p = &d.rgba[18 * 4];  // The file's top row comes first.
      EXPECT_FALSE(p[0] == p[1] && p[1] == p[2]) << "the coloured pixel lost its colour";
      EXPECT_EQ(fileBytes(without), fileBytes(with));
    }
  }
  BitmapPtr rgb(FreeImage_Allocate(9, 4, 24));
  for (unsigned y = 0; y < 4; ++y) std::memset(FreeImage_GetScanLine(rgb.get(), static_cast<int>(y)), int(y * 60), 27);
  ASSERT_TRUE(writePng(rgb.get(), dir_.file("rgb.png"), grey_alpha).ok());
  EXPECT_EQ(PNG_COLOR_TYPE_RGB, decodeWithLibpng(dir_.file("rgb.png")).colour_type);
}

// A grey profile is written with grey and grey with alpha, an RGB profile
// with RGB, palette and RGBA; a profile of the other colour space is left
// out, the pixels still written.
TEST_F(PngWriterTest, ProfilesAreWrittenWithTheColourTypesOfTheirColourSpace) {
  struct Case {
    const char* name;
    BitmapPtr image;
    bool grey_alpha;
    int colour_type;
  };
  Case cases[] = {
      {"grey1", patterned(kind("grey1"), 13, 5), false, PNG_COLOR_TYPE_GRAY},
      {"grey8", patterned(kind("grey8"), 13, 5), false, PNG_COLOR_TYPE_GRAY},
      {"grey16", patterned(kind("grey16"), 13, 5), false, PNG_COLOR_TYPE_GRAY},
      {"grey-alpha8", neutralImage(false, 13, 5), true, PNG_COLOR_TYPE_GRAY_ALPHA},
      {"grey-alpha16", neutralImage(true, 13, 5), true, PNG_COLOR_TYPE_GRAY_ALPHA},
      {"rgba8", neutralImage(false, 13, 5), false, PNG_COLOR_TYPE_RGB_ALPHA},
      {"rgba16", neutralImage(true, 13, 5), false, PNG_COLOR_TYPE_RGB_ALPHA},
      {"rgb", patterned(kind("rgb"), 13, 5), false, PNG_COLOR_TYPE_RGB},
      {"palette8", patterned(kind("palette8"), 13, 5), false, PNG_COLOR_TYPE_PALETTE},
  };
  for (const Case& c : cases) {
    const bool grey = c.colour_type == PNG_COLOR_TYPE_GRAY || c.colour_type == PNG_COLOR_TYPE_GRAY_ALPHA;
    for (const char* space : {"GRAY", "RGB "}) {
      SCOPED_TRACE(std::string(c.name) + " with a " + space + " profile");
      std::vector<BYTE> icc = iccProfile(space);
      FreeImage_CreateICCProfile(c.image.get(), icc.data(), static_cast<long>(icc.size()));
      const std::string path = dir_.file(std::string(c.name) + ".png");
      PngWriteOptions options{6, false, 1};
      options.grey_alpha = c.grey_alpha;
      ASSERT_TRUE(writePng(c.image.get(), path, options).ok());
      const Decoded d = decodeWithLibpng(path);
      ASSERT_TRUE(d.ok);
      EXPECT_EQ(c.colour_type, d.colour_type);
      const bool fits = grey == (std::string(space) == "GRAY");
      EXPECT_EQ(fits ? std::string(icc.begin(), icc.end()) : "", testing::pngProfileOf(testing::chunksOf(path)));
    }
  }
}

TEST_F(PngWriterTest, ReportsUnwritableFilesAndLeavesOtherTypesToFreeImage) {
  BitmapPtr image = patterned(kind("rgb"), 5, 5);
  EXPECT_EQ(Status::Code::kIoError, writePng(image.get(), "/nonexistent-folder/x.png", {6, false, 1}).code());
  BitmapPtr floats(FreeImage_AllocateT(FIT_FLOAT, 5, 5, 32));
  EXPECT_EQ(Status::Code::kUnsupported, writePng(floats.get(), dir_.file("f.png"), {6, false, 1}).code());
  EXPECT_FALSE(std::filesystem::exists(dir_.file("f.png")));
}

// Written through a file system that fails at a chosen step: the same
// bytes when nothing fails; a write that fails at the start, part way
// through the compressed rows (handed on by the threads) or at the very
// end, or a close that fails, fails the file and removes what was written.
TEST_F(PngWriterTest, AFailedWriteRemovesThePartWritten) {
  using Step = testing::FailingFileSystem::Step;
  // Two pieces of noise, which compress to more than two IDAT chunks.
  BitmapPtr image = patterned(kind("rgba16"), 700, 450);
  uint32_t noise = 12345;
  for (unsigned y = 0; y < 450; ++y) {
    BYTE* row = FreeImage_GetScanLine(image.get(), y);
    for (unsigned i = 0; i < FreeImage_GetLine(image.get()); ++i) {
      noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
      row[i] = static_cast<BYTE>(noise);
    }
  }
  const PngWriteOptions options{1, false, 2};
  const auto bytesOf = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string real = dir_.file("real.png"), seamed = dir_.file("seamed.png");
  ASSERT_TRUE(writePng(image.get(), real, options).ok());
  testing::FailingFileSystem passing(Step::kNothing);
  ASSERT_TRUE(writePng(image.get(), seamed, options, passing).ok());
  const std::string written = bytesOf(real);
  EXPECT_EQ(written, bytesOf(seamed));
  ASSERT_GT(written.size(), size_t{2} << 20);
  const std::pair<Step, size_t> failures[] = {{Step::kAppend, 0},
                                              {Step::kAppend, 100},
                                              {Step::kAppend, written.size() / 2},
                                              {Step::kAppend, written.size() - 1},
                                              {Step::kClose, 0}};
  for (const auto& [step, bytes] : failures) {
    SCOPED_TRACE(bytes);
    testing::FailingFileSystem fs(step, bytes);
    const std::string path = dir_.file("failed.png");
    const Status st = writePng(image.get(), path, options, fs);
    EXPECT_EQ(Status::Code::kIoError, st.code());
    EXPECT_EQ("the file could not be written (no space?)", st.message());
    ASSERT_EQ(1u, fs.created().size());
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  testing::FailingFileSystem unwritable(Step::kCreate);
  const Status st = writePng(image.get(), dir_.file("never.png"), options, unwritable);
  EXPECT_EQ("the file could not be created (missing folder or no permission)", st.message());
  EXPECT_FALSE(std::filesystem::exists(dir_.file("never.png")));
}

// Helpers run under a cap on their address space. The writer holds only
// the rows its threads work on and the pieces not yet written, so a 192 MB
// image is written with 40 MB to spare; with 2 MB to spare it fails the
// file, leaving nothing behind, instead of ending the process.
TEST_F(PngWriterTest, LargeImagesNeedLittleMemoryAndRunningOutFailsTheFile) {
  PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the writing process");
  for (unsigned spare_mb : {40u, 2u}) {
    SCOPED_TRACE(spare_mb);
    const std::string path = dir_.file("big" + std::to_string(spare_mb) + ".png");
    const pid_t child = fork();
    if (child == 0) {
      BitmapPtr image(FreeImage_AllocateT(FIT_RGBA16, 6000, 4000, 64));  // 192 MB, more than threads' arenas hold.
      long pages = 0;
      std::ifstream("/proc/self/statm") >> pages;
      const rlimit cap = {static_cast<rlim_t>(pages) * 4096 + (rlim_t{spare_mb} << 20), RLIM_INFINITY};
      setrlimit(RLIMIT_AS, &cap);
      _exit(static_cast<int>(writePng(image.get(), path, {1, false, 2}).code()));
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the writer did not survive";
    if (spare_mb == 40) {
      EXPECT_EQ(static_cast<int>(Status::Code::kOk), WEXITSTATUS(status));
      EXPECT_EQ(6000, testing::readImage(path).width);
    } else {
      EXPECT_EQ(static_cast<int>(Status::Code::kIoError), WEXITSTATUS(status));
      EXPECT_FALSE(std::filesystem::exists(path));
    }
  }
}

// FreeImage reads the low bits as a zlib level before the no-compression
// bit, and no level at all as zlib's default.
TEST_F(PngWriterTest, SaveFlagsKeepFreeImageMeanings) {
  EXPECT_EQ(0, pngOptionsForSaveFlags(PNG_Z_NO_COMPRESSION).level);
  EXPECT_EQ(pngOptionsForSaveFlags(kZlib6).level, pngOptionsForSaveFlags(PNG_DEFAULT).level);
  EXPECT_EQ(pngOptionsForSaveFlags(kZlib1).level,
            pngOptionsForSaveFlags(kZlib1 | PNG_Z_NO_COMPRESSION).level);
  EXPECT_LT(pngOptionsForSaveFlags(kZlib1).level, pngOptionsForSaveFlags(kZlib6).level);
  EXPECT_LT(pngOptionsForSaveFlags(kZlib6).level,
            pngOptionsForSaveFlags(kZlib9).level);
  EXPECT_TRUE(pngOptionsForSaveFlags(kZlib1 | PNG_INTERLACED).interlaced);
  EXPECT_FALSE(pngOptionsForSaveFlags(kZlib1).interlaced);
}

// Documents through the whole pipeline: the compressed and interlaced files
// hold what the stored file holds, and what FreeImage writes of it.
class PngSaveTest : public PngWriterTest {
 protected:
  void SetUp() override {
    PngWriterTest::SetUp();
    createFormatLists();
    buildFormatTable();
    applyDefaultSettings(true);
  }

  // Converts the document at the compression setting; the output's path.
  std::string convert(const testing::PsdDocument& doc, const std::string& name, int compression, bool interlaced) {
    settings().png_compression = compression;
    settings().png_interlaced = interlaced;
    settings().filename_mask = name + ".%ext%";
    ConversionRequest request;
    request.input_path = dir_.file("in.psd");
    request.output_folder = dir_.path() + "/";
    EXPECT_TRUE(testing::writePsdFile(request.input_path, doc));
    EXPECT_TRUE(prepareRun(settings(), &run_).ok());
    const ConversionResult result = convertFile(request, run_);
    EXPECT_TRUE(result.ok()) << result.failureReason();
    return result.output_path;
  }

  RunOptions run_;  // The last conversion's.
};

double wave(int c, int x, int y) { return static_cast<double>((40 * c + 17 * x + 29 * y + x * y) % 256); }

TEST_F(PngSaveTest, EveryDocumentKindSavesTheSamePixelsAtEverySetting) {
  using testing::PsdMode;
  auto soft_edges = [](int c, int x, int y) { return c == 3 ? std::min(255, std::abs(x - 20) * 12) : wave(c, x, y); };
  auto indexes = [](int, int x, int y) { return static_cast<double>((x + y) % 7); };
  auto bits = [](int, int x, int y) { return static_cast<double>((x * y + x) % 3 == 0); };
  const struct {
    const char* name;
    testing::PsdDocument doc;
  } documents[] = {
      {"rgb8", testing::makeDocument(PsdMode::kRgb, 8, 41, 19, 0, wave)},
      {"rgba8-soft", testing::makeDocument(PsdMode::kRgb, 8, 41, 19, 1, soft_edges)},
      {"grey8", testing::makeDocument(PsdMode::kGrey, 8, 41, 19, 0, wave)},
      {"grey-alpha", testing::makeDocument(PsdMode::kGrey, 8, 41, 19, 1, soft_edges)},
      {"rgb16", testing::makeDocument(PsdMode::kRgb, 16, 41, 19, 0, [](int c, int x, int y) { return 257 * wave(c, x, y); })},
      {"rgba16", testing::makeDocument(PsdMode::kRgb, 16, 41, 19, 1, [&](int c, int x, int y) { return 257 * soft_edges(c, x, y); })},
      {"cmyk8", testing::makeDocument(PsdMode::kCmyk, 8, 41, 19, 0, wave)},
      {"bitmap", testing::makeDocument(PsdMode::kBitmap, 1, 41, 19, 0, bits)},
      {"indexed", testing::makeDocument(PsdMode::kIndexed, 8, 41, 19, 0, indexes)},
  };
  for (const auto& [name, doc_in] : documents) {
    testing::PsdDocument doc = doc_in;
    if (doc.mode == PsdMode::kIndexed)
      for (int i = 0; i < 768; ++i) doc.palette.push_back(static_cast<uint8_t>(i * 29));
    SCOPED_TRACE(name);
    const std::string stored = convert(doc, std::string(name) + "-stored", 0, false);
    BitmapPtr image(FreeImage_Load(FIF_PNG, stored.c_str(), 0));
    ASSERT_TRUE(image);
    for (int compression : {0, 1, 2, 3}) {
      for (bool interlaced : {false, true}) {
        const std::string base = std::string(name) + "-" + std::to_string(compression) + (interlaced ? "i" : "");
        const std::string ours = convert(doc, base, compression, interlaced);
        const Decoded a = decodeWithLibpng(stored), b = decodeWithLibpng(ours);
        // FreeImage writes grey with alpha as RGBA; ours stays grey (the pixels are compared below).
        if (std::string(name) == "grey-alpha") {
          EXPECT_EQ(PNG_COLOR_TYPE_GRAY_ALPHA, b.colour_type) << base;
        } else {
          const std::string theirs = dir_.file(base + "-freeimage.png");
          ASSERT_TRUE(FreeImage_Save(FIF_PNG, image.get(), theirs.c_str(), run_.save_flags));
          expectSameDecoding(theirs, ours);
          checks_.add(theirs, ours);
        }
        EXPECT_TRUE(a.rgba == b.rgba) << base;
      }
    }
  }
  checks_.run();
}

}  // namespace
}  // namespace pixolune
