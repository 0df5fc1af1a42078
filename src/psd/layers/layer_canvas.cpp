#include "psd/layers/layer_canvas.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/memory.h"
#include "platform/threads.h"

namespace pixolune {

namespace {

// Photoshop's dissolve shows a pixel when a per-pixel noise value lies below
// its alpha; any fixed well-mixed noise gives the same look.
float dissolveNoise(int x, int y) {
  uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u;
  h ^= h >> 15, h *= 0x2C1B3C6Du, h ^= h >> 12, h *= 0x297A2D39u, h ^= h >> 15;
  return static_cast<float>(h >> 8) * (1.0f / 16777216.0f);
}

bool plainMode(BlendMode mode) {
  return mode == BlendMode::kNormal || mode == BlendMode::kDissolve || mode == BlendMode::kUnknown ||
         mode == BlendMode::kPassThrough;
}

// `seed`: the pixel of rule.seed under d, or null.
void composePixel(float* d, const float* s, float as, int n, const ComposeRule& rule, const float* seed = nullptr) {
  const float ab = d[n];
  if (rule.alpha_inside && ab >= 1.0f && (rule.mode == BlendMode::kLinearBurn || rule.mode == BlendMode::kLinearDodge)) {
    const float shift = rule.mode == BlendMode::kLinearBurn ? -1.0f : 0.0f;
    for (int i = 0; i < n; ++i) d[i] = std::clamp(d[i] + as * (s[i] + shift), 0.0f, 1.0f);
    return;
  }
  float mixed[4], under[4] = {};
  // What the source blends with: the canvas, over the seed where there is one.
  const float* backdrop = d;
  float backdrop_alpha = ab;
  if (seed && ab < 1.0f && !plainMode(rule.mode)) {
    const float sa = rule.seed_alpha * seed[n] * (1.0f - ab);
    backdrop_alpha = ab + sa;
    for (int i = 0; i < n; ++i) under[i] = backdrop_alpha > 0.0f ? (ab * d[i] + sa * seed[i]) / backdrop_alpha : 0.0f;
    backdrop = under;
  }
  if (plainMode(rule.mode) || backdrop_alpha <= 0.0f) {
    std::memcpy(mixed, s, sizeof(float) * static_cast<size_t>(n));
  } else {
    float b[4];
    blendPixel(rule.mode, backdrop, s, b, n);
    for (int i = 0; i < n; ++i) mixed[i] = backdrop_alpha * b[i] + (1.0f - backdrop_alpha) * s[i];
  }
  if (rule.keep_alpha || ab >= 1.0f) {
    for (int i = 0; i < n; ++i) d[i] += (mixed[i] - d[i]) * as;
    return;
  }
  const float kept = ab * (1.0f - as);
  const float ao = as + kept;
  for (int i = 0; i < n; ++i) d[i] = (as * mixed[i] + kept * d[i]) / ao;
  d[n] = ao;
}

// Normal blending without masks, the common case, kept tight.
void normalRow(float* d, const float* s, int w, int n, float opacity) {
  const int st = n + 1;
  for (int i = 0; i < w; ++i, d += st, s += st) composeNormalPixel(d, s, s[n] * opacity, n);
}

// The grey of a pixel on the 0..255 scale, for blend-if.
float grey255(const float* c, int n) {
  if (n == 1) return c[0] * 255.0f;
  const float k = n == 4 ? c[3] : 1.0f;
  return (0.3f * c[0] + 0.59f * c[1] + 0.11f * c[2]) * k * 255.0f;
}

}  // namespace

float BlendRange::weight(float v) const {
  if (v < black_from || v > white_to) return 0.0f;
  if (v < black_to) return (v - black_from) / (black_to - black_from);
  if (v > white_from) return (white_to - v) / (white_to - white_from);
  return 1.0f;
}

void* allocateZeroed(size_t bytes) {
  if (void* p = allocateZeroedBlock(bytes)) return p;
  throw std::bad_alloc();
}

void freeZeroed(void* p, size_t bytes) { freeZeroedBlock(p, bytes); }

int rowBands(int rows, int width, int threads) {
  const int64_t pixels = static_cast<int64_t>(std::max(rows, 0)) * std::max(width, 0);
  return static_cast<int>(std::clamp<int64_t>(pixels / kMinBandPixels, 1, std::max(threads, 1)));
}

void forRowBands(int top, int bottom, int bands, const std::function<void(int, int, int)>& body) {
  bands = std::max(bands, 1);
  const auto edge = [&](int b) { return top + static_cast<int>(static_cast<int64_t>(bottom - top) * b / bands); };
  runOnThreads(bands, [&](int b) { body(b, edge(b), edge(b + 1)); });
}

void composeOnto(Canvas* canvas, const PixelSource& source, const ComposeRule& rule, int threads) {
  const LayerRect r = intersect(canvas->area, source.bounds());
  if (r.empty() || rule.opacity <= 0.0f) return;
  const int n = canvas->colours, st = n + 1, w = r.width();
  const bool plain = plainMode(rule.mode) && rule.mode != BlendMode::kDissolve && rule.masks.empty() &&
                     !rule.keep_alpha && !rule.blend_if() && rule.kept_channels == 0 && !rule.seed;
  const int bands = rowBands(r.height(), w, threads);
  // Each band's row buffer is made here, where running out of memory can be reported.
  std::vector<std::vector<float>> rows(static_cast<size_t>(bands), std::vector<float>(static_cast<size_t>(w) * st));
  forRowBands(r.top, r.bottom, bands, [&](int band, int top, int bottom) {
    float* const row = rows[static_cast<size_t>(band)].data();
    for (int y = top; y < bottom; ++y) {
      float* dst = canvas->at(r.left, y);
      if (plain && source.composeNormal(r.left, y, w, n, rule.opacity, dst)) continue;
      source.row(r.left, y, w, *canvas, row);
      if (plain) {
        normalRow(dst, row, w, n, rule.opacity);
        continue;
      }
      for (int i = 0; i < w; ++i) {
        const float* s = row + static_cast<size_t>(i) * st;
        float as = s[n] * rule.opacity;
        for (const PlaneMask* m : rule.masks) as *= m->at(r.left + i, y);
        if (rule.mode == BlendMode::kDissolve) as = dissolveNoise(r.left + i, y) < as ? 1.0f : 0.0f;
        float* d = dst + static_cast<size_t>(i) * st;
        if (rule.blend_if()) as *= rule.source_range.weight(grey255(s, n)) * rule.backdrop_range.weight(grey255(d, n));
        if (as <= 0.0f) continue;
        const int x = r.left + i;
        const float* seed = rule.seed && rule.seed->area.contains(x, y) ? rule.seed->at(x, y) : nullptr;
        if (rule.kept_channels == 0) {
          composePixel(d, s, std::min(as, 1.0f), n, rule, seed);
          continue;
        }
        float kept[4];  // At most four colours (CMYK).
        std::copy_n(d, n, kept);
        composePixel(d, s, std::min(as, 1.0f), n, rule, seed);
        for (int c = 0; c < n; ++c)
          if (rule.kept_channels >> c & 1u) d[c] = kept[c];
      }
    }
  });
}

void fadeTowards(Canvas* after, const Canvas& before, float opacity, const std::vector<const PlaneMask*>& masks) {
  const int n = after->colours, st = n + 1;
  for (int y = after->area.top; y < after->area.bottom; ++y) {
    float* a = after->at(after->area.left, y);
    const float* b = before.at(after->area.left, y);
    for (int x = after->area.left; x < after->area.right; ++x, a += st, b += st) {
      float w = opacity;
      for (const PlaneMask* m : masks) w *= m->at(x, y);
      if (w >= 1.0f) continue;
      const float alpha = b[n] + (a[n] - b[n]) * w;
      for (int i = 0; i < n; ++i)
        a[i] = alpha > 0.0f ? (b[i] * b[n] + (a[i] * a[n] - b[i] * b[n]) * w) / alpha : 0.0f;
      a[n] = alpha;
    }
  }
}

void CanvasSource::row(int x, int y, int n, const Canvas&, float* out) const {
  std::memcpy(out, canvas_.at(x, y), sizeof(float) * static_cast<size_t>(n) * canvas_.stride());
}

}  // namespace pixolune
