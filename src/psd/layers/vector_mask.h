// Vector masks ("vmsk", "vsms") drawn with cairo, for layers whose file
// holds no rendering of them (shape layers saved without one).
#ifndef PIXOLUNE_PSD_LAYERS_VECTOR_MASK_H_
#define PIXOLUNE_PSD_LAYERS_VECTOR_MASK_H_

#include "psd/layers/layer_canvas.h"
#include "psd/layers/layer_records.h"

namespace pixolune {

/// Fills the layer's vector mask path, anti-aliased, into an 8-bit mask
/// over the document (width x height): 1 inside, 0 outside, inverted when
/// the mask says so. Returns false, leaving *out alone, when the layer has
/// no vector mask, it is switched off, or its path records are malformed.
bool drawVectorMask(const LayerRecord& layer, int width, int height, PlaneMask* out);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_VECTOR_MASK_H_
