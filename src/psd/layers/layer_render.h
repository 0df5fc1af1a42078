// A document's picture made from its layers, for documents saved without a
// composite (and, on request, instead of the stored composite).
#ifndef PIXOLUNE_PSD_LAYERS_LAYER_RENDER_H_
#define PIXOLUNE_PSD_LAYERS_LAYER_RENDER_H_

#include <FreeImage.h>

#include <cstdint>
#include <string>

#include "psd/layers/layer_records.h"
#include "psd/psd_header.h"

#include "image/bitmap.h"
#include "platform/status.h"

namespace pixolune {

class PsdDocument;

/// Result of a rendering: the bitmap, or null with a failed status that says
/// why (kCorrupt when the layers' bytes break the format, naming where;
/// kUnsupported otherwise); `note` names what the rendering left out
/// (effects, kinds of adjustment it cannot draw), or is empty.
struct LayerRendering {
  Status status;
  BitmapPtr image;  // Only when status is ok.
  std::string note;
  std::string colour;  // CMYK and Lab: how the colours became sRGB.
  bool nothing_shows = false;  // renderLayerSet with crop: the failure is that no pixel shows.
};

/// Merges the visible layers of the document into a bitmap of the
/// kind the decoder gives for a stored composite of the same document:
/// - RGB and greyscale at their depth (8, 16, or 32 as floating point),
///   with alpha when any pixel is not opaque, colour not blended with white;
///   duotone as greyscale, as the decoder reads it;
/// - CMYK and Lab converted to sRGB through the document's profile, as a
///   stored composite is (see colourConversionFor), at the document's depth,
///   with alpha when any pixel is not opaque.
/// Fails (null image, with the reason) for documents without layers, for
/// other colour modes, for 32 bits outside RGB and greyscale, when the
/// layers cannot be read, and when the canvas would need more than
/// `memory_limit` bytes (0: no limit). Holds no shared state.
LayerRendering renderLayers(const PsdDocument& document, uint64_t memory_limit);

/// renderLayers for a set of records other than the document's own (a
/// piece of an export, see layer_export.h), merged on a transparent canvas
/// of the document's size. With `crop` the picture is cut to the pixels that
/// are not fully transparent; *shown gets their place on the canvas (the
/// whole canvas without `crop`). A set of which nothing shows fails
/// (kUnsupported, "nothing of it shows on the canvas").
LayerRendering renderLayerSet(const PsdDocument& document, const LayerSet& set, uint64_t memory_limit, bool crop,
                              LayerRect* shown);

/// True when renderLayers draws documents of this colour mode and depth.
bool layersDrawable(const PsdHeader& header);

/// Bytes renderLayers is expected to need for a document of this header:
/// its float canvas twice (the document and one group), the planes of one
/// layer as large as the document, and the bitmap it returns.
uint64_t layerRenderMemoryNeed(const PsdHeader& header);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_LAYER_RENDER_H_
