#include "psd/layers/patterns.h"

#include "psd/layers/descriptor.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "psd/psd_file.h"

namespace pixolune {

namespace {

constexpr LayerRect kEverywhere{INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2};
// Larger patterns than this are taken for damage: Photoshop's own stop far below.
constexpr int64_t kMaxPatternPixels = int64_t{1} << 26;

// Reads big-endian fields from [at, end); any read past the end fails and
// leaves the cursor failed, so a sequence of reads is checked once.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t begin, size_t end) : p_(data), at_(begin), end_(end) {}
  bool ok() const { return ok_; }
  size_t at() const { return at_; }
  size_t left() const { return ok_ ? end_ - at_ : 0; }
  uint64_t number(int bytes) {
    if (!take(static_cast<size_t>(bytes))) return 0;
    return bigEndian(p_ + at_ - bytes, bytes);
  }
  // The next n bytes, or null (and the cursor failed) when fewer are left.
  const uint8_t* bytes(uint64_t n) {
    if (n > left() || !take(static_cast<size_t>(n))) return nullptr;
    return p_ + at_ - n;
  }

 private:
  bool take(size_t n) {
    if (!ok_ || n > end_ - at_) return ok_ = false;
    at_ += n;
    return true;
  }
  const uint8_t* p_;
  size_t at_, end_;
  bool ok_ = true;
};


struct Rect32 {
  int64_t top = 0, left = 0, bottom = 0, right = 0;
  int64_t width() const { return right - left; }
  int64_t height() const { return bottom - top; }
};

Rect32 readRect(Cursor& c) {
  Rect32 r;
  r.top = static_cast<int32_t>(c.number(4)), r.left = static_cast<int32_t>(c.number(4));
  r.bottom = static_cast<int32_t>(c.number(4)), r.right = static_cast<int32_t>(c.number(4));
  return r;
}

// Samples of one channel of the pattern ("virtual memory array"), 0..1,
// width x height; false when it is damaged or of a depth not taken.
bool readArray(Cursor& c, std::vector<float>* samples, Rect32* rect) {
  const uint64_t length = c.number(4);
  if (!c.ok() || length < 23 || length > c.left()) return false;
  Cursor a(c.bytes(length), 0, static_cast<size_t>(length));
  a.number(4);  // Depth, again below.
  *rect = readRect(a);
  const int depth = static_cast<int>(a.number(2));
  const int compression = static_cast<int>(a.number(1));
  const int64_t w = rect->width(), h = rect->height();
  if (!a.ok() || w <= 0 || h <= 0 || w * h > kMaxPatternPixels) return false;
  if (depth != 8 && depth != 16 && depth != 32) return false;
  const size_t bps = static_cast<size_t>(depth / 8), row_bytes = static_cast<size_t>(w) * bps;
  std::vector<uint8_t> raw(row_bytes * static_cast<size_t>(h));
  if (compression == 0) {
    const uint8_t* p = a.bytes(raw.size());
    if (!p) return false;
    std::memcpy(raw.data(), p, raw.size());
  } else if (compression == 1) {
    const uint8_t* table = a.bytes(static_cast<uint64_t>(h) * 2);
    if (!table) return false;
    for (int64_t y = 0; y < h; ++y) {
      const uint64_t n = bigEndian(table + 2 * y, 2);
      const uint8_t* packed = a.bytes(n);
      if (!packed || !unpackBits(packed, static_cast<size_t>(n), raw.data() + y * row_bytes, row_bytes)) return false;
    }
  } else {
    return false;
  }
  samples->resize(static_cast<size_t>(w * h));
  for (size_t i = 0; i < samples->size(); ++i) {
    const uint8_t* s = raw.data() + i * bps;
    if (depth == 8) {
      (*samples)[i] = s[0] / 255.0f;
    } else if (depth == 16) {
      (*samples)[i] = static_cast<float>(bigEndian(s, 2)) / 65535.0f;
    } else {
      const uint32_t bits = static_cast<uint32_t>(bigEndian(s, 4));
      float f;
      std::memcpy(&f, &bits, 4);
      (*samples)[i] = std::isfinite(f) ? std::clamp(f, 0.0f, 1.0f) : 0.0f;
    }
  }
  return true;
}

// One pattern from [begin, end) of `data`; false when it is skipped.
bool readPattern(const uint8_t* data, size_t begin, size_t end, Pattern* out) {
  Cursor c(data, begin, end);
  if (c.number(4) != 1) return false;
  const int mode = static_cast<int>(c.number(4));
  c.number(4);  // Height and width again, as a point.
  const uint64_t units = c.number(4);
  const uint8_t* name = c.bytes(units * 2);
  if (!name) return false;
  out->name = utf8FromUtf16(name, static_cast<size_t>(units));
  const uint64_t id_length = c.number(1);
  const uint8_t* id = c.bytes(id_length);
  if (!id) return false;
  out->id.assign(reinterpret_cast<const char*>(id), static_cast<size_t>(id_length));
  int stored;  // Colour channels as stored.
  if (mode == kModeGrey || mode == kModeIndexed) stored = 1;
  else if (mode == kModeRgb) stored = 3;
  else if (mode == kModeCmyk) stored = 4;
  else return false;
  const uint8_t* table = nullptr;
  if (mode == kModeIndexed) {
    table = c.bytes(256 * 3);
    c.number(4);  // Colour count and transparent index, which patterns do not use.
  }
  // The channels' list: version 3, its length, the pattern's rectangle and
  // the channel count, then that many channels and two masks.
  if (c.number(4) != 3) return false;
  c.number(4);  // The list's length: the pattern's own bounds its reads.
  if (!c.ok()) return false;
  Cursor list(data, c.at(), end);
  const Rect32 area = readRect(list);
  const uint64_t channels = list.number(4);
  const int64_t w = area.width(), h = area.height();
  if (!list.ok() || w <= 0 || h <= 0 || w * h > kMaxPatternPixels || channels < static_cast<uint64_t>(stored) ||
      channels > 64)
    return false;
  out->width = static_cast<int>(w), out->height = static_cast<int>(h);
  out->colours = mode == kModeIndexed ? 3 : stored;
  const int st = out->colours + 1;
  out->px.assign(static_cast<size_t>(w * h) * st, 1.0f);
  std::vector<float> samples;
  bool alpha_read = false;
  for (uint64_t i = 0; i < channels + 2; ++i) {
    const uint64_t written = list.number(4);
    if (!list.ok()) return i >= channels;  // The masks after the channels may be left out.
    if (!written) {
      if (i < static_cast<uint64_t>(stored)) return false;
      continue;
    }
    Rect32 r;
    if (!readArray(list, &samples, &r)) return false;
    const bool is_alpha = i >= static_cast<uint64_t>(stored);
    if (i >= static_cast<uint64_t>(stored) && alpha_read) continue;
    alpha_read = alpha_read || is_alpha;
    // The channel's own rectangle placed in the pattern's; outside it a colour channel is
    // white (no ink) and the alpha transparent.
    if (is_alpha)
      for (size_t p = 0; p < static_cast<size_t>(w * h); ++p) out->px[p * st + out->colours] = 0.0f;
    for (int64_t y = std::max(r.top, area.top); y < std::min(r.bottom, area.bottom); ++y) {
      for (int64_t x = std::max(r.left, area.left); x < std::min(r.right, area.right); ++x) {
        const float v = samples[static_cast<size_t>((y - r.top) * r.width() + (x - r.left))];
        float* p = &out->px[static_cast<size_t>((y - area.top) * w + (x - area.left)) * st];
        if (is_alpha) {
          p[out->colours] = v;
        } else if (table) {
          const int k = static_cast<int>(std::lround(v * 255.0f));
          for (int ch = 0; ch < 3; ++ch) p[ch] = table[k * 3 + ch] / 255.0f;
        } else {
          p[i] = v;
        }
      }
    }
  }
  return true;
}

}  // namespace

Status readPatterns(const LayerSet& set, std::vector<Pattern>* out) {
  out->clear();
  std::vector<const LayerBlock*> blocks;
  auto consider = [&](const LayerBlock& b) {
    if (b.key == "Patt" || b.key == "Pat2" || b.key == "Pat3") blocks.push_back(&b);
  };
  for (const LayerBlock& b : set.global_blocks) consider(b);
  for (const LayerRecord& layer : set.layers)
    for (const LayerBlock& b : layer.blocks) consider(b);
  Status status;
  for (const LayerBlock* b : blocks) {
    const size_t size = b->data.size();
    size_t at = 0;
    while (size - at >= 4) {
      const uint64_t length = bigEndian(b->data.data() + at, 4);
      if (length > size - at - 4) {
        status = Status::corrupt("a pattern runs past its block");
        break;
      }
      const size_t begin = at + 4, end = begin + static_cast<size_t>(length);
      Pattern p;
      if (readPattern(b->data.data(), begin, end, &p)) out->push_back(std::move(p));
      at = std::min(size, (end + 3) & ~size_t{3});  // Patterns are padded to 4 bytes.
    }
  }
  return status;
}

bool drawsPatterns(const LayerSet& set) {
  for (const LayerRecord& layer : set.layers)
    if (layer.rect.empty() && layer.block("PtFl")) return true;
  return false;
}

const Pattern* findPattern(const std::vector<Pattern>& patterns, const std::string& id) {
  for (const Pattern& p : patterns)
    if (p.id == id) return &p;
  return nullptr;
}

namespace {

// One pattern pixel of `from` colours into `to` colours (CMYK as stored, 1.0 no ink).
void convertColour(const float* in, int from, int to, float* out) {
  float rgb[3];
  if (from == to) {
    std::copy(in, in + from, out);
    return;
  }
  if (from == 1) rgb[0] = rgb[1] = rgb[2] = in[0];
  else if (from == 3) std::copy(in, in + 3, rgb);
  else for (int c = 0; c < 3; ++c) rgb[c] = in[c] * in[3];
  if (to == 3) {
    std::copy(rgb, rgb + 3, out);
  } else if (to == 1) {
    out[0] = 0.299f * rgb[0] + 0.587f * rgb[1] + 0.114f * rgb[2];
  } else if (from == 1) {
    out[0] = out[1] = out[2] = 1.0f, out[3] = in[0];  // Grey as black ink alone.
  } else {
    const float k = 1.0f - std::max({rgb[0], rgb[1], rgb[2]});
    for (int c = 0; c < 3; ++c) out[c] = k >= 1.0f ? 1.0f : 1.0f - (1.0f - rgb[c] - k) / (1.0f - k);
    out[3] = 1.0f - k;
  }
}

// x modulo n, in [0, n).
inline int wrap(int64_t x, int n) {
  const int64_t m = x % n;
  return static_cast<int>(m < 0 ? m + n : m);
}

}  // namespace

PatternSource::PatternSource(const Pattern& pattern, int colours, double scale, double phase_x, double phase_y,
                             bool linear)
    : colours_(colours), width_(std::max(1, pattern.width)), height_(std::max(1, pattern.height)),
      scale_(std::isfinite(scale) && scale > 1e-3 ? scale : 1.0),
      phase_x_(std::isfinite(phase_x) ? phase_x : 0.0), phase_y_(std::isfinite(phase_y) ? phase_y : 0.0) {
  const size_t pixels = static_cast<size_t>(width_) * height_;
  px_.assign(pixels * (colours + 1), 1.0f);
  const int from = pattern.colours, in_st = from + 1;
  if (pattern.px.size() < pixels * in_st) return;  // No pixels: opaque white.
  for (size_t i = 0; i < pixels; ++i) {
    float* o = &px_[i * (colours + 1)];
    convertColour(&pattern.px[i * in_st], from, colours, o);
    if (linear)
      for (int c = 0; c < colours; ++c) o[c] = std::pow(o[c], 2.2f);
    o[colours] = pattern.px[i * in_st + from];
  }
}

LayerRect PatternSource::bounds() const { return kEverywhere; }

void PatternSource::row(int x, int y, int n, const Canvas&, float* out) const {
  const int st = colours_ + 1;
  if (std::fabs(scale_ - 1.0) < 1e-9) {
    // One pattern pixel per document pixel: the phase moves whole pixels.
    const int v = wrap(static_cast<int64_t>(y) - std::llround(phase_y_), height_);
    const float* line = &px_[static_cast<size_t>(v) * width_ * st];
    int u = wrap(static_cast<int64_t>(x) - std::llround(phase_x_), width_);
    for (int i = 0; i < n; ++i, out += st) {
      std::copy_n(line + static_cast<size_t>(u) * st, st, out);
      if (++u == width_) u = 0;
    }
    return;
  }
  // Bilinear between the four pattern pixels around where the pixel's
  // corner falls in the pattern (Photoshop's overlays at 200 % put every
  // other pixel on a pattern pixel and the rest halfway), by alpha-weighted
  // colour so transparent pixels lend none of theirs.
  const double fy = (y - phase_y_) / scale_;
  const double y0 = std::floor(fy);
  const float wy = static_cast<float>(fy - y0);
  const int v0 = wrap(static_cast<int64_t>(y0), height_), v1 = v0 + 1 == height_ ? 0 : v0 + 1;
  const float* rows[2] = {&px_[static_cast<size_t>(v0) * width_ * st], &px_[static_cast<size_t>(v1) * width_ * st]};
  for (int i = 0; i < n; ++i, out += st) {
    const double fx = (x + i - phase_x_) / scale_;
    const double x0 = std::floor(fx);
    const float wx = static_cast<float>(fx - x0);
    const int u0 = wrap(static_cast<int64_t>(x0), width_), u1 = u0 + 1 == width_ ? 0 : u0 + 1;
    const float* q[4] = {rows[0] + static_cast<size_t>(u0) * st, rows[0] + static_cast<size_t>(u1) * st,
                         rows[1] + static_cast<size_t>(u0) * st, rows[1] + static_cast<size_t>(u1) * st};
    const float w[4] = {(1 - wx) * (1 - wy), wx * (1 - wy), (1 - wx) * wy, wx * wy};
    float alpha = 0.0f;
    for (int c = 0; c < colours_; ++c) out[c] = 0.0f;
    for (int k = 0; k < 4; ++k) {
      const float a = w[k] * q[k][colours_];
      alpha += a;
      for (int c = 0; c < colours_; ++c) out[c] += a * q[k][c];
    }
    if (alpha > 0.0f)
      for (int c = 0; c < colours_; ++c) out[c] /= alpha;
    out[colours_] = std::min(alpha, 1.0f);
  }
}

}  // namespace pixolune
