#include "psd/layers/adjustments.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>

#include "psd/layers/descriptor.h"
#include "psd/layers/fill_layers.h"
#include "psd/layers/tone_curve.h"
#include "psd/psd_file.h"

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
  return std::isfinite(f) ? f : 0.0f;
}

// An HSL colour (hue in degrees) as RGB.
void hsbColour(float hue, float sat, float light, float* rgb) {
  const float q = light < 0.5f ? light * (1 + sat) : light + sat - light * sat, p = 2 * light - q;
  for (int k = 0; k < 3; ++k) {
    float t = std::fmod(hue / 360.0f + (1 - k) / 3.0f + 2.0f, 1.0f);
    rgb[k] = t < 1 / 6.0f ? p + (q - p) * 6 * t : t < 0.5f ? q : t < 2 / 3.0f ? p + (q - p) * (2 / 3.0f - t) * 6 : p;
  }
}

// 0..1, NaN as 0.
float unit(float v) { return v >= 0.0f ? std::min(v, 1.0f) : 0.0f; }

// A tone curve sampled on the 0..1 scale, read back with linear interpolation.
class ToneTable {
 public:
  static constexpr int kSteps = 4096;
  ToneTable() : v_(kSteps + 1) {
    for (int i = 0; i <= kSteps; ++i) v_[i] = static_cast<float>(i) / kSteps;
  }
  template <typename F>
  explicit ToneTable(F f) : v_(kSteps + 1) {
    for (int i = 0; i <= kSteps; ++i) v_[i] = unit(static_cast<float>(f(static_cast<double>(i) / kSteps)));
  }
  float operator()(float x) const {
    const float p = unit(x) * kSteps;
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
  if (pts.size() < 2) return ToneTable();
  const NaturalSpline curve(std::move(pts));
  return ToneTable([&curve](double x) { return curve(x); });
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

// Exposure works on linear light: exposure in stops and offset there, then
// gamma. RGB is taken as gamma 2.2; greyscale's working space (dot gain
// 20 %) is close to gamma 1.75.
RecolourSource::Recolour exposure(const std::vector<uint8_t>& d, int colours) {
  const double stops = beFloat(d, 2), offset = beFloat(d, 6), gamma = std::max(0.01f, beFloat(d, 10));
  const double g = colours == 1 ? 1.75 : 2.2;
  const ToneTable t([=](double x) {
    const double lin = std::pow(x, g) * std::pow(2.0, stops) + offset;
    return std::pow(std::max(0.0, lin), 1.0 / (g * gamma));
  });
  return perChannel(std::vector<ToneTable>(4, t));
}

RecolourSource::Recolour posterize(const std::vector<uint8_t>& d) {
  const int levels = std::clamp(static_cast<int>(be(d, 0, 2)), 2, 255);
  return [levels](float* c, int n) {
    for (int i = 0; i < n; ++i) {
      // Bands are cut on the 8-bit level, also in 16-bit documents.
      const float step = std::floor(std::round(c[i] * 255.0f) * static_cast<float>(levels) / 256.0f);
      c[i] = std::min(step, static_cast<float>(levels - 1)) / static_cast<float>(levels - 1);
    }
  };
}

RecolourSource::Recolour threshold(const std::vector<uint8_t>& d) {
  const float level = std::clamp(static_cast<int>(be(d, 0, 2)), 1, 255) / 255.0f;
  return [level](float* c, int n) {
    // CMYK as stored: each colour's light is what its ink and the black leave.
    const float k = n == 4 ? c[3] : 1.0f;
    const float l = n >= 3 ? (0.299f * c[0] + 0.587f * c[1] + 0.114f * c[2]) * k : c[0];
    // CMYK's black is black ink alone, as Photoshop stores it.
    for (int i = 0; i < n; ++i) c[i] = l >= level || (n == 4 && i < 3) ? 1.0f : 0.0f;
  };
}

// Hue of an RGB colour in degrees, or -1 for greys.
float hueOf(const float* c) {
  const float hi = std::max({c[0], c[1], c[2]}), lo = std::min({c[0], c[1], c[2]}), d = hi - lo;
  if (d <= 0.0f) return -1.0f;
  float h = hi == c[0] ? (c[1] - c[2]) / d : hi == c[1] ? 2.0f + (c[2] - c[0]) / d : 4.0f + (c[0] - c[1]) / d;
  h *= 60.0f;
  return h < 0.0f ? h + 360.0f : h;
}

// Turns the hue by `degrees`, keeping lightness and saturation (HSL).
void turnHue(float* c, float degrees) {
  const float h = hueOf(c);
  if (h < 0.0f || degrees == 0.0f) return;
  const float hi = std::max({c[0], c[1], c[2]}), lo = std::min({c[0], c[1], c[2]});
  float nh = std::fmod(h + degrees + 720.0f, 360.0f) / 60.0f;
  const int i = static_cast<int>(nh);
  const float f = nh - static_cast<float>(i), up = lo + (hi - lo) * f, down = hi - (hi - lo) * f;
  const float table[6][3] = {{hi, up, lo}, {down, hi, lo}, {lo, hi, up}, {lo, down, hi}, {up, lo, hi}, {hi, lo, down}};
  for (int k = 0; k < 3; ++k) c[k] = table[std::min(i, 5)][k];
}

// Photoshop's saturation: the colour's chroma times `factor` about its HSL
// lightness, keeping its hue and lightness; it stops where the colour is
// fully saturated rather than clipping channel by channel.
void saturate(float* c, float factor) {
  const float hi = std::max({c[0], c[1], c[2]}), lo = std::min({c[0], c[1], c[2]}), chroma = hi - lo;
  if (chroma <= 0.0f || factor == 1.0f) return;
  const float l = (hi + lo) / 2.0f, most = 2.0f * std::min(l, 1.0f - l);
  const float k = std::min(chroma * std::max(factor, 0.0f), most) / chroma;
  for (int i = 0; i < 3; ++i) c[i] = std::clamp(l + (c[i] - l) * k, 0.0f, 1.0f);
}

// A setting of -100..100 as Photoshop applies it: 1/100 is 255/256 of a
// hundredth (measured on its lightness), the ends are whole.
float amountOf(float setting) {
  if (std::fabs(setting) >= 100.0f) return setting > 0 ? 1.0f : -1.0f;
  return setting / 100.0f * (255.0f / 256.0f);
}

// What a saturation setting adds to the chroma factor: a raise a grows it
// by 1 / (1 - a) - 1, a cut takes a away.
float saturationGain(float setting) {
  const float a = amountOf(setting);
  return a > 0.0f ? 1.0f / (1.0f - std::min(a, 255.0f / 256.0f)) - 1.0f : a;
}

// A colour range's lightness: towards the colour's own brightest channel
// (raising) or its darkest (lowering), so greys stay as they are.
void lightenRange(float* c, float amount) {
  const float hi = std::max({c[0], c[1], c[2]}), lo = std::min({c[0], c[1], c[2]});
  for (int i = 0; i < 3; ++i) c[i] = amount >= 0.0f ? c[i] + (hi - c[i]) * amount : lo + (c[i] - lo) * (1.0f + amount);
}

void lighten(float* c, int n, float amount) {
  for (int k = 0; k < n; ++k) c[k] = amount >= 0.0f ? c[k] + (1.0f - c[k]) * amount : c[k] * (1.0f + amount);
}

struct HueRange {
  float ramp_in, begin, end, ramp_out;  // Degrees; a range may wrap past 360.
  float hue, sat, light;
};

// How much of a range's setting a hue gets: 1 inside, fading over the ramps.
float rangeWeight(const HueRange& r, float h) {
  auto from = [](float a, float b) { return std::fmod(b - a + 720.0f, 360.0f); };  // Degrees from a to b.
  const float span_in = from(r.ramp_in, r.begin), span_full = from(r.begin, r.end), span_out = from(r.end, r.ramp_out);
  const float d = from(r.ramp_in, h);
  if (d < span_in) return span_in > 0 ? d / span_in : 1.0f;
  if (d <= span_in + span_full) return 1.0f;
  if (d < span_in + span_full + span_out) return 1.0f - (d - span_in - span_full) / span_out;
  return 0.0f;
}

// Hue/saturation: the six colour ranges' settings by each pixel's hue, then
// the master's; "colorize" gives every pixel one hue and saturation.
RecolourSource::Recolour hueSaturation(const std::vector<uint8_t>& d) {
  auto signed16 = [&](size_t at) { return static_cast<float>(static_cast<int16_t>(be(d, at, 2))); };
  const bool colourize = be(d, 2, 1) != 0;
  const float master[3] = {signed16(colourize ? 4 : 10), signed16(colourize ? 6 : 12), signed16(colourize ? 8 : 14)};
  std::vector<HueRange> ranges;
  for (size_t r = 0, at = 16; r < 6 && !colourize; ++r, at += 14)
    ranges.push_back({signed16(at), signed16(at + 2), signed16(at + 4), signed16(at + 6), signed16(at + 8),
                      signed16(at + 10), signed16(at + 12)});
  return [=](float* c, int n) {
    if (n < 3) {
      lighten(c, n, amountOf(master[2]));
      return;
    }
    if (colourize) {
      const float l = (std::max({c[0], c[1], c[2]}) + std::min({c[0], c[1], c[2]})) / 2.0f;
      float sat = master[1] / 100.0f, rgb[3];
      hsbColour(master[0], sat, l, rgb);
      std::copy(rgb, rgb + 3, c);
      lighten(c, 3, amountOf(master[2]));
      return;
    }
    // Each range weighs in by the pixel's own hue (Photoshop's hues sit
    // half a degree off the ranges' stored limits). Their settings are
    // added in the order stored, each sum kept within what it can reach:
    // a range that has taken saturation or lightness to its end leaves
    // nothing for a later one to undo.
    const float h = hueOf(c), at = h < 0.0f ? h : std::fmod(h + 359.5f, 360.0f);
    float hue = master[0], sat = 0.0f, light = 0.0f;
    for (const HueRange& r : ranges) {
      const float w = at < 0.0f ? 0.0f : rangeWeight(r, at);
      if (w <= 0.0f) continue;
      hue += w * r.hue;
      sat = std::max(-1.0f, sat + w * saturationGain(r.sat));
      light = std::clamp(light + w * amountOf(r.light), -1.0f, 1.0f);
    }
    turnHue(c, hue);
    saturate(c, 1.0f + sat);
    saturate(c, 1.0f + saturationGain(master[1]));
    lightenRange(c, light);
    lighten(c, 3, amountOf(master[2]));
  };
}

// Brightness/contrast as Photoshop drew it before CS3 (the "legacy" form):
// brightness shifts every level, contrast stretches about the mean.
RecolourSource::Recolour legacyBrightnessContrast(double brightness, double contrast, double mean) {
  const double m = mean / 255.0, shift = brightness / 255.0;
  const double k = contrast >= 0 ? 1.0 / std::max(0.01, 1.0 - contrast / 100.0) : 1.0 + contrast / 100.0;
  const ToneTable t([=](double x) { return (x + shift - m) * k + m; });
  return perChannel(std::vector<ToneTable>(4, t));
}

// The current form keeps black and white where they are and bends the
// levels between. Brightness is the flow t' = t (1 - t) (a0 + a1 t + a2 t²)
// followed for a time of brightness / 100 (backwards for a negative one,
// with a field of its own): it raises the darks more than the lights and
// never crosses black or white. Contrast is then an S about the middle,
// y - A sin(2 pi y), its amplitude growing a little faster than the
// setting. The constants were fitted to a Photoshop document holding four
// such layers (0.54 levels on average).
RecolourSource::Recolour modernBrightnessContrast(double brightness, double contrast) {
  static constexpr double kRaise[3] = {0.6716, 0.3481, 1.4704}, kLower[3] = {0.6219, 0.4559, 1.6479};
  const double* a = brightness >= 0 ? kRaise : kLower;
  const auto field = [a](double t) { return t * (1.0 - t) * (a[0] + a[1] * t + a[2] * t * t); };
  constexpr int kSteps = 64;
  const double h = std::clamp(brightness, -150.0, 150.0) / 100.0 / kSteps;
  const double c = std::clamp(contrast, -50.0, 100.0) / 100.0;
  const double amplitude = (14.7711 * c + 20.5605 * c * std::fabs(c)) / 255.0;  // Below 1/(2 pi): monotone.
  const ToneTable t([&](double x) {
    for (int i = 0; i < kSteps; ++i) {  // Runge-Kutta, fourth order.
      const double k1 = field(x), k2 = field(x + 0.5 * h * k1), k3 = field(x + 0.5 * h * k2), k4 = field(x + h * k3);
      x += h / 6.0 * (k1 + 2.0 * k2 + 2.0 * k3 + k4);
    }
    x = std::clamp(x, 0.0, 1.0);
    return x - amplitude * std::sin(2.0 * std::numbers::pi * x);
  });
  return perChannel(std::vector<ToneTable>(4, t));
}

// The legacy form from "brit", or from "CgEd" when it asks for it; the
// current form from "CgEd" otherwise.
RecolourSource::Recolour brightnessContrast(const LayerRecord& layer) {
  DescValue d;
  if (const LayerBlock* b = layer.block("CgEd")) {
    if (!parseBlockDescriptor(b->data, 4, &d)) return nullptr;
    if (!d.on("useLegacy", false)) return modernBrightnessContrast(d.num("Brgh", 0), d.num("Cntr", 0));
    return legacyBrightnessContrast(d.num("Brgh", 0), d.num("Cntr", 0), d.num("means", 127));
  }
  const std::vector<uint8_t>& data = layer.block("brit")->data;
  return legacyBrightnessContrast(static_cast<int16_t>(be(data, 0, 2)), static_cast<int16_t>(be(data, 2, 2)),
                                  static_cast<double>(be(data, 4, 2)));
}

// HSL lightness of an RGB colour.
float lightnessOf(const float* c) { return (std::max({c[0], c[1], c[2]}) + std::min({c[0], c[1], c[2]})) / 2.0f; }

// Colour balance: shifts along cyan-red, magenta-green and yellow-blue,
// each weighted by how much the pixel is a shadow, midtone or highlight;
// with "preserve luminosity" the pixel keeps its lightness.
RecolourSource::Recolour colourBalance(const std::vector<uint8_t>& d) {
  float shift[3][3];  // Shadows, midtones, highlights; per channel, -1..1.
  for (int range = 0; range < 3; ++range)
    for (int c = 0; c < 3; ++c)
      shift[range][c] = static_cast<int16_t>(be(d, static_cast<size_t>(6 * range + 2 * c), 2)) / 100.0f;
  const bool keep_lightness = be(d, 18, 1) != 0;
  return [=](float* c, int n) {
    if (n < 3) return;
    const float l = lightnessOf(c);
    constexpr float a = 0.25f, b = 0.333f, scale = 0.7f;
    const float w[3] = {std::clamp((l - b) / -a + 0.5f, 0.0f, 1.0f) * scale,
                        std::clamp((l - b) / a + 0.5f, 0.0f, 1.0f) * std::clamp((l + b - 1) / -a + 0.5f, 0.0f, 1.0f) * scale,
                        std::clamp((l + b - 1) / a + 0.5f, 0.0f, 1.0f) * scale};
    for (int k = 0; k < 3; ++k) {
      float v = c[k];
      for (int range = 0; range < 3; ++range) v += shift[range][k] * w[range];
      c[k] = std::clamp(v, 0.0f, 1.0f);
    }
    if (!keep_lightness) return;
    const float now = lightnessOf(c);
    const float hi = std::max({c[0], c[1], c[2]}), lo = std::min({c[0], c[1], c[2]});
    const float sat = hi > lo ? (hi - lo) / (1.0f - std::fabs(2.0f * now - 1.0f) + 1e-6f) : 0.0f;
    const float hue = hueOf(c);
    if (hue < 0.0f) {
      c[0] = c[1] = c[2] = l;
      return;
    }
    hsbColour(hue, std::min(sat, 1.0f), l, c);
  };
}

void invert(float* c, int n) {
  for (int i = 0; i < n; ++i) c[i] = 1.0f - c[i];
}

// Adjustments this program cannot apply, by block key, for the debug output.
const char* unsupportedAdjustment(const LayerRecord& layer) {
  static const std::pair<const char*, const char*> kKinds[] = {
      {"selc", "selective colour"}, {"mixr", "channel mixer"},
      {"grdm", "gradient map"},   {"phfl", "photo filter"},     {"blwh", "black and white"},
      {"vibA", "vibrance"},       {"clrL", "colour lookup"},    {"hue ", "hue/saturation"}, {"CgEd", "brightness/contrast"}, {"brit", "brightness/contrast"},
  };
  for (const auto& [key, name] : kKinds)
    if (layer.block(key)) return name;
  return nullptr;
}

}  // namespace

bool drawsWithoutPixels(const LayerRecord& layer) {
  static const char* const kKeys[] = {"levl", "curv", "expA", "post", "thrs", "nvrt", "hue2", "blnc", "SoCo", "GdFl", "PtFl"};
  for (const char* key : kKeys)
    if (layer.block(key)) return true;
  return unsupportedAdjustment(layer) != nullptr;
}

AdjustmentSource makeAdjustmentSource(const LayerRecord& layer, int colours, const LayerRect& document,
                                      std::string* left_out, bool linear, const std::vector<Pattern>* patterns) {
  AdjustmentSource out;
  if (layer.block("SoCo") || layer.block("GdFl") || layer.block("PtFl")) {
    // A fill this program cannot draw, for whatever reason, is named among what the drawing left out.
    if (layer.rect.empty() && !makeFillSource(layer, colours, document, linear, &out.source, patterns).ok())
      *left_out = layer.block("SoCo") ? "colour fill" : layer.block("GdFl") ? "gradient fill" : "pattern fill";
    return out;
  }
  RecolourSource::Recolour f;
  if (const LayerBlock* b = layer.block("levl")) f = levels(b->data, colours);
  else if (const LayerBlock* b = layer.block("curv")) f = curves(b->data, colours);
  else if (const LayerBlock* b = layer.block("expA")) f = exposure(b->data, colours);
  else if (const LayerBlock* b = layer.block("post")) f = posterize(b->data);
  else if (const LayerBlock* b = layer.block("thrs")) f = threshold(b->data);
  else if (const LayerBlock* b = layer.block("hue2")) f = hueSaturation(b->data);
  else if (const LayerBlock* b = layer.block("blnc")) f = colourBalance(b->data);
  else if (layer.block("nvrt")) f = invert;
  else if (layer.block("brit") || layer.block("CgEd")) f = brightnessContrast(layer);
  if (f) {
    out.adjusts = true;
    out.source = std::make_unique<RecolourSource>(std::move(f));
    return out;
  }
  if (const char* name = unsupportedAdjustment(layer)) *left_out = name;
  return out;
}

}  // namespace pixolune
