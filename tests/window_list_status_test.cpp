// What the input list shows of every file: its name, folder, size and the
// outcome of the last run (converted with the written size, failed with the
// reason), sorting by a click on a column header, the files of a folder walk
// in name order, "show failed only" and the output folder opened from the list.
#include <wx/dialog.h>
#include <wx/listctrl.h>

#include <filesystem>
#include <iostream>

#include "run/conversion_job.h"
#include "ui/conversion_dialog.h"
#include "ui/file_list_view.h"
#include "ui/output_folders.h"
#include "ui/progress_dialog.h"
#include "ui/start_conversion.h"
#include "window_fixture.h"
#include "window_support.h"
// After the wx headers (see window_fixture.h).
#include "support/convert_fixture.h"
#undef _WINDOWS_

namespace pixolune::testing {
namespace {

class ListStatusTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    out_ = makeFolder("out");
    setConversionFinishedHook([this](wxDialog* dialog, const ConversionDialogRecord& shown) {
      finished_ = shown;
      dialog->Close();
    });
  }
  void TearDown() override {
    setConversionFinishedHook(nullptr);
    WindowTest::TearDown();
  }

  /// The shown row of `path`, or rowCount() when it is not shown.
  size_t rowOf(const std::string& path) {
    const std::vector<std::string>& rows = list().rows();
    return static_cast<size_t>(std::find(rows.begin(), rows.end(), path) - rows.begin());
  }
  std::string statusOf(const std::string& path) { return list().cellText(rowOf(path), kColumnStatus); }

  /// Clicks the header of `column` as the user would.
  void clickHeader(FileColumn column) {
    wxListEvent event(wxEVT_LIST_COL_CLICK, list().GetId());
    event.m_col = column;
    event.SetEventObject(&list());
    list().GetEventHandler()->ProcessEvent(event);
  }

  /// Converts an intact document and a truncated one into out_, with "show
  /// failed only" on when `failed_only`.
  void runIntactAndTruncated(bool failed_only = false) {
    intact_ = dir_.file("in/intact.psd");
    truncated_ = dir_.file("in/truncated.psd");
    makeFolders(folderOf(intact_));
    ASSERT_TRUE(writePsdFile(intact_, solidDocument(6, 4, Rgb{10, 200, 30})));
    ASSERT_TRUE(writePsdFile(truncated_, solidDocument(6, 4, Rgb{90, 20, 30})));
    std::filesystem::resize_file(truncated_, std::filesystem::file_size(truncated_) / 2);
    ASSERT_TRUE(addInputFile(intact_));
    ASSERT_TRUE(addInputFile(truncated_));
    window().clearFolderBoxText();
    settings().recent_out_folders = out_;
    refreshOutputFolderBox();
    if (failed_only) {
      list().setFailedOnly(true);
      ASSERT_EQ(0u, list().rowCount());  // Nothing has failed yet.
    }
    ASSERT_TRUE(startConversion());
    pumpEvents();  // The outcomes queued by the worker reach the rows.
  }

  std::string out_, intact_, truncated_;
  ConversionDialogRecord finished_;
};

TEST_F(ListStatusTest, RowsShowNameFolderSizeAndWaitingOnceAdded) {
  EXPECT_EQ(kColumnCount, list().GetColumnCount());
  const std::string path = makeFile("some/where/file.psd", 2500);
  addFiles({path});
  ASSERT_EQ(1u, list().rowCount());
  EXPECT_EQ("file.psd", list().cellText(0, kColumnName));
  EXPECT_EQ(dir_.file("some/where/"), list().cellText(0, kColumnFolder));
  EXPECT_EQ("2.4 KB", list().cellText(0, kColumnSize));
  EXPECT_EQ("Waiting", list().cellText(0, kColumnStatus));
  EXPECT_EQ("123 B", sizeText(123));
  EXPECT_EQ("12 MB", sizeText(12 * 1024 * 1024 + 5));
}

TEST_F(ListStatusTest, RunShowsConvertedWithSizeAndFailedWithReason) {
  runIntactAndTruncated();
  ASSERT_EQ(1u, finished_.failures.size());
  const std::string prefix = truncated_ + ": ";
  ASSERT_EQ(0u, finished_.failures[0].find(prefix));
  const std::string reason = finished_.failures[0].substr(prefix.size());
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ("Failed: " + reason, statusOf(truncated_));
  EXPECT_EQ(FileState::kFailed, list().fileState(truncated_));
  const int64_t written = fileSize(out_ + "/intact.png");
  ASSERT_GT(written, 0);
  EXPECT_EQ("Converted, " + sizeText(written), statusOf(intact_));
  EXPECT_EQ(FileState::kConverted, list().fileState(intact_));
  std::cout << "[ status   ] " << statusOf(intact_) << "\n[ status   ] " << statusOf(truncated_) << "\n";

  // "Show failed only" leaves the failed row; the rest comes back after.
  list().setFailedOnly(true);
  EXPECT_EQ(std::vector<std::string>{truncated_}, list().rows());
  EXPECT_EQ((std::vector<std::string>{intact_, truncated_}), list().allRows());
  EXPECT_EQ("Failed: " + reason, list().cellText(0, kColumnStatus));
  list().setFailedOnly(false);
  EXPECT_EQ((std::vector<std::string>{intact_, truncated_}), list().rows());

  // Sorted by status, the converted row comes before the failed one.
  clickHeader(kColumnStatus);
  EXPECT_EQ((std::vector<std::string>{intact_, truncated_}), list().rows());
  clickHeader(kColumnStatus);
  EXPECT_EQ((std::vector<std::string>{truncated_, intact_}), list().rows());
}

TEST_F(ListStatusTest, FailedOnlyDuringARunShowsTheFailedRowAsItFails) {
  runIntactAndTruncated(true);
  EXPECT_EQ(std::vector<std::string>{truncated_}, list().rows());
  EXPECT_EQ(0u, statusOf(truncated_).find("Failed: "));
  list().setFailedOnly(false);
  EXPECT_EQ((std::vector<std::string>{intact_, truncated_}), list().rows());
}

TEST_F(ListStatusTest, HeaderClicksSortAndASecondClickReverses) {
  // Names, folders and sizes in three different orders.
  const std::string b = makeFile("x/b.psd", 300), a = makeFile("z/a.psd", 100), c = makeFile("y/c.psd", 200);
  addFiles({b, a, c});
  EXPECT_EQ((std::vector<std::string>{b, a, c}), list().rows());  // The order of adding.
  EXPECT_EQ(-1, list().sortColumn());
  list().setSelected(rowOf(a), true);

  clickHeader(kColumnName);
  EXPECT_EQ((std::vector<std::string>{a, b, c}), list().rows());
  EXPECT_EQ("a.psd", list().cellText(0, kColumnName));
  EXPECT_EQ(std::vector<size_t>{0}, list().selectedRows());  // The selection follows its row.
  clickHeader(kColumnName);
  EXPECT_EQ((std::vector<std::string>{c, b, a}), list().rows());
  EXPECT_FALSE(list().sortAscending());
  EXPECT_EQ(std::vector<size_t>{2}, list().selectedRows());

  clickHeader(kColumnFolder);
  EXPECT_EQ((std::vector<std::string>{b, c, a}), list().rows());
  clickHeader(kColumnSize);
  EXPECT_EQ((std::vector<std::string>{a, c, b}), list().rows());

  // A file added while sorted goes where the order puts it.
  const std::string d = makeFile("w/d.psd", 150);
  addFiles({d});
  EXPECT_EQ((std::vector<std::string>{a, d, c, b}), list().rows());
  list().removeRow(1);
  EXPECT_EQ((std::vector<std::string>{a, c, b}), list().rows());
}

TEST_F(ListStatusTest, FolderWalkAddsItsFilesInNameOrder) {
  const std::string root = dir_.file("walk");
  // Made out of order, so the folder's own order is unlikely to be the names'.
  for (const char* name : {"m.psd", "sub/k.psd", "z.psd", "b.psd", "a/y.psd", "c.psd"})
    makeFile(std::string("walk/") + name);
  const std::string before = makeFile("first.psd"), loose = makeFile("loose.psd");
  addFiles({before});
  dropFiles(root + "\n" + loose);
  const std::vector<std::string> expected = {before,           root + "/a/y.psd", root + "/b.psd", root + "/c.psd",
                                             root + "/m.psd", root + "/sub/k.psd", root + "/z.psd", loose};
  EXPECT_EQ(expected, list().rows());
  // The count on the status bar is the rows the drop added: the walk's and the dropped file.
  EXPECT_EQ("Import complete, new files added: 7", statusText());
  // A file added after the walk comes after its block.
  const std::string after = makeFile("0-after.psd");
  addFiles({after});
  EXPECT_EQ(after, list().rows().back());
}

TEST_F(ListStatusTest, OpenOutputFolderHandsTheShownFolderToTheShell) {
  RecordedShell shell;
  conversionJob().output_folder.clear();
  conversionJob().input_folder.clear();
  openOutputFolder();
  EXPECT_TRUE(shell.targets.empty());  // No folder yet: nothing is opened.
  addFiles({makeFile("in/one.psd")});
  openOutputFolder();
  EXPECT_EQ(std::vector<std::string>{dir_.file("in/")}, shell.targets);
}

}  // namespace
}  // namespace pixolune::testing
