#include "engine/decode.h"

#include "engine/bitmap.h"
#include "engine/composite.h"
#include "engine/layers/layer_render.h"
#include "engine/pixel_form.h"
#include "engine/psd_header.h"
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

void setReason(std::string* reason, const std::string& text) {
  if (reason) *reason = text;
}

// The decoder drops the transparency of greyscale composites; it is the
// first extra channel of the file, so it is read from there.
FIBITMAP* addGreyTransparency(const std::string& path, const PsdHeader& header, BitmapPtr image,
                              std::string* reason) {
  std::vector<uint8_t> plane;
  Status st = readCompositePlane(path, header, colourChannelCount(header.mode), &plane);
  if (!st.ok()) {
    setReason(reason, st.message());
    return nullptr;
  }
  FIBITMAP* merged = greyWithAlpha(image.get(), plane, header.depth);
  if (!merged) setReason(reason, "the transparency of the greyscale image could not be added");
  return merged;
}

// The decoder spreads the a and b channels of 16-bit Lab over -128..128
// rather than the -127.5..127.5 of the 8-bit scale they encode, which shifts
// saturated colours at the edge of the gamut (a red's green channel comes out
// 6 instead of 9..15), so the colours are computed again from the document's
// own planes. A ZIP-compressed composite keeps the decoder's colours.
bool recolourLab16(const std::string& path, const PsdHeader& header, FIBITMAP* image, std::string* reason) {
  std::vector<uint8_t> planes[3];
  for (int c = 0; c < 3; ++c) {
    Status st = readCompositePlane(path, header, c, &planes[c]);
    if (st.code() == Status::Code::kUnsupported) return true;
    if (!st.ok()) {
      setReason(reason, st.message());
      return false;
    }
  }
  if (!setLab16Colours(image, planes[0], planes[1], planes[2])) {
    setReason(reason, "the colours of the Lab image could not be converted");
    return false;
  }
  return true;
}

// Makes the decoded composite what Photoshop shows: a saved selection is not
// transparency, and a transparent composite loses the white it was stored over.
FIBITMAP* asPhotoshopShowsIt(const std::string& path, const PsdHeader& header, int flags, BitmapPtr image,
                             std::string* reason) {
  // With PSD_LAB the caller asked for the Lab values themselves.
  const bool to_rgb = (flags & PSD_LAB) == 0;
  if (header.mode == kModeLab && header.depth == 16 && to_rgb && !recolourLab16(path, header, image.get(), reason))
    return nullptr;
  if (extraChannelCount(header) == 0) return image.release();
  if (!firstExtraIsTransparency(header)) {
    if (!hasAlpha(image.get())) return image.release();
    FIBITMAP* opaque = withoutAlpha(image.get());
    if (!opaque) setReason(reason, "the saved selection could not be removed");
    return opaque;
  }
  if (header.mode == kModeGrey && !hasAlpha(image.get())) {
    image.reset(addGreyTransparency(path, header, std::move(image), reason));
    if (!image) return nullptr;
  }
  if (header.mode == kModeRgb || header.mode == kModeGrey) removeWhiteMatte(image.get());
  return image.release();
}

// Reads and checks the header: false, with the reason, when the document
// is unreadable or too large for the memory limit.
bool checkedHeader(const std::string& path, PsdHeader* header, std::string* reason) {
  library_ran = false;
  decode_note.clear();
  Status st = readPsdHeader(path, header);
  if (!st.ok()) {
    setReason(reason, "cannot be decoded as a Photoshop document: " + st.message());
    return false;
  }
  const uint64_t limit = decodeMemoryLimit();
  if (limit != 0 && decodeMemoryNeed(*header) > limit) {
    setReason(reason, "the document's size (" + std::to_string(header->width) + " x " +
                          std::to_string(header->height) + ") needs more memory than the limit of " +
                          describeBytes(limit) + " allows");
    return false;
  }
  return true;
}

FIBITMAP* fromLayers(const std::string& path, const PsdHeader& header, int flags, std::string* reason,
                     const std::string& why = "the document holds no composite image (saved without maximum "
                                              "compatibility) and ") {
  LayerRendering r = renderLayers(path, header, flags, decodeMemoryLimit());
  if (!r.image) {
    setReason(reason, why + r.reason);
    return nullptr;
  }
  decode_note = r.note;
  return r.image;
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

FIBITMAP* decodeLayers(const std::string& path, int flags, std::string* reason) {
  PsdHeader header;
  if (!checkedHeader(path, &header, reason)) return nullptr;
  if (header.has_version_info && !header.has_real_merged_data) return fromLayers(path, header, flags, reason);
  return fromLayers(path, header, flags, reason, "its layers cannot be drawn: ");
}

FIBITMAP* decodeDocument(const std::string& path, int flags, std::string* reason) {
  PsdHeader header;
  if (!checkedHeader(path, &header, reason)) return nullptr;
  if (header.has_version_info && !header.has_real_merged_data) return fromLayers(path, header, flags, reason);
  if (always_draw_layers && header.layer_count != 0 && layersDrawable(header))
    return fromLayers(path, header, flags, reason, "its layers cannot be drawn: ");
  library_ran = true;
  BitmapPtr image(FreeImage_Load(FIF_PSD, path.c_str(), flags));
  if (!image) {
    setReason(reason, "cannot be decoded as a Photoshop document");
    return nullptr;
  }
  // Kept as separated CMYK the inks would be written as blue, green, red
  // and alpha; the stages and the PNG writer need RGB.
  if ((flags & PSD_CMYK) != 0 && header.mode == kModeCmyk) {
    image = cmykToRgb(std::move(image));
    if (!image) {
      setReason(reason, "the CMYK image could not be converted to RGB");
      return nullptr;
    }
  }
  return asPhotoshopShowsIt(path, header, flags, std::move(image), reason);
}

}  // namespace pixolune
