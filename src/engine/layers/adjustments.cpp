#include "engine/layers/adjustments.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>

#include "engine/layers/descriptor.h"
#include "engine/layers/fill_layers.h"
#include "engine/psd_file.h"

namespace pixolune {

namespace {

constexpr LayerRect kEverywhere{INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2};

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

uint64_t be(const std::vector<uint8_t>& d, size_t at, int bytes) {
  return at + static_cast<size_t>(bytes) <= d.size() ? bigEndian(d.data() + at, bytes) : 0;
}

float beFloat(const std::vector<uint8_t>& d, size_t at) {
  const uint32_t bits = static_cast<uint32_t>(be(d, at, 4));
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// A tone curve sampled on the 0..1 scale, read back with linear interpolation.
class ToneTable {
 public:
  static constexpr int kSteps = 4096;
  ToneTable() : v_(kSteps + 1) {
    for (int i = 0; i <= kSteps; ++i) v_[i] = static_cast<float>(i) / kSteps;
  }
  template <typename F>
  explicit ToneTable(F f) : v_(kSteps + 1) {
    for (int i = 0; i <= kSteps; ++i) v_[i] = std::clamp(static_cast<float>(f(static_cast<double>(i) / kSteps)), 0.0f, 1.0f);
  }
  float operator()(float x) const {
    const float p = std::clamp(x, 0.0f, 1.0f) * kSteps;
    const int i = std::min(static_cast<int>(p), kSteps - 1);
    return v_[i] + (v_[i + 1] - v_[i]) * (p - static_cast<float>(i));
  }
  ToneTable then(const ToneTable& next) const {
    ToneTable t;
    for (int i = 0; i <= kSteps; ++i) t.v_[i] = next(v_[i]);
    return t;
  }

 private:
  std::vector<float> v_;
};

// One channel table per colour channel, the composite's applied after the channel's own.
RecolourSource::Recolour perChannel(std::vector<ToneTable> tables) {
  return [tables = std::move(tables)](float* c, int n) {
    for (int i = 0; i < n && i < static_cast<int>(tables.size()); ++i) c[i] = tables[i](c[i]);
  };
}

// Levels: 29 records of input floor, input ceiling, output floor, output
// ceiling and gamma times 100; the first for the composite, then one per channel.
ToneTable levelsRecord(const std::vector<uint8_t>& d, size_t at) {
  const double in_lo = be(d, at, 2) / 255.0, in_hi = be(d, at + 2, 2) / 255.0;
  const double out_lo = be(d, at + 4, 2) / 255.0, out_hi = be(d, at + 6, 2) / 255.0;
  const double gamma = std::clamp(be(d, at + 8, 2) / 100.0, 0.01, 10.0);
  return ToneTable([=](double x) {
    double t = in_hi > in_lo ? std::clamp((x - in_lo) / (in_hi - in_lo), 0.0, 1.0) : (x >= in_hi ? 1.0 : 0.0);
    return out_lo + std::pow(t, 1.0 / gamma) * (out_hi - out_lo);
  });
}

RecolourSource::Recolour levels(const std::vector<uint8_t>& d, int colours) {
  const ToneTable master = levelsRecord(d, 2);
  std::vector<ToneTable> tables;
  for (int c = 0; c < colours; ++c)
    tables.push_back(levelsRecord(d, 2 + 10 * static_cast<size_t>(c + 1)).then(master));
  return perChannel(std::move(tables));
}

// A natural cubic spline through the points (input, output), flat beyond them.
ToneTable spline(std::vector<std::pair<double, double>> pts) {
  std::sort(pts.begin(), pts.end());
  const size_t n = pts.size();
  if (n < 2) return ToneTable();
  std::vector<double> m(n, 0.0), u(n, 0.0);
  for (size_t i = 1; i + 1 < n; ++i) {
    const double h0 = pts[i].first - pts[i - 1].first, h1 = pts[i + 1].first - pts[i].first;
    if (h0 <= 0 || h1 <= 0) continue;
    const double sig = h0 / (h0 + h1), p = sig * m[i - 1] + 2.0;
    m[i] = (sig - 1.0) / p;
    const double d = (pts[i + 1].second - pts[i].second) / h1 - (pts[i].second - pts[i - 1].second) / h0;
    u[i] = (6.0 * d / (h0 + h1) - sig * u[i - 1]) / p;
  }
  for (size_t k = n - 1; k-- > 0;) m[k] = m[k] * m[k + 1] + u[k];
  m[0] = m[n - 1] = 0.0;
  return ToneTable([pts, m](double x) {
    if (x <= pts.front().first) return pts.front().second;
    if (x >= pts.back().first) return pts.back().second;
    size_t i = 1;
    while (pts[i].first < x) ++i;
    const double h = pts[i].first - pts[i - 1].first;
    if (h <= 0) return pts[i].second;
    const double a = (pts[i].first - x) / h, b = (x - pts[i - 1].first) / h;
    return a * pts[i - 1].second + b * pts[i].second +
           ((a * a * a - a) * m[i - 1] + (b * b * b - b) * m[i]) * h * h / 6.0;
  });
}

// Curves: a bit set of the curves present (bit 0 the composite, then one per
// channel), then per curve a point count and (output, input) pairs.
RecolourSource::Recolour curves(const std::vector<uint8_t>& d, int colours) {
  const uint64_t present = be(d, 3, 4);
  size_t at = 7;
  std::vector<ToneTable> found(33);
  for (int bit = 0; bit < 32; ++bit) {
    if (!(present & (uint64_t{1} << bit))) continue;
    const size_t count = std::min<size_t>(be(d, at, 2), 64);
    at += 2;
    std::vector<std::pair<double, double>> pts;
    for (size_t i = 0; i < count; ++i, at += 4) pts.emplace_back(be(d, at + 2, 2) / 255.0, be(d, at, 2) / 255.0);
    found[static_cast<size_t>(bit)] = spline(std::move(pts));
  }
  std::vector<ToneTable> tables;
  for (int c = 0; c < colours; ++c)
    tables.push_back(found[static_cast<size_t>(c + 1)].then(found[0]));
  return perChannel(std::move(tables));
}

// Exposure works on linear light: exposure in stops and offset there, then gamma.
RecolourSource::Recolour exposure(const std::vector<uint8_t>& d) {
  const double stops = beFloat(d, 2), offset = beFloat(d, 6), gamma = std::max(0.01f, beFloat(d, 10));
  const ToneTable t([=](double x) {
    const double lin = std::pow(x, 2.2) * std::pow(2.0, stops) + offset;
    return std::pow(std::max(0.0, lin), 1.0 / (2.2 * gamma));
  });
  return perChannel(std::vector<ToneTable>(4, t));
}

RecolourSource::Recolour posterize(const std::vector<uint8_t>& d) {
  const int levels = std::clamp(static_cast<int>(be(d, 0, 2)), 2, 255);
  return [levels](float* c, int n) {
    for (int i = 0; i < n; ++i) {
      const float step = std::min(std::floor(c[i] * levels), static_cast<float>(levels - 1));
      c[i] = step / (levels - 1);
    }
  };
}

RecolourSource::Recolour threshold(const std::vector<uint8_t>& d) {
  const float level = std::clamp(static_cast<int>(be(d, 0, 2)), 1, 255) / 255.0f;
  return [level](float* c, int n) {
    const float l = n >= 3 ? 0.299f * c[0] + 0.587f * c[1] + 0.114f * c[2] : c[0];
    for (int i = 0; i < n; ++i) c[i] = l >= level ? 1.0f : 0.0f;
  };
}

void invert(float* c, int n) {
  for (int i = 0; i < n; ++i) c[i] = 1.0f - c[i];
}

// Adjustments this program cannot apply, by block key, for the debug output.
const char* unsupportedAdjustment(const LayerRecord& layer) {
  static const std::pair<const char*, const char*> kKinds[] = {
      {"blnc", "colour balance"}, {"selc", "selective colour"}, {"mixr", "channel mixer"},
      {"grdm", "gradient map"},   {"phfl", "photo filter"},     {"blwh", "black and white"},
      {"vibA", "vibrance"},       {"clrL", "colour lookup"},    {"hue2", "hue/saturation"},
      {"hue ", "hue/saturation"}, {"CgEd", "brightness/contrast"}, {"brit", "brightness/contrast"},
      {"PtFl", "pattern fill"},
  };
  for (const auto& [key, name] : kKinds)
    if (layer.block(key)) return name;
  return nullptr;
}

}  // namespace

AdjustmentSource makeAdjustmentSource(const LayerRecord& layer, int colours, const LayerRect& document,
                                      std::string* left_out) {
  AdjustmentSource out;
  if (layer.block("SoCo") || layer.block("GdFl")) {
    if (layer.rect.empty()) out.source = makeFillSource(layer, colours, document);
    if (!out.source && layer.rect.empty()) *left_out = layer.block("SoCo") ? "colour fill" : "gradient fill";
    return out;
  }
  RecolourSource::Recolour f;
  if (const LayerBlock* b = layer.block("levl")) f = levels(b->data, colours);
  else if (const LayerBlock* b = layer.block("curv")) f = curves(b->data, colours);
  else if (const LayerBlock* b = layer.block("expA")) f = exposure(b->data);
  else if (const LayerBlock* b = layer.block("post")) f = posterize(b->data);
  else if (const LayerBlock* b = layer.block("thrs")) f = threshold(b->data);
  else if (layer.block("nvrt")) f = invert;
  if (f) {
    out.adjusts = true;
    out.source = std::make_unique<RecolourSource>(std::move(f));
    return out;
  }
  if (const char* name = unsupportedAdjustment(layer)) *left_out = name;
  return out;
}

}  // namespace pixolune
