// Exporting parts of a document as pictures of their own: each layer, each
// group, or each layer comp, found in the layer records and drawn by the
// compositor from a set of records that holds only that part.
#ifndef PIXOLUNE_PSD_LAYERS_LAYER_EXPORT_H_
#define PIXOLUNE_PSD_LAYERS_LAYER_EXPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/status.h"
#include "psd/layers/layer_records.h"

namespace pixolune {

class PsdDocument;

/// What a run writes of each document.
enum ExportKind : uint8_t {
  kExportDocument = 0,  // The whole document, as it shows.
  kExportLayers = 1,    // Each pixel, shape, text and smart-object layer.
  kExportGroups = 2,    // Each group at the chosen depth.
  kExportComps = 3,     // Each layer comp.
};

/// The export's choices, the same for every document of a run.
struct ExportOptions {
  uint8_t kind = kExportDocument;  // An ExportKind.
  bool canvas_bounds = false;      // Whole canvas; else cropped to the visible pixels.
  bool hidden = false;             // Hidden layers and groups too.
  int32_t depth = 1;               // Groups: 1 the top level, 2 the groups inside those, ...
  bool manifest = false;           // A JSON file listing the pieces beside them.
  bool operator==(const ExportOptions&) const = default;
};

/// "document", "layers", "groups" or "comps".
const char* exportKindName(uint8_t kind);

/// A layer comp the document stores (resource 1065).
struct LayerComp {
  std::string name;
  uint32_t id = 0;
};

/// One picture an export makes of a document.
struct ExportPiece {
  std::string name;                 // The layer's, group's or comp's name as stored.
  std::vector<std::string> groups;  // The groups it lies in, outermost first.
  int index = 0;                    // Its place among the document's pieces, 1 from the bottom.
  int opacity = 255;                // The layer's or group's own; 255 for comps.
  std::string blend_key = "norm";   // The layer's or group's blend key.
  size_t first = 0, last = 0;       // Records drawn: [first, last] of the set (layers and groups),
  size_t own = 0;                   // of which this is the layer's or group's own.
  size_t comp = 0;                  // Comps: which one.
};

/// The layer comps of the document; none when it stores none or when
/// their description cannot be read (they are then not offered).
std::vector<LayerComp> readLayerComps(const PsdDocument& document);

/// The pieces `options` asks of a document with these records and comps,
/// bottom first. A layer piece is a visible (or, with options.hidden, any)
/// layer with pixels, a shape, text or smart object, not clipped to
/// another, inside visible groups; the layers clipped to it are drawn with
/// it. Adjustment and fill layers are not pieces.
std::vector<ExportPiece> listExportPieces(const LayerSet& set, const std::vector<LayerComp>& comps,
                                          const ExportOptions& options);

/// The records that draw `piece`, as a set of their own: the layer or group
/// at the root with what is clipped to it (made visible when options.hidden
/// lets a hidden one be a piece), or, for a comp, every record as that comp
/// shows it (visibility and position).
LayerSet pieceLayers(const LayerSet& set, const ExportPiece& piece, const std::vector<LayerComp>& comps,
                     const ExportOptions& options);

/// `name` made fit to be one file or folder name: "/", "\", control
/// characters and those that Windows file systems refuse become "_", as do
/// an empty name and "." and "..". Long names are cut to 200 bytes, at a
/// character's start.
std::string fileNameSafe(const std::string& name);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_LAYER_EXPORT_H_
