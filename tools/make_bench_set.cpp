// Writes the large benchmark set: 24 photo-sized Photoshop documents (3000 x
// 2000 and 2000 x 3000) in the kinds a batch meets, four of each, two raw
// and two RLE: 8-bit RGB opaque and with transparency, 16-bit RGB opaque and
// with transparency, 8-bit greyscale, 8-bit CMYK. The pixels are smooth shapes with
// a little fixed noise, as photographs have, so compression works as hard
// as on real pictures. The same files come out on every run and machine.
// Usage: make_bench_set <folder>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/psd_writer.h"

using pixolune::testing::colourChannels;
using pixolune::testing::makeDocument;
using pixolune::testing::PsdDocument;
using pixolune::testing::PsdMode;

namespace {

struct Kind {
  const char* name;
  PsdMode mode;
  int depth;
  bool transparent;
};

constexpr Kind kKinds[] = {
    {"rgb8", PsdMode::kRgb, 8, false},        {"rgb8-alpha", PsdMode::kRgb, 8, true},
    {"rgb16", PsdMode::kRgb, 16, false},      {"rgb16-alpha", PsdMode::kRgb, 16, true},
    {"grey8", PsdMode::kGrey, 8, false},      {"cmyk8", PsdMode::kCmyk, 8, false},
};

// Fixed noise in [-1, 1] for a sample, from an integer hash.
double noise(uint32_t seed, int c, int x, int y) {
  uint32_t h = seed * 0x9E3779B9u ^ static_cast<uint32_t>(c) * 0x85EBCA6Bu;
  h ^= static_cast<uint32_t>(x) * 0xC2B2AE35u;
  h ^= static_cast<uint32_t>(y) * 0x27D4EB2Fu;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return static_cast<double>(h & 0xFFFF) / 32767.5 - 1.0;
}

// A colour sample in 0..1: a sky gradient, soft waves and a bright disc.
double scene(uint32_t seed, int c, int x, int y, int w, int h) {
  const double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
  const double phase = seed * 0.7 + c * 1.3;
  double v = 0.25 + 0.45 * fy + 0.12 * std::sin(fx * 9.0 + phase) * std::cos(fy * 5.0 - phase);
  const double dx = fx - 0.3 - 0.1 * seed, dy = fy - 0.4, r = std::sqrt(dx * dx + dy * dy);
  v += 0.35 * std::exp(-r * r * 30.0);
  v += 0.02 * noise(seed, c, x, y);
  return std::fmin(1.0, std::fmax(0.0, v));
}

// Transparency in 0..1: an opaque oval with a soft edge, clear around it.
double oval(int x, int y, int w, int h) {
  const double dx = (x - w / 2.0) / (w * 0.42), dy = (y - h / 2.0) / (h * 0.42);
  return std::fmin(1.0, std::fmax(0.0, (1.0 - std::sqrt(dx * dx + dy * dy)) * 25.0));
}

PsdDocument build(const Kind& kind, uint32_t seed, bool rle, int w, int h) {
  const int colours = colourChannels(kind.mode);
  const double scale = kind.depth == 16 ? 65535.0 : 255.0;
  PsdDocument doc = makeDocument(kind.mode, kind.depth, w, h, kind.transparent ? 1 : 0, [&](int c, int x, int y) {
    const double alpha = kind.transparent ? oval(x, y, w, h) : 1.0;
    if (c >= colours) return std::round(alpha * scale);
    // As Photoshop stores a transparent composite: matted over white.
    double v = scene(seed, c, x, y, w, h) * alpha + (1.0 - alpha);
    if (kind.mode == PsdMode::kCmyk) v = c == 3 ? 0.2 * v : 1.0 - v;  // Ink amounts.
    return std::round(v * scale);
  });
  doc.rle = rle;
  if (kind.transparent) {  // As Photoshop saves it: a layer, and the composite's transparency.
    doc.write_layers = true;
    doc.layer_count = -1;
  }
  return doc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_bench_set <folder>\n");
    return 1;
  }
  const std::string dir = argv[1];
  std::filesystem::create_directories(dir);
  int failures = 0;
  uint32_t seed = 0;
  for (const Kind& kind : kKinds) {
    for (int copy = 0; copy < 2; ++copy) {
      for (bool rle : {false, true}) {
        ++seed;
        const bool portrait = (seed % 3) == 0;
        const int w = portrait ? 2000 : 3000, h = portrait ? 3000 : 2000;
        char name[64];
        std::snprintf(name, sizeof name, "%02u-%s-%s.psd", seed, kind.name, rle ? "rle" : "raw");
        const std::string path = dir + "/" + name;
        const bool ok = pixolune::testing::writePsdFile(path, build(kind, seed, rle, w, h));
        std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "FAILED", path.c_str(), w, h);
        failures += ok ? 0 : 1;
      }
    }
  }
  return failures == 0 ? 0 : 1;
}
