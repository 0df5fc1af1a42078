#include "ui/input_list_view.h"

#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/thread.h>

#include <mutex>

#include "engine/conversion_job.h"
#include "engine/input_list.h"
#include "engine/worker.h"
#include "platform/files.h"
#include "platform/text.h"
#include "resources/string_table.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

std::mutex queue_lock;
std::vector<std::string> queued_paths;

void queueAddedFile(const std::string& path) {
  {
    std::lock_guard<std::mutex> hold(queue_lock);
    queued_paths.push_back(path);
  }
  if (wxThread::IsMain()) drainAddedFiles();
}

}  // namespace

void installAddFileHook() { setAddFileHook(&queueAddedFile); }

void drainAddedFiles() {
  std::vector<std::string> paths;
  {
    std::lock_guard<std::mutex> hold(queue_lock);
    paths.swap(queued_paths);
  }
  for (const std::string& path : paths) onInputFileAdded(path);
}

void onInputFileAdded(const std::string& path) {
  MainWindow* window = mainWindow();
  if (!window) return;
  window->fileList()->appendRow(path);
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
  for (const std::string& path : split(text, '\n')) {
    if (path.empty()) continue;
    if (isFolder(path)) {
      conversionJob().input_folder = withTrailingSlash(path);
      importFolderWithProgress();
    }
    addInputFile(path);
    pumpWindowEvents();
  }
}

void addFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    addInputFile(path);
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
    std::lock_guard<std::mutex> hold(queue_lock);
    queued_paths.clear();
  }
  if (!window) return;
  window->fileList()->removeAllRows();
  window->clearFolderBoxText();
  setStatusText(getText("General", "Ready"));
  window->fileList()->SetFocus();
}

}  // namespace pixolune
