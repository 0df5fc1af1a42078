// Writes a few tiny documents of our own writer into a folder, the seeds
// of the document fuzz targets that need no corpus: every kind the
// composite reader reads, raw and compressed, and layers whose channels
// are raw, PackBits, ZIP and ZIP with prediction.
// Usage: fuzz_make_seeds FOLDER
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "support/psd_writer.h"

using namespace pixolune::testing;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  mkdir(folder.c_str(), 0755);
  auto ramp = [](int c, int x, int y) { return static_cast<double>((40 * c + 7 * x + 3 * (y / 2)) % 256); };
  int written = 0;
  auto write = [&](const std::string& name, const PsdDocument& doc) {
    if (writePsdFile(folder + "/" + name + ".psd", doc)) ++written;
  };
  for (PsdMode mode : {PsdMode::kRgb, PsdMode::kGrey, PsdMode::kCmyk}) {
    for (int depth : {8, 16}) {
      for (bool rle : {false, true}) {
        PsdDocument doc = makeDocument(mode, depth, 9, 5, 1, [&](int c, int x, int y) {
          return depth == 16 ? ramp(c, x, y) * 257 : ramp(c, x, y);
        });
        doc.rle = rle;
        const std::string kind = std::to_string(static_cast<int>(mode)) + "-" + std::to_string(depth);
        write("m" + kind + (rle ? "-rle" : "-raw"), doc);
      }
    }
  }
  PsdDocument layered = makeDocument(PsdMode::kRgb, 8, 6, 4, 0, ramp);
  layered.resources = {versionInfo(false)};
  for (int compression = 0; compression < 4; ++compression) {
    PsdLayer layer;
    layer.top = compression - 1, layer.left = 1, layer.bottom = 4, layer.right = 7;
    const size_t samples = static_cast<size_t>((layer.bottom - layer.top) * (layer.right - layer.left));
    for (int id : {-1, 0, 1, 2})
      layer.channels.push_back({id, std::vector<double>(samples, 60.0 * (id + 2)), compression});
    layered.layers.push_back(layer);
  }
  write("layers", layered);
  std::printf("fuzz seeds: %d documents\n", written);
  return written > 0 ? 0 : 1;
}
