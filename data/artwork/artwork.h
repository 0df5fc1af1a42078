// Build-time artwork tool: turns rendered icon pictures into the pictures
// compiled into the program and into the "handdrawn" theme archive.
#ifndef PIXOLUNE_DATA_ARTWORK_ARTWORK_H_
#define PIXOLUNE_DATA_ARTWORK_ARTWORK_H_

#include <string>
#include <vector>

namespace artwork {

/// Pixels as premultiplied RGBA floats (0..1), row 0 at the top.
struct Raster {
  int width = 0;
  int height = 0;
  std::vector<float> px;
  Raster() = default;
  Raster(int w, int h) : width(w), height(h), px(static_cast<size_t>(w) * h * 4, 0.0f) {}
  float* at(int x, int y) { return &px[(static_cast<size_t>(y) * width + x) * 4]; }
  const float* at(int x, int y) const { return &px[(static_cast<size_t>(y) * width + x) * 4]; }
};

/// Size at which every icon is rendered; every icon size divides it.
constexpr int kArtSize = 192;

/// One line of the icon map: picture name, base icon, optional overlay icon.
struct IconSource {
  std::string name;
  std::string base;
  std::string overlay;
};

/// Reads the icon map; an empty list when it cannot be read.
std::vector<IconSource> readIconMap(const std::string& path);

/// The rendered file of an icon ("actions/edit-copy" -> dir/actions_edit-copy.png).
std::string renderedPath(const std::string& dir, const std::string& icon);

/// Reads a PNG file; false when it cannot.
bool loadPng(const std::string& path, Raster* out);

/// PNG bytes of the raster; without alpha the picture is stored as 24-bit RGB.
std::string encodePng(const Raster& raster, bool with_alpha);

/// Averages factor x factor blocks (factor divides both sides).
Raster downsample(const Raster& in, int factor);

/// The icon at kArtSize: the base with the overlay at half size in the
/// lower right quarter. Width 0 when a rendered file is missing.
Raster composeIcon(const IconSource& source, const std::string& rendered_dir);

/// The hand-drawn look at `size` pixels: flat pastel colours, wobbly ink
/// outlines, hatched shadows.
Raster sketchIcon(const Raster& art, int size);

/// Image 0 (360 x 40, opaque) and image 1 (270 x 75, with alpha) as PNG bytes.
std::string drawBanner();
std::string drawLogo();

/// Writes bytes to a temporary file and renames it; false on failure.
bool writeFileReplacing(const std::string& path, const std::string& bytes);

}  // namespace artwork

#endif  // PIXOLUNE_DATA_ARTWORK_ARTWORK_H_
