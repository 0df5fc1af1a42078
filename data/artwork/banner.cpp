// The two numbered pictures: the About window's banner (image 0) and the
// program's logo (image 1), drawn with cairo.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "artwork.h"

namespace artwork {
namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

std::string pngOf(cairo_surface_t* surface) {
  std::string bytes;
  cairo_surface_flush(surface);
  cairo_surface_write_to_png_stream(surface, appendBytes, &bytes);
  return bytes;
}

/// One layer of the logo: a slanted sheet seen from above.
void drawSheet(cairo_t* cr, double x, double y, double w, double h, double r, double g, double b) {
  double slant = h * 0.5;
  cairo_new_path(cr);
  cairo_move_to(cr, x + slant, y);
  cairo_line_to(cr, x + w + slant, y);
  cairo_line_to(cr, x + w, y + h);
  cairo_line_to(cr, x, y + h);
  cairo_close_path(cr);
  cairo_set_source_rgba(cr, r, g, b, 0.92);
  cairo_fill_preserve(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_width(cr, std::max(1.0, h * 0.08));
  cairo_set_source_rgb(cr, 0.1, 0.12, 0.2);
  cairo_stroke(cr);
}

/// Three stacked layers (a layered document) in a box of the given height.
void drawLayers(cairo_t* cr, double x, double y, double height) {
  double sheet_h = height * 0.36;
  double step = height * 0.28;
  double w = height * 0.9;
  drawSheet(cr, x, y + 2 * step, w, sheet_h, 0.95, 0.62, 0.18);
  drawSheet(cr, x, y + step, w, sheet_h, 0.22, 0.68, 0.62);
  drawSheet(cr, x, y, w, sheet_h, 0.32, 0.52, 0.9);
}

void showText(cairo_t* cr, const char* text, double size, bool bold, double x, double y) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text);
}

}  // namespace

std::string drawBanner() {
  SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 360, 40));
  ContextPtr cr(cairo_create(surface.get()));
  cairo_pattern_t* band = cairo_pattern_create_linear(0, 0, 360, 40);
  cairo_pattern_add_color_stop_rgb(band, 0.0, 0.11, 0.2, 0.42);
  cairo_pattern_add_color_stop_rgb(band, 1.0, 0.16, 0.52, 0.58);
  cairo_set_source(cr.get(), band);
  cairo_paint(cr.get());
  cairo_pattern_destroy(band);
  drawLayers(cr.get(), 8, 4, 30);
  cairo_set_source_rgb(cr.get(), 1, 1, 1);
  showText(cr.get(), "Pixolune", 21, true, 52, 28);
  cairo_set_source_rgb(cr.get(), 0.85, 0.93, 0.96);
  showText(cr.get(), "PSD to PNG batch converter", 11, false, 188, 26);
  return pngOf(surface.get());
}

std::string drawLogo() {
  SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 270, 75));
  ContextPtr cr(cairo_create(surface.get()));
  drawLayers(cr.get(), 6, 8, 58);
  // A soft light rim keeps the dark lettering readable on dark backgrounds.
  cairo_select_font_face(cr.get(), "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr.get(), 36);
  cairo_move_to(cr.get(), 80, 46);
  cairo_text_path(cr.get(), "Pixolune");
  cairo_set_source_rgba(cr.get(), 1, 1, 1, 0.85);
  cairo_set_line_width(cr.get(), 4);
  cairo_stroke_preserve(cr.get());
  cairo_set_source_rgb(cr.get(), 0.11, 0.2, 0.42);
  cairo_fill(cr.get());
  cairo_set_source_rgb(cr.get(), 0.16, 0.45, 0.5);
  showText(cr.get(), "layered PSD to PNG", 13, false, 84, 66);
  return pngOf(surface.get());
}

}  // namespace artwork
