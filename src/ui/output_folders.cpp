#include "ui/output_folders.h"

#include <wx/dirdlg.h>

#include <filesystem>
#include <set>

#include "run/conversion_job.h"
#include "platform/files.h"
#include "platform/text.h"
#include "resources/string_table.h"
#include "resources/themes.h"
#include "settings/settings.h"
#include "ui/main_window.h"
#include "ui/wx_convert.h"

namespace pixolune {

std::string lexicalFolder(const std::string& folder) {
  if (folder.empty()) return folder;
  return std::filesystem::path(folder).lexically_normal().string();
}

std::string folderKey(const std::string& folder) {
  std::string key = toLower(lexicalFolder(folder));
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

std::string historyWithFolder(const std::string& recent, const std::string& folder, int number) {
  const std::string first = lexicalFolder(folder);
  std::string result = first;
  int count = 1;
  std::set<std::string> listed = {folderKey(first)};
  const std::vector<std::string> fields = split(recent, '\t');
  for (int i = 0; i < number && static_cast<size_t>(i) < fields.size(); ++i) {
    const std::string& field = fields[static_cast<size_t>(i)];
    if (field.empty() || count >= number || !listed.insert(folderKey(field)).second) continue;
    result += "\t" + field;
    ++count;
  }
  return result;
}

bool rememberOutputFolder(const std::string& folder) {
  if (folder.empty()) return false;
  Settings& s = settings();
  s.recent_out_folders = historyWithFolder(s.recent_out_folders, folder, s.out_folders_number);
  return true;
}

bool selectLastOutputFolder() {
  MainWindow* window = mainWindow();
  if (!window) return false;
  const std::vector<std::string> fields = split(settings().recent_out_folders, '\t');
  if (fields.empty() || fields[0].empty()) return false;
  refreshOutputFolderBox();
  window->folderBox()->SetSelection(0);
  conversionJob().output_folder = fields[0];
  return true;
}

void refreshOutputFolderBox() {
  MainWindow* window = mainWindow();
  const Settings& s = settings();
  if (!window || s.recent_out_folders.empty()) return;
  PictureComboBox* box = window->folderBox();
  const std::string shown = window->folderBoxText();
  // Typed: shown but not one of the entries the box held.
  const std::string typed = box->FindString(toWx(shown), true) == wxNOT_FOUND ? trim(shown) : std::string();
  box->Clear();
  const wxBitmap picture = namedBitmap(menuIcons(), "FavFolder", 16);
  const std::vector<std::string> fields = split(s.recent_out_folders, '\t');
  int selected = 0;
  int exact = -1;
  const std::string& current = conversionJob().output_folder;
  for (size_t i = 0; i < fields.size() && i < s.out_folders_number; ++i) {
    if (fields[i].empty()) continue;
    const int item = box->Append(toWx(fields[i]), picture);
    if (fields[i] == current) exact = item;
    if (exact < 0 && !current.empty() && folderKey(fields[i]) == folderKey(current)) selected = item;
  }
  if (exact >= 0) selected = exact;
  if (box->GetCount() > 0) box->SetSelection(selected);
  // A folder typed but not used yet stays in the box.
  if (!typed.empty() && folderKey(typed) != folderKey(window->folderBoxText())) {
    bool listed = false;
    for (const std::string& field : fields) listed = listed || (!field.empty() && folderKey(field) == folderKey(typed));
    if (!listed) window->setFolderBoxText(shown);
  }
}

bool chooseFolderAsOutput(const std::string& folder) {
  const bool chosen = !folder.empty() && isFolder(folder);
  if (chosen) {
    rememberOutputFolder(folder);
    conversionJob().output_folder = folder;
    if (MainWindow* window = mainWindow()) window->clearFolderBoxText();  // The choice replaces a typed folder.
    refreshOutputFolderBox();
  }
  postLayout();
  return chosen;
}

void chooseOutputFolder() {
  MainWindow* window = mainWindow();
  if (!window) return;
  std::string start = conversionJob().output_folder;
  const std::string shown = trim(window->folderBoxText());
  if (!shown.empty()) start = isFolder(shown) ? shown : folderOf(shown);
  // Without wxDD_DIR_MUST_EXIST the requester offers to create a folder.
  wxDirDialog dialog(window, toWx(getText("Dialog", "Select Output Folder")), toWx(start), wxDD_DEFAULT_STYLE);
  std::string folder;
  if (dialog.ShowModal() == wxID_OK) folder = fromWx(dialog.GetPath());
  chooseFolderAsOutput(folder);
}

}  // namespace pixolune
