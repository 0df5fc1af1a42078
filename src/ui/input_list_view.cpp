#include "ui/input_list_view.h"

#include <wx/app.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/dialog.h>
#include <wx/thread.h>


#include "run/conversion_job.h"
#include "inputs/input_list.h"
#include "run/worker.h"
#include "platform/files.h"
#include "platform/mutex.h"
#include "platform/text.h"
#include "resources/string_table.h"
#include "ui/links.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"
#include "ui/window_ids.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

Mutex queue_lock;
std::vector<std::string> queued_paths GUARDED_BY(queue_lock);

void queueAddedFile(const std::string& path) {
  {
    MutexLock hold(&queue_lock);
    queued_paths.push_back(path);
  }
  if (wxThread::IsMain()) drainAddedFiles();
}

// The folder walk whose files are being added: its progress window and
// folder, and the block of rows they go to. Main thread only.
struct FolderWalk {
  const wxDialog* window = nullptr;
  std::string folder;
  uint64_t block = 0;
  bool active = false;
};
FolderWalk folder_walk;

// The block the next drained row goes to: the walk's while a folder-import
// progress window is open, none (a block of its own) otherwise.
bool walkBlock(FileListView* list, uint64_t* block) {
  const wxDialog* window = progressWindow();
  if (!window || window->GetId() != windowId(kWindowImportFolderProgress)) {
    folder_walk.active = false;
    return false;
  }
  const std::string& folder = conversionJob().input_folder;
  if (!folder_walk.active || folder_walk.window != window || folder_walk.folder != folder) {
    folder_walk.window = window;
    folder_walk.folder = folder;
    folder_walk.block = list->newBlock();
    folder_walk.active = true;
  }
  *block = folder_walk.block;
  return true;
}

// One outcome told by the conversion worker, waiting for the main thread.
struct FileOutcome {
  std::string path;
  FileState state = FileState::kWaiting;
  int64_t output_size = -1;
  std::string reason;
};

Mutex outcome_lock;
std::vector<FileOutcome> queued_outcomes GUARDED_BY(outcome_lock);

void queueOutcome(FileOutcome outcome) {
  bool first = false;
  {
    MutexLock hold(&outcome_lock);
    first = queued_outcomes.empty();
    queued_outcomes.push_back(std::move(outcome));
  }
  // One call for all the outcomes queued until it runs.
  if (first && wxTheApp) wxTheApp->CallAfter([] { showFileOutcomes(); });
}

// Tells the rows what the conversion worker does with each file. Called on
// the worker's thread, right after the file was written.
class ListObserver : public ConversionObserver {
 public:
  void fileStarted(const std::string& path) override { queueOutcome({path, FileState::kConverting, -1, {}}); }
  void fileFinished(const std::string& path, bool converted, const std::string& reason,
                    const std::string& output_path) override {
    if (converted) queueOutcome({path, FileState::kConverted, fileSize(output_path), {}});
    else queueOutcome({path, FileState::kFailed, -1, reason});
  }
};

ListObserver list_observer;

}  // namespace

void installAddFileHook() {
  setAddFileHook(&queueAddedFile);
  setConversionObserver(&list_observer);
}

void drainAddedFiles() {
  std::vector<std::string> paths;
  {
    MutexLock hold(&queue_lock);
    paths.swap(queued_paths);
  }
  for (const std::string& path : paths) onInputFileAdded(path);
}

void showFileOutcomes() {
  std::vector<FileOutcome> outcomes;
  {
    MutexLock hold(&outcome_lock);
    outcomes.swap(queued_outcomes);
  }
  MainWindow* window = mainWindow();
  if (!window) return;
  FileListView* list = window->fileList();
  list->beginStateBatch();
  for (const FileOutcome& outcome : outcomes)
    list->setFileState(outcome.path, outcome.state, outcome.output_size, outcome.reason);
  list->endStateBatch();
}

std::string outputFolderToOpen() {
  MainWindow* window = mainWindow();
  const std::string shown = window ? trim(window->folderBoxText()) : std::string();
  return shown.empty() ? conversionJob().output_folder : shown;
}

void openOutputFolder() {
  const std::string folder = outputFolderToOpen();
  if (!folder.empty()) openWithShell(folder);
}

void onInputFileAdded(const std::string& path) {
  MainWindow* window = mainWindow();
  if (!window) return;
  uint64_t block = 0;
  if (walkBlock(window->fileList(), &block)) window->fileList()->appendRowInBlock(path, block);
  else window->fileList()->appendRow(path);
  if (!window->folderBoxText().empty()) return;
  ConversionJob& job = conversionJob();
  job.output_folder = job.input_folder.empty() ? folderOf(path) : job.input_folder;
  rememberOutputFolder(job.output_folder);
  refreshOutputFolderBox();
}

void dropFiles(const std::string& text) {
  // One worker at a time: a drop that arrives during a run is refused.
  if (progressWindow()) return;
  workerProgress().setResultCount(0);
  const size_t count_before = inputList().count();
  bool walked = false, stopped = false;
  for (const std::string& path : split(text, '\n')) {
    if (path.empty()) continue;
    if (isFolder(path)) {
      conversionJob().input_folder = withTrailingSlash(path);
      importFolderWithProgress();
      walked = true;
      stopped = stopped || lastProgressRecord().stop_asked;
    }
    addInputFile(path, conversionJob().input_folder);
    pumpWindowEvents();
  }
  // The walks' windows counted only their own files: the status bar counts
  // every file the drop added, dropped files included.
  if (walked && !stopped)
    setStatusText(formatMessage(getText("Msg", "Import complete"), std::to_string(inputList().count() - count_before)));
}

void addFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    addInputFile(path, conversionJob().input_folder);
    pumpWindowEvents();
  }
}

std::string selectionText() {
  MainWindow* window = mainWindow();
  if (!window) return {};
  std::string text;
  for (size_t index : window->fileList()->selectedRows()) text += window->fileList()->rows()[index] + "\r\n";
  while (!text.empty() && text.back() == '\n') text.pop_back();
  while (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

void copySelection() {
  const std::string text = selectionText();
  if (text.empty() || !wxTheClipboard->Open()) return;
  wxTheClipboard->Clear();
  wxTheClipboard->SetData(new wxTextDataObject(toWx(text)));
  wxTheClipboard->Close();
}

void deleteSelection() {
  MainWindow* window = mainWindow();
  if (!window || window->fileList()->rowCount() == 0) return;
  FileListView* list = window->fileList();
  std::vector<size_t> selected = list->selectedRows();
  if (selected.empty()) return;
  size_t last_removed = 0;
  // Always the first selected row, as the rows after it move up.
  while (!selected.empty()) {
    const size_t index = selected.front();
    inputList().remove(list->rows()[index]);
    list->removeRow(index);
    last_removed = index;
    selected = list->selectedRows();
  }
  list->clearSelection();
  size_t target = last_removed;
  if (target == list->rowCount() && target > 0) --target;
  list->setSelected(target, true);
}

void selectAllRows() {
  MainWindow* window = mainWindow();
  if (!window || window->fileList()->rowCount() == 0) return;
  FileListView* list = window->fileList();
  list->clearSelection();
  list->selectAll();
}

void newList() {
  MainWindow* window = mainWindow();
  refreshOutputFolderBox();
  resetRunState();
  {
    MutexLock hold(&queue_lock);
    queued_paths.clear();
  }
  if (!window) return;
  window->fileList()->removeAllRows();
  window->clearFolderBoxText();
  setStatusText(getText("General", "Ready"));
  window->fileList()->SetFocus();
}

}  // namespace pixolune
