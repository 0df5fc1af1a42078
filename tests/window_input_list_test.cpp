// The input list of the main window: rows from drops, requesters and list
// files, the progress window with its stop question, export, copy, delete,
// select all, New and the output-folder history.
#include <wx/dialog.h>
#include <wx/gauge.h>

#include <fnmatch.h>

#include <thread>

#include "run/conversion_job.h"
#include "run/worker.h"
#include "platform/text.h"
#include "ui/input_dialogs.h"
#include "ui/output_folders.h"
#include "ui/progress_dialog.h"
#include "ui/start_conversion.h"
#include "ui/window_ids.h"
#include "window_fixture.h"
#include "window_support.h"

namespace pixolune::testing {
namespace {

class InputListWindowTest : public WindowTest {
 protected:
  std::vector<std::string> addRows(int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) paths.push_back(makeFile("row" + std::to_string(i) + ".psd"));
    addFiles(paths);
    return paths;
  }
};

TEST_F(InputListWindowTest, DroppedFolderIsCollectedUnderTheProgressWindow) {
  const std::string root = dir_.file("drop");
  makeFile("drop/a.psd");
  makeFile("drop/b.PSD");
  makeFile("drop/c.psd");
  makeFile("drop/one/d.psd");
  makeFile("drop/one/empty.psd", 0);
  makeFile("drop/one/notes.txt");
  makeFile("drop/two/deep/e.psd");
  dropFiles(root + "\n");

  EXPECT_EQ(5, lastProgressRecord().maximum);  // 3 files and 2 folders directly inside.
  EXPECT_EQ(5, lastProgressRecord().last_value);
  EXPECT_EQ(5, lastProgressRecord().result_count);
  std::vector<std::string> rows = list().rows();
  std::sort(rows.begin(), rows.end());
  const std::vector<std::string> expected = {root + "/a.psd", root + "/b.PSD", root + "/c.psd",
                                             root + "/one/d.psd", root + "/two/deep/e.psd"};
  EXPECT_EQ(expected, rows);
  EXPECT_EQ(inputList().listedPaths().size(), list().rowCount());
  EXPECT_EQ("Import complete, new files added: 5", statusText());
  // The first file chose the output folder: the folder being collected.
  EXPECT_EQ(root + "/", window().folderBoxText());
  EXPECT_EQ(root + "/", conversionJob().output_folder);
  EXPECT_EQ(root + "/", settings().recent_out_folders);
  EXPECT_TRUE(window().IsEnabled());
  EXPECT_EQ(nullptr, progressWindow());
}

TEST_F(InputListWindowTest, EmptyFilesFoldersAndRepeatsAreNeverAdded) {
  const std::string empty = makeFile("empty.psd", 0);
  makeFile("folder.psd/inside.txt");
  const std::string lower = makeFile("case/a.psd");
  const std::string upper = makeFile("case/A.psd");
  addFiles({empty, dir_.file("folder.psd"), lower, upper, lower, dir_.file("plain")});
  EXPECT_EQ((std::vector<std::string>{lower, upper}), list().rows());
  EXPECT_EQ(2u, inputList().count());
  // Without an input folder the output folder is the first file's folder.
  EXPECT_EQ(dir_.file("case/"), window().folderBoxText());
}

TEST_F(InputListWindowTest, DroppedFilesAndFoldersKeepTheirOrder) {
  const std::string first = makeFile("x/first.psd");
  makeFile("y/inner.psd");
  const std::string last = makeFile("z/last.psd");
  dropFiles(first + "\n" + dir_.file("y") + "\n" + last);
  EXPECT_EQ((std::vector<std::string>{first, dir_.file("y/inner.psd"), last}), list().rows());
  EXPECT_EQ(1, lastProgressRecord().maximum);
}

TEST_F(InputListWindowTest, ImportedListGivesLineFeedsPlusOneAsMaximum) {
  const std::string a = makeFile("l/a.psd");
  const std::string b = makeFile("l/b.psd");
  const std::string list_path = dir_.file("list.txt");
  writeText(list_path, "  " + a + "  \n" + dir_.file("l/missing.psd") + "\n\t" + b + "\n" + b + "\n");
  ASSERT_TRUE(importListFrom(list_path));
  EXPECT_EQ(5, lastProgressRecord().maximum);
  EXPECT_EQ((std::vector<std::string>{a, b}), list().rows());
  // The missing file and the line with a tab before its path (only spaces are trimmed).
  EXPECT_EQ("Import complete, new files added: 2; 2 lines skipped (not found or not documents)", statusText());
  EXPECT_FALSE(importListFrom(makeFile("empty.txt", 0)));
}

TEST_F(InputListWindowTest, ExportWritesTheMarkAndCrLfLinesAndAddsTxt) {
  const std::vector<std::string> paths = addRows(3);
  ASSERT_TRUE(exportListTo(dir_.file("list")));
  const std::string expected = "\xEF\xBB\xBF" + paths[0] + "\r\n" + paths[1] + "\r\n" + paths[2] + "\r\n";
  EXPECT_EQ(expected, readText(dir_.file("list.txt")));
  EXPECT_EQ("Export complete, entries saved: 3", statusText());
  EXPECT_EQ(3, lastProgressRecord().maximum);
  ASSERT_TRUE(exportListTo(dir_.file("list.lst")));
  EXPECT_EQ(expected, readText(dir_.file("list.lst")));
  EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(InputListWindowTest, ExportAsksBeforeReplacingAFileWithContent) {
  addRows(2);
  writeText(dir_.file("old.txt"), "keep me");
  boxes_.answer(MessageAnswer::kNo);
  EXPECT_FALSE(exportListTo(dir_.file("old.txt")));
  EXPECT_EQ("keep me", readText(dir_.file("old.txt")));
  ASSERT_EQ(1u, boxes_.shown().size());
  EXPECT_EQ("The file already exist. Do you want to overwrite it?", boxes_.shown()[0].text);
  EXPECT_EQ("Warning", boxes_.shown()[0].title);
  boxes_.answer(MessageAnswer::kYes);
  EXPECT_TRUE(exportListTo(dir_.file("old.txt")));
  EXPECT_NE("keep me", readText(dir_.file("old.txt")));
  writeText(dir_.file("blank.txt"), "");
  EXPECT_TRUE(exportListTo(dir_.file("blank.txt")));  // Empty: replaced without a question.
  EXPECT_EQ(2u, boxes_.shown().size());
}

TEST_F(InputListWindowTest, ExportOfAnEmptyListWarns) {
  exportListDialog();
  ASSERT_EQ(1u, boxes_.shown().size());
  EXPECT_EQ("No input file(s) found. Please, add valid file(s) and try again!", boxes_.shown()[0].text);
  EXPECT_EQ(MessageIcon::kWarning, boxes_.shown()[0].icon);
}

TEST_F(InputListWindowTest, DeleteSelectsTheRowAfterTheRemovedOnes) {
  const std::vector<std::string> paths = addRows(5);
  list().setSelected(2, true);
  list().setSelected(3, true);
  deleteSelection();
  EXPECT_EQ((std::vector<std::string>{paths[0], paths[1], paths[4]}), list().rows());
  EXPECT_EQ((std::vector<size_t>{2}), list().selectedRows());
  EXPECT_EQ(3u, inputList().count());
  EXPECT_FALSE(inputList().isListed(paths[2]));
  // The selected row was the last one: the row before it is selected next.
  deleteSelection();
  EXPECT_EQ((std::vector<std::string>{paths[0], paths[1]}), list().rows());
  EXPECT_EQ((std::vector<size_t>{1}), list().selectedRows());
  EXPECT_EQ(2u, inputList().count());
}

TEST_F(InputListWindowTest, CopyJoinsSelectedRowsAndSelectAllMarksEveryRow) {
  const std::vector<std::string> paths = addRows(3);
  list().setSelected(2, true);
  list().setSelected(0, true);
  EXPECT_EQ(paths[0] + "\r\n" + paths[2], selectionText());
  selectAllRows();
  EXPECT_EQ((std::vector<size_t>{0, 1, 2}), list().selectedRows());
}

TEST_F(InputListWindowTest, NewEmptiesListStoreAndFolderBox) {
  addRows(2);
  setStatusText("something");
  newList();
  EXPECT_EQ(0u, list().rowCount());
  EXPECT_EQ(0u, inputList().count());
  EXPECT_EQ("", window().folderBoxText());
  EXPECT_EQ("Ready", statusText());
  EXPECT_EQ(1u, window().folderBox()->GetCount());  // The history stays in the box.
}

TEST_F(InputListWindowTest, ChosenOutputFoldersFormTheHistory) {
  for (int i = 1; i <= 6; ++i) ASSERT_TRUE(chooseFolderAsOutput(makeFolder("out" + std::to_string(i))));
  EXPECT_EQ(5u, window().folderBox()->GetCount());
  EXPECT_EQ(dir_.file("out6"), window().folderBoxText());
  EXPECT_EQ(dir_.file("out6") + "\t" + dir_.file("out5") + "\t" + dir_.file("out4") + "\t" + dir_.file("out3") +
                "\t" + dir_.file("out2"),
            settings().recent_out_folders);
  EXPECT_FALSE(chooseFolderAsOutput(dir_.file("missing")));
  EXPECT_EQ(dir_.file("out6"), conversionJob().output_folder);
}

TEST_F(InputListWindowTest, AFolderReachedTwoWaysIsOneHistoryEntry) {
  // The first file names its folder with a trailing "/", the requester without.
  const std::string folder = makeFolder("pics");
  addFiles({makeFile("pics/a.psd")});
  ASSERT_EQ(folder + "/", settings().recent_out_folders);
  ASSERT_TRUE(chooseFolderAsOutput(folder));
  ASSERT_TRUE(chooseFolderAsOutput(makeFolder("other")));
  ASSERT_TRUE(chooseFolderAsOutput(folder + "/../pics/."));
  EXPECT_EQ(folder + "/\t" + dir_.file("other"), settings().recent_out_folders);
  EXPECT_EQ(2u, window().folderBox()->GetCount());
  EXPECT_EQ(folder + "/", window().folderBoxText());
}

TEST_F(InputListWindowTest, ATypedOutputFolderIsWhatConvertUsesAndChecks) {
  addRows(1);
  wxTextCtrl* typing = window().folderBox()->GetTextCtrl();
  ASSERT_NE(nullptr, typing) << "the output-folder box takes no typing";
  const std::string typed = dir_.file("typed/never made");
  typing->SetFocus();
  typing->ChangeValue(toWx("  " + typed));
  EXPECT_EQ("  " + typed, window().folderBoxText());
  EXPECT_FALSE(startConversion());
  ASSERT_EQ(1u, boxes_.shown().size());
  EXPECT_NE(std::string::npos, boxes_.shown()[0].text.find(typed + "/")) << boxes_.shown()[0].text;
  EXPECT_EQ(typed + "/", conversionJob().output_folder);
  // Refilling the history keeps what was typed; choosing a folder replaces it.
  settings().out_folders_number = 3;
  applyPreferencesToWindow();
  EXPECT_EQ("  " + typed, window().folderBoxText());
  ASSERT_TRUE(chooseFolderAsOutput(makeFolder("chosen")));
  EXPECT_EQ(dir_.file("chosen"), window().folderBoxText());
  // A typed folder that exists passes the folder checks.
  typing->ChangeValue(toWx(makeFolder("typed")));
  conversionJob().output_folder = trim(window().folderBoxText());
  EXPECT_TRUE(validateConversion());
  EXPECT_EQ(dir_.file("typed/"), conversionJob().output_folder);
}

TEST_F(InputListWindowTest, TheFileFilterListsDocumentsInAnyLetterCase) {
  // What the desktop's requester gets: patterns it matches as fnmatch does.
  std::vector<std::string> entries = split(inputFileFilter(), '|');
  ASSERT_GE(entries.size(), 2u);
  const std::vector<std::string> patterns = split(entries[1], ';');
  auto listed = [&patterns](const char* name) {
    for (const std::string& pattern : patterns)
      if (fnmatch(pattern.c_str(), name, 0) == 0) return true;
    return false;
  };
  EXPECT_TRUE(listed("UPPER.PSD")) << entries[1];
  EXPECT_TRUE(listed("Mixed.Psd"));
  EXPECT_TRUE(listed("lower.psd"));
  EXPECT_FALSE(listed("notes.txt"));
  EXPECT_FALSE(listed("x.psd.bak"));
  EXPECT_EQ("*.[pP][nN][gG]1", anyCasePattern("*.png1"));
}

TEST_F(InputListWindowTest, EscapeClosesTheAddChooser) {
  bool closed_by_escape = false;
  window().CallAfter([&closed_by_escape] {
    auto* chooser = dynamic_cast<wxDialog*>(wxWindow::FindWindowById(windowId(kWindowInputChooser)));
    if (!chooser) return;
    pressKey(chooser, WXK_ESCAPE);
    closed_by_escape = !chooser->IsModal();
    if (!closed_by_escape) chooser->EndModal(wxID_CANCEL);  // Never leave the test waiting.
  });
  showAddChooser();
  EXPECT_TRUE(closed_by_escape);
  EXPECT_EQ(0u, list().rowCount());
}

TEST_F(InputListWindowTest, StopQuestionYesStopsTheWorkerNoLetsItFinish) {
  auto slowWorker = [](int items) {
    return [items] {
      for (int i = 0; i < items; ++i) {
        passPauseGate();
        if (!keepRunning()) break;
        workerProgress().countDone();
        workerProgress().addToResult(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    };
  };
  ProgressOperation op;
  op.window_number = 2;
  op.bar_number = 342;
  op.title_key = "Import Progress";
  op.maximum = 1000;
  op.ask = &askBreakImport;
  op.complete_key = "Import complete";
  op.stopped_key = "Import is not complete";

  workerProgress().setResultCount(0);
  op.worker = slowWorker(1000);
  boxes_.answer(MessageAnswer::kYes);
  window().CallAfter([] { progressWindow()->Close(); });
  ProgressRecord stopped = runWithProgress(op);
  EXPECT_TRUE(stopped.stop_asked);
  EXPECT_EQ(1, stopped.questions);
  EXPECT_LT(stopped.result_count, 1000);
  EXPECT_EQ("Import stopped", statusText());
  EXPECT_EQ("Do you want to break the import?", boxes_.shown().back().text);

  workerProgress().setResultCount(0);
  op.worker = slowWorker(20);
  op.maximum = 20;
  boxes_.answer(MessageAnswer::kNo);
  window().CallAfter([] { progressWindow()->Close(); });
  ProgressRecord finished = runWithProgress(op);
  EXPECT_FALSE(finished.stop_asked);
  EXPECT_EQ(1, finished.questions);
  EXPECT_EQ(20, finished.result_count);
  EXPECT_EQ(20, finished.last_value);
  EXPECT_EQ("Import complete, new files added: 20", statusText());
}

}  // namespace
}  // namespace pixolune::testing
