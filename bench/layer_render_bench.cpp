// Drawing a document from its layers against decoding its stored composite,
// in the same run: a 3000 x 2000 RGB document of ten normal layers, each
// covering the canvas with soft-edged transparency, PackBits-compressed as
// Photoshop writes them. Prints both medians and their ratio (the target:
// layers at most twice the composite). The opaque parts of the top three
// layers together cover the canvas, so the seven below are never read; a
// second document, the same with every layer at opacity 254, has all ten
// layers seen everywhere, and is timed too.
// Usage: layer_render_bench [folder-for-the-document] [rounds] [keep]
// ("keep" leaves the documents, as layer-bench-255.psd and -254.psd, for profiling)
#include <FreeImage.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "run/decode.h"
#include "psd/layers/channel_data.h"
#include "support/psd_writer.h"

namespace {

using pixolune::testing::packBits;

constexpr int kWidth = 3000, kHeight = 2000, kLayers = 10;

void put(std::string* out, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Sample of channel c (-1 alpha) of layer l: smooth ramps with flat runs, as in drawn artwork.
uint8_t sample(int l, int c, int x, int y) {
  if (c < 0) {
    const int d = (x + y * 2 + l * 300) % 1200;
    return static_cast<uint8_t>(d < 600 ? 255 : d < 855 ? 855 - d : 0);
  }
  return static_cast<uint8_t>(((x / 4) * (c + 1) + (y / 3) * (l + 1)) & 0xFF);
}

// PackBits data of one plane: the row counts, then the rows.
std::string plane(int l, int c) {
  std::vector<std::string> rows;
  std::string row(kWidth, '\0');
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) row[x] = static_cast<char>(sample(l, c, x, y));
    rows.push_back(packBits(row));
  }
  std::string out;
  for (const std::string& r : rows) put(&out, r.size(), 2);
  for (const std::string& r : rows) out += r;
  return out;
}

std::string document(int opacity) {
  std::string psd = "8BPS";
  put(&psd, 1, 2), put(&psd, 0, 6), put(&psd, 3, 2), put(&psd, kHeight, 4), put(&psd, kWidth, 4);
  put(&psd, 8, 2), put(&psd, 3, 2), put(&psd, 0, 4), put(&psd, 0, 4);
  std::string records, data;
  put(&records, kLayers, 2);
  for (int l = 0; l < kLayers; ++l) {
    put(&records, 0, 4), put(&records, 0, 4), put(&records, kHeight, 4), put(&records, kWidth, 4), put(&records, 4, 2);
    for (int c = -1; c < 3; ++c) {
      const std::string p = plane(l, c);
      put(&records, static_cast<uint16_t>(c), 2), put(&records, p.size() + 2, 4);
      put(&data, 1, 2), data += p;
    }
    records += "8BIMnorm";
    put(&records, static_cast<uint64_t>(opacity), 1), put(&records, 0, 1), put(&records, 0, 1), put(&records, 0, 1);
    put(&records, 12, 4), put(&records, 0, 4), put(&records, 0, 4), put(&records, 3, 1), records += "Lyr";
  }
  std::string info = records + data;
  if (info.size() % 2) info += '\0';
  put(&psd, info.size() + 8, 4), put(&psd, info.size(), 4), psd += info, put(&psd, 0, 4);
  // The composite: the top layer's colours, PackBits, as Photoshop stores it.
  put(&psd, 1, 2);
  std::vector<std::string> rows;
  std::string row(kWidth, '\0');
  for (int c = 0; c < 3; ++c)
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) row[x] = static_cast<char>(sample(kLayers - 1, c, x, y));
      rows.push_back(packBits(row));
    }
  for (const std::string& r : rows) put(&psd, r.size(), 2);
  for (const std::string& r : rows) psd += r;
  return psd;
}

template <typename F>
double medianSeconds(int rounds, F f) {
  std::vector<double> t;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

// Median seconds of decoding the composite and of drawing the layers of the
// document at path; empty reason when both worked.
std::pair<double, double> timeBoth(const std::string& path, int rounds, std::string* reason) {
  bool ok = true;
  const double composite = medianSeconds(rounds, [&] {
    pixolune::BitmapPtr image;
    const pixolune::Status st = pixolune::decodeDocument(path, 0, &image);
    if (!st.ok()) *reason = st.message();
    ok = ok && image;
  });
  const double layers = medianSeconds(rounds, [&] {
    pixolune::BitmapPtr image;
    const pixolune::Status st = pixolune::decodeLayers(path, &image);
    if (!st.ok()) *reason = st.message();
    ok = ok && image;
  });
  if (!ok && reason->empty()) *reason = "no image";
  return {composite, layers};
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "/tmp";
  const bool keep = argc > 3 && std::string(argv[3]) == "keep";
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  FreeImage_Initialise(FALSE);
  std::printf("3000 x 2000 RGB, %d normal layers, median of %d rounds\n", kLayers, rounds);
  for (const int opacity : {255, 254}) {
    const std::string path = folder + (keep ? "/layer-bench-" + std::to_string(opacity) + ".psd" : "/layer-bench.psd");
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      const std::string bytes = document(opacity);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string reason;
    const auto [composite, layers] = timeBoth(path, rounds, &reason);
    if (!keep) std::remove(path.c_str());
    if (!reason.empty()) {
      std::fprintf(stderr, "decoding failed: %s\n", reason.c_str());
      return 2;
    }
    std::printf("%s\n  composite decode: %.3f s\n  layer rendering:  %.3f s\n  ratio: %.2f%s\n",
                opacity == 255 ? "layers at full opacity (the top three hide the rest):"
                               : "layers at opacity 254 (all ten seen everywhere):",
                composite, layers, layers / composite, opacity == 255 ? " (target at most 2.00)" : "");
  }
  FreeImage_DeInitialise();
  return 0;
}
