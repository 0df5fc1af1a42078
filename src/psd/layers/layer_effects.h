// Layer effects are not drawn; this names the ones a document uses, so the
// debug output can say what the rendering leaves out.
#ifndef PIXOLUNE_PSD_LAYERS_LAYER_EFFECTS_H_
#define PIXOLUNE_PSD_LAYERS_LAYER_EFFECTS_H_

#include <set>
#include <string>

#include "psd/layers/layer_records.h"

namespace pixolune {

/// Adds to *names the enabled effects of the layer ("drop shadow",
/// "stroke", ...), read from its "lfx2", "lmfx" or older "lrFX" block;
/// effects switched off, or all of them when the layer's effects are
/// hidden, are not named.
void noteEffects(const LayerRecord& layer, std::set<std::string>* names);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_LAYER_EFFECTS_H_
