// The layer records, their channel data and the descriptors of their
// blocks on any bytes, read as the layer drawing reads them: never outside
// the file, and planes of the size asked for; the patterns likewise; and
// the pieces an export finds in them, each a well-formed run of records.
#include "psd/layers/channel_data.h"
#include "psd/layers/descriptor.h"
#include "psd/layers/layer_export.h"
#include "psd/layers/layer_records.h"
#include "psd/layers/patterns.h"
#include "psd/psd_document.h"
#include "fuzz/fuzz_input.h"

using namespace pixolune;

namespace {

// The blocks whose settings are descriptors, and the version fields before them.
void parseDescriptors(const LayerRecord& layer) {
  static const std::pair<const char*, size_t> kBlocks[] = {{"SoCo", 4}, {"GdFl", 4}, {"PtFl", 4}, {"lfx2", 8}};
  for (const auto& [key, skip] : kBlocks) {
    const LayerBlock* block = layer.block(key);
    DescValue value;
    if (block) (void)parseBlockDescriptor(block->data, skip, &value);
  }
}

// Every channel's part inside the document.
void readChannels(PsdFile& in, const PsdHeader& header, const LayerRecord& layer) {
  ChannelPlane plane;
  for (const LayerChannel& ch : layer.channels) {
    const bool mask = ch.id == kChannelUserMask || ch.id == kChannelRealUserMask;
    const LayerRect rect = mask ? (ch.id == layer.user_mask.channel ? layer.user_mask.rect : layer.vector_mask.rect)
                                : layer.rect;
    const LayerRect keep{-rect.top, -rect.left, header.height - rect.top, header.width - rect.left};
    const int depth = header.depth;
    Status st = readChannelPlane(in, ch, rect.width(), rect.height(), depth, header.version, keep, &plane);
    if (!st.ok() || plane.empty()) continue;
    const LayerRect kept = intersect(keep, LayerRect{0, 0, rect.height(), rect.width()});
    fuzz::require(plane.width == kept.width() && plane.height == kept.height());
    const size_t samples = static_cast<size_t>(plane.width) * static_cast<size_t>(plane.height);
    fuzz::require(depth == 8 ? plane.bytes.size() >= samples
                             : depth == 16 ? plane.words.size() == samples : plane.floats.size() == samples);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::InputFile file;
  const std::string& path = file.hold(data, size);
  PsdDocument document;
  if (!document.open(path).ok()) return 0;
  const PsdHeader& header = document.header();
  LayerSet set;
  if (!readLayerRecords(document, &set).ok()) return 0;
  fuzz::require(set.layers.size() <= static_cast<size_t>(kMaxLayers));
  if (fuzz::pixelBytes(header) > fuzz::kPixelBudget) return 0;
  PsdFile in = document.file();
  for (const LayerRecord& layer : set.layers) {
    fuzz::require(layer.channels.size() <= static_cast<size_t>(kMaxLayerChannels));
    parseDescriptors(layer);
    readChannels(in, header, layer);
  }
  // The patterns of the document, each of the size it claims.
  std::vector<Pattern> patterns;
  (void)readPatterns(set, &patterns);
  for (const Pattern& p : patterns)
    fuzz::require(p.px.size() == static_cast<size_t>(p.width) * static_cast<size_t>(p.height) * (p.colours + 1));
  // What an export would make of them.
  const std::vector<LayerComp> comps = readLayerComps(document);
  for (uint8_t kind : {kExportLayers, kExportGroups, kExportComps}) {
    ExportOptions options;
    options.kind = kind;
    options.hidden = true;
    for (const ExportPiece& piece : listExportPieces(set, comps, options)) {
      fuzz::require(piece.first <= piece.own && piece.own <= piece.last && piece.last < set.layers.size());
      const LayerSet drawn = pieceLayers(set, piece, comps, options);
      fuzz::require(drawn.layers.size() == piece.last - piece.first + 1 || kind == kExportComps);
    }
  }
  return 0;
}
