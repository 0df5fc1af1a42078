// The main window of the window mode: menu bar, toolbar, the file list, the
// output-folder and output-format boxes with their small option buttons, the
// large Convert button and a one-field status bar.
//
// Geometry follows the window's "inner" size: the whole area inside the
// frame, menu bar, toolbar and status bar included. The toolkit's client
// area is that inner area less the three bars, so the layout's A (inner
// height less the bars) is exactly the client height.
#ifndef PIXOLUNE_UI_MAIN_WINDOW_H_
#define PIXOLUNE_UI_MAIN_WINDOW_H_

#include <wx/bmpbuttn.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/stattext.h>
#include <wx/toolbar.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/file_list_view.h"
#include "ui/picture_controls.h"

namespace pixolune {

/// The operations of commands that live elsewhere (conversion, preferences,
/// About, links, update check). A command whose operation is empty is shown
/// disabled, never silently ignored.
struct WindowCommands {
  std::function<void()> convert;                // Command 14, F5, the Convert button.
  std::function<void()> preferences;            // Command 17.
  std::function<void()> output_format_options;  // Command 8: preferences on the output page.
  std::function<void()> about;                  // Command 24.
  std::function<void()> custom_converter;       // Command 16.
  std::function<void()> manual;                 // Command 18, F1.
  std::function<void()> feedback;               // Command 21.
  std::function<void()> homepage;               // Command 22.
  std::function<void()> check_update;           // Command 23.
  std::function<void()> startup_update_check;   // Run once by finishMainWindow (not a command).
};

/// The window-mode geometry the settings keep, read from the live window.
struct WindowGeometry {
  bool maximized = false;
  bool minimized = false;
  int x = 0;             // Outer window position on the screen.
  int y = 0;
  int inner_width = 0;   // Inner size, menu bar included.
  int inner_height = 0;
};

class MainWindow : public wxFrame {
 public:
  MainWindow();
  ~MainWindow() override;

  FileListView* fileList() const { return file_list_; }
  wxPanel* container() const { return container_; }
  wxStaticText* folderLabel() const { return folder_label_; }
  PictureComboBox* folderBox() const { return folder_box_; }
  wxStaticText* formatLabel() const { return format_label_; }
  PictureComboBox* formatBox() const { return format_box_; }
  FlatPictureButton* folderButtonBar() const { return folder_buttons_; }
  FlatPictureButton* formatButtonBar() const { return format_buttons_; }
  wxBitmapButton* convertButton() const { return convert_button_; }
  wxMenu* popupMenu() const { return popup_menu_.get(); }

  int menuHeight() const;
  /// Menu bar, toolbar and status bar together.
  int barsHeight() const;
  /// Heights of the bars as the toolkit has laid them out (0 when absent).
  int toolbarHeight() const;
  int statusbarHeight() const;
  /// Inner size: client size plus menu bar, toolbar and status bar.
  wxSize innerSize() const;
  /// Sets the inner size (and keeps it at least 510 x 330).
  void setInnerSize(int width, int height);
  /// Reapplies the minimum inner size after a bar changed height.
  void applyMinimumSize();
  WindowGeometry geometry() const;

  /// The text of the output-folder box: the history entry picked or what the
  /// user typed (empty when neither). Not checked here; Convert checks it.
  std::string folderBoxText() const;
  /// Puts `text` into the output-folder box as if typed.
  void setFolderBoxText(const std::string& text);
  /// Shows no text in the output-folder box.
  void clearFolderBoxText();
  /// Before New empties a list that holds rows: asks (Yes/No, through the
  /// message boxes) and returns true for Yes. True at once for an empty list.
  bool confirmNewList();
  /// Index into the output-format list of the selected format, or -1.
  int selectedOutputFormat() const;

  /// Runs a command by number, as its menu item, toolbar button or shortcut
  /// does. Commands that are disabled do nothing. Returns false then.
  bool runCommand(int command);
  /// True when the command can run now (its operation exists).
  bool commandAvailable(int command) const;
  /// Enables and disables menu items, buttons and shortcuts by the table.
  void updateCommandStates();
  /// True when the file list has the keyboard focus (the rule for copy,
  /// delete and select all).
  bool fileListHasFocus() const;

  // Called by the builders (main_window_bars.cpp).
  void rebuildMenus();
  void rebuildToolbar();
  void rebuildOptionButtons();

 private:
  void buildControls();
  void bindEvents();
  void onClose(wxCloseEvent& event);
  void onCommandEvent(wxCommandEvent& event);
  /// Keys the window takes before any control: Alt+X (Exit) and, while the
  /// list has the focus, Delete (remove the selected rows).
  void onCharHook(wxKeyEvent& event);
  void onListDoubleClick(wxMouseEvent& event);

  wxPanel* container_ = nullptr;
  FileListView* file_list_ = nullptr;
  wxStaticText* folder_label_ = nullptr;
  PictureComboBox* folder_box_ = nullptr;
  wxStaticText* format_label_ = nullptr;
  PictureComboBox* format_box_ = nullptr;
  FlatPictureButton* folder_buttons_ = nullptr;  // The one-button toolbars.
  FlatPictureButton* format_buttons_ = nullptr;
  wxBitmapButton* convert_button_ = nullptr;
  std::unique_ptr<wxMenu> popup_menu_;
};

/// The main window while it exists, else null. Main thread only, as is
/// everything in this header.
MainWindow* mainWindow();

/// The operations of the commands other parts of the program provide.
/// Replacing them updates which commands are enabled.
void setWindowCommands(WindowCommands commands);
const WindowCommands& windowCommands();

/// Set by the preferences dialog: 0 nothing, 1 the theme changed, 2 only the
/// icon size changed. Consumed by applyPreferencesToWindow.
extern int pending_window_refresh;

/// Creates the main window, hidden, at the stored position and inner size,
/// with everything in it. False when the window could not be created.
bool buildMainWindow();

/// The rest of start-up: format tables, maximised state, both boxes, a new
/// empty list, the window shown and laid out, the start-up update check
/// (not in the screenshot mode).
void finishMainWindow();

/// The menu-bar titles with a mnemonic each ("&File"): the first letter or
/// digit of a title that no earlier title has taken (letter case ignored); a
/// title without a free one gets none. A "&" in a title is doubled.
std::vector<std::string> withMnemonics(const std::vector<std::string>& titles);

/// (Re)creates the menu bar and the pop-up menu of the file list.
void buildMainMenu();
/// (Re)creates the toolbar at iconSize(ui_size).
void buildToolbar();
/// (Re)creates the one-button toolbars beside the two boxes.
void buildOptionButtons();

/// Fills an output-format box from the output-format list: upper-case keys,
/// with " (description)" when `with_descriptions`; each item stores its list
/// index. Selects settings().output_format, else the first item.
void fillOutputFormatBox(PictureComboBox* box, bool with_descriptions);

/// Moves and sizes every control for the window's current size.
void layoutMainWindow();
/// Lays the window out again from the event loop.
void postLayout();

/// Applies a theme or icon-size change of the preferences dialog
/// (pending_window_refresh), selects `output_format_index` in the output
/// format box (-1 leaves it) and refreshes the output-folder box when its
/// item count differs from out_folders_number.
void applyPreferencesToWindow(int output_format_index = -1);

/// Puts the current pictures on the Convert button and the box items.
void refreshControlImages();

/// The text of the status bar.
void setStatusText(const std::string& text);
std::string statusText();

/// Stores the geometry in the settings: maximised keeps the stored size and
/// position and sets window_maximized; minimised changes nothing; otherwise
/// the position and inner size are stored and window_maximized cleared.
void storeWindowGeometry(const WindowGeometry& geometry);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_MAIN_WINDOW_H_
