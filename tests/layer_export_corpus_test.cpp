// Exports every layer of the shared corpus that psd-tools draws on its own
// (visible pixel layers without effects, not clipped to another) and
// compares each with psd-tools' layer.composite() of it, both cut to the
// layer's box and flattened over white: mean absolute difference at most
// 1.0 on colour and on alpha. psd-tools runs in the same test, from
// Debian's python3-psd-tools.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "psd/layers/layer_export.h"
#include "run/decode.h"
#include "run/pipeline.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

namespace fs = std::filesystem;
using testing::Pixels;

constexpr double kTolerance = 1.0;

// One layer as psd-tools drew it.
struct Drawn {
  int document = 0, number = 0;
  int left = 0, top = 0, right = 0, bottom = 0;
  std::vector<std::string> groups;
  std::string name;
};

std::vector<Drawn> readList(const std::string& path) {
  std::vector<Drawn> list;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::stringstream s(line);
    for (std::string field; std::getline(s, field, '\t');) f.push_back(field);
    if (f.size() < 4) continue;
    Drawn d;
    d.document = std::atoi(f[0].c_str()), d.number = std::atoi(f[1].c_str());
    std::stringstream box(f[2]);
    box >> d.left >> d.top >> d.right >> d.bottom;
    d.groups.assign(f.begin() + 3, f.end() - 1);
    d.name = f.back();
    list.push_back(std::move(d));
  }
  return list;
}

double flattened(const uint8_t* p, int c) { return p[c] * (p[3] / 255.0) + 255.0 * (1.0 - p[3] / 255.0); }

// Mean absolute differences (colour flattened over white, alpha) of `ours`
// (the canvas) over the box and `theirs` (the box), where the box lies on
// the canvas.
std::pair<double, double> difference(const Pixels& ours, const Pixels& theirs, const Drawn& d) {
  const int left = std::max(d.left, 0), top = std::max(d.top, 0);
  const int right = std::min(d.right, ours.width), bottom = std::min(d.bottom, ours.height);
  if (right <= left || bottom <= top || theirs.width != d.right - d.left || theirs.height != d.bottom - d.top)
    return {-1, -1};
  double colour = 0, alpha = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      const uint8_t* a = ours.at(x, y);
      const uint8_t* b = theirs.at(x - d.left, y - d.top);
      for (int c = 0; c < 3; ++c) colour += std::fabs(flattened(a, c) - flattened(b, c));
      alpha += std::fabs(a[3] - b[3]);
    }
  const double n = static_cast<double>(right - left) * (bottom - top);
  return {colour / (3 * n), alpha / n};
}

class LayerExportCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    corpus_ = testing::corpusFolder();
    if (corpus_.empty()) GTEST_SKIP() << "the real document corpus (../shared/psd-corpus) is absent";
    if (std::system("/usr/bin/python3 -c 'import psd_tools' 2>/dev/null") != 0)
      GTEST_SKIP() << "psd-tools is not installed (make deps installs python3-psd-tools)";
    initImageLibrary();
  }
  std::string corpus_;
  testing::TempDir dir_;
};

TEST_F(LayerExportCorpusTest, LayersMatchWhatPsdToolsDrawsOfThem) {
  std::vector<std::string> documents;
  for (const auto& e : fs::recursive_directory_iterator(corpus_ + "/files"))
    if (e.is_regular_file() && e.path().extension() == ".psd") documents.push_back(e.path().string());
  std::sort(documents.begin(), documents.end());
  std::string command = "/usr/bin/python3 '" PIXOLUNE_SOURCE_DIR "/tests/support/psd_tools_layers.py' '" + dir_.file("theirs") + "'";
  for (const std::string& d : documents) command += " '" + d + "'";
  command += " > '" + dir_.file("list.txt") + "'";
  ASSERT_EQ(0, std::system(command.c_str()));
  const std::vector<Drawn> list = readList(dir_.file("list.txt"));
  ASSERT_GT(list.size(), 100u) << "psd-tools drew too few layers to judge by";

  ExportOptions options;
  options.kind = kExportLayers;
  options.canvas_bounds = true;
  fs::create_directories(dir_.file("home"));
  std::map<int, std::vector<ExportPiece>> pieces;  // Of each document exported.
  int total = 0, matched = 0;
  std::string misses;
  for (const Drawn& d : list) {
    const std::string& path = documents[static_cast<size_t>(d.document)];
    const std::string out = dir_.file("ours/" + std::to_string(d.document));
    if (!pieces.count(d.document)) {
      fs::create_directories(out);
      const testing::RunResult r = testing::runPixolune(
          {"-q", "--export=layers", "--export-bounds=canvas", "--filename-mask=%index%.%ext%", "-o", out, path},
          dir_.path(), dir_.file("home"));
      EXPECT_EQ(0, r.exit_code) << path << ": " << r.err;
      EXPECT_TRUE(listDocumentPieces(path, options, &pieces[d.document]).ok()) << path;
    }
    ++total;
    // The same layer among ours: the same groups and name, as many times over.
    int seen = 0, index = 0;
    for (const Drawn& other : list)
      if (other.document == d.document && other.number < d.number && other.groups == d.groups && other.name == d.name)
        ++seen;
    for (const ExportPiece& p : pieces[d.document])
      if (p.groups == d.groups && p.name == d.name && seen-- == 0) {
        index = p.index;
        break;
      }
    const std::string relative = path.substr(corpus_.size() + 7) + ": " + d.name;
    if (index == 0) {
      misses += "  " + relative + ": not exported\n";
      continue;
    }
    char name[32];
    std::snprintf(name, sizeof(name), "/%03d.png", index);
    const auto diff = difference(testing::readImage(out + name),
                                 testing::readImage(dir_.file("theirs/" + std::to_string(d.document) + "/" +
                                                              std::to_string(d.number) + ".png")),
                                 d);
    if (diff.first >= 0 && diff.first <= kTolerance && diff.second <= kTolerance) {
      ++matched;
    } else {
      char line[96];
      std::snprintf(line, sizeof(line), ": colour %.2f, alpha %.2f\n", diff.first, diff.second);
      misses += "  " + relative + line;
    }
  }
  std::printf("Layers exported as psd-tools draws them: %d of %d\n", matched, total);
  std::printf("Misses:\n%s", misses.c_str());
  EXPECT_EQ(total, matched);
}

}  // namespace
}  // namespace pixolune
