#include "run/decode.h"

#include "image/bitmap.h"
#include "image/colour_management.h"
#include "psd/composite.h"
#include "psd/composite_reader.h"
#include "platform/cores.h"
#include "psd/layers/layer_export.h"
#include "psd/layers/layer_records.h"
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

// A CMYK document the reader leaves to the library (ZIP-compressed, say),
// read by it as separated CMYK (inks as stored, full ink at the top of the
// range), made sRGB through the document's profile.
Status separatedCmykToSrgb(const PsdDocument& document, BitmapPtr* image, std::string* note) {
  FIBITMAP* cmyk = image->get();
  const bool wide = FreeImage_GetImageType(cmyk) == FIT_RGBA16;
  if (!wide && !(FreeImage_GetImageType(cmyk) == FIT_BITMAP && FreeImage_GetBPP(cmyk) == 32))
    return Status::unsupported("the image library read the CMYK image in a form that cannot be converted");
  SrgbConversion conversion;
  Status st = SrgbConversion::create(StoredColour::kCmykInk, wide ? 16 : 8,
                                     readIccProfile(document.file(), document.header()), 3, &conversion);
  if (!st.ok()) return st;
  const unsigned width = FreeImage_GetWidth(cmyk), height = FreeImage_GetHeight(cmyk);
  BitmapPtr rgb(FreeImage_AllocateT(wide ? FIT_RGB16 : FIT_BITMAP, static_cast<int>(width), static_cast<int>(height),
                                    wide ? 48 : 24));
  if (!rgb) return Status::ioError("the CMYK image could not be converted: not enough memory");
  FreeImage_SetDotsPerMeterX(rgb.get(), FreeImage_GetDotsPerMeterX(cmyk));
  FreeImage_SetDotsPerMeterY(rgb.get(), FreeImage_GetDotsPerMeterY(cmyk));
  for (unsigned y = 0; y < height; ++y)
    conversion.convert(FreeImage_GetScanLine(cmyk, static_cast<int>(y)), FreeImage_GetScanLine(rgb.get(), static_cast<int>(y)),
                       width);
  *image = std::move(rgb);
  *note = conversion.description();
  return Status();
}

// Makes the decoded composite what Photoshop shows: a saved selection is not
// transparency, and a transparent composite loses the white it was stored over.
Status asPhotoshopShowsIt(const PsdDocument& document, BitmapPtr* image) {
  const PsdHeader& header = document.header();
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
  // CMYK and Lab come made sRGB, with their transparency.
  if (header.mode == kModeRgb || header.mode == kModeGrey || header.mode == kModeCmyk || header.mode == kModeLab)
    removeWhiteMatte(image->get());
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

Status fromLayers(const PsdDocument& document, BitmapPtr* image, std::string* colour_note,
                  const std::string& why = "the document holds no composite image (saved without maximum "
                                           "compatibility) and ") {
  LayerRendering r = renderLayers(document, decodeMemoryLimit());
  if (!r.status.ok()) return Status::withCode(r.status.code(), why + r.status.message());
  decode_note = r.note;
  *colour_note = r.colour;
  *image = std::move(r.image);
  return Status();
}

// The profile a picture of this document keeps: an RGB document's RGB
// profile, a grey one's grey profile. CMYK and Lab come made sRGB.
std::string keptProfile(const PsdDocument& document) {
  const int mode = document.header().mode;
  std::string icc = readIccProfile(document.file(), document.header());
  const ProfileSpace space = profileSpace(icc);
  const bool fits = ((mode == kModeRgb || mode == kModeIndexed) && space == ProfileSpace::kRgb) ||
                    (mode == kModeGrey && space == ProfileSpace::kGrey);
  return fits ? icc : std::string();
}

// The last step of every decode: a 32-bit document's linear samples are
// encoded for display, and the picture carries the profile its colours are
// in, which *colour records.
Status finishColour(const PsdDocument& document, BitmapPtr* image, DecodedColour* colour) {
  colour->profile = keptProfile(document);
  colour->grey = document.header().mode == kModeGrey;
  std::string encoded;
  *image = encodeLinear(std::move(*image), &colour->profile, &encoded);
  if (!*image) return Status::ioError("the 32-bit samples could not be encoded: not enough memory");
  if (!encoded.empty()) colour->note = encoded;
  if (!setBitmapProfile(image->get(), colour->profile)) return Status::ioError("the colour profile could not be kept");
  return Status();
}

// Draws the document from its layers and finishes the picture's colours.
Status layersFinished(const PsdDocument& document, BitmapPtr* image, DecodedColour* colour,
                      const std::string& why) {
  std::string note;
  Status st = why.empty() ? fromLayers(document, image, &note) : fromLayers(document, image, &note, why);
  if (!st.ok()) return st;
  st = finishColour(document, image, colour);
  if (colour->note.empty()) colour->note = note;
  return st;
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

Status decodeLayers(const std::string& path, BitmapPtr* image, DecodedColour* colour) {
  image->reset();
  DecodedColour ignored;
  if (!colour) colour = &ignored;
  *colour = DecodedColour();
  PsdDocument document;
  Status st = openChecked(path, &document);
  if (!st.ok()) return st;
  const PsdHeader& header = document.header();
  if (header.has_version_info && !header.has_real_merged_data) return layersFinished(document, image, colour, "");
  return layersFinished(document, image, colour, "its layers cannot be drawn: ");
}

namespace {

// The document's export pieces; *set and *comps get what they were found in.
Status piecesOf(const PsdDocument& document, const ExportOptions& options, LayerSet* set,
                std::vector<LayerComp>* comps, std::vector<ExportPiece>* pieces) {
  const PsdHeader& header = document.header();
  if (!layersDrawable(header))
    return Status::unsupported("its layers cannot be exported: this program does not draw the layers of " +
                               std::to_string(header.depth) + "-bit documents of this colour mode");
  Status st = readLayerRecords(document, set);
  if (!st.ok()) return Status::withCode(st.code(), "its layers cannot be read: " + st.message());
  *comps = readLayerComps(document);
  *pieces = listExportPieces(*set, *comps, options);
  if (pieces->empty()) {
    const char* what = options.kind == kExportGroups ? "groups" : options.kind == kExportComps ? "layer comps" : "layers";
    const bool layers = options.kind != kExportComps && !options.hidden;
    return Status::unsupported(std::string("it has no ") + (layers ? "visible " : "") + what + " to export" +
                               (options.kind == kExportGroups && options.depth > 1
                                    ? " at depth " + std::to_string(options.depth)
                                    : std::string()));
  }
  return Status();
}

}  // namespace

Status listDocumentPieces(const std::string& path, const ExportOptions& options, std::vector<ExportPiece>* pieces,
                          int* width, int* height) {
  pieces->clear();
  PsdDocument document;
  Status st = openChecked(path, &document);
  if (!st.ok()) return st;
  if (width) *width = document.header().width;
  if (height) *height = document.header().height;
  LayerSet set;
  std::vector<LayerComp> comps;
  return piecesOf(document, options, &set, &comps, pieces);
}

Status decodePiece(const std::string& path, const ExportOptions& options, int number, BitmapPtr* image,
                   DecodedColour* colour, ExportPiece* piece, LayerRect* shown, bool* nothing_shows) {
  image->reset();
  *nothing_shows = false;
  *colour = DecodedColour();
  PsdDocument document;
  Status st = openChecked(path, &document);
  if (!st.ok()) return st;
  LayerSet set;
  std::vector<LayerComp> comps;
  std::vector<ExportPiece> pieces;
  if (!(st = piecesOf(document, options, &set, &comps, &pieces)).ok()) return st;
  if (number < 0 || static_cast<size_t>(number) >= pieces.size())
    return Status::invalid("it no longer holds piece " + std::to_string(number + 1) + " of its export");
  *piece = pieces[static_cast<size_t>(number)];
  LayerRendering r = renderLayerSet(document, pieceLayers(set, *piece, comps, options), decodeMemoryLimit(),
                                    !options.canvas_bounds, shown);
  *nothing_shows = r.nothing_shows;
  if (!r.status.ok()) return r.status;
  decode_note = r.note;
  *image = std::move(r.image);
  st = finishColour(document, image, colour);
  if (colour->note.empty()) colour->note = r.colour;
  return st;
}

Status decodeDocument(const std::string& path, int flags, BitmapPtr* image, DecodedColour* colour) {
  image->reset();
  DecodedColour ignored;
  if (!colour) colour = &ignored;
  *colour = DecodedColour();
  PsdDocument document;
  Status st = openChecked(path, &document);
  if (!st.ok()) return st;
  const PsdHeader& header = document.header();
  if (header.has_version_info && !header.has_real_merged_data) return layersFinished(document, image, colour, "");
  if (always_draw_layers && header.layer_count != 0 && layersDrawable(header))
    return layersFinished(document, image, colour, "its layers cannot be drawn: ");
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
  std::string note = read.colour;
  // The kinds the reader declines the library decodes from the same bytes,
  // as it decodes the file: CMYK kept separated, to be made sRGB through the
  // document's profile here; Lab by the library's own formula. PNG holds
  // neither CMYK nor Lab, so the colour-model flags do not keep them.
  const bool cmyk = header.mode == kModeCmyk;
  if (read.outcome == CompositeOutcome::kDeclined) {
    decoded = LibraryStream(document.file()).load((flags & ~(PSD_CMYK | PSD_LAB)) | (cmyk ? PSD_CMYK : 0));
    if (decoded && cmyk) {
      st = separatedCmykToSrgb(document, &decoded, &note);
      if (!st.ok()) return st;
    } else if (decoded && header.mode == kModeLab) {
      note = "Lab by the image library's formula to sRGB";
    }
  }
  if (!decoded) return Status::corrupt("cannot be decoded as a Photoshop document");
  st = asPhotoshopShowsIt(document, &decoded);
  if (st.ok()) st = finishColour(document, &decoded, colour);
  if (!st.ok()) return st;
  if (colour->note.empty()) colour->note = note;
  *image = std::move(decoded);
  return st;
}

}  // namespace pixolune
