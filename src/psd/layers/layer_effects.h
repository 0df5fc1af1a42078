// Layer effects ("layer styles"): read from a layer's "lfx2"/"lmfx"
// descriptor, or named from the older "lrFX" block, and drawn around and
// inside the layer's shape.
#ifndef PIXOLUNE_PSD_LAYERS_LAYER_EFFECTS_H_
#define PIXOLUNE_PSD_LAYERS_LAYER_EFFECTS_H_

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "psd/layers/blend_modes.h"
#include "psd/layers/descriptor.h"
#include "psd/layers/layer_canvas.h"
#include "psd/layers/layer_records.h"

namespace pixolune {

struct Pattern;

/// Adds to *names the enabled effects of the layer ("drop shadow",
/// "stroke", ...), read from its "lfx2", "lmfx" or older "lrFX" block;
/// effects switched off, or all of them when the layer's effects are
/// hidden, are not named.
void noteEffects(const LayerRecord& layer, std::set<std::string>* names);

enum class EffectKind {
  kDropShadow, kOuterGlow,                                       // Behind the layer.
  kPatternOverlay, kGradientOverlay, kColourOverlay,              // On its pixels,
  kSatin, kInnerGlow, kInnerShadow, kStroke, kBevel,              // bottom to top.
};

enum class StrokePosition { kOutside, kInside, kCentre };
enum class BevelStyle { kInner, kOuter, kEmboss, kPillow };

/// One enabled effect, its sizes already scaled by the effects' scale.
struct Effect {
  EffectKind kind = EffectKind::kColourOverlay;
  BlendMode mode = BlendMode::kNormal;
  float opacity = 1.0f;
  float colour[4] = {0, 0, 0, 0};   // In the canvas's channels.
  DescValue paint;                  // Gradient or pattern settings, when it paints with one.
  bool gradient = false, pattern = false;
  double distance = 0, angle = 120; // Shadows and satin: offset, light angle in degrees.
  double size = 0;                  // Blur or stroke width, pixels.
  double spread = 0;                // Spread or choke, 0..1 of the size.
  double range = 1;                 // Glows: the part of the edge the contour spans, 0..1.
  bool precise = false;             // Glows: distance, not blur.
  bool from_centre = false;         // Inner glow from the centre instead of the edge.
  bool knocked_out = true;          // Drop shadow hidden under the layer's shape.
  bool invert = false;              // Satin.
  StrokePosition position = StrokePosition::kOutside;
  // Bevel and emboss: its lit side paints `colour` by `mode` and `opacity`,
  // its shaded side these; the light comes from `angle` at `altitude`.
  BlendMode shadow_mode = BlendMode::kMultiply;
  float shadow_opacity = 0.75f;
  float shadow_colour[4] = {0, 0, 0, 0};
  BevelStyle bevel = BevelStyle::kInner;
  bool down = false;                // The bevel's direction: pressed in instead of raised.
  double altitude = 30;             // Degrees above the surface.
  double depth = 1;                 // 1: 100 %.
  double soften = 0;                // Pixels.
  std::vector<float> glow_steps;    // Glows painted with a gradient: its steps, from the edge out.
  std::vector<float> contour;       // Shadows and glows: 256 levels the coverage passes through, or empty.
};

/// The effects of a layer that this program draws, in drawing order, and
/// the names of those it leaves out.
struct LayerEffects {
  std::vector<Effect> drawn;
  std::set<std::string> left_out;
  bool any() const { return !drawn.empty(); }
  /// How far beyond the layer's shape the effects reach, in pixels.
  int reach() const;
};

/// Reads the enabled effects of `layer` for a canvas of `colours` colours
/// (see descriptorColour); `linear`: the canvas holds linear light.
/// `global_angle` is the document's light angle, used by effects that
/// follow it. Effects of a hidden set ("masterFXSwitch" off) and effects
/// only the older block describes are left out (the latter named).
LayerEffects readEffects(const LayerRecord& layer, int colours, bool linear, double global_angle);

/// What drawEffects works on: the layer drawn alone at full fill over
/// `content.area` (the layer's area widened by reach()), with its masks.
struct EffectsInput {
  Canvas content;
  float fill = 1.0f;                // Fill opacity: scales the layer's pixels, not its effects,
  bool interior_as_group = false;   // unless its interior effects blend as a group ("infx").
  LayerRect layer_box;              // The layer's bounds: gradients and patterns align with them,
  LayerRect document;               // or with the document's.
  bool has_reference = false;       // The point the layer records for its effects ("fxrp"):
  double reference_x = 0, reference_y = 0;  // aligned patterns start there,
  LayerRect shape_box;              // or at a shape layer's own bounds, where it keeps them.
  const std::vector<Pattern>* patterns = nullptr;  // The document's (readPatterns).
  bool linear = false;              // The canvas holds linear light (32-bit documents).
  /// Called with the layer's canvas (its pixels at their fill) and its
  /// shape (the alpha before the fill, one float a pixel of the canvas)
  /// before the effects on its pixels are drawn: a clipping base draws
  /// its clipped layers there.
  std::function<void(Canvas*, const std::vector<float>&)> under_effects;
};

/// Draws the layer with its effects onto `target`: the effects behind the
/// layer straight onto it (by their blend modes, times rule.opacity), then
/// the layer's pixels with the effects on them as one layer by `rule`
/// (blend mode, opacity, keep_alpha, further masks). Effects painting with
/// a pattern that is not among input.patterns are skipped and named in
/// *left_out.
void drawEffects(const LayerEffects& effects, EffectsInput& input, const ComposeRule& rule, Canvas* target,
                 int threads, std::set<std::string>* left_out);

/// True when the layer has an enabled effect painting with a pattern.
bool paintsWithPatterns(const LayerRecord& layer);

/// Distances in pixels from each pixel of a w x h grid to the nearest
/// pixel where `inside` holds (0 there), Euclidean, exact; infinite when
/// none does. *nearest (if given) receives the index of that pixel, or -1.
std::vector<float> distanceTo(const std::vector<uint8_t>& inside, int w, int h, std::vector<int>* nearest = nullptr);

/// A blur of the plane (w x h, values 0..1) that spreads a sharp edge over
/// about `size` pixels on each side, as shadows and glows soften: three
/// box blurs, which approach a Gaussian. Outside the plane counts as 0.
void softenPlane(std::vector<float>* plane, int w, int h, double size);

/// Three box blurs of radius r (fractional), across and down.
void blurPlane(std::vector<float>* plane, int w, int h, double r);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_LAYER_EFFECTS_H_
