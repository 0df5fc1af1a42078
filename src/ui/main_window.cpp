#include "ui/main_window.h"

#include <wx/dnd.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>

#include <algorithm>

#include "run/conversion_job.h"
#include "resources/message_box.h"
#include "resources/product.h"
#include "resources/string_table.h"
#include "resources/themes.h"
#include "settings/format_lists.h"
#include "settings/settings.h"
#include "ui/input_list_view.h"
#include "ui/preview_dialog.h"
#include "ui/window_ids.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

constexpr int kMinimumInnerWidth = 510;
constexpr int kMinimumInnerHeight = 330;
constexpr int kListHeight = 100;  // The file list's height at creation.
constexpr int kBoxHeight = 21;

MainWindow* the_main_window = nullptr;

WindowCommands& commandTable() {
  static WindowCommands commands;
  return commands;
}

/// Files or folders dropped on the window reach dropFiles from the event
/// loop, once the drag itself has finished.
class FileDrop : public wxFileDropTarget {
 public:
  bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override {
    std::string text;
    for (const wxString& name : names) text += fromWx(name) + "\n";
    // While a run has the window disabled, drops are refused.
    if (text.empty() || !mainWindow() || !mainWindow()->IsEnabled()) return false;
    mainWindow()->CallAfter([text] { dropFiles(text); });
    return true;
  }
};

/// Pushed onto the two boxes: a character typed with Alt is left unhandled,
/// so that it reaches the menu bar's mnemonics instead of the read-only
/// box's type-to-select, which would swallow it.
class MenuKeyPassThrough : public wxEvtHandler {
 public:
  bool ProcessEvent(wxEvent& event) override {
    if (event.GetEventType() == wxEVT_CHAR) {
      const auto& key = static_cast<const wxKeyEvent&>(event);
      if (key.AltDown() && !key.ControlDown()) return false;
    }
    return wxEvtHandler::ProcessEvent(event);
  }
};

/// The hook of a command, or null for commands this window runs itself.
const std::function<void()>* hookOf(int command) {
  const WindowCommands& c = commandTable();
  switch (command) {
    case kCommandOutputFormatOptions: return &c.output_format_options;
    case kCommandConvert: return &c.convert;
    case kCommandCustomConverter: return &c.custom_converter;
    case kCommandPreferences: return &c.preferences;
    case kCommandManual: return &c.manual;
    case kCommandFeedback: return &c.feedback;
    case kCommandHomepage: return &c.homepage;
    case kCommandCheckUpdate: return &c.check_update;
    case kCommandAbout: return &c.about;
    default: return nullptr;
  }
}

}  // namespace

int pending_window_refresh = 0;

MainWindow* mainWindow() { return the_main_window; }

const WindowCommands& windowCommands() { return commandTable(); }

void setWindowCommands(WindowCommands commands) {
  commandTable() = std::move(commands);
  if (the_main_window) the_main_window->updateCommandStates();
}

MainWindow::MainWindow()
    : wxFrame(nullptr, windowId(kWindowMain), toWx(productTitle()),
              wxPoint(settings().window_x, settings().window_y), wxDefaultSize, wxDEFAULT_FRAME_STYLE) {
  the_main_window = this;
  SetDropTarget(new FileDrop);
  rebuildMenus();
  rebuildToolbar();
  wxStatusBar* status = CreateStatusBar(1);
  if (status) {
    const int widths[] = {-1};
    status->SetStatusWidths(1, widths);
  }
  buildControls();
  bindEvents();
  updateCommandStates();
  setInnerSize(settings().window_width, settings().window_height);
}

MainWindow::~MainWindow() {
  if (folder_box_) folder_box_->PopEventHandler(true);
  if (format_box_) format_box_->PopEventHandler(true);
  if (the_main_window == this) the_main_window = nullptr;
}

void MainWindow::buildControls() {
  const Settings& s = settings();
  container_ = new wxPanel(this, controlId(kControlContainer), wxPoint(0, 0),
                           wxSize(s.window_width, std::max(1, s.window_height - 130)), wxBORDER_NONE);
  file_list_ = new FileListView(container_, controlId(kControlFileList), wxPoint(10, 10), wxSize(380, kListHeight),
                                toWx(getText("General", "Filename")), 290);
  file_list_->SetDropTarget(new FileDrop);
  folder_label_ = new wxStaticText(container_, controlId(kControlFolderLabel), toWx(getText("General", "Output Folder")),
                                   wxPoint(10, kListHeight + 15), wxSize(380, 20));
  // Editable: a folder can be typed as well as picked from the history.
  folder_box_ = new PictureComboBox(container_, controlId(kControlFolderBox), wxPoint(10, kListHeight + 30),
                                    wxSize(380, kBoxHeight), ComboTyping::kEditable);
  format_label_ = new wxStaticText(container_, controlId(kControlFormatLabel), toWx(getText("General", "Output Format")),
                                   wxPoint(10, kListHeight + 55), wxSize(380, 20));
  format_box_ = new PictureComboBox(container_, controlId(kControlFormatBox), wxPoint(10, kListHeight + 70),
                                    wxSize(380, kBoxHeight));
  folder_box_->PushEventHandler(new MenuKeyPassThrough);
  format_box_->PushEventHandler(new MenuKeyPassThrough);
  rebuildOptionButtons();
  folder_buttons_->SetSize(396, kListHeight + 29, 24, 24);
  format_buttons_->SetSize(396, kListHeight + 69, 24, 24);
  convert_button_ = new wxBitmapButton(container_, controlId(kControlConvertButton),
                                       namedBitmap(buttonImages(), "Convert"), wxPoint(400, 10), wxSize(100, 100));
  convert_button_->SetToolTip(toWx(getText("Menu", "Convert")));
}

void MainWindow::bindEvents() {
  Bind(wxEVT_CLOSE_WINDOW, &MainWindow::onClose, this);
  Bind(wxEVT_MENU, &MainWindow::onCommandEvent, this, commandId(0), commandId(kLastCommand));
  Bind(wxEVT_SIZE, [](wxSizeEvent&) { layoutMainWindow(); });
  Bind(wxEVT_CHAR_HOOK, &MainWindow::onCharHook, this);
  folder_box_->Bind(wxEVT_COMBOBOX, [this](wxCommandEvent&) { conversionJob().output_folder = folderBoxText(); });
  format_box_->Bind(wxEVT_COMBOBOX, [this](wxCommandEvent&) {
    const int index = selectedOutputFormat();
    if (index >= 0 && static_cast<size_t>(index) < outputFormatList().size()) {
      settings().output_format = outputFormatList()[static_cast<size_t>(index)];
    }
  });
  convert_button_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { runCommand(kCommandConvert); });
  file_list_->Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent&) {
    if (!file_list_->selectedRows().empty() && popup_menu_) PopupMenu(popup_menu_.get());
  });
  // The rows area of the list is a child window; a double click anywhere in
  // it (on a row or below the rows) opens the Add chooser.
  for (wxWindow* child : file_list_->GetChildren()) {
    child->Bind(wxEVT_LEFT_DCLICK, &MainWindow::onListDoubleClick, this);
  }
}

void MainWindow::onCharHook(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  const int modifiers = event.GetModifiers();
  // Alt+X is a menu shortcut, but a box with the focus would take it first.
  if (modifiers == wxMOD_ALT && (key == 'X' || key == 'x')) {
    runCommand(kCommandExit);
    return;
  }
  if (modifiers == wxMOD_NONE && (key == WXK_DELETE || key == WXK_NUMPAD_DELETE) && fileListHasFocus()) {
    runCommand(kCommandDelete);
    return;
  }
  event.Skip();
}

void MainWindow::onListDoubleClick(wxMouseEvent& event) {
  event.Skip();
  CallAfter([this] { runCommand(kCommandAddFiles); });
}

void MainWindow::onClose(wxCloseEvent&) {
  storeWindowGeometry(geometry());
  Destroy();
}

void MainWindow::onCommandEvent(wxCommandEvent& event) { runCommand(commandOfId(event.GetId())); }

int MainWindow::menuHeight() const { return GetMenuBar() ? GetMenuBar()->GetSize().y : 0; }

int MainWindow::toolbarHeight() const { return GetToolBar() ? GetToolBar()->GetSize().y : 0; }

int MainWindow::statusbarHeight() const { return GetStatusBar() ? GetStatusBar()->GetSize().y : 0; }

int MainWindow::barsHeight() const { return menuHeight() + toolbarHeight() + statusbarHeight(); }

wxSize MainWindow::innerSize() const { return GetClientSize() + wxSize(0, barsHeight()); }

void MainWindow::setInnerSize(int width, int height) {
  applyMinimumSize();
  SetClientSize(std::max(width, kMinimumInnerWidth), std::max(height, kMinimumInnerHeight) - barsHeight());
}

void MainWindow::applyMinimumSize() {
  SetMinClientSize(wxSize(kMinimumInnerWidth, kMinimumInnerHeight - barsHeight()));
}

WindowGeometry MainWindow::geometry() const {
  WindowGeometry g;
  g.maximized = IsMaximized();
  g.minimized = IsIconized();
  wxPoint position = GetPosition();
  g.x = position.x;
  g.y = position.y;
  wxSize inner = innerSize();
  g.inner_width = inner.x;
  g.inner_height = inner.y;
  return g;
}

std::string MainWindow::folderBoxText() const { return fromWx(folder_box_->GetValue()); }

void MainWindow::setFolderBoxText(const std::string& text) { folder_box_->SetValue(toWx(text)); }

void MainWindow::clearFolderBoxText() {
  folder_box_->SetSelection(wxNOT_FOUND);
  folder_box_->SetValue(wxString());
}

bool MainWindow::confirmNewList() {
  const size_t rows = file_list_->rowCount();
  if (rows == 0) return true;
  const std::string text =
      formatMessage(getText("Msg", rows == 1 ? "Ask remove file" : "Ask remove files"), std::to_string(rows));
  return showMessage(getText("Menu", "New"), text, MessageButtons::kYesNo, MessageIcon::kQuestion) ==
         MessageAnswer::kYes;
}

int MainWindow::selectedOutputFormat() const {
  int selection = format_box_->GetSelection();
  if (selection == wxNOT_FOUND) return -1;
  return static_cast<int>(reinterpret_cast<intptr_t>(format_box_->GetClientData(selection)));
}

bool MainWindow::fileListHasFocus() const { return wxWindow::FindFocus() == file_list_; }

bool MainWindow::commandAvailable(int command) const {
  if (command < 0 || command > kLastCommand) return false;
  const std::function<void()>* hook = hookOf(command);
  return !hook || static_cast<bool>(*hook);
}

void MainWindow::updateCommandStates() {
  for (int command = 0; command <= kLastCommand; ++command) {
    if (!hookOf(command)) continue;
    const bool on = commandAvailable(command);
    if (GetMenuBar() && GetMenuBar()->FindItem(commandId(command))) GetMenuBar()->Enable(commandId(command), on);
    if (GetToolBar() && GetToolBar()->FindById(commandId(command))) GetToolBar()->EnableTool(commandId(command), on);
  }
  if (format_buttons_) format_buttons_->Enable(commandAvailable(kCommandOutputFormatOptions));
  if (convert_button_) convert_button_->Enable(commandAvailable(kCommandConvert));
}

bool MainWindow::runCommand(int command) {
  if (!commandAvailable(command)) return false;
  if (const std::function<void()>* hook = hookOf(command)) {
    (*hook)();
    return true;
  }
  switch (command) {
    case kCommandNew:
      if (confirmNewList()) newList();
      return true;
    case kCommandExit: Close(); return true;
    case kCommandAddFiles: showAddChooser(); return true;
    case kCommandOutputFolder: chooseOutputFolder(); return true;
    case kCommandImportList: importListDialog(); return true;
    case kCommandExportList: exportListDialog(); return true;
    case kCommandPreview: openPreviewDialog(); return true;
    default: break;
  }
  // Copy, Delete and Select All act on the list only while it has the focus.
  if (command < kCommandCopy || command > kCommandSelectAll || !fileListHasFocus()) return false;
  if (command == kCommandCopy) copySelection();
  if (command == kCommandDelete) deleteSelection();
  if (command == kCommandSelectAll) selectAllRows();
  return true;
}

void storeWindowGeometry(const WindowGeometry& geometry) {
  Settings& s = settings();
  if (geometry.maximized) {
    s.window_maximized = true;
    return;
  }
  if (geometry.minimized) return;
  s.window_maximized = false;
  s.window_width = geometry.inner_width;
  s.window_height = geometry.inner_height;
  s.window_x = geometry.x;
  s.window_y = geometry.y;
}

bool buildMainWindow() {
  if (the_main_window) return true;
  new MainWindow;
  return the_main_window != nullptr;
}

void setStatusText(const std::string& text) {
  if (the_main_window && the_main_window->GetStatusBar()) the_main_window->SetStatusText(toWx(text), 0);
}

std::string statusText() {
  if (!the_main_window || !the_main_window->GetStatusBar()) return {};
  return fromWx(the_main_window->GetStatusBar()->GetStatusText(0));
}

}  // namespace pixolune
