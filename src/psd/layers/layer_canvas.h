// A float canvas of colour and alpha, and the one operation that draws on
// it: composing a source row by row under a blend mode, opacity and mask.
#ifndef PIXOLUNE_PSD_LAYERS_LAYER_CANVAS_H_
#define PIXOLUNE_PSD_LAYERS_LAYER_CANVAS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <utility>
#include <vector>

#include "psd/layers/blend_modes.h"
#include "psd/layers/channel_data.h"
#include "psd/layers/layer_records.h"

namespace pixolune {

/// Zeroed memory of `bytes` bytes (std::bad_alloc when there is none), and
/// its release; the pair behind CanvasAllocator (allocateZeroedBlock,
/// platform/memory.h).
void* allocateZeroed(size_t bytes);
void freeZeroed(void* p, size_t bytes);

/// Memory for canvases, handed out zeroed: small blocks from calloc, large
/// ones mapped afresh, on huge pages where the system offers them, and
/// made present and writable at once. A canvas is then neither cleared
/// by a pass of its own nor faulted in page by page while it is drawn.
/// Sized without a value, a vector of it keeps the zeros as they are.
template <typename T>
struct CanvasAllocator {
  using value_type = T;
  CanvasAllocator() = default;
  template <typename U>
  CanvasAllocator(const CanvasAllocator<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(allocateZeroed(n * sizeof(T))); }
  void deallocate(T* p, size_t n) { freeZeroed(p, n * sizeof(T)); }
  template <typename U>
  void construct(U*) {}  // Already zero.
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  bool operator==(const CanvasAllocator&) const { return true; }
};

/// Pixels of an area of the document: `colours` colour samples and one alpha
/// per pixel, all 0..1, colour not multiplied by alpha. Starts transparent.
struct Canvas {
  LayerRect area;
  int colours = 3;
  std::vector<float, CanvasAllocator<float>> px;
  Canvas() = default;
  Canvas(const LayerRect& a, int n) : area(a), colours(n), px(static_cast<size_t>(a.width()) * a.height() * (n + 1)) {}
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
  /// Composes n pixels from (x, y) on straight onto `dst` (canvas pixels
  /// of `colours` colours) by normal blending at `opacity`, as row() and
  /// the normal rule would, when the source can do it without the row in
  /// between; false (nothing done) otherwise.
  virtual bool composeNormal(int /*x*/, int /*y*/, int /*n*/, int /*colours*/, float /*opacity*/,
                             float* /*dst*/) const {
    return false;
  }
};

/// Normal blending of one source pixel `s` (colours, then alpha already
/// times opacity in `as`) onto canvas pixel d.
inline void composeNormalPixel(float* d, const float* s, float as, int n) {
  if (as <= 0.0f) return;
  if (as >= 1.0f) {
    for (int c = 0; c < n; ++c) d[c] = s[c];
    d[n] = 1.0f;
    return;
  }
  const float ab = d[n];
  if (ab >= 1.0f) {
    for (int c = 0; c < n; ++c) d[c] += (s[c] - d[c]) * as;
    return;
  }
  const float kept = ab * (1.0f - as), ao = as + kept, inv = 1.0f / ao;
  for (int c = 0; c < n; ++c) d[c] = (as * s[c] + kept * d[c]) * inv;
  d[n] = ao;
}

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
  uint32_t kept_channels = 0;           // Bit c set: colour channel c of the canvas is left as it is.
  // Linear burn and dodge take the source's alpha inside the sum (the
  // source pulled towards their neutral colour), as Photoshop paints effects.
  bool alpha_inside = false;
  // Blending against more than the canvas: the canvas lies over `seed` (the
  // backdrop of a pass-through group of reduced fill), whose alpha counts
  // times seed_alpha; the canvas keeps only what the source adds.
  const Canvas* seed = nullptr;
  float seed_alpha = 0.0f;
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

/// Areas of fewer pixels than this are worked on by one thread.
constexpr int64_t kMinBandPixels = 256 * 1024;

/// How many bands of rows an area of rows x width is cut into for up to
/// `threads` threads: one per kMinBandPixels pixels at most.
int rowBands(int rows, int width, int threads);

/// Calls body(band, first_row, end_row) for each of `bands` bands of rows
/// [top, bottom), each band on a thread of its own (the calling thread
/// takes the first), and returns when all are done.
void forRowBands(int top, int bottom, int bands, const std::function<void(int, int, int)>& body);

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

#endif  // PIXOLUNE_PSD_LAYERS_LAYER_CANVAS_H_
