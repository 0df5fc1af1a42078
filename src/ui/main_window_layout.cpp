// Laying the main window out for its size, finishing it at start-up, and
// refreshing it after the preferences changed the theme or the icon size.
#include <wx/app.h>
#include <wx/toolbar.h>

#include "run/conversion_job.h"
#include "image/format_table.h"
#include "inputs/input_extensions.h"
#include "run/worker.h"
#include "platform/text.h"
#include "resources/themes.h"
#include "settings/settings.h"
#include "ui/input_list_view.h"
#include "ui/main_window.h"
#include "ui/output_folders.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

/// Keeps every toolbar button in sight: the toolbar cannot wrap, and the
/// buttons past the window's right edge would go into an overflow menu, so
/// the window is never narrower than its toolbar (large icon sizes widen it).
void fitWindowToToolbar(MainWindow* window) {
  wxToolBar* bar = window->GetToolBar();
  if (!bar) return;
  bar->InvalidateBestSize();
  const int needed = bar->GetBestSize().x;
  const wxSize minimum = window->GetMinClientSize();
  if (minimum.x < needed) window->SetMinClientSize(wxSize(needed, minimum.y));
  const wxSize client = window->GetClientSize();
  if (client.x < needed && !window->IsMaximized()) window->SetClientSize(needed, client.y);
}

}  // namespace

void layoutMainWindow() {
  MainWindow* window = mainWindow();
  if (!window || !window->container()) return;
  fitWindowToToolbar(window);
  const wxSize client = window->GetClientSize();
  const int w = client.x;
  const int a = client.y;  // Inner height less menu bar, toolbar and status bar.
  // The container sits right below the toolbar, which is where the client
  // area begins.
  window->container()->SetSize(window->container()->GetPosition().x, 0, w, a - 10);
  FileListView* list = window->fileList();
  const wxPoint list_at = list->GetPosition();
  list->SetSize(list_at.x, list_at.y, w - 130, a - 109);
  list->fitColumns();
  window->folderLabel()->Move(window->folderLabel()->GetPosition().x, a - 94);
  window->folderBox()->SetSize(window->folderBox()->GetPosition().x, a - 79, w - 130,
                               window->folderBox()->GetSize().y);
  window->folderButtonBar()->SetSize(w - 114, a - 80, 24, 24);
  window->formatLabel()->Move(window->formatLabel()->GetPosition().x, a - 54);
  window->formatBox()->SetSize(window->formatBox()->GetPosition().x, a - 39, w - 130,
                               window->formatBox()->GetSize().y);
  window->formatButtonBar()->SetSize(w - 114, a - 40, 24, 24);
  window->convertButton()->Move(w - 110, window->convertButton()->GetPosition().y);
  window->Refresh();
}

void postLayout() {
  if (mainWindow()) mainWindow()->SendSizeEvent(wxSEND_EVENT_POST);
}

void fillOutputFormatBox(PictureComboBox* box, bool with_descriptions) {
  if (!box) return;
  box->Clear();
  const std::vector<std::string>& formats = outputFormatList();
  const wxBitmap picture = namedBitmap(menuIcons(), "New", 16);
  int remembered = -1;
  for (size_t i = 0; i < formats.size(); ++i) {
    if (formats[i].empty()) continue;
    std::string text = toUpper(formats[i]);
    if (with_descriptions) {
      auto row = formatTable().find(formats[i]);
      text += " (" + (row == formatTable().end() ? std::string() : row->second.description) + ")";
    }
    const int item = box->Append(toWx(text), picture);
    box->SetClientData(item, reinterpret_cast<void*>(static_cast<intptr_t>(i)));
    if (formats[i] == settings().output_format) remembered = item;
  }
  if (box->GetCount() > 0) box->SetSelection(remembered >= 0 ? remembered : 0);
}

void finishMainWindow() {
  MainWindow* window = mainWindow();
  if (!window) return;
  buildFormatTable();
  buildInputExtensionTable();
  if (settings().window_maximized) window->Maximize(true);
  if (settings().recent_out_folders.empty()) window->folderBox()->Append(wxString(), namedBitmap(menuIcons(), "FavFolder", 16));
  fillOutputFormatBox(window->formatBox(), true);
  newList();
  selectLastOutputFolder();  // New left the box empty; the last folder used is shown.
  window->Show(true);
  // The bars have their final heights only now; keep the stored inner size.
  if (!window->IsMaximized()) window->setInnerSize(settings().window_width, settings().window_height);
  layoutMainWindow();
  postLayout();
  if (run_tag != "T" && windowCommands().startup_update_check) windowCommands().startup_update_check();
}

void refreshControlImages() {
  MainWindow* window = mainWindow();
  if (!window) return;
  window->convertButton()->SetBitmap(namedBitmap(buttonImages(), "Convert"));
  const wxBitmap folder = namedBitmap(menuIcons(), "FavFolder", 16);
  for (unsigned i = 0; i < window->folderBox()->GetCount(); ++i) window->folderBox()->SetItemBitmap(i, folder);
  const wxBitmap format = namedBitmap(menuIcons(), "New", 16);
  for (unsigned i = 0; i < window->formatBox()->GetCount(); ++i) window->formatBox()->SetItemBitmap(i, format);
}

void applyPreferencesToWindow(int output_format_index) {
  MainWindow* window = mainWindow();
  if (!window) return;
  if (pending_window_refresh == 2) {
    applyTheme(false, false, true);
    buildToolbar();
    postLayout();
    pending_window_refresh = 0;
  }
  if (pending_window_refresh == 1) {
    applyTheme(true, true, true);
    buildMainMenu();
    buildToolbar();
    buildOptionButtons();
    refreshControlImages();
    postLayout();
    pending_window_refresh = 0;
  }
  if (output_format_index >= 0) {
    PictureComboBox* box = window->formatBox();
    for (unsigned i = 0; i < box->GetCount(); ++i) {
      if (reinterpret_cast<intptr_t>(box->GetClientData(i)) == output_format_index) box->SetSelection(static_cast<int>(i));
    }
  }
  if (window->folderBox()->GetCount() != settings().out_folders_number) refreshOutputFolderBox();
}

}  // namespace pixolune
