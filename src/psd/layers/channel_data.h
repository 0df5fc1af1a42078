// Pixels of one layer channel: raw, PackBits, ZIP, or ZIP with prediction.
#ifndef PIXOLUNE_PSD_LAYERS_CHANNEL_DATA_H_
#define PIXOLUNE_PSD_LAYERS_CHANNEL_DATA_H_

#include <cstdint>
#include <vector>

#include "psd/layers/layer_records.h"
#include "psd/psd_file.h"

namespace pixolune {

/// One decoded channel: width * height samples, row by row, top row first.
/// 8-bit channels fill `bytes`, 16-bit channels `words`, 32-bit channels
/// (floating point, 1.0 full) `floats`.
struct ChannelPlane {
  int width = 0;
  int height = 0;
  int depth = 8;
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> words;
  std::vector<float> floats;
  bool empty() const { return width == 0 || height == 0; }
  /// The sample at (x, y) on the 0..1 scale. REQUIRES: inside the plane.
  float at(int x, int y) const {
    const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
    return depth == 8 ? bytes[i] * (1.0f / 255.0f) : depth == 16 ? words[i] * (1.0f / 65535.0f) : floats[i];
  }
};

/// Decodes the part `keep` (relative to the channel's own width x height
/// rectangle) of channel `ch`, with `depth` bits per sample (8, 16 or 32), into
/// *plane, which then covers keep's intersection with the rectangle; rows
/// and columns outside it are skipped, or decoded and dropped. Fails with
/// kCorrupt when the data does not make the rectangle's samples (short
/// data, overlong or malformed PackBits rows, malformed or short ZIP data
/// up to the last kept row), kUnsupported for an unknown depth. An empty
/// rectangle or part gives an empty plane. `version` is the document's (2:
/// large document format, 4-byte PackBits row counts). *plane keeps its
/// buffers' memory for the next call.
Status readChannelPlane(PsdFile& in, const LayerChannel& ch, int width, int height, int depth, int version,
                            const LayerRect& keep, ChannelPlane* plane);


}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_CHANNEL_DATA_H_
