#include "psd/layers/compositor.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "psd/layers/adjustments.h"
#include "psd/layers/descriptor.h"
#include "psd/layers/fill_layers.h"
#include "psd/layers/layer_effects.h"
#include "psd/layers/vector_mask.h"
#include "platform/mutex.h"
#include "platform/threads.h"

namespace pixolune {

namespace {

// A layer and what hangs on it: a group's layers, or the layers clipped to it.
struct LayerNode {
  const LayerRecord* layer = nullptr;
  bool group = false;
  std::vector<LayerNode> children;
  std::vector<LayerNode> clipped;
};

// The 0..1 value of each byte.
const float* byteScale() {
  static const std::vector<float> table = [] {
    std::vector<float> t(256);
    for (int i = 0; i < 256; ++i) t[static_cast<size_t>(i)] = static_cast<float>(i) / 255.0f;
    return t;
  }();
  return table.data();
}

// A pixel layer's colour and transparency planes as a source.
class PlaneSource : public PixelSource {
 public:
  LayerRect rect;
  std::vector<ChannelPlane> colour;
  ChannelPlane alpha;
  LayerRect bounds() const override { return rect; }
  void row(int x, int y, int n, const Canvas&, float* out) const override {
    const int nc = static_cast<int>(colour.size()), st = nc + 1;
    const size_t at = static_cast<size_t>(y - rect.top) * static_cast<size_t>(rect.width()) + (x - rect.left);
    for (int c = 0; c < nc; ++c) spread(colour[c], at, n, out + c, st, 0.0f);
    spread(alpha, at, n, out + nc, st, 1.0f);
  }
  bool composeNormal(int x, int y, int n, int colours, float opacity, float* dst) const override {
    if (colours != static_cast<int>(colour.size()) || (colours != 1 && colours != 3) || !allBytes()) return false;
    const size_t at = static_cast<size_t>(y - rect.top) * static_cast<size_t>(rect.width()) + (x - rect.left);
    const float* kByte = byteScale();
    const uint8_t* a = alpha.bytes.data() + at;
    const uint8_t* c0 = colour[0].bytes.data() + at;
    if (colours == 1) {
      for (int i = 0; i < n; ++i, dst += 2) {
        if (a[i] == 0) continue;
        const float s[2] = {kByte[c0[i]], 0.0f};
        composeNormalPixel(dst, s, kByte[a[i]] * opacity, 1);
      }
      return true;
    }
    const uint8_t* c1 = colour[1].bytes.data() + at;
    const uint8_t* c2 = colour[2].bytes.data() + at;
    for (int i = 0; i < n; ++i, dst += 4) {
      if (a[i] == 0) continue;
      const float s[4] = {kByte[c0[i]], kByte[c1[i]], kByte[c2[i]], 0.0f};
      composeNormalPixel(dst, s, kByte[a[i]] * opacity, 3);
    }
    return true;
  }

 private:
  // Every plane present and of 8 bits: the common case, composed in one pass.
  bool allBytes() const {
    if (alpha.empty() || alpha.depth != 8) return false;
    for (const ChannelPlane& p : colour)
      if (p.empty() || p.depth != 8) return false;
    return true;
  }
  // Writes n samples from index `at` of the plane to every st-th float of out.
  static void spread(const ChannelPlane& p, size_t at, int n, float* out, int st, float missing) {
    const float* kByte = byteScale();
    if (p.empty()) {
      for (int i = 0; i < n; ++i) out[static_cast<size_t>(i) * st] = missing;
    } else if (p.depth == 8) {
      const uint8_t* s = p.bytes.data() + at;
      for (int i = 0; i < n; ++i) out[static_cast<size_t>(i) * st] = kByte[s[i]];
    } else if (p.depth == 16) {
      const uint16_t* s = p.words.data() + at;
      for (int i = 0; i < n; ++i) out[static_cast<size_t>(i) * st] = s[i] * (1.0f / 65535.0f);
    } else {
      const float* s = p.floats.data() + at;
      for (int i = 0; i < n; ++i) out[static_cast<size_t>(i) * st] = s[i];
    }
  }
};

// Transparency planes of root layers read while finding what they hide,
// kept for drawing: one per layer and band of rows, over the rows the
// layer is drawn in there.
struct CachedPlane {
  LayerRect rect;
  ChannelPlane plane;
};
using AlphaCache = std::map<std::pair<const LayerRecord*, int>, CachedPlane>;

struct Context {
  PsdFile& in;
  const PsdHeader& header;
  uint64_t layer_samples;
  MergeNotes* notes;
  int colours;
  LayerRect document;
  uint64_t canvas_bytes_left;  // For the canvases of groups, clipping groups and backdrops.
  int threads;                 // That may share the work of one layer.
  PlaneSource pixels;          // The planes of the layer being drawn, kept to save allocations.
  const AlphaCache* alphas = nullptr;  // Drawing in bands: planes already read,
  int band = 0;                        // and the band being drawn.
  const std::vector<Pattern>* patterns = nullptr;  // The document's, for pattern fills.
  // What a knockout layer shows through its shape: the backdrop of the
  // group it is in (shallow), or the background (deep); null for none.
  const Canvas* knock_shallow = nullptr;
  const Canvas* knock_deep = nullptr;
  // Inside a group merged on its own, deep knockouts cut its start and
  // gather here where they reach through, for the group to cut the canvas
  // beneath it down to the background.
  PlaneMask* deep_cut = nullptr;
  // Inside a pass-through group of reduced fill: the canvas beneath the
  // group, which the layers' blend modes still meet at that fill.
  const Canvas* blend_seed = nullptr;
  float blend_seed_alpha = 0.0f;
};

// The rule of a layer drawn in the context: its blend mode meets the
// backdrop of a pass-through group of reduced fill it is in.
void seedRule(const Context& cx, ComposeRule* rule) {
  rule->seed = cx.blend_seed;
  rule->seed_alpha = cx.blend_seed_alpha;
}

// Sets a context's shallow knockout backdrop while it lives.
class ShallowKnockout {
 public:
  ShallowKnockout(Context& cx, const Canvas* backdrop) : cx_(cx), was_(cx.knock_shallow) {
    if (backdrop) cx.knock_shallow = backdrop;
  }
  ~ShallowKnockout() { cx_.knock_shallow = was_; }
  ShallowKnockout(const ShallowKnockout&) = delete;
  ShallowKnockout& operator=(const ShallowKnockout&) = delete;

 private:
  Context& cx_;
  const Canvas* was_;
};

// True when a layer among these (groups searched, clipped layers too)
// knocks out at least this deep (1 shallow, 2 deep).
bool knocksOut(const std::vector<LayerNode>& nodes, int depth = 1) {
  for (const LayerNode& n : nodes)
    if ((n.layer->visible && n.layer->knockout >= depth && !n.group) || knocksOut(n.children, depth) ||
        knocksOut(n.clipped, depth))
      return true;
  return false;
}

// Holds the bytes of one more canvas while it lives; ok() is false when the
// memory limit leaves no room for it.
class CanvasTicket {
 public:
  CanvasTicket(Context& cx, const LayerRect& area) : cx_(cx) {
    bytes_ = static_cast<uint64_t>(area.width()) * static_cast<uint64_t>(area.height()) *
             static_cast<uint64_t>(cx.colours + 1) * sizeof(float);
    if (bytes_ > cx_.canvas_bytes_left) bytes_ = 0, ok_ = false;
    cx_.canvas_bytes_left -= bytes_;
  }
  ~CanvasTicket() { cx_.canvas_bytes_left += bytes_; }
  CanvasTicket(const CanvasTicket&) = delete;
  CanvasTicket& operator=(const CanvasTicket&) = delete;
  Status status() const {
    return ok_ ? Status() : readFault(Status::Code::kUnsupported, "its groups need more memory than the limit allows");
  }

 private:
  Context& cx_;
  uint64_t bytes_ = 0;
  bool ok_ = true;
};

const LayerChannel* findChannel(const LayerRecord& layer, int id) {
  for (const LayerChannel& ch : layer.channels)
    if (ch.id == id) return &ch;
  return nullptr;
}

Status budgetCheck(const Context& cx, const LayerRect& r, int planes) {
  const uint64_t samples = static_cast<uint64_t>(r.width()) * static_cast<uint64_t>(r.height()) * planes;
  if (samples > cx.layer_samples) return readFault(Status::Code::kUnsupported, "a layer is larger than the memory limit allows");
  return {};
}

// Reads the part `visible` (document coordinates) of a channel over `r`.
Status readPlane(Context& cx, const LayerRecord& layer, int id, const LayerRect& r, const LayerRect& visible,
                     ChannelPlane* plane) {
  const LayerChannel* ch = findChannel(layer, id);
  if (!ch) {
    plane->width = plane->height = 0;
    return {};
  }
  const LayerRect keep{visible.top - r.top, visible.left - r.left, visible.bottom - r.top, visible.right - r.left};
  return readChannelPlane(cx.in, *ch, r.width(), r.height(), cx.header.depth, cx.header.version, keep, plane);
}

Status loadMask(Context& cx, const LayerRecord& layer, const LayerMask& mask, PlaneMask* out, bool* used) {
  *used = false;
  if (!mask.present || mask.disabled || !findChannel(layer, mask.channel)) return {};
  const LayerRect visible = intersect(mask.rect, cx.document);
  Status st = budgetCheck(cx, visible, 1);
  if (!st.ok()) return st;
  out->rect = visible;  // Beyond the document the mask is never asked.
  out->outside = mask.default_colour / 255.0f;
  out->density = mask.density / 255.0f;
  if (!(st = readPlane(cx, layer, mask.channel, mask.rect, visible, &out->plane)).ok()) return st;
  *used = true;
  return {};
}

// The masks of a layer, loaded; `rule` receives pointers into *masks.
Status loadMasks(Context& cx, const LayerRecord& layer, PlaneMask (*masks)[2], ComposeRule* rule) {
  bool used = false;
  Status st = loadMask(cx, layer, layer.user_mask, &(*masks)[0], &used);
  if (!st.ok()) return st;
  if (used) rule->masks.push_back(&(*masks)[0]);
  if (!(st = loadMask(cx, layer, layer.vector_mask, &(*masks)[1], &used)).ok()) return st;
  // A vector mask the file holds no rendering of is drawn from its path,
  // for layers without pixels of their own (stored pixels already have
  // the shape, and masking them again would thin their edges).
  if (!used && !layer.vector_mask.present && layer.rect.empty()) {
    if (!(st = budgetCheck(cx, cx.document, 1)).ok()) return st;
    used = drawVectorMask(layer, cx.header.width, cx.header.height, &(*masks)[1]);
  }
  if (used) rule->masks.push_back(&(*masks)[1]);
  return {};
}

// The planes of the part of the layer inside the document, read by up to
// cx.threads threads at once.
Status loadPixels(Context& cx, const LayerRecord& layer, PlaneSource* src) {
  src->rect = intersect(layer.rect, cx.document);
  Status st = budgetCheck(cx, src->rect, cx.colours + 1);
  if (!st.ok()) return st;
  src->colour.resize(static_cast<size_t>(cx.colours));
  const int planes = cx.colours + 1;  // Colours, then transparency.
  const auto work = [&](size_t item, int) -> Status {
    const int p = static_cast<int>(item);
    const bool alpha = p == cx.colours;
    if (alpha && cx.alphas) {
      const auto cached = cx.alphas->find({&layer, cx.band});
      if (cached != cx.alphas->end() && cached->second.rect == src->rect) {
        src->alpha = cached->second.plane;
        return {};
      }
    }
    return readPlane(cx, layer, alpha ? kChannelTransparency : p, layer.rect, src->rect,
                     alpha ? &src->alpha : &src->colour[static_cast<size_t>(p)]);
  };
  const bool large = static_cast<uint64_t>(src->rect.width()) * static_cast<uint64_t>(src->rect.height()) >= 256 * 1024;
  QueueOptions options;
  options.out_of_memory = readFault(Status::Code::kIoError, "no memory for a layer's pixels");
  return runQueue(static_cast<size_t>(planes), large ? std::min(cx.threads, planes) : 1, work, options);
}

// The colour channels a layer leaves alone ("brst": the numbers of the
// channels unticked under advanced blending), and its blend-if ranges: the
// first two blending ranges are the composite grey's, source then backdrop.
void readBlendRanges(const LayerRecord& layer, ComposeRule* rule) {
  if (const LayerBlock* b = layer.block("brst"))
    for (size_t at = 0; at + 4 <= b->data.size(); at += 4) {
      const uint32_t c = static_cast<uint32_t>(b->data[at]) << 24 | static_cast<uint32_t>(b->data[at + 1]) << 16 |
                         static_cast<uint32_t>(b->data[at + 2]) << 8 | b->data[at + 3];
      if (c < 4) rule->kept_channels |= 1u << c;
    }
  const std::vector<uint8_t>& r = layer.blend_ranges;
  if (r.size() < 8) return;
  rule->source_range = {static_cast<float>(r[0]), static_cast<float>(r[1]), static_cast<float>(r[2]),
                        static_cast<float>(r[3])};
  rule->backdrop_range = {static_cast<float>(r[4]), static_cast<float>(r[5]), static_cast<float>(r[6]),
                          static_cast<float>(r[7])};
}

ComposeRule ruleFor(const LayerRecord& layer, bool with_opacity) {
  ComposeRule rule;
  rule.mode = blendModeFromKey(layer.blend_key);
  rule.opacity = layer.fill_opacity / 255.0f * (with_opacity ? layer.opacity / 255.0f : 1.0f);
  readBlendRanges(layer, &rule);
  return rule;
}

Status renderNodes(Context& cx, const std::vector<LayerNode>& nodes, Canvas* target);

// An artboard shows its layers only inside its rectangle (within the
// document): a mask of it.
// Its background, unless transparent, lies under its layers: white,
// black or a colour of its own (*background, colours then alpha).
bool artboardMask(const LayerRecord& layer, const LayerRect& document, PlaneMask* out, int colours,
                  std::vector<float>* background) {
  const LayerBlock* b = layer.block("artb");
  if (!b) b = layer.block("artd");
  DescValue d;
  if (!b || !parseBlockDescriptor(b->data, 4, &d)) return false;
  background->clear();
  const int kind = static_cast<int>(d.num("artboardBackgroundType", 3));
  std::vector<float> colour(static_cast<size_t>(colours) + 1, 1.0f);
  if (kind == 1 || kind == 2 || (kind == 4 && descriptorColour(d.get("Clr "), colours, colour.data()))) {
    if (kind == 2) {  // Black, in the canvas's channels (white is all ones).
      DescValue black;
      black.class_id = "RGBC";
      descriptorColour(&black, colours, colour.data());
    }
    colour[static_cast<size_t>(colours)] = 1.0f;
    *background = colour;
  }
  const DescValue* r = d.get("artboardRect");
  if (!r) return false;
  const auto side = [&](const char* key) { return static_cast<int>(std::lround(std::clamp(r->num(key, 0), -1e9, 1e9))); };
  LayerRect rect{side("Top "), side("Left"), side("Btom"), side("Rght")};
  rect = intersect(rect, document);
  out->rect = rect;
  out->outside = 0.0f;
  out->plane.width = rect.width(), out->plane.height = rect.height(), out->plane.depth = 8;
  out->plane.bytes.assign(static_cast<size_t>(rect.width()) * rect.height(), 255);
  return true;
}

// A canvas over `like`'s area holding `from`'s pixels where the two meet,
// clear elsewhere.
Canvas copyOver(const Canvas& from, const Canvas& like) {
  Canvas out(like.area, like.colours);
  const LayerRect shared = intersect(out.area, from.area);
  for (int y = shared.top; y < shared.bottom && !shared.empty(); ++y)
    std::copy_n(from.at(shared.left, y), static_cast<size_t>(shared.width()) * out.stride(), out.at(shared.left, y));
  return out;
}

// Adds `shape` (times opacity and masks) to a group's deep cut.
void gatherCut(const PlaneMask& shape, float opacity, const std::vector<const PlaneMask*>& masks, PlaneMask* cut) {
  for (int y = cut->rect.top; y < cut->rect.bottom; ++y)
    for (int x = cut->rect.left; x < cut->rect.right; ++x) {
      float w = shape.at(x, y) * opacity;
      for (const PlaneMask* m : masks) w *= m->at(x, y);
      float& c = cut->plane.floats[static_cast<size_t>(y - cut->rect.top) * cut->rect.width() + (x - cut->rect.left)];
      c = c + w - c * w;
    }
}

Status drawGroup(Context& cx, const LayerNode& node, Canvas* target, bool with_opacity, bool keep_alpha) {
  const LayerRecord& layer = *node.layer;
  noteEffects(layer, &cx.notes->left_out);
  PlaneMask masks[2], artboard;
  ComposeRule rule = ruleFor(layer, with_opacity);
  seedRule(cx, &rule);
  rule.keep_alpha = keep_alpha;
  if (!layer.section_blend_key.empty()) rule.mode = blendModeFromKey(layer.section_blend_key);
  Status st = loadMasks(cx, layer, &masks, &rule);
  if (!st.ok()) return st;
  std::vector<float> background;
  if (artboardMask(layer, cx.document, &artboard, cx.colours, &background)) rule.masks.push_back(&artboard);
  // The artboard's background, drawn first among its layers.
  const auto drawBackground = [&](Canvas* canvas) {
    if (background.empty()) return;
    Canvas fill(intersect(artboard.rect, canvas->area), canvas->colours);
    for (size_t i = 0; i < fill.px.size(); i += background.size())
      std::copy(background.begin(), background.end(), fill.px.begin() + static_cast<std::ptrdiff_t>(i));
    composeOnto(canvas, CanvasSource(fill), ComposeRule(), cx.threads);
  };
  // A pass-through group with a fill opacity below full is merged on its
  // own, as a normal group, as Photoshop does.
  const bool knockouts = knocksOut(node.children);
  if (rule.mode == BlendMode::kPassThrough && !keep_alpha && layer.fill_opacity == 255) {
    if (rule.opacity >= 1.0f && rule.masks.empty() && !knockouts) return renderNodes(cx, node.children, target);
    CanvasTicket ticket(cx, target->area);
    if (!ticket.status().ok()) return ticket.status();
    Canvas before = *target;
    drawBackground(target);
    ShallowKnockout knock(cx, knockouts ? &before : nullptr);
    if (!(st = renderNodes(cx, node.children, target)).ok()) return st;
    fadeTowards(target, before, rule.opacity, rule.masks);
    return {};
  }
  // A pass-through group of reduced fill is merged on its own, but the
  // blend modes of its layers still meet the canvas beneath it, as if it
  // lay under the group's canvas at the fill (Photoshop's result).
  const bool seeded = rule.mode == BlendMode::kPassThrough && !keep_alpha;
  if (rule.mode == BlendMode::kPassThrough) rule.mode = BlendMode::kNormal;
  const LayerRect area = intersect(target->area, cx.document);  // Only the rows still to be drawn.
  if (area.empty()) return {};
  struct Seed {
    Context& cx;
    const Canvas* canvas;
    float alpha;
    ~Seed() { cx.blend_seed = canvas, cx.blend_seed_alpha = alpha; }
  } seed{cx, cx.blend_seed, cx.blend_seed_alpha};
  cx.blend_seed = seeded ? target : nullptr;
  cx.blend_seed_alpha = layer.fill_opacity / 255.0f;
  CanvasTicket ticket(cx, area);
  if (!ticket.status().ok()) return ticket.status();
  Canvas inner(area, target->colours);
  drawBackground(&inner);
  std::optional<Canvas> start;
  if (knockouts) start.emplace(inner);
  ShallowKnockout knock(cx, start ? &*start : nullptr);
  PlaneMask cut;
  PlaneMask* const outer_cut = cx.deep_cut;
  const bool deep = cx.knock_deep && knocksOut(node.children, 2);
  if (deep) {
    cut.rect = area, cut.outside = 0.0f;
    cut.plane.width = area.width(), cut.plane.height = area.height(), cut.plane.depth = 32;
    cut.plane.floats.assign(static_cast<size_t>(area.width()) * area.height(), 0.0f);
    cx.deep_cut = &cut;
  }
  st = renderNodes(cx, node.children, &inner);
  cx.deep_cut = outer_cut;
  if (!st.ok()) return st;
  if (deep) {
    // Beneath the group, the canvas gives way to the background where its deep knockouts reach.
    Canvas down = copyOver(*cx.knock_deep, *target);
    std::vector<const PlaneMask*> masks = rule.masks;
    masks.push_back(&cut);
    fadeTowards(&down, *target, rule.opacity, masks);
    if (outer_cut) gatherCut(cut, rule.opacity, rule.masks, outer_cut);
    *target = std::move(down);
  }
  composeOnto(target, CanvasSource(inner), rule, cx.threads);
  return {};
}

// A knockout layer: within its shape, what lies between it and `backdrop`
// (its group's start, or the background) is taken away. Its pixels are
// laid on the backdrop at their fill, and the result replaces the target
// by the shape at the layer's opacity (and its masks).
Status drawKnockingOut(Context& cx, const LayerRecord& layer, const ComposeRule& rule, bool with_opacity,
                       const Canvas& backdrop, Canvas* target) {
  const LayerRect area = intersect(target->area, cx.document);
  if (area.empty() || intersect(layer.rect, area).empty()) return {};
  CanvasTicket inner_ticket(cx, target->area), before_ticket(cx, target->area);
  if (!inner_ticket.status().ok()) return inner_ticket.status();
  if (!before_ticket.status().ok()) return before_ticket.status();
  Status st = loadPixels(cx, layer, &cx.pixels);
  if (!st.ok()) return st;
  PlaneMask shape;
  shape.rect = cx.pixels.rect;
  shape.outside = 0.0f;
  shape.plane = cx.pixels.alpha;
  if (shape.plane.empty()) {  // No transparency: the whole rectangle.
    shape.plane.width = shape.rect.width(), shape.plane.height = shape.rect.height(), shape.plane.depth = 32;
    shape.plane.floats.assign(static_cast<size_t>(shape.rect.width()) * shape.rect.height(), 1.0f);
  }
  Canvas inner = copyOver(backdrop, *target);
  ComposeRule fill = rule;
  fill.opacity = layer.fill_opacity / 255.0f;
  fill.masks.clear();
  composeOnto(&inner, cx.pixels, fill, cx.threads);
  const Canvas before = *target;
  *target = std::move(inner);
  const float opacity = with_opacity ? layer.opacity / 255.0f : 1.0f;
  if (layer.knockout == 2 && cx.deep_cut) gatherCut(shape, opacity, rule.masks, cx.deep_cut);
  std::vector<const PlaneMask*> masks = rule.masks;
  masks.push_back(&shape);
  fadeTowards(target, before, opacity, masks);
  return {};
}

LayerEffects effectsOf(const Context& cx, const LayerRecord& layer) {
  return readEffects(layer, cx.colours, cx.header.depth == 32, cx.header.global_angle);
}

// The box of the pixels a canvas shows (empty when it shows none).
LayerRect shownBox(const Canvas& c) {
  LayerRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  const int st = c.stride();
  for (int y = c.area.top; y < c.area.bottom; ++y) {
    const float* p = c.at(c.area.left, y);
    for (int x = c.area.left; x < c.area.right; ++x, p += st) {
      if (p[c.colours] <= 0.0f) continue;
      box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y + 1);
      box.left = std::min(box.left, x), box.right = std::max(box.right, x + 1);
    }
  }
  return box.empty() ? LayerRect() : box;
}

// A layer with effects: drawn alone, over the whole document and the reach
// of its effects (which spread beyond the rows being drawn), then laid on
// the target with its effects. `fill`: the source of a fill layer, or null
// for a layer of pixels.
Status drawLayer(Context& cx, const LayerNode& node, Canvas* target, bool with_opacity, bool keep_alpha,
                 const std::vector<const PlaneMask*>& clip_masks = {});

Status drawWithEffects(Context& cx, const LayerRecord& layer, const LayerEffects& effects, const PixelSource* fill,
                       bool with_opacity, bool keep_alpha, const std::vector<const PlaneMask*>& clip_masks,
                       Canvas* target, const std::vector<LayerNode>* clipped = nullptr) {
  const LayerRect full{0, 0, cx.header.height, cx.header.width};
  struct Restore {
    Context& cx;
    LayerRect document;
    ~Restore() { cx.document = document; }
  } restore{cx, cx.document};
  // The layer's pixels beyond the document shape its effects inside it.
  const int reach = effects.reach();
  const auto widen = [&](const LayerRect& r) { return LayerRect{r.top - reach, r.left - reach, r.bottom + reach, r.right + reach}; };
  const LayerRect box = fill ? full : intersect(layer.rect, widen(full));
  if (box.empty()) return {};
  const LayerRect area = intersect(widen(full), widen(box));
  cx.document = area;
  CanvasTicket content_ticket(cx, area), paint_ticket(cx, area);
  if (!content_ticket.status().ok()) return content_ticket.status();
  if (!paint_ticket.status().ok()) return paint_ticket.status();
  EffectsInput input;
  input.content = Canvas(area, cx.colours);
  input.fill = layer.fill_opacity / 255.0f;
  const LayerBlock* interior = layer.block("infx");
  input.interior_as_group = interior && !interior->data.empty() && interior->data[0] != 0;
  input.document = full;
  PlaneMask masks[2];
  ComposeRule own;
  Status st = loadMasks(cx, layer, &masks, &own);
  if (!st.ok()) return st;
  if (fill) {
    composeOnto(&input.content, *fill, own, cx.threads);
  } else {
    if (!(st = loadPixels(cx, layer, &cx.pixels)).ok()) return st;
    composeOnto(&input.content, cx.pixels, own, cx.threads);
  }
  // Gradients and patterns align with the rectangle of the pixels stored, or
  // with the pixels a fill shows.
  input.layer_box = fill ? shownBox(input.content) : intersect(layer.rect, area);
  if (input.layer_box.empty()) input.layer_box = box;
  input.shape_box = shapeBounds(layer);
  if (const LayerBlock* b = layer.block("fxrp"); b && b->data.size() >= 16) {
    const auto number = [&](size_t at) {
      const uint64_t bits = bigEndian(b->data.data() + at, 8);
      double v;
      std::memcpy(&v, &bits, 8);
      return std::isfinite(v) ? std::clamp(v, -1e7, 1e7) : 0.0;
    };
    input.has_reference = true, input.reference_x = number(0), input.reference_y = number(8);
  }
  ComposeRule rule;
  seedRule(cx, &rule);
  rule.mode = blendModeFromKey(layer.blend_key);
  rule.opacity = with_opacity ? layer.opacity / 255.0f : 1.0f;
  rule.keep_alpha = keep_alpha;
  rule.masks = clip_masks;
  readBlendRanges(layer, &rule);
  // Layers clipped to it lie under the effects on its pixels, as Photoshop
  // shows them: an overlay or stroke of the base covers them too.
  Status clipped_status;
  // They are clipped by its shape, not by its fill.
  if (clipped) {
    input.under_effects = [&](Canvas* canvas, const std::vector<float>& shape) {
      PlaneMask mask;
      std::vector<const PlaneMask*> masks;
      const bool faded = layer.fill_opacity < 255;
      if (faded) {
        mask.rect = canvas->area;
        mask.outside = 0.0f;
        mask.plane.width = canvas->area.width(), mask.plane.height = canvas->area.height(), mask.plane.depth = 32;
        mask.plane.floats = shape;
        masks.push_back(&mask);
      }
      for (const LayerNode& c : *clipped)
        if (c.layer->visible && clipped_status.ok()) clipped_status = drawLayer(cx, c, canvas, true, !faded, masks);
    };
  }
  input.patterns = cx.patterns;
  input.linear = cx.header.depth == 32;
  drawEffects(effects, input, rule, target, cx.threads, &cx.notes->left_out);
  return clipped_status;
}

Status drawLayer(Context& cx, const LayerNode& node, Canvas* target, bool with_opacity, bool keep_alpha,
                 const std::vector<const PlaneMask*>& clip_masks) {
  if (node.group) return drawGroup(cx, node, target, with_opacity, keep_alpha);
  const LayerRecord& layer = *node.layer;
  const LayerEffects effects = effectsOf(cx, layer);
  cx.notes->left_out.insert(effects.left_out.begin(), effects.left_out.end());
  PlaneMask masks[2];
  ComposeRule rule = ruleFor(layer, with_opacity);
  seedRule(cx, &rule);
  rule.keep_alpha = keep_alpha;
  Status st = loadMasks(cx, layer, &masks, &rule);
  if (!st.ok()) return st;
  rule.masks.insert(rule.masks.end(), clip_masks.begin(), clip_masks.end());
  if (cx.header.mode == kModeLab && layer.rect.empty() && drawsWithoutPixels(layer)) {
    cx.notes->left_out.insert("adjustment and fill layers of Lab documents");  // Their colours are not Lab's.
    return {};
  }
  std::string left_out;
  AdjustmentSource adjustment = makeAdjustmentSource(layer, cx.colours, cx.document, &left_out, cx.header.depth == 32,
                                                       cx.patterns);
  if (!left_out.empty()) cx.notes->left_out.insert(left_out);
  if (adjustment.source && effects.any() && !adjustment.adjusts)
    return drawWithEffects(cx, layer, effects, adjustment.source.get(), with_opacity, keep_alpha, clip_masks, target);
  if (adjustment.source) {
    rule.keep_alpha = rule.keep_alpha || adjustment.adjusts;
    composeOnto(target, *adjustment.source, rule, cx.threads);
    return {};
  }
  if (effects.any()) return drawWithEffects(cx, layer, effects, nullptr, with_opacity, keep_alpha, clip_masks, target);
  if (intersect(layer.rect, cx.document).empty()) return {};
  // Deep inside a group merged on its own: to the group's start here, and
  // the group cuts the canvas beneath it.
  const Canvas* backdrop = layer.knockout == 2 ? (cx.deep_cut ? cx.knock_shallow : cx.knock_deep)
                           : layer.knockout == 1 ? cx.knock_shallow
                                                 : nullptr;
  if (backdrop && !keep_alpha)
    return drawKnockingOut(cx, layer, rule, with_opacity, *backdrop, target);
  if (!(st = loadPixels(cx, layer, &cx.pixels)).ok()) return st;
  composeOnto(target, cx.pixels, rule, cx.threads);
  return {};
}

// A layer with layers clipped to it: they are merged on the base's own
// pixels, and the result is laid on the target by the base's blend mode
// and opacity.
// Layers clipped to an adjustment or a fill without pixels: the base covers
// everything its masks let through, so each clipped layer is drawn on the
// target through the base's masks.
Status drawOnPixellessBase(Context& cx, const LayerNode& node, Canvas* target) {
  Status st = drawLayer(cx, node, target, true, false);
  if (!st.ok()) return st;
  PlaneMask masks[2];
  ComposeRule base_rule;
  if (!(st = loadMasks(cx, *node.layer, &masks, &base_rule)).ok()) return st;
  for (const LayerNode& c : node.clipped)
    if (c.layer->visible && !(st = drawLayer(cx, c, target, true, false, base_rule.masks)).ok()) return st;
  return {};
}

// Layers clipped to a pass-through group: the group's layers still blend
// with what lies below it, but only where they have any pixel of their own
// (merged on their own, as the base of the clipped layers is): a blend
// mode reaches the backdrop, an adjustment in the group changes nothing
// outside its layers. Each clipped layer is drawn on the target where the
// group's layers have pixels, through the group's masks and at its opacity.
Status drawOnPassThroughGroup(Context& cx, const LayerNode& node, Canvas* target) {
  const LayerRect area = intersect(target->area, cx.document);
  if (area.empty()) return {};
  CanvasTicket inner_ticket(cx, area), before_ticket(cx, target->area);
  if (!inner_ticket.status().ok()) return inner_ticket.status();
  if (!before_ticket.status().ok()) return before_ticket.status();
  PlaneMask cover, shape;  // Where the group's layers have pixels; that at the group's opacity.
  cover.rect = shape.rect = area;
  cover.outside = shape.outside = 0.0f;
  cover.plane.width = shape.plane.width = area.width();
  cover.plane.height = shape.plane.height = area.height();
  cover.plane.depth = shape.plane.depth = 32;
  Status st;
  {
    Canvas inner(area, target->colours);
    if (!(st = renderNodes(cx, node.children, &inner)).ok()) return st;
    const size_t n = static_cast<size_t>(area.width()) * area.height();
    cover.plane.floats.resize(n);
    shape.plane.floats.resize(n);
    const float opacity = node.layer->opacity / 255.0f;
    for (size_t i = 0; i < n; ++i) {
      const float a = inner.px[i * static_cast<size_t>(inner.stride()) + static_cast<size_t>(inner.colours)];
      cover.plane.floats[i] = a > 0.0f ? 1.0f : 0.0f;  // Not faded again at soft edges.
      shape.plane.floats[i] = a * opacity;
    }
  }
  const Canvas before = *target;
  if (!(st = drawLayer(cx, node, target, true, false)).ok()) return st;
  fadeTowards(target, before, 1.0f, {&cover});
  PlaneMask masks[2];
  ComposeRule base_rule;
  if (!(st = loadMasks(cx, *node.layer, &masks, &base_rule)).ok()) return st;
  base_rule.masks.push_back(&shape);
  for (const LayerNode& c : node.clipped)
    if (c.layer->visible && !(st = drawLayer(cx, c, target, true, false, base_rule.masks)).ok()) return st;
  return {};
}

Status drawClipGroup(Context& cx, const LayerNode& node, Canvas* target) {
  const LayerRecord& base = *node.layer;
  if (!node.group && base.rect.empty() && drawsWithoutPixels(base)) return drawOnPixellessBase(cx, node, target);
  if (node.group && base.fill_opacity == 255 &&
      blendModeFromKey(base.section_blend_key.empty() ? base.blend_key : base.section_blend_key) ==
          BlendMode::kPassThrough)
    return drawOnPassThroughGroup(cx, node, target);
  if (!node.group) {  // A base of pixels (a fill without them was drawn above).
    const LayerEffects effects = effectsOf(cx, base);
    if (effects.any()) {
      cx.notes->left_out.insert(effects.left_out.begin(), effects.left_out.end());
      return drawWithEffects(cx, base, effects, nullptr, true, false, {}, target, &node.clipped);
    }
  }
  const LayerRect area = intersect(node.group ? target->area : intersect(target->area, base.rect), cx.document);
  if (area.empty()) return {};
  CanvasTicket ticket(cx, area);
  if (!ticket.status().ok()) return ticket.status();
  Canvas inner(area, target->colours);
  Status st = drawLayer(cx, node, &inner, false, false);
  if (!st.ok()) return st;
  for (const LayerNode& c : node.clipped)
    if (c.layer->visible && !(st = drawLayer(cx, c, &inner, true, true)).ok()) return st;
  ComposeRule rule;
  seedRule(cx, &rule);
  rule.mode = blendModeFromKey(node.group && !base.section_blend_key.empty() ? base.section_blend_key : base.blend_key);
  if (rule.mode == BlendMode::kPassThrough) rule.mode = BlendMode::kNormal;
  rule.opacity = base.opacity / 255.0f;
  composeOnto(target, CanvasSource(inner), rule, cx.threads);
  return {};
}

Status renderNode(Context& cx, const LayerNode& node, Canvas* target) {
  if (!node.layer->visible) return {};
  return node.clipped.empty() ? drawLayer(cx, node, target, true, false) : drawClipGroup(cx, node, target);
}

Status renderNodes(Context& cx, const std::vector<LayerNode>& nodes, Canvas* target) {
  for (const LayerNode& node : nodes) {
    Status st = renderNode(cx, node, target);
    if (!st.ok()) return st;
  }
  return {};
}

void addNode(std::vector<LayerNode>* list, LayerNode node) {
  if (node.layer->clipped && !list->empty()) list->back().clipped.push_back(std::move(node));
  else list->push_back(std::move(node));
}

// Records are stored bottom first; a group's end marker comes before its
// layers and its own record after them.
Status buildTree(const LayerSet& set, std::vector<LayerNode>* roots) {
  std::vector<std::vector<LayerNode>> stack(1);
  for (const LayerRecord& layer : set.layers) {
    if (layer.section == SectionKind::kGroupEnd) {
      if (stack.size() > 256) return readCorrupt("layer records: groups nested too deeply");
      stack.emplace_back();
      continue;
    }
    LayerNode node;
    node.layer = &layer;
    if (layer.section == SectionKind::kOpenGroup || layer.section == SectionKind::kClosedGroup) {
      node.group = true;
      if (stack.size() > 1) {
        node.children = std::move(stack.back());
        stack.pop_back();
      }
    }
    addNode(&stack.back(), std::move(node));
  }
  // Unclosed groups: their layers belong to the level above.
  while (stack.size() > 1) {
    std::vector<LayerNode> loose = std::move(stack.back());
    stack.pop_back();
    for (LayerNode& n : loose) addNode(&stack.back(), std::move(n));
  }
  *roots = std::move(stack.back());
  return {};
}

// A root layer whose fully opaque pixels hide everything below them: a
// visible pixel layer of normal blending at full opacity and fill, with no
// mask and no blend-if, whose clipped layers (if any) stay inside it.
bool hidesWhatIsBelow(const LayerNode& node) {
  const LayerRecord& l = *node.layer;
  const auto active = [&](const LayerMask& m) { return m.present && !m.disabled; };
  return !node.group && l.visible && !l.rect.empty() && blendModeFromKey(l.blend_key) == BlendMode::kNormal &&
         l.opacity == 255 && l.fill_opacity == 255 && !active(l.user_mask) && !active(l.vector_mask) &&
         !ruleFor(l, true).blend_if() && !drawsWithoutPixels(l);
}

// Marks in `covered` (one byte a document pixel) the pixels of rows
// [r.top, r.bottom) that the plane, over r, shows fully opaque.
void markOpaque(const ChannelPlane& alpha, const LayerRect& r, int width, std::vector<uint8_t>* covered) {
  for (int y = r.top; y < r.bottom; ++y) {
    uint8_t* c = covered->data() + static_cast<size_t>(y) * static_cast<size_t>(width) + r.left;
    const size_t at = static_cast<size_t>(y - r.top) * static_cast<size_t>(r.width()), n = static_cast<size_t>(r.width());
    if (alpha.empty()) {
      std::memset(c, 1, n);  // No transparency channel: opaque all over.
    } else if (alpha.depth == 8) {
      const uint8_t* a = alpha.bytes.data() + at;
      for (size_t i = 0; i < n; ++i) c[i] |= a[i] == 255;
    } else if (alpha.depth == 16) {
      const uint16_t* a = alpha.words.data() + at;
      for (size_t i = 0; i < n; ++i) c[i] |= a[i] == 65535;
    } else {
      const float* a = alpha.floats.data() + at;
      for (size_t i = 0; i < n; ++i) c[i] |= a[i] >= 1.0f;
    }
  }
}

// The rows in which each root node can still be seen: a node is drawn only
// between the first and the last row that the fully opaque pixels of the
// root layers above it do not cover from side to side. A whole-canvas photo
// over earlier work, or a stack of opaque shapes, spares reading and
// drawing everything beneath. When a layer's transparency cannot be read,
// nothing further is hidden; drawing the layer reports the fault.
// `band_rows` > 0: the transparency is read in the bands of rows a merge in
// bands draws, and kept in *cache while it holds less than `cache_bytes`.
std::vector<LayerRect> visibleBands(Context& cx, const std::vector<LayerNode>& roots, int threads,
                                   bool* opaque_everywhere = nullptr, int band_rows = 0, AlphaCache* cache = nullptr,
                                   uint64_t cache_bytes = 0) {
  const int width = cx.document.width(), height = cx.document.height();
  std::vector<LayerRect> bands(roots.size(), cx.document);
  std::vector<uint8_t> covered;
  int first = 0, last = height;  // Rows outside [first, last) are hidden.
  uint64_t cached = 0;  // Under `lock`.
  Mutex lock;
  for (size_t i = roots.size(); i-- > 0;) {
    bands[i] = LayerRect{first, 0, last, width};
    if (first >= last || !hidesWhatIsBelow(roots[i])) continue;
    const LayerRecord& layer = *roots[i].layer;
    const LayerRect r = intersect(layer.rect, bands[i]);
    if (r.empty() || !budgetCheck(cx, r, 1).ok() || !budgetCheck(cx, cx.document, 1).ok()) continue;
    if (covered.empty()) covered.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    // The transparency is read and marked in parts of rows, on up to `threads` threads.
    const int step = band_rows > 0 ? band_rows : std::max(1, (r.height() + threads - 1) / std::max(threads, 1));
    const int first_part = r.top / step, parts = (r.bottom - 1) / step - first_part + 1;
    const auto work = [&](size_t k, int) -> Status {
      const int part_index = first_part + static_cast<int>(k);
      const LayerRect part = intersect(r, LayerRect{part_index * step, r.left, (part_index + 1) * step, r.right});
      ChannelPlane alpha;
      Status st = readPlane(cx, layer, kChannelTransparency, layer.rect, part, &alpha);
      if (!st.ok()) return st;
      markOpaque(alpha, part, width, &covered);
      if (!cache) return {};
      const uint64_t bytes = alpha.bytes.size() + 2 * alpha.words.size() + 4 * alpha.floats.size();
      MutexLock hold(&lock);
      if (cached + bytes > cache_bytes) return {};
      cached += bytes;
      (*cache)[{&layer, part_index}] = CachedPlane{part, std::move(alpha)};
      return {};
    };
    const int workers = std::clamp(threads, 1, parts);
    if (!runQueue(static_cast<size_t>(parts), workers, work).ok()) break;  // Unreadable (or no memory).
    const auto whole = [&](int y) {
      const uint8_t* row = covered.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
      return std::memchr(row, 0, static_cast<size_t>(width)) == nullptr;
    };
    while (first < last && whole(first)) ++first;
    while (last > first && whole(last - 1)) --last;
  }
  // Every row covered: no layer drawn over an opaque pixel makes it transparent again.
  if (opaque_everywhere) *opaque_everywhere = first >= last;
  return bands;
}

// True when a layer draws from the document's patterns: a pattern fill
// without pixels, or an effect painting with one.
bool usesPatterns(const LayerSet& set) {
  if (drawsPatterns(set)) return true;
  for (const LayerRecord& layer : set.layers)
    if (layer.visible && paintsWithPatterns(layer)) return true;
  return false;
}

}  // namespace

Status mergeLayers(PsdFile& in, const PsdHeader& header, const LayerSet& set, const MergeBudget& budget,
                       Canvas* canvas, MergeNotes* notes) {
  std::vector<LayerNode> roots;
  Status st = buildTree(set, &roots);
  if (!st.ok()) return st;
  const LayerRect document{0, 0, header.height, header.width};
  Context cx{in, header, budget.layer_samples, notes, canvas->colours, document, budget.canvas_bytes, budget.threads, {}};
  std::vector<Pattern> patterns;
  if (usesPatterns(set)) (void)readPatterns(set, &patterns);  // Damaged: its fills are left out, nothing more.
  cx.patterns = &patterns;
  const bool knockouts = knocksOut(roots);
  // Knockout layers show what lies beneath: nothing is hidden, and the
  // background they reach is the bottom layer when it has no
  // transparency, else transparency itself.
  const std::vector<LayerRect> bands =
      knockouts ? std::vector<LayerRect>(roots.size(), document) : visibleBands(cx, roots, budget.threads);
  std::optional<Canvas> background;
  if (knockouts) {
    CanvasTicket ticket(cx, canvas->area);
    if (!ticket.status().ok()) return ticket.status();
    background.emplace(canvas->area, canvas->colours);
    cx.knock_deep = cx.knock_shallow = &*background;
  }
  for (size_t i = 0; i < roots.size(); ++i) {
    if (bands[i].empty()) continue;  // Hidden: its effects are not named either.
    cx.document = bands[i];
    if (!(st = renderNode(cx, roots[i], canvas)).ok()) return st;
    if (i == 0 && background && !roots[0].group && !roots[0].layer->channels.empty()) {
      bool transparent = false;
      for (const LayerChannel& ch : roots[0].layer->channels) transparent = transparent || ch.id == kChannelTransparency;
      if (!transparent) *background = *canvas;
    }
  }
  return {};
}

bool mergeableInBands(PsdFile& in, const LayerSet& set) {
  for (const LayerRecord& layer : set.layers) {
    if (layer.rect.empty() && (layer.block("vmsk") || layer.block("vsms"))) return false;  // A path drawn whole.
    if (readEffects(layer, 3, false, 120).any()) return false;  // Effects reach across bands.
    if (layer.knockout != 0) return false;  // They reach down through every layer.
    for (const LayerChannel& ch : layer.channels) {
      uint8_t word[2];
      if (ch.length < 2 || !in.read(ch.offset, 2, word, "layer channel").ok()) continue;  // Reported when drawn.
      if (bigEndian(word, 2) > 1) return false;  // ZIP data is inflated from its start.
    }
  }
  return true;
}

Status mergeLayerBands(PsdFile& in, const PsdHeader& header, const LayerSet& set, const MergeBudget& budget,
                       int colours, int band_rows, BandSink* sink, MergeNotes* notes) {
  std::vector<LayerNode> roots;
  Status st = buildTree(set, &roots);
  if (!st.ok()) return st;
  const LayerRect document{0, 0, header.height, header.width};
  std::vector<LayerRect> spans;
  bool opaque = false;
  band_rows = std::max(band_rows, 1);
  AlphaCache alphas;
  std::vector<Pattern> patterns;
  if (usesPatterns(set)) (void)readPatterns(set, &patterns);  // Damaged: its fills are left out, nothing more.
  {
    // The transparency read to find hidden rows is kept for drawing, up to
    // the size of the document's own planes.
    const uint64_t keep = static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height) *
                          static_cast<uint64_t>(colours + 1) * static_cast<uint64_t>(header.depth / 8);
    Context cx{in, header, budget.layer_samples, notes, colours, document, budget.canvas_bytes, 1, {}};
    spans = visibleBands(cx, roots, budget.threads, &opaque, band_rows, &alphas, keep);
  }
  if (!sink->begin(opaque)) return readFault(Status::Code::kIoError, "no memory for the drawn image");
  const int bands = (header.height + band_rows - 1) / band_rows;
  const int workers = std::clamp(budget.threads, 1, std::max(bands, 1));
  std::vector<MergeNotes> found(static_cast<size_t>(workers));
  // What each thread keeps from band to band: its context and a canvas used again for every band.
  struct BandWorker {
    Context cx;
    Canvas canvas;
  };
  std::vector<std::unique_ptr<BandWorker>> kept(static_cast<size_t>(workers));
  QueueOptions options;
  options.start = [&](int worker) {
    kept[static_cast<size_t>(worker)].reset(new BandWorker{
        Context{in, header, budget.layer_samples, &found[static_cast<size_t>(worker)], colours, document,
                budget.canvas_bytes / static_cast<uint64_t>(workers), 1, {}, &alphas, 0, &patterns},
        Canvas(LayerRect{0, 0, band_rows, header.width}, colours)});
    return Status();
  };
  options.out_of_memory = readFault(Status::Code::kIoError, "no memory for the drawn image");
  // The failure reported is the lowest band's, however the threads shared them.
  const Status failure = runQueue(
      static_cast<size_t>(bands), workers,
      [&](size_t item, int worker) {
        Context& cx = kept[static_cast<size_t>(worker)]->cx;
        Canvas& canvas = kept[static_cast<size_t>(worker)]->canvas;
        const int b = static_cast<int>(item);
        const LayerRect band{b * band_rows, 0, std::min(header.height, (b + 1) * band_rows), header.width};
        canvas.area = band;
        cx.band = b;
        std::fill(canvas.px.begin(), canvas.px.end(), 0.0f);
        Status drawn;
        for (size_t i = 0; i < roots.size() && drawn.ok(); ++i) {
          cx.document = intersect(band, spans[i]);
          if (!cx.document.empty()) drawn = renderNode(cx, roots[i], &canvas);
        }
        if (drawn.ok()) sink->take(canvas);
        return drawn;
      },
      options);
  kept.clear();
  for (const MergeNotes& n : found) notes->left_out.insert(n.left_out.begin(), n.left_out.end());
  return failure;
}

}  // namespace pixolune
