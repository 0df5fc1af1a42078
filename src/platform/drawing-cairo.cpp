// Surfaces, paths, compositing, picture loading and PNG encoding on cairo.
#include <FreeImage.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/cairo_handles.h"
#include "platform/drawing.h"

namespace pixolune {

namespace {

uint8_t premultiply(int component, int alpha) { return static_cast<uint8_t>((component * alpha + 127) / 255); }

uint8_t unpremultiply(int component, int alpha) {
  if (alpha == 0) return 0;
  return static_cast<uint8_t>(std::min(255, (component * 255 + alpha / 2) / alpha));
}

// cairo keeps a pixel as one native-endian word: alpha, red, green, blue,
// with the colour premultiplied by alpha.
uint32_t toCairoPixel(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(premultiply(r, a)) << 16 |
         static_cast<uint32_t>(premultiply(g, a)) << 8 | premultiply(b, a);
}

uint32_t* pixelRow(cairo_surface_t* s, int y) {
  unsigned char* data = cairo_image_surface_get_data(s);
  return reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * cairo_image_surface_get_stride(s));
}

// A copy of the surface with every pixel passed through the filter.
SurfacePtr filteredCopy(const Surface& source, const PixelFilter& filter) {
  const int w = surfaceWidth(source), h = surfaceHeight(source);
  SurfacePtr copy = createSurface(w, h);
  if (!copy) return nullptr;
  cairo_surface_t* from = source.handle.get();
  cairo_surface_t* to = copy->handle.get();
  cairo_surface_flush(from);
  cairo_surface_flush(to);
  for (int y = 0; y < h; ++y) {
    const uint32_t* in = pixelRow(from, y);
    uint32_t* out = pixelRow(to, y);
    for (int x = 0; x < w; ++x) {
      uint8_t a = static_cast<uint8_t>(in[x] >> 24);
      uint8_t r = unpremultiply((in[x] >> 16) & 255, a);
      uint8_t g = unpremultiply((in[x] >> 8) & 255, a);
      uint8_t b = unpremultiply(in[x] & 255, a);
      filter(r, g, b, a);
      out[x] = toCairoPixel(r, g, b, a);
    }
  }
  cairo_surface_mark_dirty(to);
  return copy;
}

// One number of the path text: decimal digits after any number of "-".
bool parsePathNumber(std::string_view token, double* value) {
  int sign = 1;
  while (!token.empty() && token.front() == '-') {
    sign = -sign;
    token.remove_prefix(1);
  }
  if (token.empty() || token.size() > 9) return false;
  long n = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *value = static_cast<double>(sign * n);
  return true;
}

std::vector<std::string_view> splitPath(std::string_view path) {
  std::vector<std::string_view> tokens;
  while (!path.empty()) {
    size_t space = path.find(' ');
    std::string_view token = path.substr(0, space);
    if (!token.empty()) tokens.push_back(token);
    if (space == std::string_view::npos) break;
    path.remove_prefix(space + 1);
  }
  return tokens;
}

// Adds the path text to the context's path; false when it is malformed.
bool addPathText(cairo_t* cr, std::string_view path) {
  std::vector<std::string_view> tokens = splitPath(path);
  bool has_point = false;
  for (size_t i = 0; i < tokens.size();) {
    std::string_view item = tokens[i++];
    if (item == "Z") {
      if (!has_point) return false;
      cairo_close_path(cr);
      continue;
    }
    double a = 0, b = 0;
    if (i + 2 > tokens.size() || !parsePathNumber(tokens[i], &a) || !parsePathNumber(tokens[i + 1], &b))
      return false;
    i += 2;
    if (item == "M") {
      cairo_move_to(cr, a, b);
      has_point = true;
    } else if (item == "l" && has_point) {
      cairo_rel_line_to(cr, a, b);
    } else {
      return false;
    }
  }
  return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

struct FreeImageDeleter {
  void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using FreeImagePtr = std::unique_ptr<FIBITMAP, FreeImageDeleter>;

// Copies a 32-bit FreeImage bitmap (bottom-up rows) into a new surface.
SurfacePtr surfaceFromBitmap(FIBITMAP* dib, bool keep_alpha) {
  const int w = static_cast<int>(FreeImage_GetWidth(dib)), h = static_cast<int>(FreeImage_GetHeight(dib));
  SurfacePtr surface = createSurface(w, h);
  if (!surface) return nullptr;
  cairo_surface_t* s = surface->handle.get();
  cairo_surface_flush(s);
  for (int y = 0; y < h; ++y) {
    const BYTE* in = FreeImage_GetScanLine(dib, h - 1 - y);
    uint32_t* out = pixelRow(s, y);
    for (int x = 0; x < w; ++x, in += 4) {
      uint8_t a = keep_alpha ? in[FI_RGBA_ALPHA] : 255;
      out[x] = toCairoPixel(in[FI_RGBA_RED], in[FI_RGBA_GREEN], in[FI_RGBA_BLUE], a);
    }
  }
  cairo_surface_mark_dirty(s);
  return surface;
}

}  // namespace

void SurfaceDeleter::operator()(Surface* surface) const { delete surface; }

CairoPtr beginDrawing(Surface& surface) {
  CairoPtr cr(cairo_create(surface.handle.get()));
  if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return cr;
}

void setSourceColor(cairo_t* cr, uint32_t color) {
  cairo_set_source_rgba(cr, colorRed(color) / 255.0, colorGreen(color) / 255.0, colorBlue(color) / 255.0,
                        colorAlpha(color) / 255.0);
}

SurfacePtr createSurface(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  CairoSurfacePtr handle(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(handle.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return SurfacePtr(new Surface{std::move(handle)});
}

SurfacePtr createFilledSurface(int width, int height, uint32_t color) {
  SurfacePtr surface = createSurface(width, height);
  if (surface) fillSurface(*surface, color);
  return surface;
}

int surfaceWidth(const Surface& surface) { return cairo_image_surface_get_width(surface.handle.get()); }
int surfaceHeight(const Surface& surface) { return cairo_image_surface_get_height(surface.handle.get()); }

uint32_t surfacePixel(const Surface& surface, int x, int y) {
  if (x < 0 || y < 0 || x >= surfaceWidth(surface) || y >= surfaceHeight(surface)) return 0;
  cairo_surface_t* s = surface.handle.get();
  cairo_surface_flush(s);
  uint32_t p = pixelRow(s, y)[x];
  int a = static_cast<int>(p >> 24);
  return makeColor(unpremultiply((p >> 16) & 255, a), unpremultiply((p >> 8) & 255, a), unpremultiply(p & 255, a),
                   a);
}

void fillSurface(Surface& surface, uint32_t color) {
  CairoPtr cr = beginDrawing(surface);
  if (!cr) return;
  cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
  setSourceColor(cr.get(), color);
  cairo_paint(cr.get());
}

void fillRectangle(Surface& surface, int x, int y, int width, int height, uint32_t color) {
  if (width <= 0 || height <= 0) return;
  CairoPtr cr = beginDrawing(surface);
  if (!cr) return;
  setSourceColor(cr.get(), color);
  cairo_rectangle(cr.get(), x, y, width, height);
  cairo_fill(cr.get());
}

bool fillPath(Surface& surface, const std::string& path, uint32_t color) {
  CairoPtr cr = beginDrawing(surface);
  if (!cr) return false;
  cairo_new_path(cr.get());
  if (!addPathText(cr.get(), path)) return false;
  setSourceColor(cr.get(), color);
  cairo_set_fill_rule(cr.get(), CAIRO_FILL_RULE_WINDING);
  cairo_fill(cr.get());
  return true;
}

void drawSurface(Surface& dest, const Surface& source, int x, int y, int alpha, const PixelFilter& filter,
                 DrawMode mode) {
  SurfacePtr filtered = filter ? filteredCopy(source, filter) : nullptr;
  if (filter && !filtered) return;
  const Surface& from = filtered ? *filtered : source;
  CairoPtr cr = beginDrawing(dest);
  if (!cr) return;
  if (mode == DrawMode::kReplace) {
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(cr.get(), x, y, surfaceWidth(from), surfaceHeight(from));
    cairo_fill(cr.get());
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_OVER);
  }
  cairo_set_source_surface(cr.get(), from.handle.get(), x, y);
  cairo_paint_with_alpha(cr.get(), std::clamp(alpha, 0, 255) / 255.0);
}

Picture loadPicture(const std::string& path) {
  Picture picture;
  FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(path.c_str());
  if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) return picture;
  // FreeImage's default JPEG decoder is the fast, coarse one.
  FreeImagePtr loaded(FreeImage_Load(format, path.c_str(), format == FIF_JPEG ? JPEG_ACCURATE : 0));
  if (!loaded) return picture;
  // A palette with transparent entries and 16-bit RGBA have alpha too.
  picture.has_alpha = FreeImage_GetBPP(loaded.get()) == 32 || FreeImage_GetImageType(loaded.get()) == FIT_RGBA16 ||
                      (FreeImage_GetBPP(loaded.get()) <= 8 && FreeImage_IsTransparent(loaded.get()));
  FreeImagePtr rgba(FreeImage_ConvertTo32Bits(loaded.get()));
  if (!rgba) return picture;
  picture.surface = surfaceFromBitmap(rgba.get(), picture.has_alpha);
  return picture;
}

bool encodePng(const Surface& surface, std::string* bytes) {
  bytes->clear();
  cairo_surface_t* s = surface.handle.get();
  cairo_surface_flush(s);
  return cairo_surface_write_to_png_stream(s, appendBytes, bytes) == CAIRO_STATUS_SUCCESS;
}

}  // namespace pixolune
