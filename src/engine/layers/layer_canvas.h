// A float canvas of colour and alpha, and the one operation that draws on
// it: composing a source row by row under a blend mode, opacity and mask.
#ifndef PIXOLUNE_ENGINE_LAYERS_LAYER_CANVAS_H_
#define PIXOLUNE_ENGINE_LAYERS_LAYER_CANVAS_H_

#include <vector>

#include "engine/layers/blend_modes.h"
#include "engine/layers/channel_data.h"
#include "engine/layers/layer_records.h"

namespace pixolune {

/// Pixels of an area of the document: `colours` colour samples and one alpha
/// per pixel, all 0..1, colour not multiplied by alpha. Starts transparent.
struct Canvas {
  LayerRect area;
  int colours = 3;
  std::vector<float> px;
  Canvas() = default;
  Canvas(const LayerRect& a, int n)
      : area(a), colours(n), px(static_cast<size_t>(a.width()) * a.height() * (n + 1), 0.0f) {}
  int stride() const { return colours + 1; }
  float* at(int x, int y) {
    return px.data() + (static_cast<size_t>(y - area.top) * area.width() + (x - area.left)) * stride();
  }
  const float* at(int x, int y) const { return const_cast<Canvas*>(this)->at(x, y); }
};

/// Where a compose takes its pixels from, one row segment at a time.
class PixelSource {
 public:
  virtual ~PixelSource() = default;
  /// The area outside which the source is transparent.
  virtual LayerRect bounds() const = 0;
  /// Writes n pixels from (x, y) on: colours then alpha, as in a Canvas.
  /// `target` is the canvas being drawn on (adjustments read it).
  virtual void row(int x, int y, int n, const Canvas& target, float* out) const = 0;
};

/// A plane mask: inside its rectangle the samples, outside its default;
/// a density below 255 lifts it towards white.
struct PlaneMask {
  LayerRect rect;
  ChannelPlane plane;
  float outside = 1.0f;
  float density = 1.0f;
  float at(int x, int y) const {
    float v = outside;
    if (x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom && !plane.empty())
      v = plane.at(x - rect.left, y - rect.top);
    return 1.0f - density * (1.0f - v);
  }
};

/// How a source is put on the canvas.
/// "Blend if" on the grey of source and backdrop: each range, on the
/// 0..255 scale, lets nothing through below `black_from` and above
/// `white_to`, everything between `black_to` and `white_from`, and fades
/// in between.
struct BlendRange {
  float black_from = 0, black_to = 0, white_from = 255, white_to = 255;
  bool all() const { return black_to <= 0 && white_from >= 255; }
  float weight(float grey255) const;
};

struct ComposeRule {
  BlendMode mode = BlendMode::kNormal;
  float opacity = 1.0f;                 // Opacity times fill, 0..1.
  std::vector<const PlaneMask*> masks;  // Multiplied into the source's alpha.
  bool keep_alpha = false;              // Clipped: the canvas's own alpha stays (source atop).
  BlendRange source_range, backdrop_range;  // Blend if, on the composite grey.
  bool blend_if() const { return !source_range.all() || !backdrop_range.all(); }
};

/// Composes the source onto the canvas where both exist. Colour follows the
/// separable compositing rule: the source colour is first blended with the
/// backdrop, weighted by the backdrop's alpha, then laid over it by the
/// source's alpha; keep_alpha leaves the canvas alpha as it was. A large
/// area is cut into bands of rows composed by up to `threads` threads at
/// once (the source is read from all of them); the result is the same.
void composeOnto(Canvas* canvas, const PixelSource& source, const ComposeRule& rule, int threads = 1);

/// Mixes `after` back towards `before` by opacity times the masks, alpha
/// included: how a pass-through group's opacity and mask apply.
/// REQUIRES: both canvases cover the same area.
void fadeTowards(Canvas* after, const Canvas& before, float opacity, const std::vector<const PlaneMask*>& masks);

/// A canvas as a source.
class CanvasSource : public PixelSource {
 public:
  explicit CanvasSource(const Canvas& canvas) : canvas_(canvas) {}
  LayerRect bounds() const override { return canvas_.area; }
  void row(int x, int y, int n, const Canvas& target, float* out) const override;

 private:
  const Canvas& canvas_;
};

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_LAYERS_LAYER_CANVAS_H_
