#include "engine/layers/adjustments.h"

#include <algorithm>
#include <climits>
#include <functional>

#include "engine/layers/descriptor.h"

namespace pixolune {

namespace {

constexpr LayerRect kEverywhere{INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2};

// One colour everywhere.
class SolidSource : public PixelSource {
 public:
  SolidSource(const float* colour, int n) : colour_(colour, colour + n) {}
  LayerRect bounds() const override { return kEverywhere; }
  void row(int, int, int n, const Canvas&, float* out) const override {
    const size_t nc = colour_.size();
    for (int i = 0; i < n; ++i, out += nc + 1) {
      std::copy(colour_.begin(), colour_.end(), out);
      out[nc] = 1.0f;
    }
  }

 private:
  std::vector<float> colour_;
};

// The canvas itself, recoloured pixel by pixel.
class RecolourSource : public PixelSource {
 public:
  using Recolour = std::function<void(float* colour, int n)>;
  explicit RecolourSource(Recolour f) : f_(std::move(f)) {}
  LayerRect bounds() const override { return kEverywhere; }
  void row(int x, int y, int n, const Canvas& target, float* out) const override {
    const int st = target.stride();
    std::copy(target.at(x, y), target.at(x, y) + static_cast<size_t>(n) * st, out);
    for (int i = 0; i < n; ++i, out += st) {
      f_(out, target.colours);
      out[target.colours] = 1.0f;
    }
  }

 private:
  Recolour f_;
};

}  // namespace

AdjustmentSource makeAdjustmentSource(const LayerRecord& layer, int colours, std::string* left_out) {
  AdjustmentSource out;
  (void)colours;
  (void)left_out;
  if (layer.block("nvrt")) {
    out.adjusts = true;
    out.source = std::make_unique<RecolourSource>([](float* c, int n) {
      for (int i = 0; i < n; ++i) c[i] = 1.0f - c[i];
    });
  }
  return out;
}

}  // namespace pixolune
