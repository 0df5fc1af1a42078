// Writes a small set of sample Photoshop documents for the demo: several
// colour modes and depths, transparency, and a sub-folder.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/psd_writer.h"

using pixolune::testing::makeDocument;
using pixolune::testing::PsdDocument;
using pixolune::testing::PsdMode;

namespace {

// A sunset-like gradient with a soft-edged disc.
double sunset(int c, int x, int y, int w, int h, double scale) {
  double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
  double sky[3] = {255 * (0.3 + 0.7 * fy), 255 * (0.2 + 0.5 * fy * fy), 255 * (0.6 - 0.4 * fy)};
  double dx = fx - 0.5, dy = fy - 0.45, r = std::sqrt(dx * dx + dy * dy);
  double sun = std::clamp((0.18 - r) * 40.0, 0.0, 1.0);
  double sun_rgb[3] = {255, 220, 90};
  double v = c < 3 ? sky[c] * (1 - sun) + sun_rgb[c] * sun : 255;
  (void)fx;
  return v * scale;
}

bool write(const std::string& path, const PsdDocument& doc) {
  bool ok = pixolune::testing::writePsdFile(path, doc);
  std::printf("%s %s (%dx%d, %d bits per channel)\n", ok ? "wrote" : "FAILED", path.c_str(), doc.width, doc.height,
              doc.depth);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : "demo-in";
  std::filesystem::create_directories(dir + "/logos");
  const int w = 320, h = 200;
  bool ok = true;

  PsdDocument rgb = makeDocument(PsdMode::kRgb, 8, w, h, 0, [&](int c, int x, int y) { return sunset(c, x, y, w, h, 1); });
  rgb.rle = true;
  ok &= write(dir + "/sunset.psd", rgb);

  PsdDocument deep = makeDocument(PsdMode::kRgb, 16, w, h, 0,
                                  [&](int c, int x, int y) { return sunset(c, x, y, w, h, 257); });
  ok &= write(dir + "/sunset-16bit.psd", deep);

  PsdDocument grey = makeDocument(PsdMode::kGrey, 8, w, h, 0, [&](int, int x, int y) { return (x * 255 / w + y) % 256; });
  ok &= write(dir + "/grey-ramp.psd", grey);

  PsdDocument cmyk = makeDocument(PsdMode::kCmyk, 8, w, h, 0, [&](int c, int x, int y) {
    return c == 3 ? 0.0 : (c == (x * 3 / w) ? 200.0 : 20.0 + y / 4.0);
  });
  ok &= write(dir + "/cmyk-stripes.psd", cmyk);

  // A logo with an anti-aliased transparent edge, as web assets have.
  const int s = 128;
  PsdDocument logo = makeDocument(PsdMode::kRgb, 8, s, s, 1, [&](int c, int x, int y) {
    double r = std::hypot(x - s / 2.0 + 0.5, y - s / 2.0 + 0.5);
    if (c == 3) return std::clamp((s * 0.42 - r) * 255.0, 0.0, 255.0);
    const double colour[3] = {30, 90, 220};
    return colour[c];
  });
  logo.write_layers = true;
  logo.layer_count = -1;
  ok &= write(dir + "/logos/round-logo.psd", logo);
  return ok ? 0 : 1;
}
