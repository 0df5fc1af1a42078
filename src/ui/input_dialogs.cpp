#include "ui/input_dialogs.h"

#include <wx/bmpbuttn.h>
#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/stattext.h>

#include <cctype>
#include <map>
#include <mutex>

#include "run/conversion_job.h"
#include "image/format_table.h"
#include "inputs/input_list.h"
#include "inputs/input_extensions.h"
#include "inputs/list_file.h"
#include "run/worker.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "resources/message_box.h"
#include "resources/string_table.h"
#include "resources/themes.h"
#include "ui/input_list_view.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"
#include "ui/window_ids.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

constexpr int kChooserFilesButton = 359;
constexpr int kChooserFolderButton = 361;

void resetResultCount() { workerProgress().setResultCount(0); }

int entriesDirectlyIn(const std::string& folder) {
  std::vector<FolderEntry> entries;
  listFolder(folder, &entries);
  return static_cast<int>(entries.size());
}

std::string listFileFilter() {
  return getText("Dialog", "Text Files") + "|*.txt;*.lst|" + getText("Dialog", "All Files") + " (*.*)|*.*";
}

// The input extension table carries the requester descriptions; the format
// table only knows output formats.
std::string descriptionOf(const std::string& extension) {
  if (const InputExtensionRow* known = findInputExtension(extension)) return known->description;
  auto row = formatTable().find(extension);
  return row != formatTable().end() ? row->second.description : extension;
}

// The lines of the list file at `path` that added nothing to the list: a
// path that does not exist, or a file that is not listed after the import
// (another kind of file, or an empty one). A folder line counts as taken.
int skippedListLines(const std::string& path) {
  std::vector<std::string> lines;
  if (!readListFile(path, &lines)) return 0;
  int skipped = 0;
  for (const std::string& line : lines) {
    const std::string full = absolutePath(line);
    if (!pathExists(full) || (!isFolder(full) && !inputList().isListed(full))) ++skipped;
  }
  return skipped;
}

bool hasExtension(const std::string& path) {
  const std::string name = fileNameOf(path);
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && dot > 0 && dot + 1 < name.size();
}

/// The Add chooser: two large picture buttons with captions below them.
class InputChooser : public wxDialog {
 public:
  explicit InputChooser(wxWindow* parent)
      : wxDialog(parent, windowId(kWindowInputChooser), toWx(getText("Menu", "Select Input Files")),
                 wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetClientSize(270, 160);
    auto* files = new wxBitmapButton(this, controlId(kChooserFilesButton), namedBitmap(buttonImages(), "InFiles"),
                                     wxPoint(30, 30), wxSize(80, 80));
    new wxBitmapButton(this, controlId(kChooserFolderButton), namedBitmap(buttonImages(), "InFolder"),
                       wxPoint(160, 30), wxSize(80, 80));
    new wxStaticText(this, controlId(360), toWx(getText("Menu", "Select Input File")), wxPoint(10, 120),
                     wxSize(120, 30), wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
    new wxStaticText(this, controlId(362), toWx(getText("Menu", "Select Input Folder")), wxPoint(140, 120),
                     wxSize(120, 30), wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) { EndModal(event.GetId()); }, controlId(kChooserFilesButton));
    Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) { EndModal(event.GetId()); }, controlId(kChooserFolderButton));
    // Without a Cancel button the dialog itself ignores Escape.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
      if (event.GetKeyCode() == WXK_ESCAPE && event.GetModifiers() == wxMOD_NONE) {
        EndModal(wxID_CANCEL);
      } else {
        event.Skip();
      }
    });
    CentreOnParent();
    files->SetFocus();
  }
};

}  // namespace

std::string anyCasePattern(const std::string& pattern) {
  std::string result;
  for (char c : pattern) {
    const unsigned char u = static_cast<unsigned char>(c);
    const char lower = static_cast<char>(std::tolower(u));
    const char upper = static_cast<char>(std::toupper(u));
    if (u < 0x80 && lower != upper) {
      result += std::string("[") + lower + upper + "]";
    } else {
      result += c;
    }
  }
  return result;
}

std::string inputFileFilter() {
  std::string all;
  std::map<std::string, std::string> by_description;
  for (const std::string& extension : input_extensions) {
    // The desktop's file requester matches patterns by letter case.
    const std::string pattern = anyCasePattern("*." + extension);
    all += pattern + ";";
    std::string& patterns = by_description[descriptionOf(extension)];
    patterns = patterns.empty() ? pattern : pattern + ";" + patterns;
  }
  if (!all.empty() && all.back() == ';') all.pop_back();
  std::string filter = getText("Dialog", "All Supported Files") + "|" + all + "|";
  for (const auto& [description, patterns] : by_description) filter += description + "|" + patterns + "|";
  return filter + getText("Dialog", "All Files") + " (*.*)|*.*";
}

void showAddChooser() {
  MainWindow* window = mainWindow();
  if (!window) return;
  int choice = wxID_CANCEL;
  {
    InputChooser chooser(window);
    choice = chooser.ShowModal();
  }
  if (choice == controlId(kChooserFilesButton)) addFilesDialog();
  if (choice == controlId(kChooserFolderButton)) addFolderDialog();
  window->SetFocus();
}

void addFilesDialog() {
  ConversionJob& job = conversionJob();
  wxFileDialog dialog(mainWindow(), toWx(getText("Dialog", "Select Input Files")), toWx(folderOf(job.input_path)),
                      toWx(fileNameOf(job.input_path)), toWx(inputFileFilter()),
                      wxFD_OPEN | wxFD_MULTIPLE | wxFD_FILE_MUST_EXIST);
  if (dialog.ShowModal() == wxID_OK) {
    wxArrayString chosen;
    dialog.GetPaths(chosen);
    std::vector<std::string> paths;
    for (const wxString& path : chosen) paths.push_back(fromWx(path));
    addFiles(paths);
  }
  job.input_path.clear();
  postLayout();
}

void addFolderDialog() {
  const ConversionJob& job = conversionJob();
  const std::string start = job.input_folder.empty() ? folderOf(job.input_path) : job.input_folder;
  wxDirDialog dialog(mainWindow(), toWx(getText("Dialog", "Select Input Folder")), toWx(start),
                     wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
  if (dialog.ShowModal() == wxID_OK) addFolder(fromWx(dialog.GetPath()));
}

bool addFolder(const std::string& folder) {
  if (folder.empty() || !isFolder(folder)) return false;
  resetResultCount();
  conversionJob().input_folder = withTrailingSlash(folder);
  importFolderWithProgress();
  return true;
}

void importFolderWithProgress() {
  ProgressOperation op;
  op.window_number = kWindowImportFolderProgress;
  op.bar_number = 342;
  op.title_key = "Import Progress";
  op.maximum = entriesDirectlyIn(conversionJob().input_folder);
  op.worker = &importFolderWorker;
  op.ask = &askBreakImport;
  op.complete_key = "Import complete";
  op.stopped_key = "Import is not complete";
  runWithProgress(op);
}

void importListDialog() {
  const std::string start = folderOf(conversionJob().input_path);
  wxFileDialog dialog(mainWindow(), toWx(getText("Dialog", "Import Input Files")), toWx(start), "list.txt",
                      toWx(listFileFilter()), wxFD_OPEN);
  if (dialog.ShowModal() == wxID_OK) importListFrom(fromWx(dialog.GetPath()));
}

bool importListFrom(const std::string& path) {
  if (path.empty() || fileSize(path) <= 0) return false;
  resetResultCount();
  conversionJob().input_path = path;
  ProgressOperation op;
  op.window_number = kWindowImportListProgress;
  op.bar_number = 348;
  op.title_key = "Import Progress";
  op.maximum = countLineFeeds(path) + 1;
  op.worker = &importListWorker;
  op.ask = &askBreakImport;
  op.complete_key = "Import complete";
  op.stopped_key = "Import is not complete";
  const ProgressRecord record = runWithProgress(op);
  if (!record.stop_asked) {
    const int skipped = skippedListLines(path);
    if (skipped > 0)
      setStatusText(formatMessage(getText("Msg", "Import complete"), std::to_string(record.result_count)) + "; " +
                    formatMessage(getText("Msg", skipped == 1 ? "Line skipped" : "Lines skipped"),
                                  std::to_string(skipped)));
  }
  return true;
}

void exportListDialog() {
  MainWindow* window = mainWindow();
  if (!window) return;
  if (window->fileList()->rowCount() == 0) {
    showWarning(getText("Msg", "Empty input files"));
    return;
  }
  const std::string start = folderOf(conversionJob().input_path);
  wxFileDialog dialog(window, toWx(getText("Dialog", "Export Input Files")), toWx(start), "list.txt",
                      toWx(listFileFilter()), wxFD_SAVE);
  if (dialog.ShowModal() == wxID_OK) exportListTo(fromWx(dialog.GetPath()));
}

bool exportListTo(const std::string& chosen) {
  MainWindow* window = mainWindow();
  if (!window || chosen.empty()) return false;
  const std::string name = hasExtension(chosen) ? chosen : chosen + ".txt";
  if (fileSize(name) > 0 && !askOverwriteFile()) return false;
  resetResultCount();
  conversionJob().input_path = name;
  const std::vector<std::string> rows = window->fileList()->allRows();  // Also those a filter hides.
  ProgressOperation op;
  op.window_number = kWindowExportProgress;
  op.bar_number = 351;
  op.title_key = "Export Progress";
  op.maximum = static_cast<int>(rows.size());
  op.worker = [rows] { exportListWorker(rows); };
  op.ask = &askBreakExport;
  op.complete_key = "Export complete";
  op.stopped_key = "Export is not complete";
  runWithProgress(op);
  return true;
}

}  // namespace pixolune
