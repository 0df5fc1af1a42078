// Adjustment layers (which recolour what lies below them) and fill layers
// (which paint a colour, gradient or pattern), as sources for the canvas.
#ifndef PIXOLUNE_PSD_LAYERS_ADJUSTMENTS_H_
#define PIXOLUNE_PSD_LAYERS_ADJUSTMENTS_H_

#include <memory>
#include <string>

#include "psd/layers/layer_canvas.h"
#include "psd/layers/layer_records.h"
#include "psd/layers/patterns.h"

namespace pixolune {

struct AdjustmentSource {
  std::unique_ptr<PixelSource> source;  // Null: the layer is an ordinary pixel layer.
  bool adjusts = false;                 // True: it recolours the canvas and keeps its alpha.
};

/// The source of an adjustment or fill layer for a canvas of `colours`
/// colour channels (1 grey, 3 RGB, 4 CMYK as stored) over `document`; a
/// fill layer that stores its own pixels is drawn from them (null source);
/// `linear`: the canvas holds linear light (see makeFillSource); `patterns`:
/// the document's, for pattern fills (none: they are left out).
/// A kind this program
/// cannot draw gives a null source and its name in *left_out (as "selective
/// colour adjustment"); an ordinary layer gives a null source and leaves
/// *left_out alone. Pure function of the layer's blocks.
AdjustmentSource makeAdjustmentSource(const LayerRecord& layer, int colours, const LayerRect& document,
                                      std::string* left_out, bool linear = false,
                                      const std::vector<Pattern>* patterns = nullptr);

/// True for the layers that draw without pixels of their own: adjustment
/// and fill layers of every kind, drawable or not.
bool drawsWithoutPixels(const LayerRecord& layer);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_ADJUSTMENTS_H_
