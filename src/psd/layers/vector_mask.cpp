#include "psd/layers/vector_mask.h"

#include <cstring>

#include "psd/psd_file.h"
#include "platform/cairo_handles.h"

namespace pixolune {

namespace {

constexpr size_t kRecord = 26;

struct Knot {
  double in_x, in_y, x, y, out_x, out_y;  // Control point before, anchor, control point after.
};

// A coordinate of 8.24 fixed point, a fraction of the document's side.
double fixed(const uint8_t* p) { return static_cast<int32_t>(static_cast<uint32_t>(bigEndian(p, 4))) / 16777216.0; }

Knot readKnot(const uint8_t* r, int w, int h) {
  return {fixed(r + 6) * w, fixed(r + 2) * h, fixed(r + 14) * w, fixed(r + 10) * h, fixed(r + 22) * w, fixed(r + 18) * h};
}

void addSubpath(cairo_t* cr, const std::vector<Knot>& knots, bool closed) {
  if (knots.empty()) return;
  cairo_move_to(cr, knots[0].x, knots[0].y);
  for (size_t i = 1; i < knots.size(); ++i)
    cairo_curve_to(cr, knots[i - 1].out_x, knots[i - 1].out_y, knots[i].in_x, knots[i].in_y, knots[i].x, knots[i].y);
  if (!closed) return;
  const Knot& last = knots.back();
  cairo_curve_to(cr, last.out_x, last.out_y, knots[0].in_x, knots[0].in_y, knots[0].x, knots[0].y);
  cairo_close_path(cr);
}

// Adds the path records to the context; false when they are malformed.
bool addPath(cairo_t* cr, const uint8_t* d, size_t n, int w, int h, bool* start_filled) {
  std::vector<Knot> knots;
  bool closed = false;
  size_t expected = 0;
  for (size_t at = 0; at + kRecord <= n; at += kRecord) {
    const uint8_t* r = d + at;
    const int selector = static_cast<int>(bigEndian(r, 2));
    if (selector == 0 || selector == 3) {
      addSubpath(cr, knots, closed);
      knots.clear();
      closed = selector == 0;
      expected = static_cast<size_t>(bigEndian(r + 2, 2));
    } else if (selector == 1 || selector == 2 || selector == 4 || selector == 5) {
      if (knots.size() >= expected) return false;
      knots.push_back(readKnot(r, w, h));
    } else if (selector == 8) {
      *start_filled = bigEndian(r + 2, 2) != 0;
    } else if (selector != 6 && selector != 7) {
      return false;
    }
  }
  addSubpath(cr, knots, closed);
  return true;
}

}  // namespace

bool drawVectorMask(const LayerRecord& layer, int width, int height, PlaneMask* out) {
  const LayerBlock* b = layer.block("vmsk");
  if (!b) b = layer.block("vsms");
  if (!b || b->data.size() < 8 || width <= 0 || height <= 0) return false;
  const uint32_t flags = static_cast<uint32_t>(bigEndian(b->data.data() + 4, 4));
  if (flags & 4) return false;  // Switched off.
  CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
  CairoPtr cr(cairo_create(surface.get()));
  bool start_filled = false;
  if (!addPath(cr.get(), b->data.data() + 8, b->data.size() - 8, width, height, &start_filled)) return false;
  cairo_set_fill_rule(cr.get(), CAIRO_FILL_RULE_EVEN_ODD);
  if (start_filled) {
    cairo_rectangle(cr.get(), 0, 0, width, height);  // Even-odd: the shapes cut holes.
  }
  cairo_fill(cr.get());
  cairo_surface_flush(surface.get());
  const bool invert = (flags & 1) != 0;
  PlaneMask mask;
  mask.rect = LayerRect{0, 0, height, width};
  mask.outside = invert ? 1.0f : 0.0f;
  mask.plane.width = width, mask.plane.height = height, mask.plane.depth = 8;
  mask.plane.bytes.resize(static_cast<size_t>(width) * height);
  const unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t v = data[static_cast<size_t>(y) * stride + x];
      mask.plane.bytes[static_cast<size_t>(y) * width + x] = invert ? static_cast<uint8_t>(255 - v) : v;
    }
  *out = std::move(mask);
  return true;
}

}  // namespace pixolune
