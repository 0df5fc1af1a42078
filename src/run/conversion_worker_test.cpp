#include "run/conversion_worker.h"

#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <filesystem>

#include "run/conversion_job.h"
#include "image/format_table.h"
#include "run/helper_pool.h"
#include "inputs/input_extensions.h"
#include "inputs/input_list.h"
#include "run/pipeline.h"
#include "run/worker.h"
#include "platform/console.h"
#include "platform/files.h"
#include "settings/settings.h"
#include "support/psd_writer.h"
#include "support/sanitizers.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::readImage;
using testing::TempDir;
using testing::writeText;
using Colour = std::array<int, 3>;

// Every scenario runs twice: converting in this process, and in helper
// processes of the real program (as both run modes do).
class ConversionWorkerTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    initImageLibrary();
    buildFormatTable();
    createFormatLists();
    applyDefaultSettings(true);
    settings().output_format = "png";
    buildInputExtensionTable();
    resetRunState();
    out = dir.file("out/");
    makeFolders(out);
    conversionJob().output_folder = out;
    RunOptions run;
    ASSERT_TRUE(prepareRun(settings(), &run).ok());
    if (GetParam()) conversionIsolation().program = PIXOLUNE_BINARY;
  }
  void TearDown() override {
    conversionIsolation() = IsolationConfig();
    setConsoleSink(nullptr);
    run_tag.clear();
    resetRunState();
    applyDefaultSettings(true);
  }
  // A 3 x 2 RGB document of one colour below dir; returns its path.
  std::string putPsd(const std::string& name, Colour colour) {
    std::string path = dir.file(name);
    makeFolders(folderOf(path));
    auto doc = testing::makeDocument(testing::PsdMode::kRgb, 8, 3, 2, 0,
                                     [&](int c, int, int) { return static_cast<double>(colour[c]); });
    EXPECT_TRUE(testing::writePsdFile(path, doc));
    return path;
  }
  std::string putBroken(const std::string& name) {
    std::string path = dir.file(name);
    makeFolders(folderOf(path));
    writeText(path, "8BPS but not a document at all");
    return path;
  }
  WorkerProgress::Snapshot convert() {
    workerProgress().setResultCount(0);
    // The run takes the settings as they are now.
    RunOptions run;
    EXPECT_TRUE(prepareRun(settings(), &run).ok());
    runWorkerAndWait([&run] { conversionWorker(run, conversionJob().output_folder); });
    return workerProgress().snapshot();
  }
  // Every pixel of the written file has `colour`.
  void expectColour(const std::string& path, Colour colour) {
    testing::Pixels px = readImage(path);
    ASSERT_TRUE(px.ok()) << path;
    EXPECT_EQ(3, px.width);
    for (int y = 0; y < px.height; ++y)
      for (int x = 0; x < px.width; ++x)
        EXPECT_EQ(colour, (Colour{px.at(x, y)[0], px.at(x, y)[1], px.at(x, y)[2]})) << path << " at " << x << "," << y;
  }
  size_t filesBelow(const std::string& folder) {
    size_t n = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
      if (entry.is_regular_file()) ++n;
    return n;
  }
  TempDir dir;
  std::string out;
};

Colour colourOf(int i) { return {i * 20 + 10, 200 - i * 15, (i * 37) % 256}; }

TEST_P(ConversionWorkerTest, ConvertsInListOrderAndOnlySuccessAdvancesTheCounter) {
  if (GetParam()) PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the isolated conversion's helper");
  settings().filename_mask = "%n%.%ext%";
  const std::vector<int> order = {3, 7, 0, 9, 4, 1, 8, 2, 6, 5};
  std::vector<Colour> expected;
  for (int i : order) {
    std::string name = "in/" + std::to_string(i) + ".psd";
    if (i == 9) {
      ASSERT_TRUE(addInputFile(putBroken(name)));
      continue;
    }
    ASSERT_TRUE(addInputFile(putPsd(name, colourOf(i))));
    expected.push_back(colourOf(i));
  }
  const WorkerProgress::Snapshot first = convert();
  EXPECT_EQ(9, first.result_count);
  EXPECT_EQ(10, first.done_count);
  EXPECT_EQ(dir.file("in/5.psd"), first.current_path);
  EXPECT_EQ(10, nameCounters().sequence_number);
  for (int n = 1; n <= 9; ++n) expectColour(out + "0000" + std::to_string(n) + ".png", expected[n - 1]);

  // The same list again continues "%n%" where the first run stopped.
  const WorkerProgress::Snapshot second = convert();
  EXPECT_EQ(9, second.result_count);
  for (int n = 10; n <= 18; ++n) expectColour(out + "000" + std::to_string(n) + ".png", expected[n - 10]);
  EXPECT_EQ(18u, filesBelow(out));
  EXPECT_EQ(10u, inputList().count());
}

TEST_P(ConversionWorkerTest, KeepSubfoldersRecreatesTheTreeBelowTheOutputFolder) {
  if (GetParam()) PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the isolated conversion's helper");
  conversionJob().input_folder = dir.file("in/");
  putPsd("in/a/b/x.psd", colourOf(1));
  putPsd("in/top.psd", colourOf(2));
  ASSERT_EQ(2, collectFolder(dir.file("in/"), conversionJob().input_folder));
  EXPECT_EQ(2, convert().result_count);
  expectColour(out + "a/b/x.png", colourOf(1));
  expectColour(out + "top.png", colourOf(2));

  settings().keep_subfolders = false;
  TempDir flat;
  conversionJob().output_folder = flat.path() + "/";
  EXPECT_EQ(2, convert().result_count);
  expectColour(flat.file("x.png"), colourOf(1));
  EXPECT_EQ(2u, filesBelow(flat.path()));
}

TEST_P(ConversionWorkerTest, RootRepeatedInsideThePathKeepsTheWholeSubfolder) {
  if (GetParam()) PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the isolated conversion's helper");
  conversionJob().input_folder = dir.file("a/");
  putPsd("a/b/a/c/x.psd", colourOf(3));
  ASSERT_EQ(1, collectFolder(dir.file("a/"), conversionJob().input_folder));
  EXPECT_EQ(1, convert().result_count);
  expectColour(out + "b/a/c/x.png", colourOf(3));
}

TEST_P(ConversionWorkerTest, FileDateFollowsTheTimestampSetting) {
  if (GetParam()) PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the isolated conversion's helper");
  std::string input = putPsd("in/x.psd", colourOf(4));
  ASSERT_TRUE(setFileModificationTime(input, 1000000000));
  addInputFile(input);

  settings().file_timestamp = 1;
  ASSERT_EQ(1, convert().result_count);
  EXPECT_EQ(1000000000, fileModificationTime(out + "x.png"));

  settings().file_timestamp = 2;
  settings().custom_timestamp = 1500000000;
  ASSERT_EQ(1, convert().result_count);
  EXPECT_EQ(1500000000, fileModificationTime(out + "x.png"));  // Unix time, whatever the time zone.

  settings().file_timestamp = 0;
  int64_t before = static_cast<int64_t>(time(nullptr));
  ASSERT_EQ(1, convert().result_count);
  EXPECT_GE(fileModificationTime(out + "x.png"), before - 1);
}

TEST_P(ConversionWorkerTest, DebugLinesOnlyInConsoleDebugRuns) {
  if (GetParam()) PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the isolated conversion's helper");
  std::string good = putPsd("in/good.psd", colourOf(5));
  std::string bad = putBroken("in/bad.psd");
  addInputFile(good);
  addInputFile(bad);
  std::vector<std::string> lines;
  setConsoleSink([&](const std::string& line) { lines.push_back(line); });

  run_tag = "DEBUG";
  convert();
  EXPECT_TRUE(lines.empty());  // Window mode prints nothing.

  console_mode = true;
  convert();
  ASSERT_EQ(7u, lines.size());
  EXPECT_EQ("Processing: " + good, lines[0]);
  EXPECT_EQ("Saving As: " + out + "good.png", lines[1]);
  EXPECT_EQ("OK", lines[2]);
  EXPECT_EQ("Processing: " + bad, lines[3]);
  EXPECT_EQ("Saving As: ", lines[4]);
  EXPECT_EQ("Not OK", lines[5]);
  EXPECT_EQ(0u, lines[6].rfind("Reason: ", 0));
}

TEST_P(ConversionWorkerTest, StopTakesEffectAfterTheCurrentFile) {
  if (GetParam()) PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the isolated conversion's helper");
  for (int i = 0; i < 4; ++i) addInputFile(putPsd("in/" + std::to_string(i) + ".psd", colourOf(i)));
  console_mode = true;
  run_tag = "DEBUG";
  setConsoleSink([](const std::string& line) {
    if (line == "OK") requestStop();
  });
  settings().filename_mask = "%n%-%filename%.%ext%";  // Numbered: one file at a time everywhere.
  const WorkerProgress::Snapshot progress = convert();
  EXPECT_EQ(1, progress.result_count);
  EXPECT_EQ(1, progress.done_count);
  expectColour(out + "00001-0.png", colourOf(0));
  EXPECT_EQ(1u, filesBelow(out));
}

TEST_P(ConversionWorkerTest, StopLetsTheFilesInHandFinish) {
  if (GetParam()) PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the isolated conversion's helper");
  for (int i = 0; i < 4; ++i) addInputFile(putPsd("in/" + std::to_string(i) + ".psd", colourOf(i)));
  console_mode = true;
  run_tag = "DEBUG";
  setConsoleSink([](const std::string& line) {
    if (line == "OK") requestStop();
  });
  // Unnumbered: a helper already holds the next file when the first is done.
  const int in_hand = GetParam() ? 2 : 1;
  const WorkerProgress::Snapshot progress = convert();
  EXPECT_EQ(in_hand, progress.result_count);
  EXPECT_EQ(in_hand, progress.done_count);
  for (int i = 0; i < in_hand; ++i) expectColour(out + std::to_string(i) + ".png", colourOf(i));
  EXPECT_EQ(static_cast<size_t>(in_hand), filesBelow(out));
}

TEST_P(ConversionWorkerTest, MissingOutputLevelsAreCreatedOneByOne) {
  ensureOutputSubfolder(out, "p/q/r/");
  EXPECT_TRUE(isFolder(out + "p/q/r"));
  ensureOutputSubfolder(out, "");
  EXPECT_EQ(0u, filesBelow(out));
}

INSTANTIATE_TEST_SUITE_P(InProcessAndIsolated, ConversionWorkerTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Isolated" : "InProcess";
                         });

}  // namespace
}  // namespace pixolune
