// The layer records of a Photoshop document: where each layer sits, how it
// blends, its masks and the additional information blocks that make it a
// group, a fill or an adjustment. Channel pixels are read separately
// (channel_data.h), one layer at a time, so a document is never held whole.
#ifndef PIXOLUNE_PSD_LAYERS_LAYER_RECORDS_H_
#define PIXOLUNE_PSD_LAYERS_LAYER_RECORDS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "psd/psd_header.h"

namespace pixolune {

class PsdDocument;
struct DescValue;

/// A rectangle in document pixels; right and bottom are exclusive.
struct LayerRect {
  int top = 0, left = 0, bottom = 0, right = 0;
  int width() const { return right > left ? right - left : 0; }
  int height() const { return bottom > top ? bottom - top : 0; }
  bool empty() const { return width() == 0 || height() == 0; }
  bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const LayerRect&) const = default;
};

/// The intersection of two rectangles (empty when they do not meet).
inline LayerRect intersect(const LayerRect& a, const LayerRect& b) {
  const LayerRect r{a.top > b.top ? a.top : b.top, a.left > b.left ? a.left : b.left,
                    a.bottom < b.bottom ? a.bottom : b.bottom, a.right < b.right ? a.right : b.right};
  return r.empty() ? LayerRect() : r;
}

/// Channel identifiers of layer channels beyond the colour channels.
enum LayerChannelId : int {
  kChannelTransparency = -1,
  kChannelUserMask = -2,
  kChannelRealUserMask = -3,
};

struct LayerChannel {
  int id = 0;               // 0.. colour channel, or a LayerChannelId.
  uint64_t offset = 0;      // File offset of its compression word.
  uint64_t length = 0;      // Bytes from the compression word on.
};

/// A pixel mask: outside its rectangle every sample is default_colour.
struct LayerMask {
  bool present = false;
  LayerRect rect;
  int default_colour = 0;   // 0 or 255.
  bool disabled = false;
  int density = 255;        // 255: the mask as stored; lower fades it towards white.
  int channel = 0;          // kChannelUserMask or kChannelRealUserMask.
};

/// One additional layer-information block, kept as raw bytes.
struct LayerBlock {
  std::string key;
  std::vector<uint8_t> data;
};

/// Kinds of section dividers ("lsct"): where groups begin and end.
enum class SectionKind { kNone, kOpenGroup, kClosedGroup, kGroupEnd };

struct LayerRecord {
  std::string name;
  LayerRect rect;
  std::vector<LayerChannel> channels;
  std::string blend_key = "norm";
  int opacity = 255;
  int fill_opacity = 255;       // From "iOpa".
  bool clipped = false;         // Clips to the nearest unclipped layer below.
  bool visible = true;
  bool transparency_shapes = true;  // "tsly"; false: effects knock out only through fill.
  int knockout = 0;             // "knko": 1 shallow (to its group's backdrop), 2 deep (to the background).
  LayerMask user_mask;          // The pixel mask the user painted.
  LayerMask vector_mask;        // The vector mask as Photoshop rasterised it.
  SectionKind section = SectionKind::kNone;
  std::string section_blend_key;    // A group's blend key from its divider, or empty.
  std::vector<uint8_t> blend_ranges;  // Blend-if ranges as stored: grey first, then per channel.
  std::vector<LayerBlock> blocks;
  /// Effects that replace the layer's own ("lfx2"): those a layer comp
  /// gives it. Null for the layers as stored.
  std::shared_ptr<const DescValue> comp_effects;

  /// The block with this key, or null.
  const LayerBlock* block(const char* key) const;
};

/// The layers of a document, bottom first, as they are stored.
struct LayerSet {
  std::vector<LayerRecord> layers;
  bool first_alpha_is_transparency = false;  // Negative layer count.
  std::vector<LayerBlock> global_blocks;     // Additional information after the layers ("Patt", ...).
};

/// Limits of the reader: beyond them a document is refused as corrupt.
constexpr int kMaxLayers = 20000;
constexpr int kMaxLayerChannels = 56;
constexpr int kMaxLayerSide = 300000;

/// Reads the layer records of the document (the layer info of the
/// layer section, or its "Lr16"/"Lr32" block for deep documents). Every
/// length is checked against its section and the file; no byte beyond the
/// end of the file is read. An absent or empty layer section gives an empty
/// set. Fails with kCorrupt (truncated or lying lengths, impossible fields,
/// more layers or channels than the limits) naming the step.
Status readLayerRecords(const PsdDocument& document, LayerSet* set);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_LAYER_RECORDS_H_
