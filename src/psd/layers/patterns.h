// Patterns: the pictures that pattern fill layers and pattern overlays
// tile, kept once per document in the "Patt", "Pat2" or "Pat3" blocks and
// named by id from the layers that use them.
#ifndef PIXOLUNE_PSD_LAYERS_PATTERNS_H_
#define PIXOLUNE_PSD_LAYERS_PATTERNS_H_

#include <string>
#include <vector>

#include "psd/layers/layer_canvas.h"
#include "psd/layers/layer_records.h"
#include "platform/status.h"

namespace pixolune {

/// One pattern: `colours` colour samples (1 grey, 3 RGB, 4 CMYK as stored,
/// 1.0 meaning no ink) and one alpha per pixel, all 0..1, row by row, as in
/// a Canvas. Indexed patterns are read through their table as RGB.
struct Pattern {
  std::string id, name;
  int width = 0, height = 0;
  int colours = 3;
  std::vector<float> px;
};

/// Reads every pattern of the document's pattern blocks ("Patt", "Pat2",
/// "Pat3"), among the global blocks after the layers and, as some files
/// keep them, among the layers' own blocks, into *out (cleared first).
/// Every length is checked against its block: a pattern that is damaged,
/// of a mode or depth this reader does not take (bitmap, Lab, duotone,
/// multichannel) is skipped, and its block's walk goes on from the length
/// the pattern gives itself while it stays inside the block. Fails with
/// kCorrupt only when a block cannot be walked at all; the patterns read
/// before stay in *out.
Status readPatterns(const LayerSet& set, std::vector<Pattern>* out);

/// True when a layer of the set draws from the document's patterns: a
/// pattern fill without pixels of its own. (Documents often carry pattern
/// libraries no layer uses; they are then not decoded.)
bool drawsPatterns(const LayerSet& set);

/// The first pattern with this id, or null.
const Pattern* findPattern(const std::vector<Pattern>& patterns, const std::string& id);

/// A pattern tiled over the whole document in a canvas of `colours`
/// colours: the tiles start at the document's origin moved by the phase
/// (in document pixels), drawn at `scale` (1.0: one pattern pixel per
/// document pixel; other scales sample the pattern bilinearly, wrapping at
/// its edges). With `linear` (32-bit documents) the colours, given for the
/// screen, are taken to linear light with gamma 2.2. The source keeps a
/// copy of the pattern's pixels in the canvas's colours.
class PatternSource : public PixelSource {
 public:
  PatternSource(const Pattern& pattern, int colours, double scale, double phase_x, double phase_y,
                bool linear = false);
  LayerRect bounds() const override;
  void row(int x, int y, int n, const Canvas& target, float* out) const override;

 private:
  int colours_, width_, height_;
  double scale_, phase_x_, phase_y_;
  std::vector<float> px_;  // colours_ + 1 per pixel.
};

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_PATTERNS_H_
