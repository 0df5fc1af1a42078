// The menu bar, the pop-up menu of the file list, the toolbar and the two
// one-button toolbars beside the boxes.
#include <wx/menu.h>
#include <wx/toolbar.h>

#include <cctype>
#include <string>
#include <vector>

#include "resources/string_table.h"
#include "resources/themes.h"
#include "settings/settings.h"
#include "ui/main_window.h"
#include "ui/window_ids.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

constexpr int kSeparator = -1;

struct MenuRow {
  int command;           // kSeparator for a separator.
  const char* key;       // Caption key in group "Menu".
  const char* shortcut;  // Appended after a TAB, or "".
  const char* picture;   // Name in menuIcons().
};

const MenuRow kFileMenu[] = {
    {kCommandNew, "New", "Ctrl+N", "New"},
    {kSeparator, "", "", ""},
    {kCommandAddFiles, "Select Input Files", "", "Add"},
    {kCommandOutputFolder, "Select Output Folder", "", "OutFolder"},
    {kSeparator, "", "", ""},
    {kCommandImportList, "Import Input Files", "", "ImportFiles"},
    {kCommandExportList, "Export Input Files", "", "ExportFiles"},
    {kSeparator, "", "", ""},
    {kCommandExit, "Exit", "Alt+X", "Exit"},
};

const MenuRow kEditMenu[] = {
    {kCommandCopy, "Copy", "Ctrl+C", "Copy"},
    {kCommandDelete, "Delete", "Ctrl+Del", "Delete"},
    {kSeparator, "", "", ""},
    {kCommandSelectAll, "Select All", "Ctrl+A", "SelectAll"},
};

const MenuRow kConverterMenu[] = {
    {kCommandConvert, "Convert", "F5", "Convert"},
    {kCommandPreview, "Preview", "Ctrl+P", "OutFormat"},
    {kSeparator, "", "", ""},
    {kCommandCustomConverter, "Custom Converter", "", "CustomConverter"},
    {kSeparator, "", "", ""},
    {kCommandPreferences, "Preferences", "", "Preferences"},
};

const MenuRow kHelpMenu[] = {
    {kCommandManual, "Manual", "F1", "Help"},
    {kSeparator, "", "", ""},
    {kCommandFeedback, "Send Feedback", "", "Email"},
    {kCommandHomepage, "Visit Homepage", "", "Web"},
    {kCommandCheckUpdate, "Check For New Version", "", "Updates"},
    {kSeparator, "", "", ""},
    {kCommandAbout, "About", "", "About"},
};

struct ToolRow {
  int command;          // kSeparator for a separator.
  const char* picture;  // Name in toolbarIcons().
  const char* tooltip;  // Key in group "Menu".
};

const ToolRow kToolbar[] = {
    {kCommandNew, "New", "New"},
    {kCommandAddFiles, "Add", "Select Input Files"},
    {kCommandOutputFolder, "OutFolder", "Select Output Folder"},
    {kSeparator, "", ""},
    {kCommandPreferences, "Preferences", "Preferences"},
    {kSeparator, "", ""},
    {kCommandConvert, "Convert", "Convert"},
    {kSeparator, "", ""},
    {kCommandManual, "Help", "Manual"},
    {kCommandFeedback, "Email", "Send Feedback"},
    {kCommandHomepage, "Web", "Visit Homepage"},
    {kCommandCheckUpdate, "Updates", "Check For New Version"},
};

template <size_t N>
wxMenu* makeMenu(const MenuRow (&rows)[N]) {
  auto* menu = new wxMenu;
  for (const MenuRow& row : rows) {
    if (row.command == kSeparator) {
      menu->AppendSeparator();
      continue;
    }
    wxString caption = toWx(getText("Menu", row.key));
    if (*row.shortcut) caption += "\t" + wxString(row.shortcut);
    auto* item = new wxMenuItem(menu, commandId(row.command), caption);
    item->SetBitmap(namedBitmap(menuIcons(), row.picture, 16));
    menu->Append(item);
  }
  return menu;
}

}  // namespace

std::vector<std::string> withMnemonics(const std::vector<std::string>& titles) {
  std::vector<std::string> marked;
  std::string taken;  // Lower-case letters already used.
  for (const std::string& title : titles) {
    std::string escaped;
    bool found = false;
    for (char c : title) {
      const unsigned char u = static_cast<unsigned char>(c);
      const char lower = static_cast<char>(std::tolower(u));
      if (!found && u < 0x80 && std::isalnum(u) && taken.find(lower) == std::string::npos) {
        escaped += '&';
        taken += lower;
        found = true;
      }
      escaped += c;
      if (c == '&') escaped += '&';
    }
    marked.push_back(escaped);
  }
  return marked;
}

void MainWindow::rebuildMenus() {
  auto* bar = new wxMenuBar;
  const std::vector<std::string> titles = withMnemonics(
      {getText("Menu", "File"), getText("Menu", "Edit"), getText("Menu", "Converter"), getText("Menu", "Help")});
  bar->Append(makeMenu(kFileMenu), toWx(titles[0]));
  bar->Append(makeMenu(kEditMenu), toWx(titles[1]));
  bar->Append(makeMenu(kConverterMenu), toWx(titles[2]));
  bar->Append(makeMenu(kHelpMenu), toWx(titles[3]));
  wxMenuBar* old = GetMenuBar();
  SetMenuBar(bar);
  delete old;
  popup_menu_.reset(makeMenu(kEditMenu));
  updateCommandStates();
}

void MainWindow::rebuildToolbar() {
  if (wxToolBar* old = GetToolBar()) {
    SetToolBar(nullptr);
    old->Destroy();
  }
  wxToolBar* bar = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT | wxTB_NODIVIDER);
  if (!bar) return;
  const int size = iconSize(settings().ui_size);
  bar->SetToolBitmapSize(wxSize(size, size));
  for (const ToolRow& row : kToolbar) {
    if (row.command == kSeparator) {
      bar->AddSeparator();
      continue;
    }
    const wxString tip = toWx(getText("Menu", row.tooltip));
    bar->AddTool(commandId(row.command), tip, namedBitmap(toolbarIcons(), row.picture, size), tip);
  }
  bar->Realize();
  updateCommandStates();
}

void MainWindow::rebuildOptionButtons() {
  if (!container_) return;
  struct OptionButton {
    FlatPictureButton** bar;
    int command;
    const char* picture;
    const char* tooltip;
  };
  const OptionButton buttons[] = {
      {&folder_buttons_, kCommandOutputFolder, "OutFolder", "Select Output Folder"},
      {&format_buttons_, kCommandOutputFormatOptions, "OutFormat", "Output Format Options"},
  };
  for (const OptionButton& button : buttons) {
    // A rebuilt button keeps its place; the layout moves new ones.
    wxPoint position(396, 10);
    if (*button.bar) {
      position = (*button.bar)->GetPosition();
      (*button.bar)->Destroy();
    }
    *button.bar = new FlatPictureButton(container_, commandId(button.command),
                                        namedBitmap(menuIcons(), button.picture, 16),
                                        toWx(getText("Menu", button.tooltip)), position, wxSize(24, 24));
  }
  updateCommandStates();
}

void buildMainMenu() {
  if (mainWindow()) mainWindow()->rebuildMenus();
}

void buildToolbar() {
  if (!mainWindow()) return;
  mainWindow()->rebuildToolbar();
  mainWindow()->applyMinimumSize();
}

void buildOptionButtons() {
  if (mainWindow()) mainWindow()->rebuildOptionButtons();
}

}  // namespace pixolune
