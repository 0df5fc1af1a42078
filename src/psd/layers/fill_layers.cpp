#include "psd/layers/fill_layers.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace pixolune {

namespace {

constexpr LayerRect kEverywhere{INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2};
constexpr double kPi = 3.14159265358979323846;

void hsbToRgb(double h, double s, double v, float* rgb) {
  h = std::fmod(std::fmod(h, 360.0) + 360.0, 360.0) / 60.0;
  const int i = static_cast<int>(h);
  const double f = h - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  const double table[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
  for (int c = 0; c < 3; ++c) rgb[c] = static_cast<float>(table[std::min(i, 5)][c]);
}

// RGB (0..1) to the canvas's channels.
void fromRgb(const float* rgb, int colours, float* out) {
  if (colours == 3) {
    std::copy(rgb, rgb + 3, out);
  } else if (colours == 1) {
    out[0] = 0.299f * rgb[0] + 0.587f * rgb[1] + 0.114f * rgb[2];
  } else {
    const float k = 1.0f - std::max({rgb[0], rgb[1], rgb[2]});
    for (int c = 0; c < 3; ++c) out[c] = k >= 1.0f ? 1.0f : 1.0f - (1.0f - rgb[c] - k) / (1.0f - k);
    out[3] = 1.0f - k;
  }
}

}  // namespace

bool descriptorColour(const DescValue* colour, int colours, float* out) {
  if (!colour) return false;
  float rgb[3];
  const std::string& kind = colour->class_id;
  if (kind == "RGBC") {
    rgb[0] = static_cast<float>(colour->num("Rd  ", 0) / 255.0);
    rgb[1] = static_cast<float>(colour->num("Grn ", 0) / 255.0);
    rgb[2] = static_cast<float>(colour->num("Bl  ", 0) / 255.0);
  } else if (kind == "Grsc") {
    rgb[0] = rgb[1] = rgb[2] = static_cast<float>(1.0 - colour->num("Gry ", 0) / 100.0);
  } else if (kind == "HSBC") {
    hsbToRgb(colour->num("H   ", 0), colour->num("Strt", 0) / 100.0, colour->num("Brgh", 0) / 100.0, rgb);
  } else if (kind == "CMYC") {
    const double ink[4] = {colour->num("Cyn ", 0) / 100.0, colour->num("Mgnt", 0) / 100.0,
                           colour->num("Ylw ", 0) / 100.0, colour->num("Blck", 0) / 100.0};
    if (colours == 4) {
      for (int c = 0; c < 4; ++c) out[c] = static_cast<float>(1.0 - ink[c]);
      return true;
    }
    for (int c = 0; c < 3; ++c) rgb[c] = static_cast<float>((1.0 - ink[c]) * (1.0 - ink[3]));
  } else {
    return false;
  }
  for (float& v : rgb) v = std::clamp(v, 0.0f, 1.0f);
  fromRgb(rgb, colours, out);
  return true;
}

namespace {

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

// Position between two stops, bent by the midpoint (percent) between them.
double bend(double u, double midpoint) {
  const double m = std::clamp(midpoint / 100.0, 0.001, 0.999);
  return u < m ? 0.5 * u / m : 0.5 + 0.5 * (u - m) / (1 - m);
}

// Samples a stop list (locations 0..4096) with `value` giving each stop's
// channels. `smooth` (0..1, the gradient's smoothness) bends each span
// towards an S: at 1 it is half straight, half smoothstep.
template <typename F>
void sampleStops(const std::vector<DescValue>& stops, int count, double smooth, F value,
                 std::vector<std::vector<float>>* out) {
  struct Stop {
    double first;
    std::vector<float> second;
    double midpoint;
  };
  std::vector<Stop> s;
  for (const DescValue& stop : stops) {
    std::vector<float> v(static_cast<size_t>(count));
    if (!value(stop, v.data())) continue;
    s.push_back({stop.num("Lctn", 0) / 4096.0, v, stop.num("Mdpn", 50)});
  }
  std::stable_sort(s.begin(), s.end(), [](const Stop& a, const Stop& b) { return a.first < b.first; });
  out->assign(kGradientSteps + 1, std::vector<float>(static_cast<size_t>(count), 1.0f));
  if (s.empty()) return;
  for (int i = 0; i <= kGradientSteps; ++i) {
    const double t = static_cast<double>(i) / kGradientSteps;
    size_t k = 0;
    while (k < s.size() && s[k].first < t) ++k;
    std::vector<float>& v = (*out)[static_cast<size_t>(i)];
    if (k == 0 || k == s.size()) {
      v = s[k == 0 ? 0 : s.size() - 1].second;
      continue;
    }
    const double span = s[k].first - s[k - 1].first;
    double u = span > 0 ? bend((t - s[k - 1].first) / span, s[k].midpoint) : 1.0;
    u += 0.5 * smooth * (3 * u * u - 2 * u * u * u - u);
    for (int c = 0; c < count; ++c) v[c] = static_cast<float>(s[k - 1].second[c] + (s[k].second[c] - s[k - 1].second[c]) * u);
  }
}

}  // namespace

std::vector<float> gradientSteps(const DescValue& fill, int colours, bool linear, bool smoothed) {
  const DescValue* grad = fill.get("Grad");
  std::vector<std::vector<float>> col, opa;
  static const std::vector<DescValue> kNone;
  const DescValue* stops = grad ? grad->get("Clrs") : nullptr;
  const DescValue* trans = grad ? grad->get("Trns") : nullptr;
  const double smooth = smoothed && grad ? std::clamp(grad->num("Intr", 0) / 4096.0, 0.0, 1.0) : 0.0;
  // Colours mixed in linear light when the gradient asks for it (the
  // sRGB curve), else as stored.
  const DescValue* method = fill.get("gradientsInterpolationMethod");
  const bool mix_linear = method && method->class_id == "Lnr ";
  const auto toLinear = [](float v) {
    return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
  };
  const auto fromLinear = [](float v) {
    return v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
  };
  sampleStops(stops ? stops->list : kNone, colours, smooth, [&](const DescValue& s, float* v) {
    if (!descriptorColour(s.get("Clr "), colours, v)) return false;
    if (mix_linear)
      for (int c = 0; c < colours; ++c) v[c] = toLinear(v[c]);
    return true;
  }, &col);
  sampleStops(trans ? trans->list : kNone, 1, smooth, [](const DescValue& s, float* v) {
    v[0] = static_cast<float>(s.num("Opct", 100) / 100.0);
    return true;
  }, &opa);
  std::vector<float> table(static_cast<size_t>(kGradientSteps + 1) * (colours + 1));
  for (int i = 0; i <= kGradientSteps; ++i) {
    float* out = &table[static_cast<size_t>(i) * (colours + 1)];
    for (int c = 0; c < colours; ++c) {
      float v = col[i][static_cast<size_t>(c)];
      if (mix_linear) v = fromLinear(v);
      out[c] = linear ? std::pow(v, 2.2f) : v;
    }
    out[colours] = opa[i][0];
  }
  return table;
}

namespace {

class GradientSource : public PixelSource {
 public:
  GradientSource(const DescValue& fill, int colours, const LayerRect& box, bool linear, bool overlay)
      : colours_(colours), overlay_(overlay) {
    table_ = gradientSteps(fill, colours, linear, !overlay);
    setGeometry(fill, box);
  }
  LayerRect bounds() const override { return kEverywhere; }
  void row(int x, int y, int n, const Canvas&, float* out) const override {
    const int st = colours_ + 1;
    // A fill is sampled at each pixel's corner, an overlay at its centre.
    const double at = overlay_ ? 0.5 : 0.0;
    for (int i = 0; i < n; ++i, out += st) {
      const double t = position(x + i + at, y + at);
      const double u = t >= 0.0 ? std::min(t, 1.0) : 0.0;  // NaN as 0.
      const int k = static_cast<int>(std::lround(u * kGradientSteps));
      std::copy_n(&table_[static_cast<size_t>(k) * st], st, out);
    }
  }

 private:
  void setGeometry(const DescValue& fill, const LayerRect& box) {
    const DescValue* type = fill.get("Type");
    type_ = type ? type->class_id : "Lnr ";
    const double angle = fill.num("Angl", 90) * kPi / 180.0, scale = fill.num("Scl ", 100) / 100.0;
    dx_ = std::cos(angle), dy_ = -std::sin(angle);
    const double w = box.width(), h = box.height();
    cx_ = box.left + w / 2, cy_ = box.top + h / 2;
    if (const DescValue* offset = fill.get("Ofst")) cx_ += offset->num("Hrzn", 0) / 100.0 * w, cy_ += offset->num("Vrtc", 0) / 100.0 * h;
    // A fill spans the box from corner to corner; an overlay's gradient is
    // shorter off the axes: its length goes from the width to the height
    // with the square of the angle's cosine and sine, as Photoshop draws it.
    reverse_ = fill.on("Rvrs", false);
    if (overlay_) {
      const double length = w * dx_ * dx_ + h * dy_ * dy_;
      half_ = std::max(1e-6, length / 2 * scale);
      sx_ = cx_ - half_ * dx_, sy_ = cy_ - half_ * dy_, ux_ = dx_, uy_ = dy_;
      return;
    }
    // A fill runs along its angle through the box's centre to where the
    // line leaves the box, and Photoshop puts its ends and centre on whole
    // pixels: at 30 degrees in a 4 x 4 box it runs from (2, 2) to (4, 0).
    const double reach_x = std::fabs(dx_) > 1e-9 ? w / 2 / std::fabs(dx_) : HUGE_VAL;
    const double reach_y = std::fabs(dy_) > 1e-9 ? h / 2 / std::fabs(dy_) : HUGE_VAL;
    const double k = std::max(1e-6, std::min(reach_x, reach_y) * scale);
    const auto whole = [](double v) { return std::floor(std::clamp(v, -1e9, 1e9) + 1e-6); };
    const double ex = whole(cx_ + k * dx_), ey = whole(cy_ + k * dy_);
    sx_ = whole(cx_ - k * dx_), sy_ = whole(cy_ - k * dy_);
    cx_ = whole(cx_), cy_ = whole(cy_);
    if (type_ == "Lnr ") {  // From the start to the end.
      const double vx = ex - sx_, vy = ey - sy_, len = std::hypot(vx, vy);
      half_ = std::max(1e-6, len / 2);
      ux_ = len > 0 ? vx / len : dx_, uy_ = len > 0 ? vy / len : dy_;
    } else {  // From the centre to the end.
      const double vx = ex - cx_, vy = ey - cy_, len = std::hypot(vx, vy);
      half_ = std::max(1e-6, len);
      ux_ = len > 0 ? vx / len : dx_, uy_ = len > 0 ? vy / len : dy_;
    }
  }
  double position(double x, double y) const {
    const double px = x - cx_, py = y - cy_, along = px * ux_ + py * uy_;
    double t;
    if (type_ == "Rdl ") t = std::sqrt(px * px + py * py) / half_;
    else if (type_ == "Rflc") t = std::fabs(along) / half_;
    else if (type_ == "Dmnd") t = (std::fabs(along) + std::fabs(-px * uy_ + py * ux_)) / half_;
    else if (type_ == "Angl" && overlay_) t = std::fmod(std::atan2(-(py * dx_ - px * dy_), px * dx_ + py * dy_) / (2 * kPi) + 1.0, 1.0);
    // A fill's angle gradient turns clockwise on the screen from its angle.
    else if (type_ == "Angl") t = std::fmod(std::atan2(py * dx_ - px * dy_, px * dx_ + py * dy_) / (2 * kPi) + 1.0, 1.0);
    else t = ((x - sx_) * ux_ + (y - sy_) * uy_) / (2 * half_);
    return reverse_ ? 1.0 - t : t;
  }

  int colours_;
  std::vector<float> table_;
  std::string type_;
  double dx_ = 1, dy_ = 0, cx_ = 0, cy_ = 0, half_ = 1;
  double sx_ = 0, sy_ = 0, ux_ = 1, uy_ = 0;  // The start and the unit direction.
  bool reverse_ = false;
  bool overlay_ = false;
};

}  // namespace

std::unique_ptr<PixelSource> makeGradientSource(const DescValue& fill, int colours, const LayerRect& box, bool linear,
                                                bool overlay) {
  const DescValue* grad = fill.get("Grad");
  const DescValue* form = grad ? grad->get("GrdF") : nullptr;
  if (form && form->class_id != "CstS") return nullptr;
  return std::make_unique<GradientSource>(fill, colours, box, linear, overlay);
}

LayerRect shapeBounds(const LayerRecord& layer) {
  const LayerBlock* b = layer.block("vogk");
  DescValue d;
  if (!b || !parseBlockDescriptor(b->data, 8, &d)) return {};
  const DescValue* list = d.get("keyDescriptorList");
  if (!list || list->list.empty()) return {};
  const DescValue* box = list->list[0].get("keyOriginShapeBBox");
  if (!box) return {};
  const auto side = [&](const char* key) { return static_cast<int>(std::lround(std::clamp(box->num(key, 0), -1e9, 1e9))); };
  const LayerRect r{side("Top "), side("Left"), side("Btom"), side("Rght")};
  return r.empty() ? LayerRect() : r;
}

Status makeFillSource(const LayerRecord& layer, int colours, const LayerRect& document, bool linear,
                      std::unique_ptr<PixelSource>* source, const std::vector<Pattern>* patterns) {
  source->reset();
  DescValue d;
  if (const LayerBlock* b = layer.block("SoCo")) {
    float colour[4];
    if (!parseBlockDescriptor(b->data, 4, &d) || !descriptorColour(d.get("Clr "), colours, colour))
      return Status::corrupt("the colour fill's descriptor cannot be read");
    if (linear)
      for (int c = 0; c < colours; ++c) colour[c] = std::pow(colour[c], 2.2f);
    *source = std::make_unique<SolidSource>(colour, colours);
    return Status();
  }
  if (const LayerBlock* b = layer.block("GdFl")) {
    if (!parseBlockDescriptor(b->data, 4, &d)) return Status::corrupt("the gradient fill's descriptor cannot be read");
    // A shape's gradient spans the shape's own bounds, a fill's the document.
    const LayerRect shape = shapeBounds(layer);
    *source = makeGradientSource(d, colours, shape.empty() ? document : shape, linear, false);
    return *source ? Status() : Status::unsupported("noise gradients are not drawn");
  }
  if (const LayerBlock* b = layer.block("PtFl")) {
    if (!parseBlockDescriptor(b->data, 4, &d)) return Status::corrupt("the pattern fill's descriptor cannot be read");
    const DescValue* which = d.get("Ptrn");
    const DescValue* id = which ? which->get("Idnt") : nullptr;
    const Pattern* pattern = id && patterns ? findPattern(*patterns, id->text) : nullptr;
    if (!pattern) return Status::unsupported("the pattern fill's pattern is not in the document");
    // The tiles start at the document's origin, moved by the phase.
    const DescValue* phase = d.get("phase");
    if (!phase) phase = d.get("Ofst");
    const double px = phase ? phase->num("Hrzn", 0) : 0, py = phase ? phase->num("Vrtc", 0) : 0;
    *source = std::make_unique<PatternSource>(*pattern, colours, d.num("Scl ", 100) / 100.0, px, py, linear);
    return Status();
  }
  return Status::unsupported("the layer is no colour, gradient or pattern fill");
}

}  // namespace pixolune
