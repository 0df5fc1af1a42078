// Damaged documents and failing saves end to end: the real binary converts
// every file in a helper process, so a bad file costs that file only.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "psd/composite_reader.h"
#include "run/pipeline.h"
#include "psd/psd_document.h"
#include "psd/psd_header.h"
#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

constexpr size_t kDamagedCount = 330;
// Helpers that crashed on the damaged set while the image library still
// decoded the documents our reader found damaged.
constexpr int kCrashesWhenTheLibraryDecodedDamage = 9;

std::string fileBytes(const std::string& path) { return readText(path); }

// Every regular file below `root`, by path relative to it.
std::map<std::string, std::string> filesBelow(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = fileBytes(entry.path().string());
  return files;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t pos = 0;
  for (size_t nl; (nl = text.find('\n', pos)) != std::string::npos; pos = nl + 1) out.push_back(text.substr(pos, nl - pos));
  return out;
}

// Intact documents from our own writer: the modes and encodings the decoder
// meets most, as encoded bytes by file name.
std::vector<std::pair<std::string, std::string>> writerDocuments() {
  auto ramp = [](int c, int x, int y) { return static_cast<double>((40 * c + 7 * x + 3 * y) % 256); };
  auto deep = [](int c, int x, int y) { return static_cast<double>((9000 * c + 300 * x + 170 * y) % 65536); };
  PsdDocument rgb = makeDocument(PsdMode::kRgb, 8, 40, 30, 0, ramp);
  PsdDocument rle = makeDocument(PsdMode::kRgb, 8, 33, 21, 1, ramp);
  rle.rle = true;
  rle.write_layers = true;
  rle.layer_count = -1;
  PsdDocument grey = makeDocument(PsdMode::kGrey, 16, 25, 17, 0, deep);
  PsdDocument cmyk = makeDocument(PsdMode::kCmyk, 8, 20, 20, 0, ramp);
  cmyk.rle = true;
  PsdDocument rgb16 = makeDocument(PsdMode::kRgb, 16, 19, 23, 0, deep);
  return {{"w-rgb.psd", encodePsd(rgb)},
          {"w-rle-alpha.psd", encodePsd(rle)},
          {"w-grey16.psd", encodePsd(grey)},
          {"w-cmyk.psd", encodePsd(cmyk)},
          {"w-rgb16.psd", encodePsd(rgb16)}};
}

// Small real documents (below 130 kB, sorted by path), as bytes by name.
std::vector<std::pair<std::string, std::string>> corpusDocuments() {
  std::vector<std::pair<std::string, std::string>> docs;
  const std::string corpus = corpusFolder();
  if (corpus.empty()) return docs;
  for (const auto& entry : fs::recursive_directory_iterator(corpus + "/files")) {
    if (!entry.is_regular_file() || entry.file_size() > 130000) continue;
    std::string name = "c-" + fs::relative(entry.path(), corpus + "/files").string();
    std::replace(name.begin(), name.end(), '/', '-');
    docs.emplace_back(name, fileBytes(entry.path().string()));
  }
  std::sort(docs.begin(), docs.end());
  return docs;
}

// True when our own composite reader refuses the document as damaged (it
// is of the reader's kinds, its header is sound, its image data is not).
bool refusedByOurReader(const std::string& path) {
  pixolune::PsdDocument document;
  if (!document.open(path).ok()) return false;
  const PsdHeader& header = document.header();
  if (header.has_version_info && !header.has_real_merged_data) return false;  // Drawn from its layers.
  return readComposite(document, 0, 1).outcome == CompositeOutcome::kFailed;
}

// The reason given for each file that failed, by file name.
std::map<std::string, std::string> reasonsByFile(const std::vector<std::string>& said) {
  std::map<std::string, std::string> reasons;
  std::string file;
  for (const std::string& l : said) {
    if (l.rfind("Processing: ", 0) == 0) file = fs::path(l.substr(12)).filename().string();
    if (l.rfind("Reason: ", 0) == 0) reasons[file] = l.substr(8);
  }
  return reasons;
}

// A damaged copy of `bytes`: kind 0 flips bytes among the first 200, kind 1
// flips bytes anywhere, kind 2 cuts the tail off.
std::string damage(const std::string& bytes, int kind, std::mt19937& random) {
  std::string out = bytes;
  auto pick = [&](size_t below) { return std::uniform_int_distribution<size_t>(0, below - 1)(random); };
  if (kind == 2) return out.substr(0, 1 + pick(out.size() - 1));
  const size_t range = kind == 0 ? std::min<size_t>(200, out.size()) : out.size();
  const size_t flips = 1 + pick(kind == 0 ? 4 : 8);
  for (size_t i = 0; i < flips; ++i) out[pick(range)] ^= static_cast<char>(1 + pick(255));
  return out;
}

class IsolationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"home", "intact", "mixed", "out-intact", "out-mixed"}) fs::create_directories(dir_.file(name));
  }
  RunResult convert(const std::string& in, const std::string& out, const RunEnvironment& environment) {
    return runPixolune({"-i", dir_.file(in), "-o", dir_.file(out), "-d"}, dir_.path(), dir_.file("home"), environment);
  }
  TempDir dir_;
};

TEST_F(IsolationTest, DamagedDocumentsCostOnlyThemselves) {
  std::vector<std::pair<std::string, std::string>> candidates = writerDocuments();
  auto corpus = corpusDocuments();
  candidates.insert(candidates.end(), corpus.begin(), corpus.end());
  for (const auto& [name, bytes] : candidates) writeText(dir_.file("intact/" + name), bytes);
  RunEnvironment environment;
  environment.variables = {{"PIXOLUNE_FILE_TIME_LIMIT_MS", "4000"}};
  environment.timeout_seconds = 400;
  RunResult alone = convert("intact", "out-intact", environment);
  ASSERT_NE(std::string::npos, alone.out.find("Files converted: ")) << alone.out << alone.err;

  // The intact documents are those a run of their own converts (some real
  // documents hold no composite); the damaged ones are made from them.
  std::map<std::string, std::string> reference = filesBelow(dir_.file("out-intact"));
  std::vector<std::pair<std::string, std::string>> sources;
  for (const auto& [name, bytes] : candidates)
    if (reference.count(name.substr(0, name.size() - 4) + ".png")) sources.emplace_back(name, bytes);
  ASSERT_GE(sources.size(), 5u + (corpus.empty() ? 0 : 20));
  for (const auto& [name, bytes] : sources) writeText(dir_.file("mixed/" + name), bytes);
  std::mt19937 random(20260413);
  std::vector<std::string> refused;
  initImageLibrary();
  for (size_t n = 0; n < kDamagedCount; ++n) {
    const auto& [name, bytes] = sources[n % sources.size()];
    const std::string damaged = "d" + std::to_string(n) + "-" + name;
    writeText(dir_.file("mixed/" + damaged), damage(bytes, static_cast<int>(n % 3), random));
    if (refusedByOurReader(dir_.file("mixed/" + damaged))) refused.push_back(damaged);
  }
  RunResult mixed = convert("mixed", "out-mixed", environment);

  ASSERT_EQ(2, mixed.exit_code) << mixed.err;
  std::vector<std::string> said = lines(mixed.out);
  ASSERT_FALSE(said.empty());
  const size_t listed = sources.size() + kDamagedCount;
  EXPECT_NE(std::string::npos, said.back().find(" of " + std::to_string(listed))) << said.back();
  EXPECT_EQ(listed, static_cast<size_t>(std::count_if(said.begin(), said.end(), [](const std::string& l) {
              return l.rfind("Processing: ", 0) == 0;
            })));
  // Every intact document is written exactly as in a run without the damaged ones.
  std::map<std::string, std::string> written = filesBelow(dir_.file("out-mixed"));
  for (const auto& [name, bytes] : reference) {
    auto it = written.find(name);
    ASSERT_NE(written.end(), it) << name;
    EXPECT_TRUE(it->second == bytes) << name;
  }
  for (const auto& [name, bytes] : written) EXPECT_EQ(std::string::npos, name.find(".pxl-")) << name;
  std::map<std::string, int> reasons;
  for (const std::string& l : said)
    if (l.rfind("Reason: ", 0) == 0) ++reasons[l.substr(8, l.find(':', 8) - 8)];
  for (const auto& [reason, count] : reasons) std::printf("%5d  %s\n", count, reason.c_str());
  // The damaged set still holds damage of the kinds our reader reads, and
  // none of it reaches the library's decoder: those files fail as damaged.
  std::printf("%5zu  refused by our reader\n", refused.size());
  EXPECT_GT(refused.size(), 0u) << "the damaged set no longer reaches our reader's refusals";
  std::map<std::string, std::string> by_file = reasonsByFile(said);
  for (const std::string& name : refused) {
    ASSERT_TRUE(by_file.count(name)) << name << " was converted";
    EXPECT_NE(0u, by_file[name].rfind("crashed", 0)) << name << ": " << by_file[name];
    EXPECT_EQ(0u, by_file[name].rfind("cannot be decoded as a Photoshop document: ", 0))
        << name << ": " << by_file[name];
  }
  EXPECT_LT(reasons["crashed"], kCrashesWhenTheLibraryDecodedDamage);
}

// A document whose PNG is larger than any file the run may write.
void writeNoisyDocument(const std::string& path) {
  std::mt19937 random(7);
  PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 160, 120, 0, [&](int, int, int) {
    return static_cast<double>(random() % 256);
  });
  ASSERT_TRUE(writePsdFile(path, doc));
}

TEST_F(IsolationTest, FullOutputKeepsTheOldFileAndLeavesNoTemporary) {
  writeNoisyDocument(dir_.file("intact/noise.psd"));
  const std::string old_output = dir_.file("out-intact/noise.png");
  writeText(old_output, "the previous conversion");
  RunEnvironment environment;
  environment.file_size_limit = 16 * 1024;  // Writes past 16 kB fail as on a full disk.
  RunResult r = convert("intact", "out-intact", environment);
  EXPECT_EQ(2, r.exit_code) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("Not OK")) << r.out;
  EXPECT_EQ("the previous conversion", readText(old_output));
  EXPECT_EQ(1u, filesBelow(dir_.file("out-intact")).size());
}

TEST_F(IsolationTest, ReadOnlyOutputKeepsTheOldFileAndLeavesNoTemporary) {
  writeNoisyDocument(dir_.file("intact/noise.psd"));
  const std::string old_output = dir_.file("out-intact/noise.png");
  writeText(old_output, "the previous conversion");
  chmod(dir_.file("out-intact").c_str(), 0555);
  RunEnvironment environment;
  environment.bound_by_permissions = true;  // A superuser running the tests is bound too.
  RunResult r = convert("intact", "out-intact", environment);
  chmod(dir_.file("out-intact").c_str(), 0755);
  EXPECT_EQ(2, r.exit_code) << r.out << r.err;
  EXPECT_EQ("the previous conversion", readText(old_output));
  EXPECT_EQ(1u, filesBelow(dir_.file("out-intact")).size());
}

}  // namespace
}  // namespace pixolune::testing

namespace pixolune::testing {
namespace {

// Several helpers at once write what one does, and numbered runs keep their numbers.
class ParallelRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("home"));
    fs::create_directories(dir_.file("in"));
    auto docs = writerDocuments();
    for (int copy = 0; copy < 3; ++copy)
      for (const auto& [name, bytes] : docs) writeText(dir_.file("in/" + std::to_string(copy) + name), bytes);
    writeText(dir_.file("in/broken.psd"), "8BPS and nothing else");
  }
  RunResult convert(const std::string& out, std::vector<std::string> extra) {
    fs::create_directories(dir_.file(out));
    std::vector<std::string> args = {"-i", dir_.file("in"), "-o", dir_.file(out), "-d"};
    args.insert(args.end(), extra.begin(), extra.end());
    return runPixolune(args, dir_.path(), dir_.file("home"));
  }
  // The run's debug lines about files, with the output folder taken out.
  std::vector<std::string> fileLines(const RunResult& r, const std::string& out) {
    std::vector<std::string> kept;
    for (std::string l : lines(r.out)) {
      if (l.rfind("Processing: ", 0) != 0 && l.rfind("Saving As: ", 0) != 0 && l != "OK" && l != "Not OK") continue;
      size_t at = l.find(dir_.file(out));
      if (at != std::string::npos) l.erase(at, dir_.file(out).size());
      kept.push_back(l);
    }
    return kept;
  }
  TempDir dir_;
};

TEST_F(ParallelRunTest, ParallelHelpersWriteTheSameFilesAsOne) {
  RunResult one = convert("one", {"--jobs=1"});
  RunResult three = convert("three", {"--jobs=3"});
  EXPECT_EQ(2, one.exit_code);
  EXPECT_EQ(2, three.exit_code);
  EXPECT_NE(std::string::npos, one.out.find("Parallel Jobs: 1\n"));
  EXPECT_NE(std::string::npos, three.out.find("Parallel Jobs: 3\n"));
  EXPECT_TRUE(filesBelow(dir_.file("one")) == filesBelow(dir_.file("three")));
  EXPECT_EQ(15u, filesBelow(dir_.file("three")).size());
  EXPECT_EQ(fileLines(one, "one"), fileLines(three, "three"));
}

TEST_F(ParallelRunTest, NumberedNamesComeOutAsInASequentialRun) {
  RunResult one = convert("one", {"--jobs=1", "--filename-mask=%n%-%filename%"});
  RunResult three = convert("three", {"--jobs=3", "--filename-mask=%n%-%filename%"});
  EXPECT_NE(std::string::npos, three.out.find("Parallel Jobs: 1 (the file names or the watermark number the files)"));
  std::map<std::string, std::string> written = filesBelow(dir_.file("three"));
  EXPECT_TRUE(filesBelow(dir_.file("one")) == written);
  ASSERT_EQ(15u, written.size());
  EXPECT_EQ("00001-", written.begin()->first.substr(0, 6));
  EXPECT_EQ("00015-", written.rbegin()->first.substr(0, 6));
  EXPECT_EQ(fileLines(one, "one"), fileLines(three, "three"));
}

}  // namespace
}  // namespace pixolune::testing
