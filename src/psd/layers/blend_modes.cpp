#include "psd/layers/blend_modes.h"

#include <algorithm>
#include <cmath>

namespace pixolune {

namespace {

struct ModeName {
  const char* key;
  BlendMode mode;
  const char* name;
};

const ModeName kModes[] = {
    {"norm", BlendMode::kNormal, "normal"},          {"diss", BlendMode::kDissolve, "dissolve"},
    {"dark", BlendMode::kDarken, "darken"},          {"mul ", BlendMode::kMultiply, "multiply"},
    {"idiv", BlendMode::kColourBurn, "colour burn"}, {"lbrn", BlendMode::kLinearBurn, "linear burn"},
    {"dkCl", BlendMode::kDarkerColour, "darker colour"}, {"lite", BlendMode::kLighten, "lighten"},
    {"scrn", BlendMode::kScreen, "screen"},          {"div ", BlendMode::kColourDodge, "colour dodge"},
    {"lddg", BlendMode::kLinearDodge, "linear dodge"}, {"lgCl", BlendMode::kLighterColour, "lighter colour"},
    {"over", BlendMode::kOverlay, "overlay"},        {"sLit", BlendMode::kSoftLight, "soft light"},
    {"hLit", BlendMode::kHardLight, "hard light"},   {"vLit", BlendMode::kVividLight, "vivid light"},
    {"lLit", BlendMode::kLinearLight, "linear light"}, {"pLit", BlendMode::kPinLight, "pin light"},
    {"hMix", BlendMode::kHardMix, "hard mix"},       {"diff", BlendMode::kDifference, "difference"},
    {"smud", BlendMode::kExclusion, "exclusion"},    {"fsub", BlendMode::kSubtract, "subtract"},
    {"fdiv", BlendMode::kDivide, "divide"},          {"hue ", BlendMode::kHue, "hue"},
    {"sat ", BlendMode::kSaturation, "saturation"},  {"colr", BlendMode::kColour, "colour"},
    {"lum ", BlendMode::kLuminosity, "luminosity"},  {"pass", BlendMode::kPassThrough, "pass through"},
};

float colourBurn(float b, float s) {
  if (b >= 1.0f) return 1.0f;
  if (s <= 0.0f) return 0.0f;
  return 1.0f - std::min(1.0f, (1.0f - b) / s);
}

float colourDodge(float b, float s) {
  if (b <= 0.0f) return 0.0f;
  if (s >= 1.0f) return 1.0f;
  return std::min(1.0f, b / (1.0f - s));
}

float hardLight(float b, float s) { return s <= 0.5f ? 2.0f * b * s : 1.0f - 2.0f * (1.0f - b) * (1.0f - s); }

// Photoshop's soft light: the square-root form for light sources.
float softLight(float b, float s) {
  if (s <= 0.5f) return 2.0f * b * s + b * b * (1.0f - 2.0f * s);
  return 2.0f * b * (1.0f - s) + std::sqrt(b) * (2.0f * s - 1.0f);
}

float vividLight(float b, float s) {
  return s <= 0.5f ? colourBurn(b, 2.0f * s) : colourDodge(b, 2.0f * s - 1.0f);
}

float separable(BlendMode mode, float b, float s) {
  switch (mode) {
    case BlendMode::kDarken: return std::min(b, s);
    case BlendMode::kMultiply: return b * s;
    case BlendMode::kColourBurn: return colourBurn(b, s);
    case BlendMode::kLinearBurn: return std::max(0.0f, b + s - 1.0f);
    case BlendMode::kLighten: return std::max(b, s);
    case BlendMode::kScreen: return b + s - b * s;
    case BlendMode::kColourDodge: return colourDodge(b, s);
    case BlendMode::kLinearDodge: return std::min(1.0f, b + s);
    case BlendMode::kOverlay: return hardLight(s, b);
    case BlendMode::kSoftLight: return softLight(b, s);
    case BlendMode::kHardLight: return hardLight(b, s);
    case BlendMode::kVividLight: return vividLight(b, s);
    case BlendMode::kLinearLight: return std::clamp(b + 2.0f * s - 1.0f, 0.0f, 1.0f);
    case BlendMode::kPinLight: return s <= 0.5f ? std::min(b, 2.0f * s) : std::max(b, 2.0f * s - 1.0f);
    // Vivid light cut at one half, as Photoshop does: unlike b + s >= 1 it
    // is not symmetric (a white backdrop under black stays white, a black
    // one under white stays black). Fill enters only as the opacity the
    // result is laid on with; no document shows Photoshop's softer hard
    // mix below full fill, so it is not modelled.
    case BlendMode::kHardMix: return vividLight(b, s) >= 0.5f ? 1.0f : 0.0f;
    case BlendMode::kDifference: return std::fabs(b - s);
    case BlendMode::kExclusion: return b + s - 2.0f * b * s;
    case BlendMode::kSubtract: return std::max(0.0f, b - s);
    case BlendMode::kDivide: return s <= 0.0f ? (b <= 0.0f ? 0.0f : 1.0f) : std::min(1.0f, b / s);
    default: return s;
  }
}

float lum(const float* c) { return 0.3f * c[0] + 0.59f * c[1] + 0.11f * c[2]; }

void clipColour(float* c) {
  const float l = lum(c);
  const float lo = std::min({c[0], c[1], c[2]}), hi = std::max({c[0], c[1], c[2]});
  for (int i = 0; i < 3; ++i) {
    if (lo < 0.0f) c[i] = l + (c[i] - l) * l / (l - lo);
    if (hi > 1.0f) c[i] = l + (c[i] - l) * (1.0f - l) / (hi - l);
    c[i] = std::clamp(c[i], 0.0f, 1.0f);
  }
}

void setLum(const float* c, float l, float* out) {
  const float d = l - lum(c);
  for (int i = 0; i < 3; ++i) out[i] = c[i] + d;
  clipColour(out);
}

void setSat(const float* c, float s, float* out) {
  const float lo = std::min({c[0], c[1], c[2]}), hi = std::max({c[0], c[1], c[2]});
  for (int i = 0; i < 3; ++i) out[i] = hi > lo ? (c[i] - lo) * s / (hi - lo) : 0.0f;
}

float sat(const float* c) { return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}); }

// Modes that work on the whole colour of an RGB pixel.
void wholeColour(BlendMode mode, const float* b, const float* s, float* out) {
  float t[3];
  switch (mode) {
    case BlendMode::kDarkerColour: std::copy(b, b + 3, out); if (lum(s) < lum(b)) std::copy(s, s + 3, out); return;
    case BlendMode::kLighterColour: std::copy(b, b + 3, out); if (lum(s) > lum(b)) std::copy(s, s + 3, out); return;
    case BlendMode::kHue: setSat(s, sat(b), t); setLum(t, lum(b), out); return;
    case BlendMode::kSaturation: setSat(b, sat(s), t); setLum(t, lum(b), out); return;
    case BlendMode::kColour: setLum(s, lum(b), out); return;
    default: setLum(b, lum(s), out); return;  // Luminosity.
  }
}

bool isWholeColour(BlendMode mode) {
  return mode == BlendMode::kDarkerColour || mode == BlendMode::kLighterColour || mode == BlendMode::kHue ||
         mode == BlendMode::kSaturation || mode == BlendMode::kColour || mode == BlendMode::kLuminosity;
}

}  // namespace

BlendMode blendModeFromKey(const std::string& key) {
  for (const ModeName& m : kModes)
    if (key == m.key) return m.mode;
  return BlendMode::kUnknown;
}

const char* blendModeName(BlendMode mode) {
  for (const ModeName& m : kModes)
    if (m.mode == mode) return m.name;
  return "unknown";
}

void blendPixel(BlendMode mode, const float* backdrop, const float* source, float* out, int n) {
  if (!isWholeColour(mode)) {
    for (int i = 0; i < n; ++i) out[i] = separable(mode, backdrop[i], source[i]);
    return;
  }
  if (n < 3) {
    const bool take_source = mode == BlendMode::kLuminosity ||
                             (mode == BlendMode::kDarkerColour && source[0] < backdrop[0]) ||
                             (mode == BlendMode::kLighterColour && source[0] > backdrop[0]);
    for (int i = 0; i < n; ++i) out[i] = take_source ? source[i] : backdrop[i];
    return;
  }
  wholeColour(mode, backdrop, source, out);
  if (n == 4) out[3] = mode == BlendMode::kLuminosity ? source[3] : backdrop[3];
}

const char* blendKeyOfDescriptorMode(const std::string& name) {
  static const struct {
    const char* name;
    const char* key;
  } kModes[] = {
      {"Nrml", "norm"}, {"Dslv", "diss"}, {"Drkn", "dark"}, {"Mltp", "mul "}, {"CBrn", "idiv"},
      {"linearBurn", "lbrn"}, {"darkerColor", "dkCl"}, {"Lghn", "lite"}, {"Scrn", "scrn"}, {"CDdg", "div "},
      {"linearDodge", "lddg"}, {"lighterColor", "lgCl"}, {"Ovrl", "over"}, {"SftL", "sLit"}, {"HrdL", "hLit"},
      {"vividLight", "vLit"}, {"linearLight", "lLit"}, {"pinLight", "pLit"}, {"hardMix", "hMix"},
      {"Dfrn", "diff"}, {"Xclu", "smud"}, {"blendSubtraction", "fsub"}, {"blendDivide", "fdiv"},
      {"H   ", "hue "}, {"Strt", "sat "}, {"Clr ", "colr"}, {"Lmns", "lum "}, {"passThrough", "pass"},
  };
  for (const auto& m : kModes)
    if (name == m.name) return m.key;
  return nullptr;
}

}  // namespace pixolune
