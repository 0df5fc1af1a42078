// A small writer of Photoshop documents, so tests build exactly the inputs
// they need: every colour mode, 1 to 32 bits per channel, raw or RLE image
// data, transparency, image resources and a layer section.
#ifndef PIXOLUNE_TESTS_SUPPORT_PSD_WRITER_H_
#define PIXOLUNE_TESTS_SUPPORT_PSD_WRITER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pixolune::testing {

enum class PsdMode : uint16_t {
  kBitmap = 0,
  kGrey = 1,
  kIndexed = 2,
  kRgb = 3,
  kCmyk = 4,
  kMultichannel = 7,
  kDuotone = 8,
  kLab = 9,
};

struct PsdResource {
  uint16_t id = 0;
  std::string data;
};

/// One channel of a layer: its identifier (0.. colour, -1 transparency,
/// -2 mask, -3 real mask), its samples (width * height of its rectangle, in
/// the channel's scale as PsdDocument::channels) and how it is compressed:
/// 0 raw, 1 PackBits, 2 ZIP, 3 ZIP with prediction.
struct PsdLayerChannel {
  int id = 0;
  std::vector<double> samples;
  int compression = 0;
};

/// A layer record. Rectangles are top, left, bottom, right.
struct PsdLayer {
  std::string name = "Layer";
  int top = 0, left = 0, bottom = 0, right = 0;
  std::vector<PsdLayerChannel> channels;
  std::string blend_key = "norm";
  int opacity = 255;
  int fill_opacity = -1;        // Written as an "iOpa" block when 0..255.
  bool clipped = false;
  bool hidden = false;
  bool has_mask = false;        // Mask data for channel -2.
  int mask_top = 0, mask_left = 0, mask_bottom = 0, mask_right = 0;
  int mask_default = 0;         // 0 or 255.
  int mask_flags = 0;           // 2: disabled; 8: rendered from a vector mask.
  int mask_density = -1;        // Written as the user mask density parameter when 0..255.
  std::string blend_ranges;     // Blending ranges as stored (composite grey source, backdrop, ...).
  int section = -1;             // "lsct" type when 0..3 (1 open group, 3 group end).
  std::string section_blend_key;  // A group's blend key in its "lsct", or empty.
  std::vector<std::pair<std::string, std::string>> blocks;  // Further blocks: four-letter key, data.
};

struct PsdDocument {
  int width = 1;
  int height = 1;
  int depth = 8;                 // Bits per channel: 1 (bitmap), 8, 16 or 32 (float).
  PsdMode mode = PsdMode::kRgb;
  /// One plane per channel, width * height samples each, row by row. Values
  /// are in the channel's own scale: 0..255 (8 bits), 0..65535 (16 bits),
  /// 0.0..1.0 (32 bits), 0 or 1 (bitmap, 1 = black). CMYK planes hold ink
  /// amounts (255 = full ink); the writer stores them inverted as Photoshop does.
  std::vector<std::vector<double>> channels;
  std::vector<uint8_t> palette;  // Indexed: 768 bytes, all reds, then greens, then blues.
  bool rle = false;              // PackBits-compressed image data.
  std::vector<PsdResource> resources;
  /// When set, a layer section is written with this layer count; a negative
  /// count marks the first extra channel as the composite's transparency.
  /// Each layer covers the canvas and repeats the composite's pixels.
  bool write_layers = false;
  int16_t layer_count = 0;
  /// When not empty, these layers (bottom first) are written instead of
  /// copies of the composite, with their own channel data.
  std::vector<PsdLayer> layers;
  /// 16-bit layers go into an "Lr16" block, as Photoshop writes them.
  bool layers_in_deep_block = false;
  /// Keys of empty additional layer-information blocks ("Mtrn", "Mt16", ...).
  std::vector<std::string> layer_blocks;
};

/// The bytes of the document.
std::string encodePsd(const PsdDocument& doc);

/// Writes the document to a file; false when the file cannot be written.
bool writePsdFile(const std::string& path, const PsdDocument& doc);

/// One row in PackBits form, as Photoshop compresses image data.
std::string packBits(const std::string& row);

/// Number of colour channels of a mode (RGB 3, CMYK 4, grey 1, ...).
int colourChannels(PsdMode mode);

/// A document whose channel c at (x, y) is value(c, x, y); channel count is
/// the mode's colour channels plus `extra` (transparency or selections).
PsdDocument makeDocument(PsdMode mode, int depth, int width, int height, int extra,
                         const std::function<double(int c, int x, int y)>& value);

/// Image resource 1053 (alpha identifiers), one 32-bit id per extra channel.
PsdResource alphaIdentifiers(const std::vector<uint32_t>& ids);

/// Image resource 1057 (version info) with the "has real merged data" flag.
PsdResource versionInfo(bool has_real_merged_data);

}  // namespace pixolune::testing

#endif  // PIXOLUNE_TESTS_SUPPORT_PSD_WRITER_H_
