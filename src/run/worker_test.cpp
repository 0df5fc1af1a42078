#include "run/worker.h"

#include <gtest/gtest.h>

#include <thread>

#include "run/conversion_job.h"
#include "image/format_table.h"
#include "inputs/input_extensions.h"
#include "inputs/input_list.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::readText;
using testing::TempDir;
using testing::writeText;

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    createFormatLists();
    buildInputExtensionTable();
    resetRunState();
  }
  void TearDown() override {
    setAddFileHook(nullptr);
    resumeWorker();
    resetRunState();
  }
  std::string put(const std::string& name, const std::string& text = "data") {
    std::string path = dir.file(name);
    makeFolders(folderOf(path));
    writeText(path, text);
    return path;
  }
  // Runs a worker the console's way, with result_count starting at 0.
  WorkerProgress::Snapshot run(const std::function<void()>& worker) {
    workerProgress().setResultCount(0);
    runWorkerAndWait(worker);
    return workerProgress().snapshot();
  }
  TempDir dir;
};

TEST_F(WorkerTest, FolderImportCountsTopLevelItemsAndAddedFiles) {
  put("in/1.psd");
  put("in/2.txt");
  put("in/a/3.psd");
  put("in/a/b/4.psd");
  put("in/a/b/5.psd", "");
  conversionJob().input_folder = dir.file("in/");
  const WorkerProgress::Snapshot progress = run(importFolderWorker);
  EXPECT_EQ(3, progress.done_count);
  EXPECT_EQ(3, progress.result_count);
  EXPECT_EQ("a/b/", inputList().find(dir.file("in/a/b/4.psd"))->source_subfolder);
  EXPECT_EQ(0, run(importFolderWorker).result_count);  // Nothing new the second time.
}

TEST_F(WorkerTest, FolderImportStopsBeforeTheNextTopLevelItem) {
  put("in/1.psd");
  put("in/2.psd");
  put("in/a/3.psd");
  put("in/a/4.psd");
  conversionJob().input_folder = dir.file("in/");
  setAddFileHook([](const std::string&) { requestStop(); });
  const WorkerProgress::Snapshot progress = run(importFolderWorker);
  EXPECT_EQ(1, progress.done_count);
  // The first item was either a single file or the sub-folder with its tree.
  int expected = inputList().isListed(dir.file("in/a/3.psd")) ? 2 : 1;
  EXPECT_EQ(expected, progress.result_count);
  EXPECT_EQ(static_cast<size_t>(expected), inputList().count());
}

TEST_F(WorkerTest, ListImportTrimsSkipsMissingPathsAndCollectsFolders) {
  std::string a = put("in/a.psd");
  put("tree/b.psd");
  put("tree/sub/c.psd");
  writeText(dir.file("list.txt"), "\xEF\xBB\xBF  " + a + "  \r\n" + dir.file("missing.psd") + "\r\n\r\n" +
                                      dir.file("tree") + "\r\n\t" + a + "\r\n" + a + "\n");
  conversionJob().input_path = dir.file("list.txt");
  const WorkerProgress::Snapshot progress = run(importListWorker);
  EXPECT_EQ(3, progress.result_count);
  EXPECT_EQ(3, progress.done_count);  // a, tree, a again; missing and empty lines do not count.
  EXPECT_TRUE(inputList().isListed(a));
  EXPECT_TRUE(inputList().isListed(dir.file("tree/sub/c.psd")));
  EXPECT_EQ(0, run(importListWorker).result_count);
  conversionJob().input_path = dir.file("no-such-list.txt");
  EXPECT_EQ(0, run(importListWorker).result_count);
}

TEST_F(WorkerTest, ListImportKeepsTheInputFolderAsRoot) {
  conversionJob().input_folder = dir.file("in/");
  std::string deep = put("in/x/y.psd");
  writeText(dir.file("list.txt"), dir.file("in/x") + "\n");
  conversionJob().input_path = dir.file("list.txt");
  EXPECT_EQ(1, run(importListWorker).result_count);
  EXPECT_EQ(dir.file("in/"), conversionJob().input_folder);
  EXPECT_EQ("x/", inputList().find(deep)->source_subfolder);
}

TEST_F(WorkerTest, ListImportStopsBeforeTheNextLine) {
  std::string a = put("a.psd"), b = put("b.psd");
  writeText(dir.file("list.txt"), a + "\r\n" + b + "\r\n");
  conversionJob().input_path = dir.file("list.txt");
  setAddFileHook([](const std::string&) { requestStop(); });
  const WorkerProgress::Snapshot progress = run(importListWorker);
  EXPECT_EQ(1, progress.result_count);
  EXPECT_EQ(std::vector<std::string>{a}, inputList().listedPaths());
}

TEST_F(WorkerTest, ExportWritesEveryRowAndRoundTrips) {
  std::string a = put("a.psd"), b = put("b b.psd");
  conversionJob().input_path = dir.file("list.txt");
  const WorkerProgress::Snapshot progress = run([&] { exportListWorker({a, b}); });
  EXPECT_EQ(2, progress.result_count);
  EXPECT_EQ(2, progress.done_count);
  EXPECT_EQ("\xEF\xBB\xBF" + a + "\r\n" + b + "\r\n", readText(dir.file("list.txt")));
  EXPECT_EQ(2, run(importListWorker).result_count);
  EXPECT_EQ((std::vector<std::string>{a, b}), inputList().listedPaths());
}

TEST_F(WorkerTest, ExportThatCannotCreateItsFileWritesNothing) {
  conversionJob().input_path = dir.file("missing/list.txt");
  EXPECT_EQ(0, run([&] { exportListWorker({"/in/a.psd"}); }).result_count);
  EXPECT_FALSE(pathExists(dir.file("missing/list.txt")));
}

TEST_F(WorkerTest, SuspendedWorkerWaitsAndHonoursAStopOnResume) {
  conversionJob().input_path = dir.file("list.txt");
  workerProgress().setResultCount(0);
  beginWorkerRun();
  suspendWorker();
  std::thread worker([] { exportListWorker({"/in/a.psd", "/in/b.psd"}); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(0, workerProgress().doneCount());  // Waiting at the gate.
  requestStop();
  resumeWorker();
  worker.join();
  EXPECT_EQ(0, workerProgress().resultCount());
  EXPECT_EQ("\xEF\xBB\xBF", readText(dir.file("list.txt")));
}

}  // namespace
}  // namespace pixolune
