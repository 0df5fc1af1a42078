#include "psd/layers/layer_render.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>

#include "image/bitmap.h"
#include "psd/composite.h"
#include "psd/layers/compositor.h"
#include "platform/cores.h"
#include "psd/psd_document.h"
#include "psd/psd_file.h"

namespace pixolune {

namespace {

// True when every pixel of the canvas is opaque; the rows are looked at by
// up to `threads` threads, each stopping at the first transparent pixel found.
bool opaque(const Canvas& c, int threads) {
  std::atomic<bool> all{true};
  const int w = c.area.width();
  forRowBands(c.area.top, c.area.bottom, rowBands(c.area.height(), w, threads), [&](int, int top, int bottom) {
    for (int y = top; y < bottom && all.load(std::memory_order_relaxed); ++y) {
      const float* a = c.at(c.area.left, y) + c.colours;
      for (int x = 0; x < w; ++x, a += c.stride())
        if (*a < 1.0f - 0.5f / 65535.0f) {
          all = false;
          break;
        }
    }
  });
  return all;
}

// 0..1 (NaN as 0) to the integer scales.
float unit(float v) { return v >= 0.0f ? std::min(v, 1.0f) : 0.0f; }
uint8_t to8(float v) { return static_cast<uint8_t>(unit(v) * 255.0f + 0.5f); }
uint16_t to16(float v) { return static_cast<uint16_t>(unit(v) * 65535.0f + 0.5f); }

// 32-bit documents as floating-point bitmaps, values as they are (light
// may exceed 1.0); grey with alpha as RGBA, as the decoder's repair does.
BitmapPtr toBitmapFloat(const Canvas& c, bool alpha) {
  const int w = c.area.width(), h = c.area.height();
  const bool grey_plain = c.colours == 1 && !alpha;
  BitmapPtr owned(FreeImage_AllocateT(grey_plain ? FIT_FLOAT : alpha ? FIT_RGBAF : FIT_RGBF, w, h));
  FIBITMAP* dib = owned.get();
  if (!dib) return nullptr;
  const int step = grey_plain ? 1 : alpha ? 4 : 3;
  for (int y = 0; y < h; ++y) {
    float* p = reinterpret_cast<float*>(FreeImage_GetScanLine(dib, h - 1 - y));
    const float* s = c.at(c.area.left, c.area.top + y);
    for (int x = 0; x < w; ++x, p += step, s += c.stride()) {
      const int g = c.colours == 1 ? 0 : 1, b = c.colours == 1 ? 0 : 2;
      p[0] = s[0];
      if (grey_plain) continue;
      p[1] = s[g], p[2] = s[b];
      if (alpha) p[3] = std::clamp(s[c.colours], 0.0f, 1.0f);
    }
  }
  return owned;
}

// CMYK and Lab converted to sRGB through the document's profile, as a
// stored composite is, at the document's depth; with transparency the
// colours keep the canvas's alpha (a clear pixel is black).
BitmapPtr throughProfile(const Canvas& c, const SrgbConversion& conversion, int depth, bool alpha, int threads) {
  const int w = c.area.width(), h = c.area.height(), n = c.colours;
  const bool wide = depth == 16;
  BitmapPtr owned(FreeImage_AllocateT(wide ? (alpha ? FIT_RGBA16 : FIT_RGB16) : FIT_BITMAP, w, h,
                                      (alpha ? 4 : 3) * (wide ? 16 : 8)));
  FIBITMAP* dib = owned.get();
  if (!dib) return nullptr;
  forRowBands(0, h, rowBands(h, w, threads), [&](int, int top, int bottom) {
    std::vector<uint16_t> samples(static_cast<size_t>(w) * n);
    std::vector<uint8_t> narrow(wide ? 0 : samples.size());
    for (int y = top; y < bottom; ++y) {
      const float* s = c.at(c.area.left, c.area.top + y);
      for (int x = 0; x < w; ++x, s += c.stride())
        for (int p = 0; p < n; ++p) samples[static_cast<size_t>(x) * n + p] = wide ? to16(s[p]) : to8(s[p]);
      BYTE* line = FreeImage_GetScanLine(dib, h - 1 - y);
      if (wide) {
        conversion.convert(samples.data(), line, static_cast<size_t>(w));
      } else {
        std::copy(samples.begin(), samples.end(), narrow.begin());
        conversion.convert(narrow.data(), line, static_cast<size_t>(w));
      }
      if (!alpha) continue;
      s = c.at(c.area.left, c.area.top + y);
      for (int x = 0; x < w; ++x, s += c.stride()) {
        const float a = s[n];
        if (wide) {
          WORD* px = reinterpret_cast<WORD*>(line) + 4 * x;
          px[3] = to16(a);
          if (px[3] == 0) px[0] = px[1] = px[2] = 0;
        } else {
          BYTE* px = line + 4 * x;
          px[FI_RGBA_ALPHA] = to8(a);
          if (px[FI_RGBA_ALPHA] == 0) px[FI_RGBA_RED] = px[FI_RGBA_GREEN] = px[FI_RGBA_BLUE] = 0;
        }
      }
    }
  });
  return owned;
}

std::string joinNotes(const MergeNotes& notes) {
  std::string text;
  for (const std::string& n : notes.left_out) text += (text.empty() ? "" : ", ") + n;
  return text.empty() ? text : "drawn from its layers without " + text;
}

}  // namespace

namespace {

struct RenderCosts {
  uint64_t canvas;  // Bytes of one float canvas of the document.
  uint64_t layer;   // Bytes of the planes of one layer as large as the document.
  uint64_t bitmap;  // Bytes of the bitmap handed back.
};

RenderCosts costsOf(const PsdHeader& header) {
  const uint64_t pixels = static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height);
  const uint64_t planes = static_cast<uint64_t>(colourChannelCount(header.mode) + 1);
  const uint64_t sample = static_cast<uint64_t>(header.depth / 8);
  return {pixels * planes * sizeof(float), pixels * (planes + 1) * sample, pixels * 4 * sample};
}

}  // namespace

uint64_t layerRenderMemoryNeed(const PsdHeader& header) {
  const RenderCosts c = costsOf(header);
  return 2 * c.canvas + c.layer + c.bitmap;
}

namespace {

// Why a document of this header is not drawn, or empty when it can be.
Status refusal(const PsdHeader& header, uint64_t memory_limit) {
  if (header.mode != kModeRgb && header.mode != kModeGrey && header.mode != kModeCmyk && header.mode != kModeLab &&
      header.mode != kModeDuotone)
    return Status::unsupported("layers are drawn only in RGB, greyscale, duotone, CMYK and Lab documents");
  const bool deep_colour = header.mode == kModeCmyk || header.mode == kModeLab || header.mode == kModeDuotone;
  if (header.depth != 8 && header.depth != 16 && (header.depth != 32 || deep_colour))
    return Status::unsupported("layers are drawn only at 8 and 16 bits per channel, and at 32 in RGB and greyscale");
  if (memory_limit != 0 && layerRenderMemoryNeed(header) > memory_limit)
    return Status::unsupported("drawing its layers needs more memory than the limit allows");
  return Status();
}

// The need counts one group canvas and one document-sized layer; what the
// limit leaves beyond it is shared between more of either.
MergeBudget budgetFor(const PsdHeader& header, uint64_t memory_limit) {
  MergeBudget budget;
  budget.threads = idleCores();  // The cores no other conversion of the run is busy on.
  if (memory_limit == 0) return budget;
  const RenderCosts c = costsOf(header);
  const uint64_t spare = (memory_limit - layerRenderMemoryNeed(header)) / 2;
  budget.layer_samples = (c.layer + spare) / static_cast<uint64_t>(header.depth / 8);
  budget.canvas_bytes = c.canvas + spare;
  return budget;
}

// Drawn band by band: RGB, greyscale and duotone at 8 and 16 bits, whose
// pixels go straight into the bitmap; CMYK, Lab and 32 bits are converted
// from the whole canvas.
bool drawnInBands(const PsdHeader& header) {
  return header.mode != kModeCmyk && header.mode != kModeLab && (header.depth == 8 || header.depth == 16);
}

// Pixels per band: small enough for the band's float canvas to stay in the
// processor's cache while every layer is drawn on it.
constexpr int kBandPixels = 128 * 1024;

// The bitmap of 8- and 16-bit RGB or grey pixels drawn in bands (or on one
// canvas): RGB or grey at the document's depth, with alpha when any pixel
// is not opaque (grey with alpha as RGBA, as the decoder's repair does).
// When the pixels are known to be opaque, the rows go straight into the
// opaque bitmap; otherwise into one with alpha, narrowed at the end when
// no pixel turned out transparent after all.
class BandedBitmap : public BandSink {
 public:
  BandedBitmap(int width, int height, int depth, int colours)
      : width_(width), height_(height), depth_(depth), colours_(colours) {}

  bool begin(bool opaque) override {
    wide_ = !opaque;
    image_.reset(allocate(wide_));
    return image_ != nullptr;
  }

  void take(const Canvas& band) override { takeRows(band, band.area.top, band.area.bottom); }

  // Rows [top, bottom) of a canvas as wide as the document. Thread-safe
  // for different rows.
  void takeRows(const Canvas& band, int top, int bottom) {
    bool all = true;
    for (int y = top; y < bottom; ++y) {
      BYTE* line = FreeImage_GetScanLine(image_.get(), height_ - 1 - y);
      if (depth_ == 8) all = putRow8(band.at(0, y), band.colours, line) && all;
      else all = putRow16(band.at(0, y), band.colours, reinterpret_cast<WORD*>(line)) && all;
    }
    if (!all) transparent_ = true;
  }

  // The finished bitmap, narrowed when it has alpha but every pixel is opaque.
  BitmapPtr finish(int threads) {
    if (!wide_ || transparent_) return std::move(image_);
    BitmapPtr narrow(allocate(false));
    if (!narrow) return nullptr;
    const int step = colours_ == 1 ? 1 : 3;
    forRowBands(0, height_, rowBands(height_, width_, threads), [&](int, int top, int bottom) {
      for (int y = top; y < bottom; ++y) {
        const BYTE* from = FreeImage_GetScanLine(image_.get(), y);
        BYTE* to = FreeImage_GetScanLine(narrow.get(), y);
        if (depth_ == 8) {
          for (int x = 0; x < width_; ++x, from += 4, to += step)
            for (int c = 0; c < step; ++c) to[c] = from[c];  // Grey is in every colour byte.
        } else {
          const WORD* f = reinterpret_cast<const WORD*>(from);
          WORD* t = reinterpret_cast<WORD*>(to);
          for (int x = 0; x < width_; ++x, f += 4, t += step)
            for (int c = 0; c < step; ++c) t[c] = f[c];
        }
      }
    });
    return narrow;
  }

 private:
  FIBITMAP* allocate(bool alpha) const {
    const bool grey = colours_ == 1 && !alpha;
    if (depth_ != 8) return FreeImage_AllocateT(alpha ? FIT_RGBA16 : grey ? FIT_UINT16 : FIT_RGB16, width_, height_);
    FIBITMAP* dib = FreeImage_Allocate(width_, height_, alpha ? 32 : grey ? 8 : 24);
    if (dib && grey) {
      RGBQUAD* pal = FreeImage_GetPalette(dib);
      for (int i = 0; i < 256; ++i) pal[i].rgbRed = pal[i].rgbGreen = pal[i].rgbBlue = static_cast<BYTE>(i);
    }
    return dib;
  }

  // One row of the canvas into the bitmap's row; false when a pixel of it
  // is not opaque.
  bool putRow8(const float* s, int n, BYTE* p) const {
    static_assert(FI_RGBA_ALPHA == 3, "alpha is the fourth byte");
    const bool wide = wide_;
    const int st = n + 1, g = n == 1 ? 0 : 1, b = n == 1 ? 0 : 2;
    float least = 1.0f;
    if (!wide && n == 1) {
      for (int x = 0; x < width_; ++x, s += st) p[x] = to8(s[0]);
      return true;
    }
    const int step = wide ? 4 : 3;
#if defined(__SSE2__) && FI_RGBA_RED == 2 && FI_RGBA_GREEN == 1 && FI_RGBA_BLUE == 0
    if (n == 3) return putRgbRow8(s, p, step);
#endif
    for (int x = 0; x < width_; ++x, s += st, p += step) {
      p[FI_RGBA_RED] = to8(s[0]), p[FI_RGBA_GREEN] = to8(s[g]), p[FI_RGBA_BLUE] = to8(s[b]);
      if (!wide) continue;
      p[FI_RGBA_ALPHA] = to8(s[n]);
      least = std::min(least, s[n]);
    }
    return least >= 1.0f - 0.5f / 65535.0f;
  }
#if defined(__SSE2__) && FI_RGBA_RED == 2 && FI_RGBA_GREEN == 1 && FI_RGBA_BLUE == 0
  // An RGB row, a pixel's four samples at once, as to8 makes each of them:
  // clamped to 0..1 (NaN as 0), times 255, plus a half, truncated.
  bool putRgbRow8(const float* s, BYTE* p, int step) const {
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), scale = _mm_set1_ps(255.0f),
                 half = _mm_set1_ps(0.5f);
    __m128 least = one;
    for (int x = 0; x < width_; ++x, s += 4, p += step) {
      const __m128 v = _mm_loadu_ps(s);
      least = _mm_min_ps(v, least);  // A NaN alpha leaves it as it was, as std::min does.
      const __m128 bgra = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 0, 1, 2));
      const __m128 scaled = _mm_add_ps(_mm_mul_ps(_mm_min_ps(_mm_max_ps(bgra, zero), one), scale), half);
      __m128i bytes = _mm_cvttps_epi32(scaled);
      bytes = _mm_packus_epi16(_mm_packs_epi32(bytes, bytes), bytes);
      const uint32_t word = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
      std::memcpy(p, &word, step == 4 || x + 1 < width_ ? 4 : 3);  // Without alpha the next pixel covers the fourth byte.
    }
    return step == 3 || _mm_cvtss_f32(_mm_shuffle_ps(least, least, _MM_SHUFFLE(3, 3, 3, 3))) >= 1.0f - 0.5f / 65535.0f;
  }
#endif
  bool putRow16(const float* s, int n, WORD* p) const {
    const int st = n + 1, g = n == 1 ? 0 : 1, b = n == 1 ? 0 : 2, step = wide_ ? 4 : n == 1 ? 1 : 3;
    float least = 1.0f;
    for (int x = 0; x < width_; ++x, s += st, p += step) {
      p[0] = to16(s[0]);
      if (step == 1) continue;
      p[1] = to16(s[g]), p[2] = to16(s[b]);
      if (!wide_) continue;
      p[3] = to16(s[n]);
      least = std::min(least, s[n]);
    }
    return least >= 1.0f - 0.5f / 65535.0f;
  }

  int width_, height_, depth_, colours_;
  bool wide_ = true;
  BitmapPtr image_;
  std::atomic<bool> transparent_{false};
};

BitmapPtr bitmapOf(const Canvas& canvas, const PsdDocument& document, int threads, std::string* colour) {
  const PsdHeader& header = document.header();
  const bool alpha = !opaque(canvas, threads);
  if (header.mode == kModeCmyk || header.mode == kModeLab) {
    SrgbConversion conversion;
    if (!colourConversionFor(document, header.depth, alpha ? 4 : 3, &conversion).ok()) return nullptr;
    *colour = conversion.description();
    return throughProfile(canvas, conversion, header.depth, alpha, threads);
  }
  if (header.depth == 32) return toBitmapFloat(canvas, alpha);
  BandedBitmap bitmap(canvas.area.width(), canvas.area.height(), header.depth, canvas.colours);
  if (!bitmap.begin(!alpha)) return nullptr;
  forRowBands(0, canvas.area.height(), rowBands(canvas.area.height(), canvas.area.width(), threads),
              [&](int, int top, int bottom) { bitmap.takeRows(canvas, top, bottom); });
  return bitmap.finish(threads);
}

}  // namespace

bool layersDrawable(const PsdHeader& header) { return refusal(header, 0).ok(); }

namespace {

// The smallest rectangle holding every pixel of the canvas that is not
// fully transparent (empty when none is).
LayerRect shownArea(const Canvas& canvas) {
  const int w = canvas.area.width(), h = canvas.area.height(), st = canvas.stride();
  LayerRect r{h, w, 0, 0};
  for (int y = 0; y < h; ++y) {
    const float* p = canvas.px.data() + static_cast<size_t>(y) * static_cast<size_t>(w) * st + canvas.colours;
    int first = -1, last = -1;
    for (int x = 0; x < w; ++x)
      if (p[static_cast<size_t>(x) * st] > 0.5f / 65535.0f) {
        if (first < 0) first = x;
        last = x;
      }
    if (first < 0) continue;
    r.top = std::min(r.top, y), r.bottom = y + 1;
    r.left = std::min(r.left, first), r.right = std::max(r.right, last + 1);
  }
  return r.empty() ? LayerRect() : r;
}

// The part `r` of the canvas, as a canvas of its own whose area starts at 0, 0.
Canvas cropped(const Canvas& canvas, const LayerRect& r) {
  Canvas out(LayerRect{0, 0, r.height(), r.width()}, canvas.colours);
  const size_t row = static_cast<size_t>(r.width()) * canvas.stride();
  for (int y = r.top; y < r.bottom; ++y)
    std::copy_n(canvas.at(r.left, y), row, out.at(0, y - r.top));
  return out;
}

// Draws `set` for the document: in bands when it can (and no crop is
// asked), else on one canvas. `shown`: the canvas is cut to the pixels that
// show, whose place *shown gets.
LayerRendering renderSet(const PsdDocument& document, const LayerSet& set, uint64_t memory_limit, LayerRect* shown) {
  const PsdHeader& header = document.header();
  LayerRendering out;
  Status st;
  PsdFile in = document.file();
  MergeNotes notes;
  const MergeBudget budget = budgetFor(header, memory_limit);
  const int colours = colourChannelCount(header.mode);
  if (!shown && drawnInBands(header) && mergeableInBands(in, set)) {
    BandedBitmap bitmap(header.width, header.height, header.depth, colours);
    const int band_rows = std::max(1, kBandPixels / std::max(header.width, 1));
    st = mergeLayerBands(in, header, set, budget, colours, band_rows, &bitmap, &notes);
    if (st.ok()) out.image = bitmap.finish(budget.threads);
  } else {
    Canvas canvas(LayerRect{0, 0, header.height, header.width}, colours);
    st = mergeLayers(in, header, set, budget, &canvas, &notes);
    if (st.ok() && shown) {
      *shown = shownArea(canvas);
      if (shown->empty()) {
        out.status = Status::unsupported("nothing of it shows on the canvas");
        out.nothing_shows = true;
        return out;
      }
      if (!(*shown == canvas.area)) canvas = cropped(canvas, *shown);
    }
    if (st.ok()) out.image = bitmapOf(canvas, document, budget.threads, &out.colour);
  }
  if (!st.ok()) {
    // Damaged bytes stay kCorrupt; any other failure is one this reader cannot get past.
    out.status = Status::withCode(st.code() == Status::Code::kCorrupt ? Status::Code::kCorrupt
                                                                      : Status::Code::kUnsupported,
                                  "its layers cannot be read: " + st.message());
    return out;
  }
  if (!out.image) {
    out.status = Status::unsupported("the drawn layers could not be made into an image");
    return out;
  }
  out.note = joinNotes(notes);
  return out;
}

}  // namespace

LayerRendering renderLayers(const PsdDocument& document, uint64_t memory_limit) {
  LayerRendering out;
  out.status = refusal(document.header(), memory_limit);
  if (!out.status.ok()) return out;
  LayerSet set;
  Status st = readLayerRecords(document, &set);
  if (st.ok() && set.layers.empty()) {
    out.status = Status::unsupported("it has no layers");
    return out;
  }
  if (!st.ok()) {
    out.status = Status::withCode(st.code() == Status::Code::kCorrupt ? Status::Code::kCorrupt
                                                                      : Status::Code::kUnsupported,
                                  "its layers cannot be read: " + st.message());
    return out;
  }
  return renderSet(document, set, memory_limit, nullptr);
}

LayerRendering renderLayerSet(const PsdDocument& document, const LayerSet& set, uint64_t memory_limit, bool crop,
                              LayerRect* shown) {
  LayerRendering out;
  out.status = refusal(document.header(), memory_limit);
  if (!out.status.ok()) return out;
  LayerRect area{0, 0, document.header().height, document.header().width};
  out = renderSet(document, set, memory_limit, crop ? &area : nullptr);
  if (crop && !area.empty()) *shown = area;
  else if (!crop) *shown = LayerRect{0, 0, document.header().height, document.header().width};
  return out;
}

}  // namespace pixolune
