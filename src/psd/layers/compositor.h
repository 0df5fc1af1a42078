// Draws a document's layers onto one canvas as Photoshop merges them:
// visibility, opacity and fill, pixel and vector masks, clipping groups,
// groups with their own blend mode, opacity and mask, and pass-through.
#ifndef PIXOLUNE_PSD_LAYERS_COMPOSITOR_H_
#define PIXOLUNE_PSD_LAYERS_COMPOSITOR_H_

#include <cstdint>
#include <set>
#include <string>

#include "psd/layers/layer_canvas.h"
#include "psd/layers/layer_records.h"
#include "psd/psd_file.h"

namespace pixolune {

/// What a merge had to leave out, for the debug output.
struct MergeNotes {
  std::set<std::string> left_out;  // "drop shadow", "adjustment selective colour", ...
};

/// What a merge may use beyond the canvas it draws on.
struct MergeBudget {
  uint64_t layer_samples = UINT64_MAX;  // Samples of any one layer's planes.
  uint64_t canvas_bytes = UINT64_MAX;   // Bytes of the further canvases alive at once (groups, backdrops).
  int threads = 1;                      // That may read and draw one layer at once (the result is the same).
};

/// Merges the visible layers of `set`, read from `in`, onto *canvas (which
/// covers the document and starts transparent). Fails with the reader's
/// status when a layer's channel data cannot be read (kCorrupt,
/// kUnsupported), or kUnsupported when a layer or the nesting of groups
/// needs more than the budget; what was drawn so far is then unspecified.
/// Holds no shared state.
Status mergeLayers(PsdFile& in, const PsdHeader& header, const LayerSet& set, const MergeBudget& budget,
                       Canvas* canvas, MergeNotes* notes);

/// True when the layers of `set` can be merged band by band: their channels
/// are raw or PackBits (whose rows are read where they lie) and no vector
/// mask has to be drawn from its path.
bool mergeableInBands(PsdFile& in, const LayerSet& set);

/// Where a merge in bands puts its bands.
class BandSink {
 public:
  virtual ~BandSink() = default;
  /// Called once before the first band; `opaque` is true when the layers
  /// are known to cover every pixel fully. False: no memory for the result.
  virtual bool begin(bool opaque) = 0;
  /// A drawn band (its canvas's area is the band). Called from several
  /// threads at once, for different bands, in no set order.
  virtual void take(const Canvas& band) = 0;
};

/// Merges as mergeLayers does, in bands of `band_rows` rows across the
/// document, each drawn on a canvas of `colours` colours and handed to
/// `sink`; up to budget.threads bands are drawn at once. The pixels are
/// those mergeLayers draws. On failure (the status of the first band that
/// failed) not every band was taken.
/// REQUIRES: mergeableInBands(in, set).
Status mergeLayerBands(PsdFile& in, const PsdHeader& header, const LayerSet& set, const MergeBudget& budget,
                       int colours, int band_rows, BandSink* sink, MergeNotes* notes);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_COMPOSITOR_H_
