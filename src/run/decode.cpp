#include "run/decode.h"

#include "image/bitmap.h"
#include "psd/composite.h"
#include "psd/composite_reader.h"
#include "platform/cores.h"
#include "psd/layers/layer_render.h"
#include "image/pixel_form.h"
#include "psd/psd_document.h"
#include "psd/psd_header.h"
#include "platform/helper_process.h"

namespace pixolune {

namespace {

thread_local bool library_ran = false;
bool always_draw_layers = false;
thread_local std::string decode_note;

uint64_t& decodeMemoryLimit() {
  static uint64_t limit = defaultMemoryLimit();
  return limit;
}

std::string describeBytes(uint64_t bytes) {
  return bytes >= (1u << 20) ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

// The decoder drops the transparency of greyscale composites; it is the
// first extra channel of the file, so it is read from there.
Status addGreyTransparency(const PsdDocument& document, BitmapPtr* image) {
  const PsdHeader& header = document.header();
  std::vector<uint8_t> plane;
  Status st = readCompositePlane(document.file(), header, colourChannelCount(header.mode), &plane);
  if (!st.ok()) return st;
  *image = greyWithAlpha(image->get(), plane, header.depth);
  return *image ? Status() : Status::ioError("the transparency of the greyscale image could not be added");
}

// The decoder spreads the a and b channels of 16-bit Lab over -128..128
// rather than the -127.5..127.5 of the 8-bit scale they encode, which shifts
// saturated colours at the edge of the gamut (a red's green channel comes out
// 6 instead of 9..15), so the colours are computed again from the document's
// own planes. A ZIP-compressed composite keeps the decoder's colours.
Status recolourLab16(const PsdDocument& document, FIBITMAP* image) {
  std::vector<uint8_t> planes[3];
  for (int c = 0; c < 3; ++c) {
    Status st = readCompositePlane(document.file(), document.header(), c, &planes[c]);
    if (st.code() == Status::Code::kUnsupported) return Status();
    if (!st.ok()) return st;
  }
  if (!setLab16Colours(image, planes[0], planes[1], planes[2]))
    return Status::unsupported("the colours of the Lab image could not be converted");
  return Status();
}

// Makes the decoded composite what Photoshop shows: a saved selection is not
// transparency, and a transparent composite loses the white it was stored over.
Status asPhotoshopShowsIt(const PsdDocument& document, int flags, BitmapPtr* image) {
  const PsdHeader& header = document.header();
  // With PSD_LAB the caller asked for the Lab values themselves.
  const bool to_rgb = (flags & PSD_LAB) == 0;
  if (header.mode == kModeLab && header.depth == 16 && to_rgb) {
    Status st = recolourLab16(document, image->get());
    if (!st.ok()) return st;
  }
  if (extraChannelCount(header) == 0) return Status();
  if (!firstExtraIsTransparency(header)) {
    if (!hasAlpha(image->get())) return Status();
    *image = withoutAlpha(image->get());
    return *image ? Status() : Status::ioError("the saved selection could not be removed");
  }
  if (header.mode == kModeGrey && !hasAlpha(image->get())) {
    Status st = addGreyTransparency(document, image);
    if (!st.ok()) return st;
  }
  if (header.mode == kModeRgb || header.mode == kModeGrey) removeWhiteMatte(image->get());
  return Status();
}

// Opens the document and checks its header: it must be readable and fit the
// memory limit.
Status openChecked(const std::string& path, PsdDocument* document) {
  library_ran = false;
  decode_note.clear();
  Status st = document->open(path);
  if (!st.ok()) return Status::withCode(st.code(), "cannot be decoded as a Photoshop document: " + st.message());
  const PsdHeader& header = document->header();
  const uint64_t limit = decodeMemoryLimit();
  if (limit != 0 && decodeMemoryNeed(header) > limit)
    return Status::unsupported("the document's size (" + std::to_string(header.width) + " x " +
                               std::to_string(header.height) + ") needs more memory than the limit of " +
                               describeBytes(limit) + " allows");
  return Status();
}

Status fromLayers(const PsdDocument& document, int flags, BitmapPtr* image,
                  const std::string& why = "the document holds no composite image (saved without maximum "
                                           "compatibility) and ") {
  LayerRendering r = renderLayers(document, flags, decodeMemoryLimit());
  if (!r.status.ok()) return Status::withCode(r.status.code(), why + r.status.message());
  decode_note = r.note;
  *image = std::move(r.image);
  return Status();
}

}  // namespace

uint64_t decodeMemoryNeed(const PsdHeader& header) {
  const uint64_t channels = header.channels > 4 ? static_cast<uint64_t>(header.channels) : 4;
  const uint64_t sample_bytes = header.depth > 8 ? static_cast<uint64_t>(header.depth) / 8 : 1;
  const uint64_t pixels = static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height);
  return 2 * pixels * channels * sample_bytes;
}

void setDecodeMemoryLimit(uint64_t bytes) { decodeMemoryLimit() = bytes; }

bool decoderLibraryRan() { return library_ran; }

void setLayersAlwaysDrawn(bool on) { always_draw_layers = on; }

bool layersAlwaysDrawn() { return always_draw_layers; }

const std::string& lastDecodeNote() { return decode_note; }

Status decodeLayers(const std::string& path, int flags, BitmapPtr* image) {
  image->reset();
  PsdDocument document;
  Status st = openChecked(path, &document);
  if (!st.ok()) return st;
  const PsdHeader& header = document.header();
  if (header.has_version_info && !header.has_real_merged_data) return fromLayers(document, flags, image);
  return fromLayers(document, flags, image, "its layers cannot be drawn: ");
}

Status decodeDocument(const std::string& path, int flags, BitmapPtr* image) {
  image->reset();
  PsdDocument document;
  Status st = openChecked(path, &document);
  if (!st.ok()) return st;
  const PsdHeader& header = document.header();
  if (header.has_version_info && !header.has_real_merged_data) return fromLayers(document, flags, image);
  if (always_draw_layers && header.layer_count != 0 && layersDrawable(header))
    return fromLayers(document, flags, image, "its layers cannot be drawn: ");
  // The library parses the resources even when the reader decodes the
  // pixels, and reads past damaged EXIF data.
  if (!header.library_fault.ok())
    return Status::corrupt("cannot be decoded as a Photoshop document: " + header.library_fault.message());
  library_ran = true;  // The library reads the header even when the reader decodes the pixels.
  CompositeReading read = readComposite(document, flags, idleCores());
  // A document of the reader's kinds that it cannot read is damaged, and the
  // library's decoder is never shown it: it reads and writes past its
  // buffers on rows that do not expand to a row.
  if (read.outcome == CompositeOutcome::kFailed)
    return Status::withCode(read.status.code(), "cannot be decoded as a Photoshop document: " + read.status.message());
  BitmapPtr decoded = std::move(read.image);
  // The kinds the reader declines the library decodes from the same bytes, as it decodes the file.
  if (read.outcome == CompositeOutcome::kDeclined) decoded = LibraryStream(document.file()).load(flags);
  if (!decoded) return Status::corrupt("cannot be decoded as a Photoshop document");
  // Kept as separated CMYK the inks would be written as blue, green, red
  // and alpha; the stages and the PNG writer need RGB.
  if ((flags & PSD_CMYK) != 0 && header.mode == kModeCmyk) {
    decoded = cmykToRgb(std::move(decoded));
    if (!decoded) return Status::ioError("the CMYK image could not be converted to RGB");
  }
  st = asPhotoshopShowsIt(document, flags, &decoded);
  if (st.ok()) *image = std::move(decoded);
  return st;
}

}  // namespace pixolune
