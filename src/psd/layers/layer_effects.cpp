#include "psd/layers/layer_effects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "psd/layers/descriptor.h"
#include "psd/layers/fill_layers.h"
#include "psd/layers/patterns.h"
#include "psd/layers/tone_curve.h"
#include "psd/psd_file.h"

namespace pixolune {

namespace {

struct EffectName {
  const char* key;
  const char* multi_key;
  const char* name;
};

const EffectName kEffects[] = {
    {"DrSh", "dropShadowMulti", "drop shadow"}, {"IrSh", "innerShadowMulti", "inner shadow"},
    {"OrGl", nullptr, "outer glow"},           {"IrGl", nullptr, "inner glow"},
    {"ebbl", nullptr, "bevel and emboss"},     {"ChFX", nullptr, "satin"},
    {"SoFi", "solidFillMulti", "colour overlay"}, {"GrFl", "gradientFillMulti", "gradient overlay"},
    {"patternFill", nullptr, "pattern overlay"}, {"FrFX", "frameFXMulti", "stroke"},
};

bool enabled(const DescValue& effect) { return effect.on("enab", true) && effect.on("present", true); }

void fromDescriptor(const DescValue& fx, std::set<std::string>* names) {
  if (!fx.on("masterFXSwitch", true)) return;
  for (const EffectName& e : kEffects) {
    const DescValue* one = fx.get(e.key);
    if (one && enabled(*one)) names->insert(e.name);
    const DescValue* many = e.multi_key ? fx.get(e.multi_key) : nullptr;
    if (!many) continue;
    for (const DescValue& item : many->list)
      if (enabled(item)) names->insert(e.name);
  }
}

// The older effects block: a count, then one record per effect; the byte
// that switches each on sits at a fixed place in its record.
void fromLegacy(const std::vector<uint8_t>& d, std::set<std::string>* names) {
  struct Legacy {
    const char* key;
    size_t enabled_at;
    const char* name;
  };
  static const Legacy kLegacy[] = {{"dsdw", 38, "drop shadow"}, {"isdw", 38, "inner shadow"},
                                   {"oglw", 30, "outer glow"},  {"iglw", 30, "inner glow"},
                                   {"bevl", 56, "bevel and emboss"}, {"sofi", 23, "colour overlay"}};
  size_t p = 4;
  while (p + 12 <= d.size()) {
    const uint8_t* rec = d.data() + p;
    const uint64_t size = bigEndian(rec + 8, 4);
    if (size > d.size() - p - 12) return;
    for (const Legacy& l : kLegacy)
      if (std::memcmp(rec + 4, l.key, 4) == 0 && l.enabled_at < size && rec[12 + l.enabled_at] != 0)
        names->insert(l.name);
    p += 12 + static_cast<size_t>(size);
  }
}

// The descriptor of a layer's effects: a layer comp's, else the one of its
// "lfx2" (or "lmfx") block. False when it has neither.
bool effectsDescriptor(const LayerRecord& layer, DescValue* fx) {
  if (layer.comp_effects) {
    *fx = *layer.comp_effects;
    return true;
  }
  for (const char* key : {"lfx2", "lmfx"}) {
    const LayerBlock* b = layer.block(key);
    if (b && parseBlockDescriptor(b->data, 8, fx)) return true;
  }
  return false;
}

}  // namespace

void noteEffects(const LayerRecord& layer, std::set<std::string>* names) {
  DescValue fx;
  if (effectsDescriptor(layer, &fx)) fromDescriptor(fx, names);
  else if (const LayerBlock* b = layer.block("lrFX")) fromLegacy(b->data, names);
}

namespace {

constexpr double kPi = 3.14159265358979323846;

// The blend mode an effect descriptor names.
BlendMode effectMode(const DescValue& effect) {
  const DescValue* md = effect.get("Md  ");
  const char* key = md ? blendKeyOfDescriptorMode(md->class_id) : nullptr;
  return key ? blendModeFromKey(key) : BlendMode::kNormal;
}

bool effectColour(const DescValue& effect, int colours, bool linear, float* out, const char* key = "Clr ") {
  if (!descriptorColour(effect.get(key), colours, out)) return false;
  if (linear)
    for (int c = 0; c < colours; ++c) out[c] = std::pow(out[c], 2.2f);
  return true;
}

bool enumIs(const DescValue& d, const char* key, const char* value) {
  const DescValue* v = d.get(key);
  return v && v->class_id == value;
}

// A contour: points (0..255 in, 0..255 out) as 256 levels; left empty when
// it is the straight line it usually is. Photoshop draws it as a smooth
// curve through its points (a natural spline, measured on a glow's
// contour), or with straight lines when any point is a corner ("Cnty" off).
void readContour(const DescValue& curve, std::vector<float>* levels) {
  std::vector<std::pair<double, double>> points;
  bool corners = false;
  for (const DescValue& p : curve.list) {
    points.emplace_back(std::clamp(p.num("Hrzn", 0), 0.0, 255.0), std::clamp(p.num("Vrtc", 0), 0.0, 255.0));
    corners = corners || !p.on("Cnty", true);
  }
  std::stable_sort(points.begin(), points.end());
  if (points.size() < 2) return;
  bool straight = true;
  for (const auto& p : points) straight = straight && std::fabs(p.first - p.second) < 0.5;
  if (straight) return;
  levels->resize(256);
  if (!corners) {
    const NaturalSpline smooth(points);
    for (int i = 0; i < 256; ++i) (*levels)[static_cast<size_t>(i)] = static_cast<float>(std::clamp(smooth(i), 0.0, 255.0) / 255.0);
    return;
  }
  for (int i = 0; i < 256; ++i) {
    size_t k = 0;
    while (k + 1 < points.size() && points[k + 1].first < i) ++k;
    const auto& a = points[k];
    const auto& b = points[std::min(k + 1, points.size() - 1)];
    const double u = b.first > a.first ? std::clamp((i - a.first) / (b.first - a.first), 0.0, 1.0) : 0.0;
    (*levels)[static_cast<size_t>(i)] = static_cast<float>((a.second + (b.second - a.second) * u) / 255.0);
  }
}

// Fills *e from the descriptor of one effect; false when it is not drawn.
bool readEffect(const DescValue& d, EffectKind kind, int colours, bool linear, double scale, double global_angle,
                Effect* e) {
  e->kind = kind;
  e->mode = effectMode(d);
  e->opacity = static_cast<float>(std::clamp(d.num("Opct", 100) / 100.0, 0.0, 1.0));
  const auto px = [&](const char* key, double fallback) { return std::clamp(d.num(key, fallback) * scale, 0.0, 1000.0); };
  e->size = px(kind == EffectKind::kStroke ? "Sz  " : "blur", 0);
  e->distance = px("Dstn", 0);
  e->angle = d.on("uglg", false) ? global_angle : d.num("lagl", 120);
  e->spread = std::clamp(d.num("Ckmt", 0) / (kind == EffectKind::kStroke ? 1.0 : 100.0), 0.0, 1.0);
  e->range = std::clamp(d.num("Inpr", 50) / 100.0, 0.01, 1.0);
  e->precise = enumIs(d, "GlwT", "PrBL");
  e->from_centre = enumIs(d, "glwS", "SrcC");
  e->knocked_out = d.on("layerConceals", true);
  e->invert = d.on("Invr", false);
  if (kind == EffectKind::kStroke) {
    e->position = enumIs(d, "Styl", "InsF") ? StrokePosition::kInside
                  : enumIs(d, "Styl", "CtrF") ? StrokePosition::kCentre : StrokePosition::kOutside;
    e->gradient = enumIs(d, "PntT", "GrFl");
    e->pattern = enumIs(d, "PntT", "Ptrn");
  } else {
    e->gradient = kind == EffectKind::kGradientOverlay;
    e->pattern = kind == EffectKind::kPatternOverlay;
  }
  if (kind == EffectKind::kBevel) {
    const auto modeOf = [&](const char* key) {
      DescValue m;
      if (const DescValue* v = d.get(key)) m.items.push_back({"Md  ", *v});
      return effectMode(m);
    };
    e->mode = modeOf("hglM");
    e->shadow_mode = modeOf("sdwM");
    e->opacity = static_cast<float>(std::clamp(d.num("hglO", 75) / 100.0, 0.0, 1.0));
    e->shadow_opacity = static_cast<float>(std::clamp(d.num("sdwO", 75) / 100.0, 0.0, 1.0));
    if (!effectColour(d, colours, linear, e->colour, "hglC") ||
        !effectColour(d, colours, linear, e->shadow_colour, "sdwC"))
      return false;
    e->bevel = enumIs(d, "bvlS", "OtrB") ? BevelStyle::kOuter
               : enumIs(d, "bvlS", "Embs") ? BevelStyle::kEmboss
               : enumIs(d, "bvlS", "PlEb") ? BevelStyle::kPillow : BevelStyle::kInner;
    if (enumIs(d, "bvlS", "strokeEmboss")) return false;  // Drawn on a stroke: left out.
    e->down = enumIs(d, "bvlD", "Out ");
    e->altitude = std::clamp(d.num("Lald", 30), 0.0, 90.0);
    e->depth = std::clamp(d.num("srgR", 100) / 100.0, 0.01, 10.0);
    e->soften = std::clamp(d.num("Sftn", 0) * scale, 0.0, 1000.0);
    return true;
  }
  const DescValue* shape = d.get(kind == EffectKind::kSatin ? "MpgS" : "TrnS");
  if (const DescValue* curve = shape ? shape->get("Crv ") : nullptr) readContour(*curve, &e->contour);
  if ((kind == EffectKind::kOuterGlow || kind == EffectKind::kInnerGlow) && d.get("Grad") && !d.get("Clr ")) {
    e->glow_steps = gradientSteps(d, colours, linear);
    return true;
  }
  if (e->gradient || e->pattern) {
    e->paint = d;
    if (e->gradient) {
      // Overlays scale their gradient with the effects; strokes keep it.
      const DescValue* grad = d.get("Grad");
      const DescValue* form = grad ? grad->get("GrdF") : nullptr;
      if (form && form->class_id != "CstS") return false;  // Noise gradients.
    }
    return true;
  }
  return effectColour(d, colours, linear, e->colour);
}

struct EffectKey {
  const char* key;
  const char* multi_key;
  EffectKind kind;
  const char* name;
};

const EffectKey kDrawn[] = {
    {"DrSh", "dropShadowMulti", EffectKind::kDropShadow, "drop shadow"},
    {"OrGl", nullptr, EffectKind::kOuterGlow, "outer glow"},
    {"patternFill", nullptr, EffectKind::kPatternOverlay, "pattern overlay"},
    {"GrFl", "gradientFillMulti", EffectKind::kGradientOverlay, "gradient overlay"},
    {"SoFi", "solidFillMulti", EffectKind::kColourOverlay, "colour overlay"},
    {"IrGl", nullptr, EffectKind::kInnerGlow, "inner glow"},
    {"IrSh", "innerShadowMulti", EffectKind::kInnerShadow, "inner shadow"},
    {"FrFX", "frameFXMulti", EffectKind::kStroke, "stroke"},
    {"ebbl", nullptr, EffectKind::kBevel, "bevel and emboss"},
    {"ChFX", nullptr, EffectKind::kSatin, "satin"},
};

// One plane of floats over an area.
using Plane = std::vector<float>;

// The plane moved by (dx, dy) whole pixels; what comes in from outside is `fill`.
Plane shifted(const Plane& p, int w, int h, int dx, int dy, float fill) {
  Plane out(p.size(), fill);
  for (int y = 0; y < h; ++y) {
    const int sy = y - dy;
    if (sy < 0 || sy >= h) continue;
    for (int x = 0; x < w; ++x) {
      const int sx = x - dx;
      if (sx >= 0 && sx < w) out[static_cast<size_t>(y) * w + x] = p[static_cast<size_t>(sy) * w + sx];
    }
  }
  return out;
}

// The shape grown by r pixels, its new edge as smooth as its old one. The
// edge passes a pixel q of the shape's solid part (alpha a >= 0.5) at
// a - 0.5 beyond its centre, so a pixel at distance d from q lies
// d + 0.5 - a from the edge and is covered by r + a - d.
Plane grown(const Plane& s, int w, int h, double r) {
  if (r <= 0) return s;
  std::vector<uint8_t> inside(s.size());
  for (size_t i = 0; i < s.size(); ++i) inside[i] = s[i] >= 0.5f;
  std::vector<int> nearest;
  const std::vector<float> d = distanceTo(inside, w, h, &nearest);
  Plane out(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const double a = nearest[i] >= 0 ? s[static_cast<size_t>(nearest[i])] : 0.0;
    out[i] = std::max(s[i], static_cast<float>(std::clamp(r + a - d[i], 0.0, 1.0)));
  }
  return out;
}

// The shape shrunk by r pixels (its complement grown).
Plane shrunk(const Plane& s, int w, int h, double r) {
  if (r <= 0) return s;
  Plane inv(s.size());
  for (size_t i = 0; i < s.size(); ++i) inv[i] = 1.0f - s[i];
  Plane g = grown(inv, w, h, r);
  for (size_t i = 0; i < s.size(); ++i) g[i] = 1.0f - g[i];
  return g;
}

// A shadow's or glow's soft shape: grown by its spread, then softened over the rest of its size.
Plane softShape(const Plane& s, int w, int h, double size, double spread) {
  Plane p = grown(s, w, h, size * spread);
  softenPlane(&p, w, h, size * (1.0 - spread));
  return p;
}

// A glow measured by distance ("precise"): full on the shape, fading to 0 at `size`.
Plane preciseGlow(const Plane& s, int w, int h, double size, double spread) {
  std::vector<uint8_t> inside(s.size());
  for (size_t i = 0; i < s.size(); ++i) inside[i] = s[i] >= 0.5f;
  const std::vector<float> d = distanceTo(inside, w, h, nullptr);
  const double solid = size * spread, fade = std::max(size - solid, 1e-3);
  Plane out(s.size());
  for (size_t i = 0; i < s.size(); ++i)
    out[i] = std::max(s[i], static_cast<float>(std::clamp(1.0 - (d[i] - solid) / fade, 0.0, 1.0)));
  return out;
}

// The pattern an effect paints with, tiled (when it is aligned with the
// layer) from the point the layer records for its effects, else from a
// shape's own corner or the layer's; when not aligned, from the document's
// origin; then moved by its phase. Null when the document does not hold
// the pattern.
std::unique_ptr<PixelSource> patternSource(const Effect& e, const EffectsInput& input) {
  const DescValue* which = e.paint.get("Ptrn");
  const DescValue* id = which ? which->get("Idnt") : nullptr;
  const Pattern* pattern = id && input.patterns ? findPattern(*input.patterns, id->text) : nullptr;
  if (!pattern) return nullptr;
  double x = 0, y = 0;
  if (e.paint.on("Algn", true)) {
    const LayerRect& corner = input.shape_box.empty() ? input.layer_box : input.shape_box;
    x = input.has_reference ? input.reference_x : corner.left;
    y = input.has_reference ? input.reference_y : corner.top;
  }
  if (const DescValue* phase = e.paint.get("phase")) x += phase->num("Hrzn", 0), y += phase->num("Vrtc", 0);
  const double scale = std::clamp(e.paint.num("Scl ", 100) / 100.0, 0.01, 10.0);
  return std::make_unique<PatternSource>(*pattern, input.content.colours, scale, x, y, input.linear);
}

// The canvas an effect paints: its colour (or gradient, or pattern) at the coverage times its opacity.
void paintEffect(const Effect& e, const Plane& coverage, const EffectsInput& input, Canvas* out) {
  const LayerRect& a = input.content.area;
  const int n = input.content.colours, st = n + 1, w = a.width();
  *out = Canvas(a, n);
  std::unique_ptr<PixelSource> source;
  if (e.gradient) {
    const bool aligned = e.paint.on("Algn", true);
    source = makeGradientSource(e.paint, n, aligned ? input.layer_box : input.document, false, true);
  } else if (e.pattern) {
    source = patternSource(e, input);
  }
  std::vector<float> row(static_cast<size_t>(w) * st);
  for (int y = a.top; y < a.bottom; ++y) {
    float* d = out->at(a.left, y);
    const float* c = coverage.data() + static_cast<size_t>(y - a.top) * w;
    if (source) source->row(a.left, y, w, *out, row.data());
    for (int i = 0; i < w; ++i, d += st) {
      if (!e.glow_steps.empty()) {  // The glow's gradient runs from the edge (full cover) outwards.
        const float v = std::clamp(c[i], 0.0f, 1.0f);
        const size_t k = static_cast<size_t>(std::lround((1.0f - v) * kGradientSteps));
        std::copy_n(&e.glow_steps[k * st], st, d);
        // The gradient's own transparency sets the glow's, out to where the
        // softened shape ends (a gradient ending above 0 % does not cover
        // the canvas).
        d[n] *= e.opacity * std::min(1.0f, 100.0f * v);
      } else if (source) {
        std::copy_n(&row[static_cast<size_t>(i) * st], st, d);
        d[n] *= c[i] * e.opacity;
      } else {
        std::copy_n(e.colour, n, d);
        d[n] = c[i] * e.opacity;
      }
    }
  }
}

void composeEffect(const Effect& e, const Plane& coverage, const EffectsInput& input, Canvas* onto,
                   const ComposeRule& base, float opacity, int threads) {
  Canvas paint;
  if (e.contour.empty()) {
    paintEffect(e, coverage, input, &paint);
  } else {
    Plane shaped(coverage.size());
    for (size_t i = 0; i < shaped.size(); ++i)
      shaped[i] = e.contour[static_cast<size_t>(std::lround(std::clamp(coverage[i], 0.0f, 1.0f) * 255.0f))];
    paintEffect(e, shaped, input, &paint);
  }
  ComposeRule rule;
  rule.mode = e.mode;
  rule.opacity = opacity;
  rule.keep_alpha = base.keep_alpha;
  rule.masks = base.masks;
  rule.kept_channels = base.kept_channels;
  rule.alpha_inside = true;
  composeOnto(onto, CanvasSource(paint), rule, threads);
}

// Bevel and emboss: the shape's edge raised into a slope (a height that
// the blurred shape gives), lit from the effect's angle and altitude; the
// side facing the light paints the highlight, the side turned away the
// shadow, each in proportion to how much lighter or darker it is than flat
// ground. An inner bevel slopes inside the edge, an outer one outside it,
// an emboss across it, a pillow emboss up inside and down outside.
void drawBevel(const Effect& e, const Plane& shape, const EffectsInput& input, Canvas* content, int threads) {
  const LayerRect a = content->area;
  const int w = a.width(), h = a.height();
  const double s = std::max(e.size, 1.0);
  Plane height;
  switch (e.bevel) {
    case BevelStyle::kInner:
    case BevelStyle::kOuter:
      height = shape;
      softenPlane(&height, w, h, s);
      break;
    case BevelStyle::kEmboss:
    case BevelStyle::kPillow:
      height = shape;
      softenPlane(&height, w, h, s / 2);
      break;
  }
  if (e.soften > 0) softenPlane(&height, w, h, e.soften);
  const double rad = e.angle * kPi / 180.0, alt = e.altitude * kPi / 180.0;
  const double lx = std::cos(alt) * std::cos(rad), ly = -std::cos(alt) * std::sin(rad), lz = std::sin(alt);
  // A slope from 0 to 1 over the bevel's size rises to about 45 degrees at 100 % depth.
  const double lift = e.depth * s * (e.down ? -1.0 : 1.0);
  Plane lit(shape.size(), 0.0f), dark(shape.size(), 0.0f);
  const auto at = [&](int x, int y) {
    return height[static_cast<size_t>(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)];
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      double zx = (at(x + 1, y) - at(x - 1, y)) / 2 * lift, zy = (at(x, y + 1) - at(x, y - 1)) / 2 * lift;
      const bool inside = shape[i] >= 0.5f;
      if (e.bevel == BevelStyle::kPillow && !inside) zx = -zx, zy = -zy;
      // The surface's normal is (-zx, -zy, 1); how much light it takes against flat ground.
      const double shade = (-zx * lx - zy * ly + lz) / std::sqrt(zx * zx + zy * zy + 1.0);
      float where = 1.0f;
      if (e.bevel == BevelStyle::kInner) where = shape[i];
      else if (e.bevel == BevelStyle::kOuter) where = 1.0f - shape[i];
      if (shade > lz) lit[i] = where * static_cast<float>(std::min(1.0, (shade - lz) / std::max(1e-6, 1.0 - lz)));
      else dark[i] = where * static_cast<float>(std::min(1.0, (lz - shade) / std::max(1e-6, lz)));
    }
  Effect highlight = e, shadow = e;
  shadow.mode = e.shadow_mode;
  shadow.opacity = e.shadow_opacity;
  std::copy(e.shadow_colour, e.shadow_colour + 4, shadow.colour);
  highlight.contour.clear(), shadow.contour.clear();
  composeEffect(shadow, dark, input, content, ComposeRule(), 1.0f, threads);
  composeEffect(highlight, lit, input, content, ComposeRule(), 1.0f, threads);
}

}  // namespace

int LayerEffects::reach() const {
  double r = 0;
  for (const Effect& e : drawn) {
    switch (e.kind) {
      case EffectKind::kDropShadow: r = std::max(r, e.distance + e.size); break;
      case EffectKind::kOuterGlow: r = std::max(r, e.size * std::max(1.0, 2.5 * e.range)); break;
      // Inner effects soften what lies outside the shape too: a margin of
      // it keeps their edges right where the shape meets its rectangle.
      case EffectKind::kInnerGlow: r = std::max(r, e.size); break;
      case EffectKind::kInnerShadow:
      case EffectKind::kSatin: r = std::max(r, e.distance + e.size); break;
      case EffectKind::kStroke: r = std::max(r, e.size); break;
      case EffectKind::kBevel: r = std::max(r, e.size + e.soften); break;
      default: break;
    }
  }
  return static_cast<int>(std::ceil(r)) + 2;
}

LayerEffects readEffects(const LayerRecord& layer, int colours, bool linear, double global_angle) {
  LayerEffects out;
  DescValue fx;
  if (!effectsDescriptor(layer, &fx)) {
    noteEffects(layer, &out.left_out);  // Only the older block: named, not drawn.
    return out;
  }
  if (!fx.on("masterFXSwitch", true)) return out;
  // "Scl " records a scaling already applied to the sizes stored.
  const double scale = 1.0;
  for (const EffectKey& k : kDrawn) {
    std::vector<const DescValue*> items;
    if (const DescValue* one = fx.get(k.key)) items.push_back(one);
    if (const DescValue* many = k.multi_key ? fx.get(k.multi_key) : nullptr)
      for (auto it = many->list.rbegin(); it != many->list.rend(); ++it) items.push_back(&*it);  // The first is on top.
    for (const DescValue* d : items) {
      if (!enabled(*d)) continue;
      Effect e;
      if (!readEffect(*d, k.kind, colours, linear, scale, global_angle, &e)) {
        out.left_out.insert(k.name);  // A colour or kind of it this program does not draw.
        continue;
      }
      out.drawn.push_back(std::move(e));
    }
  }
  std::stable_sort(out.drawn.begin(), out.drawn.end(),
                   [](const Effect& a, const Effect& b) { return a.kind < b.kind; });
  return out;
}

bool paintsWithPatterns(const LayerRecord& layer) {
  for (const Effect& e : readEffects(layer, 3, false, 120).drawn)
    if (e.pattern) return true;
  return false;
}

void drawEffects(const LayerEffects& all, EffectsInput& input, const ComposeRule& rule, Canvas* target, int threads,
                 std::set<std::string>* left_out) {
  LayerEffects effects;
  for (const Effect& e : all.drawn) {
    if (e.pattern && !patternSource(e, input)) {
      left_out->insert(e.kind == EffectKind::kStroke ? "pattern stroke" : "pattern overlay");
      continue;
    }
    effects.drawn.push_back(e);
  }
  Canvas& content = input.content;
  const LayerRect a = content.area;
  const int w = a.width(), h = a.height(), n = content.colours, st = n + 1;
  Plane shape(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < shape.size(); ++i) shape[i] = content.px[i * st + n];

  ComposeRule clip;  // What the effects share with the layer: its clipping and further masks.
  clip.keep_alpha = rule.keep_alpha;
  clip.masks = rule.masks;
  clip.kept_channels = rule.kept_channels;
  for (const Effect& e : effects.drawn) {
    if (e.kind == EffectKind::kDropShadow) {
      const double rad = e.angle * kPi / 180.0;
      const int dx = static_cast<int>(std::lround(-e.distance * std::cos(rad)));
      const int dy = static_cast<int>(std::lround(e.distance * std::sin(rad)));
      Plane p = softShape(shifted(shape, w, h, dx, dy, 0.0f), w, h, e.size, e.spread);
      if (e.knocked_out)
        for (size_t i = 0; i < p.size(); ++i) p[i] *= 1.0f - shape[i];
      composeEffect(e, p, input, target, clip, rule.opacity, threads);
    } else if (e.kind == EffectKind::kOuterGlow) {
      // A softer glow spreads further the larger its range: its blur's
      // radius is 0.82 of its size (after the spread) times the range, as
      // measured on Photoshop's glows.
      Plane p;
      if (e.precise) {
        p = preciseGlow(shape, w, h, e.size, e.spread);
      } else {
        p = grown(shape, w, h, e.size * e.spread);
        blurPlane(&p, w, h, 0.82 * e.size * (1.0 - e.spread) * e.range);
      }
      // The range is the part of the glow, from its outer end, that the contour spans.
      for (float& v : p) v = std::min(1.0f, v / static_cast<float>(e.range));
      composeEffect(e, p, input, target, clip, rule.opacity, threads);
    }
  }

  // Where each effect on the layer's pixels covers them.
  const auto coverage = [&](const Effect& e) {
    Plane p;
    switch (e.kind) {
      case EffectKind::kColourOverlay:
      case EffectKind::kGradientOverlay:
      case EffectKind::kPatternOverlay:
        p = shape;
        break;
      case EffectKind::kInnerShadow: {
        const double rad = e.angle * kPi / 180.0;
        const int dx = static_cast<int>(std::lround(-e.distance * std::cos(rad)));
        const int dy = static_cast<int>(std::lround(e.distance * std::sin(rad)));
        Plane outside(shape.size());
        for (size_t i = 0; i < shape.size(); ++i) outside[i] = 1.0f - shape[i];
        p = softShape(shifted(outside, w, h, dx, dy, 1.0f), w, h, e.size, e.spread);
        for (size_t i = 0; i < p.size(); ++i) p[i] *= shape[i];
        break;
      }
      case EffectKind::kSatin: {
        // The shape moved both ways along the light's angle, each softened;
        // where the two differ the satin shades.
        const double rad = e.angle * kPi / 180.0;
        const int dx = static_cast<int>(std::lround(e.distance * std::cos(rad)));
        const int dy = static_cast<int>(std::lround(-e.distance * std::sin(rad)));
        Plane one = shifted(shape, w, h, dx, dy, 0.0f), other = shifted(shape, w, h, -dx, -dy, 0.0f);
        softenPlane(&one, w, h, e.size);
        softenPlane(&other, w, h, e.size);
        p.resize(shape.size());
        for (size_t i = 0; i < p.size(); ++i) {
          const float v = std::fabs(one[i] - other[i]);
          p[i] = (e.invert ? 1.0f - v : v) * shape[i];
        }
        break;
      }
      case EffectKind::kInnerGlow: {
        if (e.from_centre) {
          p = softShape(shrunk(shape, w, h, e.size * e.spread), w, h, e.size, 0.0);
        } else {
          Plane outside(shape.size());
          for (size_t i = 0; i < shape.size(); ++i) outside[i] = 1.0f - shape[i];
          p = e.precise ? preciseGlow(outside, w, h, e.size, e.spread) : softShape(outside, w, h, e.size, e.spread);
        }
        for (size_t i = 0; i < p.size(); ++i) p[i] = std::min(1.0f, p[i] / static_cast<float>(e.range)) * shape[i];
        break;
      }
      case EffectKind::kStroke: {
        const double out_size = e.position == StrokePosition::kOutside ? e.size
                                : e.position == StrokePosition::kCentre ? e.size / 2 : 0.0;
        const Plane outer = grown(shape, w, h, out_size);
        const Plane core = shrunk(shape, w, h, e.size - out_size);
        p.resize(shape.size());
        for (size_t i = 0; i < p.size(); ++i) p[i] = std::max(0.0f, outer[i] - core[i]);
        break;
      }
      default:
        break;
    }
    return p;
  };
  const auto interior = [](const Effect& e) {
    return e.kind != EffectKind::kStroke && e.kind != EffectKind::kDropShadow && e.kind != EffectKind::kOuterGlow &&
           e.kind != EffectKind::kBevel;
  };
  // Effects inside the shape never make it more opaque than it is: they are
  // laid on its pixels as if the shape were solid (alpha taken relative to
  // the shape's, coverage too), and the shape's alpha is put back after.
  const auto relative = [&](bool to) {
    for (size_t i = 0; i < shape.size(); ++i) {
      float& a = content.px[i * st + n];
      a = to ? (shape[i] > 0.0f ? std::min(1.0f, a / shape[i]) : 0.0f) : a * shape[i];
    }
  };
  const auto layInside = [&](const Effect& e) {
    Plane p = coverage(e);
    for (size_t i = 0; i < p.size(); ++i) p[i] = shape[i] > 0.0f ? std::min(1.0f, p[i] / shape[i]) : 0.0f;
    composeEffect(e, p, input, &content, ComposeRule(), 1.0f, threads);
  };
  const auto applyFill = [&] {
    for (size_t i = 0; i < shape.size(); ++i) content.px[i * st + n] *= input.fill;
  };
  // The layer's own pixels fade with the fill and the clipped layers lie
  // on them, under the effects. Interior effects blended as a group
  // ("infx") fade with the pixels instead, and the clipped layers lie over them.
  if (!input.interior_as_group) {
    applyFill();
    if (input.under_effects) input.under_effects(&content, shape);
  }
  relative(true);
  for (const Effect& e : effects.drawn)
    if (interior(e)) layInside(e);
  if (input.interior_as_group) {
    applyFill();
    relative(false);
    if (input.under_effects) input.under_effects(&content, shape);
    relative(true);
  }
  for (const Effect& e : effects.drawn)
    if (e.kind == EffectKind::kStroke && e.position == StrokePosition::kInside) layInside(e);
  relative(false);
  for (const Effect& e : effects.drawn)
    if (e.kind == EffectKind::kStroke && e.position != StrokePosition::kInside)
      composeEffect(e, coverage(e), input, &content, ComposeRule(), 1.0f, threads);
  for (const Effect& e : effects.drawn)
    if (e.kind == EffectKind::kBevel) drawBevel(e, shape, input, &content, threads);
  composeOnto(target, CanvasSource(content), rule, threads);
}

std::vector<float> distanceTo(const std::vector<uint8_t>& inside, int w, int h, std::vector<int>* nearest) {
  // Squared distances, one dimension at a time (Felzenszwalb and
  // Huttenlocher), keeping which pixel is nearest.
  const float kFar = 1e20f;
  std::vector<float> d(static_cast<size_t>(w) * h);
  std::vector<int> from(d.size(), -1);
  for (size_t i = 0; i < d.size(); ++i) {
    d[i] = inside[i] ? 0.0f : kFar;
    if (inside[i]) from[i] = static_cast<int>(i);
  }
  const int n_max = std::max(w, h);
  std::vector<float> f(static_cast<size_t>(n_max)), z(static_cast<size_t>(n_max) + 1), out(static_cast<size_t>(n_max));
  std::vector<int> v(static_cast<size_t>(n_max)), which(static_cast<size_t>(n_max));
  // The lower envelope of the parabolas f(q) + (x - q)^2, evaluated at every x.
  const auto pass = [&](int n) {
    int k = 0;
    v[0] = 0;
    z[0] = -kFar, z[1] = kFar;
    for (int q = 1; q < n; ++q) {
      float s;
      while (true) {
        const int p = v[static_cast<size_t>(k)];
        s = ((f[q] + static_cast<float>(q) * q) - (f[p] + static_cast<float>(p) * p)) / (2.0f * (q - p));
        if (s <= z[static_cast<size_t>(k)] && k > 0) --k;
        else break;
      }
      if (s <= z[static_cast<size_t>(k)]) {  // k == 0 and the new parabola is lower everywhere.
        v[0] = q;
        z[0] = -kFar, z[1] = kFar;
        continue;
      }
      ++k;
      v[static_cast<size_t>(k)] = q;
      z[static_cast<size_t>(k)] = s;
      z[static_cast<size_t>(k) + 1] = kFar;
    }
    k = 0;
    for (int q = 0; q < n; ++q) {
      while (z[static_cast<size_t>(k) + 1] < q) ++k;
      const int p = v[static_cast<size_t>(k)];
      out[static_cast<size_t>(q)] = static_cast<float>(q - p) * (q - p) + f[static_cast<size_t>(p)];
      which[static_cast<size_t>(q)] = p;
    }
  };
  std::vector<int> column_from(from.size());
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) f[static_cast<size_t>(y)] = d[static_cast<size_t>(y) * w + x];
    pass(h);
    for (int y = 0; y < h; ++y) {
      const size_t i = static_cast<size_t>(y) * w + x;
      d[i] = out[static_cast<size_t>(y)];
      column_from[i] = from[static_cast<size_t>(which[static_cast<size_t>(y)]) * w + x];
    }
  }
  for (int y = 0; y < h; ++y) {
    float* row = d.data() + static_cast<size_t>(y) * w;
    std::copy_n(row, w, f.begin());
    pass(w);
    std::copy_n(out.begin(), w, row);
    for (int x = 0; x < w; ++x)
      from[static_cast<size_t>(y) * w + x] = column_from[static_cast<size_t>(y) * w + which[static_cast<size_t>(x)]];
  }
  for (size_t i = 0; i < d.size(); ++i) {
    d[i] = d[i] >= kFar / 2 ? std::numeric_limits<float>::infinity() : std::sqrt(d[i]);
    if (std::isinf(d[i])) from[i] = -1;
  }
  if (nearest) *nearest = std::move(from);
  return d;
}

namespace {

// One box blur of radius r (fractional: the outermost samples weigh its
// fraction) along n samples at stride `step`.
void boxLine(float* p, int n, size_t step, double r, std::vector<float>* tmp) {
  const int ri = static_cast<int>(r);
  const float frac = static_cast<float>(r - ri), norm = static_cast<float>(1.0 / (2 * r + 1));
  tmp->assign(static_cast<size_t>(n), 0.0f);
  const auto at = [&](int i) { return i >= 0 && i < n ? p[static_cast<size_t>(i) * step] : 0.0f; };
  double sum = 0;
  for (int i = -ri; i <= ri; ++i) sum += at(i);
  for (int i = 0; i < n; ++i) {
    (*tmp)[static_cast<size_t>(i)] = static_cast<float>((sum + frac * (at(i - ri - 1) + at(i + ri + 1))) * norm);
    sum += at(i + ri + 1) - at(i - ri);
  }
  for (int i = 0; i < n; ++i) p[static_cast<size_t>(i) * step] = (*tmp)[static_cast<size_t>(i)];
}

}  // namespace

void softenPlane(std::vector<float>* plane, int w, int h, double size) {
  // Three passes of radius r reach 3r. Photoshop's softening reaches a
  // little beyond its size: r = size / 2.7 matched the shadows, glows and
  // bevels of the documents measured best (size / 3 and size / 2.4 were
  // each a little further off).
  blurPlane(plane, w, h, size / 2.7);
}

void blurPlane(std::vector<float>* plane, int w, int h, double r) {
  if (r <= 0 || w <= 0 || h <= 0) return;
  std::vector<float> tmp;
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < h; ++y) boxLine(plane->data() + static_cast<size_t>(y) * w, w, 1, r, &tmp);
    for (int x = 0; x < w; ++x) boxLine(plane->data() + x, h, static_cast<size_t>(w), r, &tmp);
  }
}

}  // namespace pixolune
