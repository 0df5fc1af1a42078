#include "psd/composite_reader.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "image/colour_management.h"
#include "psd/psd_document.h"
#include "psd/psd_file.h"
#include "platform/threads.h"

namespace pixolune {

namespace {

// Where a channel's samples go in a bitmap pixel, as the library places
// them: 8-bit colour in blue, green, red, alpha order; 16-bit in the order
// of the channels, each sample in the machine's byte order. CMYK and Lab
// go through the document's colour conversion to sRGB instead, followed by
// the transparency when the document has one.
struct Placement {
  unsigned channels = 0;     // Channels read: the library keeps at most four.
  unsigned sample_bytes = 1;
  unsigned pixel_bytes = 1;  // Of the bitmap.
  unsigned position[5] = {};  // Of each channel's sample in the pixel.
  const SrgbConversion* conversion = nullptr;  // CMYK and Lab: their colour channels to sRGB.
  bool alpha = false;         // With conversion: the channel after the colours is the transparency.
};

// Ok when the reader reads the document (and then *p says how); otherwise
// kUnsupported naming the kind it leaves to the library. `conversion` is
// the document's own for CMYK and Lab.
Status placementFor(const PsdHeader& header, const SrgbConversion* conversion, Placement* p) {
  if (header.version != 1) return Status::unsupported("the large document format");
  if (header.depth != 8 && header.depth != 16)
    return Status::unsupported(std::to_string(header.depth) + "-bit channels");
  if (header.compression > 1) return Status::unsupported("ZIP-compressed image data");
  p->sample_bytes = static_cast<unsigned>(header.depth / 8);
  const int colours = colourChannelCount(header.mode);
  if (header.mode == kModeGrey) {
    p->channels = 1;  // Extra channels are dropped.
  } else if (header.mode == kModeRgb && header.channels >= 3) {
    p->channels = static_cast<unsigned>(std::min(header.channels, 4));
  } else if ((header.mode == kModeCmyk || header.mode == kModeLab) && header.channels >= colours && conversion) {
    p->conversion = conversion;
    p->alpha = firstExtraIsTransparency(header);
    p->channels = static_cast<unsigned>(colours + (p->alpha ? 1 : 0));
    p->pixel_bytes = (p->alpha ? 4 : 3) * p->sample_bytes;
    for (unsigned c = 0; c < p->channels; ++c) p->position[c] = c;
    return Status();
  } else {
    return Status::unsupported("colour mode " + std::to_string(header.mode));
  }
  p->pixel_bytes = p->channels * p->sample_bytes;
  for (unsigned c = 0; c < p->channels; ++c) p->position[c] = c;
  if (header.depth == 8 && p->channels >= 3) std::swap(p->position[0], p->position[2]);  // Red and blue.
  return Status();
}

Status outOfMemory() { return Status::ioError("composite image: not enough memory"); }

// Rows [first, last) of the plane of `channel` as stored (PackBits expanded)
// into `rows`, one row of `row_bytes` after another. `starts` holds, for
// compressed data, the file offset of every row of every channel and its end.
// Fails with kCorrupt naming the first row that does not expand to a row.
Status readPlaneRows(const PsdFile& file, const PsdHeader& header, unsigned channel, size_t first, size_t last,
                   size_t row_bytes, const std::vector<uint64_t>& starts, std::vector<uint8_t>* packed,
                   uint8_t* rows) {
  const size_t height = static_cast<size_t>(header.height);
  if (header.compression == 0) {
    const uint64_t at = header.image_data_offset + 2 + (uint64_t{channel} * height + first) * row_bytes;
    return file.read(at, (last - first) * row_bytes, rows, "composite image");
  }
  const size_t index = channel * height + first;
  const uint64_t from = starts[index], to = starts[index + (last - first)];
  packed->resize(static_cast<size_t>(to - from));
  Status st = file.read(from, packed->size(), packed->data(), "composite image");
  if (!st.ok()) return st;
  for (size_t y = first; y < last; ++y) {
    const size_t begin = static_cast<size_t>(starts[index + (y - first)] - from);
    const size_t end = static_cast<size_t>(starts[index + (y - first) + 1] - from);
    if (!unpackBits(packed->data() + begin, end - begin, rows + (y - first) * row_bytes, row_bytes))
      return Status::corrupt("composite image: row " + std::to_string(y) + " of channel " + std::to_string(channel) +
                             " does not expand to a row");
  }
  return {};
}

// Interleaves one row: pixel sample k of every pixel comes from plane
// `from[k]` (samples as stored, big-endian when 16-bit).
template <typename Sample, unsigned kSamples>
void interleaveRow(const uint8_t* const from[4], size_t width, uint8_t* out) {
  // The planes in locals, marked apart from the row: stores to the row
  // must not make the compiler load the plane pointers again.
  const uint8_t* __restrict plane[kSamples];
  for (unsigned k = 0; k < kSamples; ++k) plane[k] = from[k];
  Sample* __restrict to = reinterpret_cast<Sample*>(out);
  if constexpr (sizeof(Sample) == 1 && kSamples == 1) {
    std::memcpy(to, plane[0], width);
    return;
  }
  for (size_t x = 0; x < width; ++x) {
    for (unsigned k = 0; k < kSamples; ++k) {
      if constexpr (sizeof(Sample) == 1) {
        to[x * kSamples + k] = plane[k][x];
      } else {
        Sample v;
        std::memcpy(&v, plane[k] + 2 * x, 2);
        to[x * kSamples + k] = static_cast<Sample>(__builtin_bswap16(v));
      }
    }
  }
}

using RowInterleaver = void (*)(const uint8_t* const from[4], size_t width, uint8_t* out);

RowInterleaver interleaverFor(const Placement& p) {
  static constexpr RowInterleaver kBytes[] = {interleaveRow<uint8_t, 1>, interleaveRow<uint8_t, 2>,
                                              interleaveRow<uint8_t, 3>, interleaveRow<uint8_t, 4>};
  static constexpr RowInterleaver kWords[] = {interleaveRow<uint16_t, 1>, interleaveRow<uint16_t, 2>,
                                              interleaveRow<uint16_t, 3>, interleaveRow<uint16_t, 4>};
  // Converted documents interleave their colour channels alone, for the conversion.
  const unsigned samples = p.conversion ? static_cast<unsigned>(p.conversion->inputChannels()) : p.channels;
  return (p.sample_bytes == 1 ? kBytes : kWords)[samples - 1];
}

// Places rows of every kept channel into the bitmap (bottom row first),
// reading `kChunkRows` rows of every channel at a time and writing each
// bitmap row once, pixel after pixel. One a thread.
class RowPlacer {
 public:
  static constexpr size_t kChunkRows = 16;

  RowPlacer(const PsdFile& file, const PsdHeader& header, const Placement& p, const std::vector<uint64_t>& starts,
            FIBITMAP* image)
      : file_(file), header_(header), p_(p), starts_(starts), image_(image),
        row_bytes_(static_cast<size_t>(header.width) * p.sample_bytes), interleave_(interleaverFor(p)) {}

  // Throws std::bad_alloc when memory runs out.
  Status open() {
    planes_.resize(p_.channels * kChunkRows * row_bytes_);
    if (p_.conversion) samples_.resize(static_cast<size_t>(p_.conversion->inputChannels()) * row_bytes_);
    return {};
  }

  // Rows [first, last); fails when their data cannot be read or expanded,
  // throws std::bad_alloc when memory runs out.
  Status place(size_t first, size_t last) {
    const size_t plane_bytes = kChunkRows * row_bytes_, width = static_cast<size_t>(header_.width);
    const unsigned height = static_cast<unsigned>(header_.height);
    for (size_t at = first; at < last; at += kChunkRows) {
      const size_t end = std::min(last, at + kChunkRows);
      for (unsigned c = 0; c < p_.channels; ++c) {
        Status st = readPlaneRows(file_, header_, c, at, end, row_bytes_, starts_, &packed_,
                                  planes_.data() + c * plane_bytes);
        if (!st.ok()) return st;
      }
      for (size_t y = at; y < end; ++y) {
        const uint8_t* from[5] = {};
        for (unsigned c = 0; c < p_.channels; ++c)
          from[p_.position[c]] = planes_.data() + c * plane_bytes + (y - at) * row_bytes_;
        BYTE* row = FreeImage_GetScanLine(image_, height - 1 - static_cast<unsigned>(y));
        if (p_.conversion) convertRow(from, width, row);
        else interleave_(from, width, row);
      }
    }
    return {};
  }

 private:
  // The colour planes interleaved and converted to sRGB, then the
  // transparency placed after them.
  void convertRow(const uint8_t* const from[5], size_t width, BYTE* row) {
    interleave_(from, width, samples_.data());
    p_.conversion->convert(samples_.data(), row, width);
    if (!p_.alpha) return;
    const uint8_t* alpha = from[p_.channels - 1];
    if (p_.sample_bytes == 1) {
      for (size_t x = 0; x < width; ++x) row[4 * x + FI_RGBA_ALPHA] = alpha[x];
    } else {
      WORD* words = reinterpret_cast<WORD*>(row);
      for (size_t x = 0; x < width; ++x) words[4 * x + 3] = static_cast<WORD>(alpha[2 * x] << 8 | alpha[2 * x + 1]);
    }
  }

  PsdFile file_;
  const PsdHeader& header_;
  const Placement& p_;
  const std::vector<uint64_t>& starts_;
  FIBITMAP* image_;
  size_t row_bytes_;
  RowInterleaver interleave_;
  std::vector<uint8_t> planes_, packed_, samples_;
};

// The bitmap the library makes: the header bitmap's type, size, palette
// and metadata, but for CMYK and Lab, which become sRGB (with their
// transparency) and lose their profile.
BitmapPtr allocateLike(FIBITMAP* header, const Placement& p) {
  const unsigned width = FreeImage_GetWidth(header), height = FreeImage_GetHeight(header);
  FREE_IMAGE_TYPE type = FreeImage_GetImageType(header);
  if (p.conversion) type = p.sample_bytes == 1 ? FIT_BITMAP : p.alpha ? FIT_RGBA16 : FIT_RGB16;
  // No colour masks, as the library allocates it: its default layout.
  BitmapPtr image(FreeImage_AllocateT(type, static_cast<int>(width), static_cast<int>(height),
                                      static_cast<int>(p.pixel_bytes * 8)));
  if (!image) return nullptr;
  if (FreeImage_GetPalette(header) && FreeImage_GetPalette(image.get()))
    std::memcpy(FreeImage_GetPalette(image.get()), FreeImage_GetPalette(header),
                sizeof(RGBQUAD) * FreeImage_GetColorsUsed(header));
  FreeImage_SetDotsPerMeterX(image.get(), FreeImage_GetDotsPerMeterX(header));
  FreeImage_SetDotsPerMeterY(image.get(), FreeImage_GetDotsPerMeterY(header));
  const FIICCPROFILE* icc = FreeImage_GetICCProfile(header);
  if (icc && icc->data && icc->size > 0 && !p.conversion) {
    FIICCPROFILE* copy = FreeImage_CreateICCProfile(image.get(), icc->data, icc->size);
    if (!copy) return nullptr;
    copy->flags = icc->flags;
  }
  if (!FreeImage_CloneMetadata(image.get(), header)) return nullptr;
  FIBITMAP* thumbnail = FreeImage_GetThumbnail(header);
  if (thumbnail && !FreeImage_SetThumbnail(image.get(), thumbnail)) return nullptr;
  return image;
}

CompositeReading declined(const std::string& why) {
  return {CompositeOutcome::kDeclined, Status::unsupported("composite image: " + why + " is left to the image library"),
          nullptr, {}};
}

CompositeReading failed(Status st) { return {CompositeOutcome::kFailed, std::move(st), nullptr, {}}; }

}  // namespace

CompositeReading readComposite(const PsdDocument& document, int flags, int threads) {
  const PsdHeader& header = document.header();
  const PsdFile file = document.file();
  // CMYK and Lab become sRGB through the document's profile.
  const bool converted = header.mode == kModeCmyk || header.mode == kModeLab;
  SrgbConversion conversion;
  if (converted && header.version == 1 && (header.depth == 8 || header.depth == 16) && header.compression <= 1) {
    Status st = colourConversionFor(document, header.depth, firstExtraIsTransparency(header) ? 4 : 3, &conversion);
    if (!st.ok()) return failed(st);
  }
  Placement placement;
  const Status placed = placementFor(header, converted ? &conversion : nullptr, &placement);
  if (!placed.ok()) return declined(placed.message());
  // The library reads the header, the resources (resolution, profile,
  // thumbnail) and the compression word, and must end where the image
  // data begins for both readers to read the same bytes. A header it
  // cannot read its decoder cannot either.
  if (!header.library_fault.ok()) return failed(header.library_fault);
  LibraryStream stream(file);
  BitmapPtr described = stream.load(flags | FIF_LOAD_NOPIXELS);
  if (!described) return failed(Status::corrupt("image resources: the image library cannot read them"));
  if (stream.position() != header.image_data_offset + 2)
    return declined("a header the image library reads to another length");
  if (FreeImage_GetWidth(described.get()) != static_cast<unsigned>(header.width) ||
      FreeImage_GetHeight(described.get()) != static_cast<unsigned>(header.height) ||
      (!converted && FreeImage_GetBPP(described.get()) != placement.pixel_bytes * 8))
    return declined("a document the image library describes otherwise");
  std::vector<uint64_t> starts;
  Status st;
  if (header.compression == 1 && !(st = compositeRowStarts(file, header, &starts)).ok()) return failed(st);
  BitmapPtr image = allocateLike(described.get(), placement);
  if (!image) return failed(outOfMemory());
  // Bands of rows go to the threads as they get free: a slower or busier
  // core simply places fewer of them. The failure reported is the lowest
  // band's, whatever the threads.
  constexpr size_t kBandRows = 64;
  const size_t height = static_cast<size_t>(header.height), bands = (height + kBandRows - 1) / kBandRows;
  const int workers = std::clamp<int>(threads, 1, static_cast<int>(std::max<size_t>(bands, 1)));
  std::vector<std::unique_ptr<RowPlacer>> placers(static_cast<size_t>(workers));
  QueueOptions options;
  options.start = [&](int worker) {
    auto& placer = placers[static_cast<size_t>(worker)];
    placer = std::make_unique<RowPlacer>(file, header, placement, starts, image.get());
    return placer->open();
  };
  options.out_of_memory = outOfMemory();
  st = runQueue(
      bands, workers,
      [&](size_t band, int worker) {
        return placers[static_cast<size_t>(worker)]->place(band * kBandRows, std::min(height, (band + 1) * kBandRows));
      },
      options);
  if (!st.ok()) return failed(st);
  return {CompositeOutcome::kRead, Status(), std::move(image), converted ? conversion.description() : std::string()};
}

}  // namespace pixolune
