// Decoding of one input document into a FreeImage bitmap.
#ifndef PIXOLUNE_RUN_DECODE_H_
#define PIXOLUNE_RUN_DECODE_H_

#include <FreeImage.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "platform/status.h"

namespace pixolune {

struct PsdHeader;
struct ExportOptions;
struct ExportPiece;
struct LayerRect;

/// What decoding made of a document's colours.
struct DecodedColour {
  /// The ICC profile the picture's colours are in, which the bitmap also
  /// carries: an RGB document's RGB profile, a grey document's grey one,
  /// the profile a 32-bit document's samples were encoded for (see
  /// encodeLinear); empty for sRGB (CMYK and Lab come made sRGB).
  std::string profile;
  /// How the colours were made ("CMYK through embedded 'U.S. Web Coated
  /// (SWOP) v2' to sRGB", "32-bit linear samples encoded with the sRGB
  /// curve"), or empty when they are used as stored.
  std::string note;
  /// A greyscale document: the picture is grey, or grey with transparency
  /// as colour with alpha whose pixels are neutral.
  bool grey = false;
};

/// Decodes the file at path as a Photoshop document, whatever its extension,
/// with the given FreeImage load flags, and returns the composite as
/// Photoshop shows it: an extra channel that is a saved selection is dropped
/// (the image stays at its depth, opaque), the transparency of greyscale
/// composites is kept, and composites with transparency lose the white they
/// are stored over. CMYK and Lab documents come converted to sRGB through
/// their profile (whatever PSD_CMYK and PSD_LAB in `flags` say: PNG holds
/// neither), 32-bit documents encoded for display at 16 bits a sample (see
/// DecodedColour, which *colour gets when given). *image gets the bitmap;
/// it stays null, and the status says why, when the file's header is
/// truncated or inconsistent (kCorrupt, or kNotFound/kIoError for a file that
/// cannot be read), when
/// the document holds no real composite (saved without maximum
/// compatibility) and its layers cannot be read or drawn (such a document
/// is otherwise drawn from its layers, see decodeLayers), when its size needs more memory than the decode memory
/// limit allows (checked before any pixel is read; kUnsupported) or when it
/// cannot be decoded (kCorrupt). A document of the kinds our own readers
/// read (the composite reader's, see composite_reader.h, and the layers of
/// one without a composite) that they find damaged fails with kCorrupt and
/// their reason ("... composite image: row 12 of channel 2 does not expand
/// to a row"); FreeImage's decoder only decodes the other kinds. Opens the
/// file once (see PsdDocument): our own header reader checks it before
/// FreeImage sees it, and every reader, FreeImage's too, reads the same
/// mapped bytes. Holds no shared state.
Status decodeDocument(const std::string& path, int flags, BitmapPtr* image, DecodedColour* colour = nullptr);

/// Decodes the document from its layers alone, ignoring any stored
/// composite, as decodeDocument does for documents saved without one.
/// *image gets the bitmap, or stays null and the status says why (header,
/// memory limit, or layers that cannot be read or drawn). Holds no shared state
/// beyond lastDecodeNote.
Status decodeLayers(const std::string& path, BitmapPtr* image, DecodedColour* colour = nullptr);

/// The pieces an export with `options` makes of the document at `path`
/// (see listExportPieces), bottom first. Fails as decodeLayers does when
/// the document cannot be opened or its layer records cannot be read, and
/// with kUnsupported when it has no piece to give ("it has no visible
/// layers to export"). *width and *height, when given, get the canvas size.
Status listDocumentPieces(const std::string& path, const ExportOptions& options, std::vector<ExportPiece>* pieces,
                          int* width = nullptr, int* height = nullptr);

/// Decodes piece number `number` (0 from the bottom) of the document's
/// export with `options`: its layers drawn alone, cut to what shows unless
/// options.canvas_bounds, finished as decodeLayers finishes a document.
/// *shown gets the picture's place on the canvas, *piece what the piece is;
/// *nothing_shows is true when it failed because no pixel of it shows
/// (cut to what shows, there is no picture to write).
Status decodePiece(const std::string& path, const ExportOptions& options, int number, BitmapPtr* image,
                   DecodedColour* colour, ExportPiece* piece, LayerRect* shown, bool* nothing_shows);

/// When set, decodeDocument draws every document that has layers from
/// them and ignores its stored composite (for measuring the drawing);
/// documents without layers still give their composite. Process-wide, off
/// at start; set it before decoding starts.
void setLayersAlwaysDrawn(bool on);
bool layersAlwaysDrawn();

/// What the last decode on this thread left out when it drew the layers
/// ("drawn from its layers without drop shadow, stroke"), or empty.
const std::string& lastDecodeNote();

/// True when the last decodeDocument call on this thread got past our own
/// checks and handed the file to FreeImage's decoder.
bool decoderLibraryRan();

/// Bytes decoding and converting a document of this header is expected to
/// need: its pixels at the decoded sample size (at least four channels of at
/// least 8 bits), twice (a stage's new bitmap while the old one lives).
uint64_t decodeMemoryNeed(const PsdHeader& header);

/// The memory a document may claim before decodeDocument refuses it
/// unread (0: no limit). Starts at half the machine's memory; a conversion
/// helper sets its own cap. Process-wide; set it before decoding starts.
void setDecodeMemoryLimit(uint64_t bytes);

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_DECODE_H_
