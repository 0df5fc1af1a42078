// The hand-drawn look of the default theme: the rendered icon is bent a
// little, its colours flattened to pastel tones, its outline and inner edges
// inked with a pen of varying width, and its shadows hatched.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "artwork.h"

namespace artwork {
namespace {

constexpr float kPi = 3.14159265f;
constexpr float kInk[3] = {0.14f, 0.13f, 0.22f};
constexpr float kPaper[3] = {1.0f, 0.96f, 0.86f};

/// Bilinear sample of premultiplied pixels; transparent outside.
void sample(const Raster& in, float x, float y, float* out) {
  int x0 = static_cast<int>(std::floor(x));
  int y0 = static_cast<int>(std::floor(y));
  float fx = x - x0;
  float fy = y - y0;
  for (int c = 0; c < 4; ++c) out[c] = 0.0f;
  for (int j = 0; j < 2; ++j) {
    for (int i = 0; i < 2; ++i) {
      int px = x0 + i;
      int py = y0 + j;
      if (px < 0 || py < 0 || px >= in.width || py >= in.height) continue;
      float w = (i ? fx : 1.0f - fx) * (j ? fy : 1.0f - fy);
      const float* p = in.at(px, py);
      for (int c = 0; c < 4; ++c) out[c] += w * p[c];
    }
  }
}

/// The picture bent along slow waves, as a hand would draw it.
Raster wobble(const Raster& in, float amplitude) {
  Raster out(in.width, in.height);
  float wave = 2.0f * kPi / (static_cast<float>(in.width) * 0.55f);
  for (int y = 0; y < in.height; ++y) {
    for (int x = 0; x < in.width; ++x) {
      float sx = x + amplitude * std::sin(y * wave + 1.3f);
      float sy = y + amplitude * std::sin(x * wave * 1.3f + 0.4f);
      sample(in, sx, sy, out.at(x, y));
    }
  }
  return out;
}

/// Distance of every pixel to the nearest marked pixel (two-pass chamfer).
std::vector<float> distanceTo(const std::vector<uint8_t>& marked, int w, int h) {
  const float inf = 1e9f;
  const float diag = 1.41421356f;
  std::vector<float> d(marked.size());
  for (size_t i = 0; i < d.size(); ++i) d[i] = marked[i] ? 0.0f : inf;
  auto at = [&](int x, int y) -> float { return (x < 0 || y < 0 || x >= w || y >= h) ? inf : d[y * w + x]; };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float v = d[y * w + x];
      v = std::min({v, at(x - 1, y) + 1, at(x, y - 1) + 1, at(x - 1, y - 1) + diag, at(x + 1, y - 1) + diag});
      d[y * w + x] = v;
    }
  }
  for (int y = h - 1; y >= 0; --y) {
    for (int x = w - 1; x >= 0; --x) {
      float v = d[y * w + x];
      v = std::min({v, at(x + 1, y) + 1, at(x, y + 1) + 1, at(x + 1, y + 1) + diag, at(x - 1, y + 1) + diag});
      d[y * w + x] = v;
    }
  }
  return d;
}

float luminance(const float* rgb) { return 0.3f * rgb[0] + 0.59f * rgb[1] + 0.11f * rgb[2]; }

/// Marks pixels on strong brightness steps inside the shape.
std::vector<uint8_t> innerEdges(const std::vector<float>& lum, const std::vector<uint8_t>& inside, int w, int h) {
  std::vector<uint8_t> edges(lum.size(), 0);
  for (int y = 1; y < h - 1; ++y) {
    for (int x = 1; x < w - 1; ++x) {
      if (!inside[y * w + x]) continue;
      auto l = [&](int dx, int dy) { return lum[(y + dy) * w + x + dx]; };
      float gx = l(1, -1) + 2 * l(1, 0) + l(1, 1) - l(-1, -1) - 2 * l(-1, 0) - l(-1, 1);
      float gy = l(-1, 1) + 2 * l(0, 1) + l(1, 1) - l(-1, -1) - 2 * l(0, -1) - l(1, -1);
      edges[y * w + x] = std::sqrt(gx * gx + gy * gy) > 0.9f;
    }
  }
  return edges;
}

/// Flat pastel fill colour: four levels per channel, washed towards paper.
void pastel(const float* rgb, float* out) {
  for (int c = 0; c < 3; ++c) {
    float level = std::round(std::clamp(rgb[c], 0.0f, 1.0f) * 3.0f) / 3.0f;
    out[c] = 0.72f * level + 0.28f * kPaper[c];
  }
}

/// Pen width in final pixels for the icon size.
float penWidth(int size) { return size <= 16 ? 1.0f : size <= 24 ? 1.2f : size <= 32 ? 1.5f : size <= 48 ? 2.0f : 2.4f; }

/// What the pen needs to know about every pixel of the bent picture.
struct Fields {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> inside;       // Opaque enough to be part of the shape.
  std::vector<float> rgb;            // Colour without alpha.
  std::vector<float> lum;            // Brightness of that colour.
  std::vector<float> to_outside;     // Distance of a shape pixel to the outside.
  std::vector<float> to_inside;      // Distance of an outside pixel to the shape.
  std::vector<float> to_edge;        // Distance to the nearest inner edge.
};

Fields measure(const Raster& bent) {
  Fields f;
  f.width = bent.width;
  f.height = bent.height;
  const int n = f.width * f.height;
  std::vector<uint8_t> outside(n);
  f.inside.resize(n);
  f.lum.resize(n);
  f.rgb.resize(static_cast<size_t>(n) * 3);
  for (int i = 0; i < n; ++i) {
    const float* p = &bent.px[static_cast<size_t>(i) * 4];
    f.inside[i] = p[3] > 0.5f;
    outside[i] = !f.inside[i];
    for (int c = 0; c < 3; ++c) f.rgb[i * 3 + c] = p[3] > 0.0f ? p[c] / p[3] : 0.0f;
    f.lum[i] = luminance(&f.rgb[i * 3]);
  }
  f.to_outside = distanceTo(outside, f.width, f.height);
  f.to_inside = distanceTo(f.inside, f.width, f.height);
  f.to_edge = distanceTo(innerEdges(f.lum, f.inside, f.width, f.height), f.width, f.height);
  return f;
}

/// Colours one pixel: ink on outlines and inner edges, pastel (hatched in
/// the shadows) inside, transparent outside.
void drawPixel(const Fields& f, int x, int y, int size, float scale, float* out) {
  const int i = y * f.width + x;
  const float pen = penWidth(size) * scale;
  // The pen presses harder in some places than in others.
  float press = 0.75f + 0.25f * std::sin((x * 0.9f + y * 0.6f) / (scale * 2.2f));
  float signed_distance = f.inside[i] ? f.to_outside[i] : -f.to_inside[i];
  bool ink = std::fabs(signed_distance - 0.15f * pen) <= 0.5f * pen * press;
  if (f.inside[i] && size >= 24 && f.to_edge[i] <= 0.3f * pen * press) ink = true;
  if (ink) {
    for (int c = 0; c < 3; ++c) out[c] = kInk[c];
    out[3] = 1.0f;
    return;
  }
  if (!f.inside[i]) return;
  float fill[3];
  pastel(&f.rgb[i * 3], fill);
  bool hatch = size >= 32 && f.lum[i] < 0.42f && std::fmod((x + y) / scale, 3.0f) < 0.8f;
  for (int c = 0; c < 3; ++c) out[c] = hatch ? 0.5f * (fill[c] + kInk[c]) : fill[c];
  out[3] = 1.0f;
}

}  // namespace

Raster sketchIcon(const Raster& art, int size) {
  const int factor = art.width / size;
  const float scale = static_cast<float>(factor);
  Fields fields = measure(wobble(art, 0.45f * scale));
  Raster out(fields.width, fields.height);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) drawPixel(fields, x, y, size, scale, out.at(x, y));
  }
  return downsample(out, factor);
}

}  // namespace artwork
