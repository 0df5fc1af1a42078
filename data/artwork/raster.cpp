// Reading, writing, scaling and layering of the tool's rasters.
#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "artwork.h"

namespace artwork {
namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

float channel(uint32_t pixel, int shift) { return static_cast<float>((pixel >> shift) & 0xff) / 255.0f; }

uint32_t toByte(float v) {
  if (v < 0.0f) v = 0.0f;
  if (v > 1.0f) v = 1.0f;
  return static_cast<uint32_t>(v * 255.0f + 0.5f);
}

}  // namespace

std::vector<IconSource> readIconMap(const std::string& path) {
  std::vector<IconSource> icons;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    IconSource icon;
    fields >> icon.name >> icon.base >> icon.overlay;
    if (!icon.base.empty()) icons.push_back(icon);
  }
  return icons;
}

std::string renderedPath(const std::string& dir, const std::string& icon) {
  std::string name = icon;
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return dir + "/" + name + ".png";
}

bool loadPng(const std::string& path, Raster* out) {
  SurfacePtr surface(cairo_image_surface_create_from_png(path.c_str()));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
  SurfacePtr argb(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(surface.get()),
                                             cairo_image_surface_get_height(surface.get())));
  cairo_t* cr = cairo_create(argb.get());
  cairo_set_source_surface(cr, surface.get(), 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(argb.get());
  Raster r(cairo_image_surface_get_width(argb.get()), cairo_image_surface_get_height(argb.get()));
  const unsigned char* data = cairo_image_surface_get_data(argb.get());
  int stride = cairo_image_surface_get_stride(argb.get());
  for (int y = 0; y < r.height; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < r.width; ++x) {
      float* p = r.at(x, y);
      p[0] = channel(row[x], 16);
      p[1] = channel(row[x], 8);
      p[2] = channel(row[x], 0);
      p[3] = channel(row[x], 24);
    }
  }
  *out = std::move(r);
  return true;
}

std::string encodePng(const Raster& raster, bool with_alpha) {
  SurfacePtr surface(
      cairo_image_surface_create(with_alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, raster.width, raster.height));
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < raster.height; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < raster.width; ++x) {
      const float* p = raster.at(x, y);
      float a = with_alpha ? p[3] : 1.0f;
      row[x] = (toByte(a) << 24) | (toByte(p[0]) << 16) | (toByte(p[1]) << 8) | toByte(p[2]);
    }
  }
  cairo_surface_mark_dirty(surface.get());
  std::string bytes;
  cairo_surface_write_to_png_stream(surface.get(), appendBytes, &bytes);
  return bytes;
}

Raster downsample(const Raster& in, int factor) {
  Raster out(in.width / factor, in.height / factor);
  float scale = 1.0f / static_cast<float>(factor * factor);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      float* o = out.at(x, y);
      for (int dy = 0; dy < factor; ++dy) {
        for (int dx = 0; dx < factor; ++dx) {
          const float* p = in.at(x * factor + dx, y * factor + dy);
          for (int c = 0; c < 4; ++c) o[c] += p[c];
        }
      }
      for (int c = 0; c < 4; ++c) o[c] *= scale;
    }
  }
  return out;
}

Raster composeIcon(const IconSource& source, const std::string& rendered_dir) {
  Raster base;
  if (!loadPng(renderedPath(rendered_dir, source.base), &base)) return {};
  if (source.overlay.empty()) return base;
  Raster overlay;
  if (!loadPng(renderedPath(rendered_dir, source.overlay), &overlay)) return {};
  Raster small = downsample(overlay, 2);
  int ox = base.width - small.width;
  int oy = base.height - small.height;
  for (int y = 0; y < small.height; ++y) {
    for (int x = 0; x < small.width; ++x) {
      const float* s = small.at(x, y);
      float* d = base.at(ox + x, oy + y);
      for (int c = 0; c < 4; ++c) d[c] = s[c] + d[c] * (1.0f - s[3]);
    }
  }
  return base;
}

bool writeFileReplacing(const std::string& path, const std::string& bytes) {
  std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace artwork
