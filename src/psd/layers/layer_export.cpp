#include "psd/layers/layer_export.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "psd/layers/adjustments.h"
#include "psd/layers/blend_modes.h"
#include "psd/layers/descriptor.h"
#include "psd/psd_document.h"
#include "psd/psd_file.h"

namespace pixolune {

namespace {

bool isGroup(const LayerRecord& l) {
  return l.section == SectionKind::kOpenGroup || l.section == SectionKind::kClosedGroup;
}

// A layer that draws pixels of its own: not a group, its end, an adjustment,
// or a fill that covers the canvas (a fill with a vector mask is a shape).
bool hasOwnPicture(const LayerRecord& l) {
  if (l.section != SectionKind::kNone) return false;
  const bool fill = l.block("SoCo") || l.block("GdFl") || l.block("PtFl");
  const bool shaped = l.vector_mask.present || l.block("vmsk") || l.block("vsms") || l.block("vogk");
  if (fill) return shaped;
  if (drawsWithoutPixels(l)) return false;
  return !l.rect.empty() || shaped;
}

// Where each group's records begin: for the record of a group, the index of
// its end marker (records are stored bottom first, the end marker before
// the group's layers); npos for every other record and for unpaired ones.
std::vector<size_t> groupStarts(const LayerSet& set) {
  constexpr size_t npos = static_cast<size_t>(-1);
  std::vector<size_t> starts(set.layers.size(), npos), open;
  for (size_t i = 0; i < set.layers.size(); ++i) {
    const LayerRecord& l = set.layers[i];
    if (l.section == SectionKind::kGroupEnd) {
      open.push_back(i);
    } else if (isGroup(l) && !open.empty()) {
      starts[i] = open.back();
      open.pop_back();
    }
  }
  return starts;
}

// The layer-comp settings a layer keeps in its metadata ("shmd", item
// "cmls"): a descriptor whose "layerSettings" say, comp by comp, what the
// layer is like there. False when it has none or they cannot be read.
bool compSettings(const LayerRecord& layer, DescValue* out) {
  const LayerBlock* b = layer.block("shmd");
  if (!b || b->data.size() < 4) return false;
  const std::vector<uint8_t>& d = b->data;
  const uint32_t count = static_cast<uint32_t>(bigEndian(d.data(), 4));
  size_t at = 4;
  for (uint32_t i = 0; i < count && i < 1000; ++i) {
    if (d.size() - at < 16) return false;
    const bool cmls = std::memcmp(d.data() + at + 4, "cmls", 4) == 0;
    const uint32_t length = static_cast<uint32_t>(bigEndian(d.data() + at + 12, 4));
    at += 16;
    if (length > d.size() - at) return false;
    if (cmls) {
      // A version word (16), then the descriptor.
      return length > 4 && parseDescriptor(d.data() + at + 4, length - 4, out);
    }
    at += length;
  }
  return false;
}

// The settings of comp `id` among a layer's comp settings, or null.
const DescValue* settingsFor(const DescValue& cmls, uint32_t id) {
  const DescValue* list = cmls.get("layerSettings");
  if (!list) return nullptr;
  for (const DescValue& entry : list->list) {
    const DescValue* comps = entry.get("compList");
    if (!comps) continue;
    for (const DescValue& c : comps->list)
      if (static_cast<uint32_t>(static_cast<int64_t>(c.number)) == id) return &entry;
  }
  return nullptr;
}

void shift(LayerRect* r, int dx, int dy) {
  if (r->empty()) return;
  r->left += dx, r->right += dx, r->top += dy, r->bottom += dy;
}

// The layer as comp `id` shows it: its visibility, its position, its blend
// mode and opacity, and its effects.
void applyComp(LayerRecord* layer, uint32_t id) {
  DescValue cmls;
  if (!compSettings(*layer, &cmls)) return;
  const DescValue* s = settingsFor(cmls, id);
  if (!s) return;
  if (s->get("enab")) layer->visible = s->on("enab", layer->visible);
  if (const DescValue* blending = s->get("blendOptions")) {
    const DescValue* md = blending->get("Md  ");
    if (const char* key = md ? blendKeyOfDescriptorMode(md->class_id) : nullptr)
      (isGroup(*layer) ? layer->section_blend_key : layer->blend_key) = key;
    if (blending->get("Opct"))
      layer->opacity = static_cast<int>(std::lround(std::clamp(blending->num("Opct", 100), 0.0, 100.0) * 2.55));
  }
  if (const DescValue* effects = s->get("Lefx")) layer->comp_effects = std::make_shared<DescValue>(*effects);
  if (const DescValue* offset = s->get("Ofst")) {
    const double dx = offset->num("Hrzn", 0), dy = offset->num("Vrtc", 0);
    if (dx > -100000 && dx < 100000 && dy > -100000 && dy < 100000) {
      shift(&layer->rect, static_cast<int>(dx), static_cast<int>(dy));
      shift(&layer->user_mask.rect, static_cast<int>(dx), static_cast<int>(dy));
      shift(&layer->vector_mask.rect, static_cast<int>(dx), static_cast<int>(dy));
    }
  }
}

// Appends to `text` the character at `s` (of `n` bytes, UTF-8) or "_" for
// one a file name should not hold.
size_t takeCharacter(const std::string& s, size_t at, std::string* text) {
  const unsigned char c = static_cast<unsigned char>(s[at]);
  if (c < 0x20 || c == 0x7f || std::strchr("/\\:*?\"<>|", c)) {
    *text += '_';
    return 1;
  }
  size_t n = c < 0x80 ? 1 : c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
  if (at + n > s.size()) n = s.size() - at;
  text->append(s, at, n);
  return n;
}

}  // namespace

const char* exportKindName(uint8_t kind) {
  switch (kind) {
    case kExportLayers: return "layers";
    case kExportGroups: return "groups";
    case kExportComps: return "comps";
    default: return "document";
  }
}

std::vector<LayerComp> readLayerComps(const PsdDocument& document) {
  std::vector<LayerComp> comps;
  const PsdHeader& header = document.header();
  const PsdFile& in = document.file();
  if (header.comps_length <= 4 || header.comps_length > (1u << 24) || !in.fits(header.comps_offset, header.comps_length))
    return comps;
  std::vector<uint8_t> data(static_cast<size_t>(header.comps_length));
  DescValue d;
  // A version word (16), then the descriptor.
  if (!in.read(header.comps_offset, data.size(), data.data(), "layer comps").ok() ||
      !parseDescriptor(data.data() + 4, data.size() - 4, &d))
    return comps;
  const DescValue* list = d.get("list");
  if (!list) return comps;
  for (const DescValue& c : list->list) {
    const DescValue* name = c.get("Nm  ");
    LayerComp comp;
    comp.name = name ? name->text : std::string();
    while (!comp.name.empty() && comp.name.back() == '\0') comp.name.pop_back();
    comp.id = static_cast<uint32_t>(static_cast<int64_t>(c.num("compID", 0)));
    comps.push_back(std::move(comp));
  }
  return comps;
}

std::vector<ExportPiece> listExportPieces(const LayerSet& set, const std::vector<LayerComp>& comps,
                                          const ExportOptions& options) {
  std::vector<ExportPiece> pieces;
  if (options.kind == kExportComps) {
    for (size_t i = 0; i < comps.size() && !set.layers.empty(); ++i) {
      ExportPiece p;
      p.name = comps[i].name;
      p.comp = i;
      p.first = 0;
      p.last = set.layers.size() - 1;
      pieces.push_back(std::move(p));
    }
  } else if (options.kind == kExportLayers || options.kind == kExportGroups) {
    const std::vector<size_t> starts = groupStarts(set);
    constexpr size_t npos = static_cast<size_t>(-1);
    // The groups each record lies in, found from the top down: a group's
    // record comes after its layers.
    const size_t n = set.layers.size();
    std::vector<std::vector<size_t>> above(n);  // Indices of the enclosing group records, outermost first.
    std::vector<size_t> path;
    std::vector<size_t> ends;  // End markers of the open groups, innermost last.
    for (size_t i = n; i-- > 0;) {
      while (!ends.empty() && i < ends.back()) ends.pop_back(), path.pop_back();
      above[i] = path;
      if (starts[i] != npos) path.push_back(i), ends.push_back(starts[i]);
    }
    // Records clipped to record i (stored right after it, at its level):
    // the index of the last of them.
    const auto clipEnd = [&](size_t i) {
      size_t last = i;
      for (size_t j = i + 1; j < n;) {
        const LayerRecord& l = set.layers[j];
        if (l.section == SectionKind::kGroupEnd) {
          size_t g = j + 1;  // Its group record: the first whose start is j.
          while (g < n && starts[g] != j) ++g;
          if (g >= n || !set.layers[g].clipped) break;
          last = g, j = g + 1;
        } else if (l.clipped && !isGroup(l)) {
          last = j++;
        } else {
          break;
        }
      }
      return last;
    };
    const auto shown = [&](size_t i) {
      if (options.hidden) return true;
      if (!set.layers[i].visible) return false;
      for (size_t g : above[i])
        if (!set.layers[g].visible) return false;
      return true;
    };
    for (size_t i = 0; i < n; ++i) {
      const LayerRecord& l = set.layers[i];
      ExportPiece p;
      if (options.kind == kExportLayers) {
        if (l.clipped || !hasOwnPicture(l) || !shown(i)) continue;
        p.first = p.own = i;
      } else {
        if (starts[i] == npos || l.clipped || !shown(i)) continue;
        if (static_cast<int>(above[i].size()) + 1 != options.depth) continue;
        p.first = starts[i];
        p.own = i;
      }
      p.last = clipEnd(i);
      p.name = l.name;
      for (size_t g : above[i]) p.groups.push_back(set.layers[g].name);
      p.opacity = l.opacity;
      p.blend_key = isGroup(l) && !l.section_blend_key.empty() ? l.section_blend_key : l.blend_key;
      pieces.push_back(std::move(p));
    }
  }
  for (size_t i = 0; i < pieces.size(); ++i) pieces[i].index = static_cast<int>(i) + 1;
  return pieces;
}

LayerSet pieceLayers(const LayerSet& set, const ExportPiece& piece, const std::vector<LayerComp>& comps,
                     const ExportOptions& options) {
  LayerSet out;
  out.first_alpha_is_transparency = set.first_alpha_is_transparency;
  out.global_blocks = set.global_blocks;
  if (options.kind == kExportComps) {
    out.layers = set.layers;
    if (piece.comp < comps.size())
      for (LayerRecord& l : out.layers) applyComp(&l, comps[piece.comp].id);
    return out;
  }
  if (piece.first > piece.own || piece.own > piece.last || piece.last >= set.layers.size()) return out;
  out.layers.assign(set.layers.begin() + static_cast<std::ptrdiff_t>(piece.first),
                    set.layers.begin() + static_cast<std::ptrdiff_t>(piece.last) + 1);
  LayerRecord& own = out.layers[piece.own - piece.first];
  own.clipped = false;  // At the root it has nothing to clip to.
  if (options.hidden) own.visible = true;
  return out;
}

std::string fileNameSafe(const std::string& name) {
  std::string out;
  for (size_t at = 0; at < name.size() && out.size() < 200;) at += takeCharacter(name, at, &out);
  if (out.empty() || out == "." || out == "..") return "_";
  return out;
}

}  // namespace pixolune
