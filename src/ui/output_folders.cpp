#include "ui/output_folders.h"

#include <wx/dirdlg.h>

#include "engine/conversion_job.h"
#include "platform/files.h"
#include "platform/text.h"
#include "resources/string_table.h"
#include "resources/themes.h"
#include "settings/settings.h"
#include "ui/main_window.h"
#include "ui/wx_convert.h"

namespace pixolune {

std::string historyWithFolder(const std::string& recent, const std::string& folder, int number) {
  std::string result = folder;
  int count = 1;
  const std::string lowered = toLower(folder);
  const std::vector<std::string> fields = split(recent, '\t');
  for (int i = 0; i < number && static_cast<size_t>(i) < fields.size(); ++i) {
    const std::string& field = fields[static_cast<size_t>(i)];
    if (field.empty() || count >= number || toLower(field) == lowered) continue;
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

void refreshOutputFolderBox() {
  MainWindow* window = mainWindow();
  const Settings& s = settings();
  if (!window || s.recent_out_folders.empty()) return;
  PictureComboBox* box = window->folderBox();
  box->Clear();
  const wxBitmap picture = namedBitmap(menuIcons(), "FavFolder", 16);
  const std::vector<std::string> fields = split(s.recent_out_folders, '\t');
  int selected = 0;
  for (size_t i = 0; i < fields.size() && i < s.out_folders_number; ++i) {
    if (fields[i].empty()) continue;
    const int item = box->Append(toWx(fields[i]), picture);
    if (fields[i] == conversionJob().output_folder) selected = item;
  }
  if (box->GetCount() > 0) box->SetSelection(selected);
}

bool chooseFolderAsOutput(const std::string& folder) {
  const bool chosen = !folder.empty() && isFolder(folder);
  if (chosen) {
    rememberOutputFolder(folder);
    conversionJob().output_folder = folder;
    refreshOutputFolderBox();
  }
  postLayout();
  return chosen;
}

void chooseOutputFolder() {
  MainWindow* window = mainWindow();
  if (!window) return;
  std::string start = conversionJob().output_folder;
  const std::string shown = window->folderBoxText();
  if (!shown.empty()) start = folderOf(shown);
  wxDirDialog dialog(window, toWx(getText("Dialog", "Select Output Folder")), toWx(start),
                     wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
  std::string folder;
  if (dialog.ShowModal() == wxID_OK) folder = fromWx(dialog.GetPath());
  chooseFolderAsOutput(folder);
}

}  // namespace pixolune
