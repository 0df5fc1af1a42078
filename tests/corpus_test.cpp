// Converts every real Photoshop document of the shared corpus with default
// settings and compares the PNG with the reference reading: both at 8 bits
// per channel, flattened over white, mean absolute difference at most 1.0 on
// colour and at most 1.0 on alpha. The readings of CMYK, Lab and 32-bit
// documents use formulas Photoshop does not show; those documents are
// judged against a reference computed here instead (colour_reference.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "run/conversion_job.h"
#include "image/format_table.h"
#include "run/pipeline.h"
#include "settings/settings.h"
#include "support/colour_reference.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::Pixels;
using testing::TempDir;

constexpr double kTolerance = 1.0;

struct CorpusRow {
  std::string file;
  std::string mode;       // "RGB", "Grayscale", ...
  int depth = 0;
  int channels = 0;
  std::string composite;  // "yes", "no" or "?".
  std::string reference;  // File name in reference/, or "none".
  std::string agreement;  // "agreed", "im-only", "disputed(...)", "no-reference".
};

struct Outcome {
  bool converted = false;
  std::string reason;       // failure_reason when not converted.
  bool compared = false;    // A reference existed and the output was read.
  double colour_diff = -1;  // Mean absolute differences, 0..255 scale.
  double alpha_diff = -1;
  std::string note;         // Why no comparison was possible.
  bool matches() const { return compared && colour_diff <= kTolerance && alpha_diff <= kTolerance; }
};

std::vector<CorpusRow> readManifest(const std::string& folder) {
  std::vector<CorpusRow> rows;
  std::ifstream in(folder + "/manifest.tsv");
  std::string line;
  std::getline(in, line);  // Column names.
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream s(line);
    for (std::string field; std::getline(s, field, '\t');) f.push_back(field);
    if (f.size() < 9) continue;
    rows.push_back({f[0], f[3], std::atoi(f[4].c_str()), std::atoi(f[5].c_str()), f[6], f[7], f[8]});
  }
  return rows;
}

bool hasTrustedReference(const CorpusRow& row) {
  return row.reference != "none" && (row.agreement == "agreed" || row.agreement == "im-only");
}

// CMYK, Lab and 32-bit documents: judged against the computed reference.
bool computedReference(const CorpusRow& row) { return row.mode == "CMYK" || row.mode == "Lab" || row.depth == 32; }

// The documents whose conversion must match: a stored (or not disproved)
// composite with a trusted reference.
bool mustMatch(const CorpusRow& row) { return hasTrustedReference(row) && row.composite != "no"; }

double flattened(const uint8_t* p, int c) { return p[c] * (p[3] / 255.0) + 255.0 * (1.0 - p[3] / 255.0); }

// Both reference readers leave the white matte in greyscale composites with
// transparency (an edge pixel of a grey-66 shape at alpha 128 reads 160, the
// value blended over white), so the comparison takes it out of the reference
// as the converter does.
void removeReferenceMatte(Pixels* ref) {
  for (size_t i = 0; i + 3 < ref->rgba.size(); i += 4) {
    const int a = ref->rgba[i + 3];
    for (int c = 0; c < 3 && a > 0; ++c) {
      const int num = ref->rgba[i + c] + a - 255;
      ref->rgba[i + c] = static_cast<uint8_t>(num <= 0 ? 0 : std::min(255, (num * 255 + a / 2) / a));
    }
  }
}

bool greyWithTransparency(const CorpusRow& row) { return row.mode == "Grayscale" && row.channels > 1; }

void compareImages(const Pixels& out, const Pixels& ref, Outcome* o) {
  if (out.width != ref.width || out.height != ref.height) {
    o->note = "size " + std::to_string(out.width) + "x" + std::to_string(out.height) + ", reference " +
              std::to_string(ref.width) + "x" + std::to_string(ref.height);
    return;
  }
  double colour = 0, alpha = 0;
  const size_t n = static_cast<size_t>(out.width) * out.height;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* a = &out.rgba[4 * i];
    const uint8_t* b = &ref.rgba[4 * i];
    for (int c = 0; c < 3; ++c) colour += std::fabs(flattened(a, c) - flattened(b, c));
    alpha += std::abs(static_cast<int>(a[3]) - static_cast<int>(b[3]));
  }
  o->compared = true;
  o->colour_diff = colour / (3.0 * n);
  o->alpha_diff = alpha / n;
}

Outcome convertOne(const std::string& corpus, const CorpusRow& row, const std::string& out_folder,
                   const RunOptions& run) {
  ConversionRequest request;
  request.input_path = corpus + "/files/" + row.file;
  request.output_folder = out_folder + "/";
  const ConversionResult job = convertFile(request, run);
  Outcome o;
  o.converted = job.ok();
  if (!o.converted) {
    o.reason = job.failureReason();
    return o;
  }
  Pixels ref;
  std::string why;
  if (computedReference(row)) {
    if (!testing::colourReference(request.input_path, &ref, &why)) o.note = "no computed reference: " + why;
  } else if (row.reference == "none") {
    o.note = "no reference";
  } else {
    ref = testing::readImage(corpus + "/reference/" + row.reference);
    if (greyWithTransparency(row)) removeReferenceMatte(&ref);
  }
  if (o.note.empty()) {
    Pixels out = testing::readImage(job.output_path);
    if (!out.ok() || !ref.ok()) o.note = "output or reference unreadable";
    else compareImages(out, ref, &o);
  }
  std::filesystem::remove(job.output_path);
  return o;
}

// Converts the whole corpus once for all tests of this file.
class CorpusTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    corpus_ = testing::corpusFolder();
    if (corpus_.empty()) return;
    initImageLibrary();
    buildFormatTable();
    createFormatLists();
    applyDefaultSettings(true);
    RunOptions run;
    ASSERT_TRUE(prepareRun(settings(), &run).ok());
    TempDir out;
    rows_ = readManifest(corpus_);
    for (const CorpusRow& row : rows_) outcomes_[row.file] = convertOne(corpus_, row, out.path(), run);
  }
  void SetUp() override {
    if (corpus_.empty()) GTEST_SKIP() << "the real document corpus (../shared/psd-corpus) is absent";
  }
  static std::string corpus_;
  static std::vector<CorpusRow> rows_;
  static std::map<std::string, Outcome> outcomes_;
};

std::string CorpusTest::corpus_;
std::vector<CorpusRow> CorpusTest::rows_;
std::map<std::string, Outcome> CorpusTest::outcomes_;

std::string describe(const CorpusRow& row, const Outcome& o) {
  char buf[128];
  if (!o.converted) return row.file + ": not converted (" + o.reason + ")";
  if (!o.compared) return row.file + ": " + o.note;
  std::snprintf(buf, sizeof buf, ": colour %.2f, alpha %.2f", o.colour_diff, o.alpha_diff);
  return row.file + buf;
}

TEST_F(CorpusTest, StoredCompositesMatchTheReference) {
  int total = 0, matched = 0;
  std::string misses, refused;
  for (const CorpusRow& row : rows_) {
    if (!mustMatch(row)) continue;
    ++total;
    const Outcome& o = outcomes_[row.file];
    // The manifest could not tell whether this composite is real; when the
    // file's own version info says it is a blank placeholder, refusing it is right.
    if (row.composite == "?" && !o.converted && o.reason.find("no composite") != std::string::npos)
      refused += "  " + describe(row, o) + "\n";
    else if (o.matches())
      ++matched;
    else
      misses += "  " + describe(row, o) + "\n";
  }
  std::printf("Corpus: %d of %d documents match the reference\n", matched, total);
  std::string computed;
  for (const CorpusRow& row : rows_)
    if (mustMatch(row) && computedReference(row)) computed += "  " + describe(row, outcomes_[row.file]) + "\n";
  std::printf("Judged against computed references (CMYK and Lab through their profiles, 32-bit sRGB-encoded):\n%s",
              computed.c_str());
  if (!refused.empty()) std::printf("Refused as placeholders:\n%s", refused.c_str());
  if (!misses.empty()) std::printf("Misses:\n%s", misses.c_str());
  EXPECT_TRUE(misses.empty()) << misses;
}

TEST_F(CorpusTest, DocumentsWithoutCompositeAreDrawnFromTheirLayers) {
  for (const CorpusRow& row : rows_) {
    if (row.composite != "no") continue;
    const Outcome& o = outcomes_[row.file];
    EXPECT_TRUE(o.converted) << describe(row, o);
  }
}

TEST_F(CorpusTest, ReportsTheOtherDocuments) {
  // Disputed documents are not judged; their scores are printed so that
  // changes show. Reaching here means none crashed.
  std::string report;
  for (const CorpusRow& row : rows_)
    if (!mustMatch(row) && row.composite != "no") report += "  " + describe(row, outcomes_[row.file]) + "\n";
  std::printf("Not judged:\n%s", report.c_str());
  EXPECT_EQ(rows_.size(), outcomes_.size());
}

}  // namespace
}  // namespace pixolune
