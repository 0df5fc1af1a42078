// Owning handles for cairo, pango and GLib objects, and the cairo form of
// the drawing layer's surface. Only the cairo implementation includes this.
#ifndef PIXOLUNE_PLATFORM_CAIRO_HANDLES_H_
#define PIXOLUNE_PLATFORM_CAIRO_HANDLES_H_

#include <cairo.h>
#include <glib-object.h>
#include <pango/pangocairo.h>

#include <cstdint>
#include <memory>

#include "platform/drawing.h"

namespace pixolune {

struct CairoSurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
struct CairoFontOptionsDeleter {
  void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};
struct GObjectDeleter {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct FontDescriptionDeleter {
  void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
struct AttrListDeleter {
  void operator()(PangoAttrList* a) const { pango_attr_list_unref(a); }
};

using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;
using CairoPtr = std::unique_ptr<cairo_t, CairoDeleter>;
using CairoFontOptionsPtr = std::unique_ptr<cairo_font_options_t, CairoFontOptionsDeleter>;
using FontMapPtr = std::unique_ptr<PangoFontMap, GObjectDeleter>;
using ContextPtr = std::unique_ptr<PangoContext, GObjectDeleter>;
using LayoutPtr = std::unique_ptr<PangoLayout, GObjectDeleter>;
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;
using AttrListPtr = std::unique_ptr<PangoAttrList, AttrListDeleter>;

/// An ARGB32 image surface (premultiplied alpha, native-endian words).
struct Surface {
  CairoSurfacePtr handle;
};

/// A drawing context on the surface; null when cairo refuses.
CairoPtr beginDrawing(Surface& surface);

/// Sets the context's source to a straight 32-bit colour.
void setSourceColor(cairo_t* cr, uint32_t color);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_CAIRO_HANDLES_H_
