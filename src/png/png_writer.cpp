#include "png/png_writer.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "image/bitmap.h"
#include "png/png_deflate.h"
#include "png/png_scanlines.h"

namespace pixolune {

namespace {

// libdeflate levels for zlib levels 0..9. The three the settings offer are
// the fastest whose files total no more than zlib's at that level on both
// benchmark sets (bench/level_sizes.cpp): libdeflate 6 is 0.1 % larger than
// zlib 6 on the real corpus, 9 is larger than zlib 9. The levels between
// keep the order.
constexpr int kLibdeflateLevel[10] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10};

constexpr uint8_t kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgbAlpha = 6;

// libdeflate level of the profile and the texts, whatever the rows' level:
// they are small beside the rows (a profile a few KiB, an XMP packet up to a
// few hundred). On the corpus 9 makes them 0.4 % smaller than 6 for little
// time; 12 saves a further 0.1 % at twice the time (bench/png_sizes.md).
constexpr int kMetadataLevel = 9;

// What the file holds and how the rows are made.
struct Layout {
  BitmapPtr converted;        // A bitmap made for the writer, when it needs one.
  FIBITMAP* rows = nullptr;   // The bitmap whose rows are written.
  uint8_t bit_depth = 0;
  uint8_t colour_type = 0;
  ScanlineFormat format;
  std::vector<uint8_t> palette;       // PLTE: red, green, blue per entry.
  std::vector<uint8_t> transparency;  // tRNS of a palette image.
};

void paletteOf(FIBITMAP* image, unsigned bpp, Layout* layout) {
  const RGBQUAD* colours = FreeImage_GetPalette(image);
  const unsigned entries = 1u << bpp;
  for (unsigned i = 0; i < entries; ++i) {
    const RGBQUAD c = i < FreeImage_GetColorsUsed(image) ? colours[i] : RGBQUAD{0, 0, 0, 0};
    layout->palette.insert(layout->palette.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
  }
  if (!FreeImage_IsTransparent(image)) return;
  const unsigned count = std::min(FreeImage_GetTransparencyCount(image), entries);
  const BYTE* table = FreeImage_GetTransparencyTable(image);
  if (table && count) layout->transparency.assign(table, table + count);
}

// 1-, 4- and 8-bit images: grey when the palette is a grey ramp and nothing
// is transparent, as FreeImage decides; palette otherwise.
void smallLayout(FIBITMAP* image, unsigned bpp, Layout* layout) {
  const FREE_IMAGE_COLOR_TYPE type = FreeImage_GetColorType(image);
  layout->bit_depth = static_cast<uint8_t>(bpp);
  layout->format.bits_per_pixel = bpp;
  if ((type == FIC_MINISBLACK || type == FIC_MINISWHITE) && !FreeImage_IsTransparent(image)) {
    layout->colour_type = kGrey;
    if (type == FIC_MINISWHITE) layout->format.order = SampleOrder::kInverted;
    return;
  }
  layout->colour_type = kPalette;
  paletteOf(image, bpp, layout);
}

// True when every pixel of a 32-bit or RGBA16 image has equal red, green
// and blue.
bool neutralWithAlpha(FIBITMAP* image) {
  const bool wide = FreeImage_GetImageType(image) == FIT_RGBA16;
  if (!wide && !(FreeImage_GetImageType(image) == FIT_BITMAP && FreeImage_GetBPP(image) == 32)) return false;
  const unsigned width = FreeImage_GetWidth(image), height = FreeImage_GetHeight(image);
  for (unsigned y = 0; y < height; ++y) {
    const BYTE* row = FreeImage_GetScanLine(image, static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) {
      if (wide) {
        const auto* p = reinterpret_cast<const FIRGBA16*>(row) + x;
        if (p->red != p->green || p->green != p->blue) return false;
      } else if (row[4 * x] != row[4 * x + 1] || row[4 * x + 1] != row[4 * x + 2]) {
        return false;
      }
    }
  }
  return true;
}

bool layoutOf(FIBITMAP* image, bool grey_alpha, Layout* layout) {
  const unsigned bpp = FreeImage_GetBPP(image);
  if (grey_alpha && neutralWithAlpha(image)) {  // The rows drop red and blue as they are made: no copy.
    layout->rows = image;
    layout->colour_type = kGreyAlpha;
    layout->bit_depth = bpp == 32 ? 8 : 16;
    layout->format = {bpp == 32 ? 16u : 32u, SampleOrder::kGreyAlpha, false, false};
    return true;
  }
  const SampleOrder colour_order = FI_RGBA_RED == 2 ? SampleOrder::kBlueFirst : SampleOrder::kAsStored;
  layout->rows = image;
  switch (FreeImage_GetImageType(image)) {
    case FIT_BITMAP:
      if (bpp == 1 || bpp == 4 || bpp == 8) {
        smallLayout(image, bpp, layout);
        return true;
      }
      if (bpp == 16) {  // 5-5-5 and 5-6-5 pixels as RGB (FreeImage's writer takes their bytes for RGB).
        layout->converted.reset(FreeImage_ConvertTo24Bits(image));
        if (!layout->converted) return false;
        layout->rows = layout->converted.get();
      }
      if (bpp != 16 && bpp != 24 && bpp != 32) return false;
      layout->bit_depth = 8;
      layout->colour_type = bpp == 32 ? kRgbAlpha : kRgb;
      layout->format = {bpp == 32 ? 32u : 24u, colour_order, false, false};
      return true;
    case FIT_UINT16: layout->colour_type = kGrey; break;
    case FIT_RGB16: layout->colour_type = kRgb; break;
    case FIT_RGBA16: layout->colour_type = kRgbAlpha; break;
    default: return false;
  }
  layout->bit_depth = 16;
  layout->format = {bpp, __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? SampleOrder::kLittleEndian : SampleOrder::kAsStored,
                    false, false};
  return true;
}

void putUint32(std::vector<uint8_t>* out, uint32_t v) {
  out->insert(out->end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

// Writes chunks to a file and remembers the first failure. Small writes
// (chunk heads and checksums, the header chunks) are gathered and handed to
// the file together; large ones go straight through.
class ChunkWriter {
 public:
  explicit ChunkWriter(WritableFile* file) : file_(file) {}

  void raw(const void* data, size_t size) {
    if (!ok_ || size == 0) return;
    if (buffer_.size() + size > kGatherBytes) flush();
    if (size >= kGatherBytes) {
      if (ok_) ok_ = file_->append(std::string_view(static_cast<const char*>(data), size)).ok();
      return;
    }
    buffer_.append(static_cast<const char*>(data), size);
  }
  // Hands what was gathered to the file.
  void flush() {
    if (ok_ && !buffer_.empty()) ok_ = file_->append(buffer_).ok();
    buffer_.clear();
  }
  void chunk(const char* type, const uint8_t* data, size_t size) {
    std::vector<uint8_t> head;
    putUint32(&head, static_cast<uint32_t>(size));
    head.insert(head.end(), type, type + 4);
    raw(head.data(), head.size());
    raw(data, size);
    uint32_t crc = libdeflate_crc32(0, type, 4);
    if (size) crc = libdeflate_crc32(crc, data, size);
    std::vector<uint8_t> tail;
    putUint32(&tail, crc);
    raw(tail.data(), tail.size());
  }
  void chunk(const char* type, const std::vector<uint8_t>& data) { chunk(type, data.data(), data.size()); }
  bool ok() const { return ok_; }

 private:
  static constexpr size_t kGatherBytes = size_t{64} << 10;

  WritableFile* file_;
  std::string buffer_;
  bool ok_ = true;
};

// The compressed stream as IDAT chunks of 1 MiB (the last shorter),
// written as the stream's parts arrive. After each chunk the system is
// asked to start writing the file to the device, so the sync that follows
// the save finds most of it written already.
class IdatWriter {
 public:
  IdatWriter(ChunkWriter* out, WritableFile* file) : out_(out), file_(file) {}

  bool append(const uint8_t* data, size_t size) {
    while (size > 0 && out_->ok()) {
      const size_t n = std::min(size, kIdatBytes - filled_);
      std::memcpy(buffer_.data() + filled_, data, n);
      filled_ += n, data += n, size -= n;
      if (filled_ == kIdatBytes) flush();
    }
    return out_->ok();
  }
  void finish() {
    if (filled_ > 0) flush();
  }

 private:
  static constexpr size_t kIdatBytes = size_t{1} << 20;

  void flush() {
    out_->chunk("IDAT", buffer_.data(), filled_);
    filled_ = 0;
    out_->flush();
    if (out_->ok()) file_->startWriteback();
  }

  ChunkWriter* out_;
  WritableFile* file_;
  RawBytes buffer_ = RawBytes(kIdatBytes);
  size_t filled_ = 0;
};

// libpng's checks of an ICC profile before it writes iCCP; FreeImage's save
// fails outright on a profile they refuse, we leave the profile out. The
// profile's colour space follows the colour type: grey for grey and grey
// with alpha, RGB for RGB, palette and RGBA.
bool profileFits(const uint8_t* p, size_t size, uint8_t colour_type) {
  auto be32 = [p](size_t at) { return uint32_t{p[at]} << 24 | uint32_t{p[at + 1]} << 16 | p[at + 2] << 8 | p[at + 3]; };
  if (size < 132 || be32(0) != size || std::memcmp(p + 36, "acsp", 4) != 0) return false;
  const bool grey = colour_type == kGrey || colour_type == kGreyAlpha;
  if (std::memcmp(p + 16, grey ? "GRAY" : "RGB ", 4) != 0) return false;
  if (std::memcmp(p + 20, "XYZ ", 4) != 0 && std::memcmp(p + 20, "Lab ", 4) != 0) return false;
  if (std::memcmp(p + 12, "abst", 4) == 0 || be32(64) >= 0xFFFF) return false;
  const uint32_t tags = be32(128);
  if (tags > (size - 132) / 12) return false;
  for (uint32_t i = 0; i < tags; ++i) {
    const uint32_t offset = be32(132 + i * 12 + 4), length = be32(132 + i * 12 + 8);
    if (offset > size || length > size - offset) return false;
  }
  return true;
}

void writeProfile(FIBITMAP* image, uint8_t colour_type, ChunkWriter* out) {
  const FIICCPROFILE* icc = FreeImage_GetICCProfile(image);
  if (!icc || !icc->data || icc->size <= 0) return;
  const auto* bytes = static_cast<const uint8_t*>(icc->data);
  if (!profileFits(bytes, static_cast<size_t>(icc->size), colour_type)) return;
  static constexpr char kName[] = "Embedded Profile";
  std::vector<uint8_t> data(kName, kName + sizeof kName);  // Name, its terminating zero,
  data.push_back(0);                                       // then compression method 0.
  std::vector<uint8_t> packed;
  if (!zlibCompress(bytes, static_cast<size_t>(icc->size), kMetadataLevel, 1, 1, &packed)) return;
  data.insert(data.end(), packed.begin(), packed.end());
  out->chunk("iCCP", data);
}

void writeBackground(FIBITMAP* image, const Layout& layout, ChunkWriter* out) {
  RGBQUAD colour;
  if (!FreeImage_HasBackgroundColor(image) || !FreeImage_GetBackgroundColor(image, &colour)) return;
  std::vector<uint8_t> data;
  if (layout.colour_type == kPalette) {
    if (colour.rgbReserved >= layout.palette.size() / 3) return;
    data.push_back(colour.rgbReserved);
  } else if (layout.colour_type == kGrey || layout.colour_type == kGreyAlpha) {
    data = {0, 0};  // FreeImage hands libpng no grey level: it writes 0.
  } else {
    data = {0, colour.rgbRed, 0, colour.rgbGreen, 0, colour.rgbBlue};
  }
  out->chunk("bKGD", data);
}

// PNG keywords: 1 to 79 printable Latin-1 characters, no leading, trailing
// or double spaces (libpng refuses the whole file otherwise).
bool validKeyword(const char* key) {
  const size_t length = key ? std::strlen(key) : 0;
  if (length == 0 || length > 79 || key[0] == ' ' || key[length - 1] == ' ' || std::strstr(key, "  ")) return false;
  return std::all_of(key, key + length, [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 32 && u <= 126) || u >= 161;
  });
}

// A text compressed whatever the image's level: an XMP packet is mostly
// repeated markup and shrinks to a fifteenth. Plain ASCII goes into zTXt,
// which every reader takes (ImageMagick 6 reads no iTXt); other text,
// UTF-8, and the XMP packet (which belongs in iTXt) into iTXt with its
// compression flag set. Stored uncompressed in iTXt only when memory for
// the compressed copy runs out.
void writeText(const char* key, FITAG* tag, bool xmp, ChunkWriter* out) {
  if (!validKeyword(key) || !tag || !FreeImage_GetTagValue(tag)) return;
  const auto* text = static_cast<const uint8_t*>(FreeImage_GetTagValue(tag));
  const size_t length = strnlen(reinterpret_cast<const char*>(text), FreeImage_GetTagLength(tag));
  const bool ascii = std::all_of(text, text + length, [](uint8_t c) { return c < 0x80; });
  std::vector<uint8_t> packed;
  const bool compressed = zlibCompress(text, length, kMetadataLevel, 1, 1, &packed);
  std::vector<uint8_t> data(key, key + std::strlen(key) + 1);  // With its terminating zero.
  if (compressed && ascii && !xmp) {
    data.push_back(0);  // Compression method: zlib.
    data.insert(data.end(), packed.begin(), packed.end());
    out->chunk("zTXt", data);
    return;
  }
  // The compression flag and method (zlib), then no language and no translated keyword.
  data.insert(data.end(), {uint8_t(compressed ? 1 : 0), 0, 0, 0});
  if (compressed) data.insert(data.end(), packed.begin(), packed.end());
  else data.insert(data.end(), text, text + length);
  out->chunk("iTXt", data);
}

// The comments, then the XMP packet, compressed.
void writeMetadata(FIBITMAP* image, ChunkWriter* out) {
  FITAG* tag = nullptr;
  if (FIMETADATA* found = FreeImage_FindFirstMetadata(FIMD_COMMENTS, image, &tag)) {
    do writeText(FreeImage_GetTagKey(tag), tag, false, out);
    while (FreeImage_FindNextMetadata(found, &tag));
    FreeImage_FindCloseMetadata(found);
  }
  tag = nullptr;
  if (FreeImage_GetMetadata(FIMD_XMP, image, "XMLPacket", &tag) && tag && FreeImage_GetTagLength(tag))
    writeText("XML:com.adobe.xmp", tag, true, out);
}

void writeHeaderChunks(FIBITMAP* image, const Layout& layout, bool interlaced, ChunkWriter* out) {
  static constexpr uint8_t kSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
  out->raw(kSignature, sizeof kSignature);
  std::vector<uint8_t> header;
  putUint32(&header, FreeImage_GetWidth(image));
  putUint32(&header, FreeImage_GetHeight(image));
  header.insert(header.end(), {layout.bit_depth, layout.colour_type, 0, 0, uint8_t(interlaced ? 1 : 0)});
  out->chunk("IHDR", header);
  writeProfile(image, layout.colour_type, out);
  if (!layout.palette.empty()) out->chunk("PLTE", layout.palette);
  if (!layout.transparency.empty()) out->chunk("tRNS", layout.transparency);
  writeBackground(image, layout, out);
  const unsigned res_x = FreeImage_GetDotsPerMeterX(image), res_y = FreeImage_GetDotsPerMeterY(image);
  if (res_x > 0 && res_y > 0) {
    std::vector<uint8_t> resolution;
    putUint32(&resolution, res_x);
    putUint32(&resolution, res_y);
    resolution.push_back(1);  // Per metre.
    out->chunk("pHYs", resolution);
  }
  writeMetadata(image, out);
}

}  // namespace

PngWriteOptions pngOptionsForSaveFlags(int save_flags) {
  PngWriteOptions options;
  const int zlib_level = save_flags & 0x0F;
  if (zlib_level >= 1 && zlib_level <= 9)
    options.level = kLibdeflateLevel[zlib_level];
  else if ((save_flags & PNG_Z_NO_COMPRESSION) == PNG_Z_NO_COMPRESSION)
    options.level = 0;
  else
    options.level = kLibdeflateLevel[6];
  options.interlaced = (save_flags & PNG_INTERLACED) == PNG_INTERLACED;
  return options;
}

Status writePng(FIBITMAP* image, const std::string& path, const PngWriteOptions& options, FileSystem& fs) {
  Layout layout;
  if (!image || !FreeImage_HasPixels(image) || !layoutOf(image, options.grey_alpha, &layout))
    return Status::unsupported("PNG of this image type is left to the image library");
  // libpng's default: palette and sub-byte images unfiltered; stored rows gain nothing from filters.
  layout.format.adaptive = options.level > 0 && layout.colour_type != kPalette && layout.bit_depth >= 8;
  layout.format.interlaced = options.interlaced;
  const int threads = std::max(options.threads, 1);
  auto piecesFor = [&options](size_t bytes) {
    return options.pieces > 0 ? options.pieces : static_cast<int>(std::max<size_t>(1, bytes / kPngPieceBytes));
  };
  std::unique_ptr<WritableFile> file;
  if (!fs.newFile(path, &file).ok())
    return Status::ioError("the file could not be created (missing folder or no permission)");
  // Nothing half-written stays behind.
  auto failed = [&file, &path, &fs](const char* why) {
    file.reset();
    // Best effort: the write's own failure is what the user is told.
    ignoreStatus(fs.removeFile(path));
    return Status::ioError(why);
  };
  ChunkWriter out(file.get());
  writeHeaderChunks(image, layout, options.interlaced, &out);
  IdatWriter idat(&out, file.get());
  const PartSink sink = [&idat](RawBytes part) { return idat.append(part.data(), part.size()); };
  try {  // Only the rows a thread works on and the pieces not yet written are held.
    bool compressed;
    if (layout.format.interlaced) {
      const std::vector<uint8_t> rows = filteredScanlines(layout.rows, layout.format);
      compressed = !rows.empty() && zlibCompress(
          [&rows](size_t offset, size_t count, uint8_t* to) {
            std::memcpy(to, rows.data() + offset, count);
            return true;
          },
          rows.size(), options.level, piecesFor(rows.size()), threads, sink);
    } else {  // Each piece filters its own rows as it compresses them.
      const FilteredRows rows(layout.rows, layout.format);
      compressed = zlibCompress([&rows](size_t offset, size_t count, uint8_t* to) { return rows.read(offset, count, to); },
                                rows.size(), options.level, piecesFor(rows.size()), threads, sink);
    }
    if (!compressed && out.ok()) return failed("the image could not be compressed (out of memory?)");
  } catch (const std::bad_alloc&) {
    return failed("the image could not be compressed (out of memory)");
  }
  idat.finish();
  out.chunk("IEND", nullptr, 0);
  out.flush();
  const bool closed = file->close().ok();
  if (out.ok() && closed) return Status();
  return failed("the file could not be written (no space?)");
}

}  // namespace pixolune
