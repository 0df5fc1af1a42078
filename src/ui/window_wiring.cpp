#include "ui/window_wiring.h"

#include "resources/themes.h"
#include "ui/about_window.h"
#include "ui/converter_search.h"
#include "ui/file_list_view.h"
#include "ui/links.h"
#include "ui/main_window.h"
#include "ui/picture_controls.h"
#include "ui/preferences_dialog.h"
#include "ui/screenshot_mode.h"
#include "ui/start_conversion.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

// The main window with the screenshot scene's example rows and folder.
wxTopLevelWindow* buildScreenshotWindow(const ScreenshotScene& scene) {
  if (!buildMainWindow()) return nullptr;
  MainWindow* window = mainWindow();
  window->SetSize(scene.x, scene.y, scene.width, scene.height);
  window->Raise();
  finishMainWindow();
  for (const std::string& entry : scene.entries) window->fileList()->appendRow(entry);
  if (scene.visible_row >= 0 && static_cast<size_t>(scene.visible_row) < scene.entries.size())
    window->fileList()->EnsureVisible(scene.visible_row);
  PictureComboBox* folders = window->folderBox();
  int item = folders->Append(wxString::FromUTF8(scene.output_folder), namedBitmap(menuIcons(), "FavFolder"));
  folders->SetSelection(item);
  window->formatBox()->SetFocus();
  folders->SetFocus();
  window->convertButton()->SetFocus();
  return window;
}

}  // namespace

void installWindowCommands() {
  WindowCommands commands = windowCommands();
  commands.convert = [] { startConversion(); };
  commands.preferences = [] { openPreferencesDialog(mainWindow()); };
  commands.output_format_options = [] {
    preferences_start_page = kPreferencesOutputPage;
    openPreferencesDialog(mainWindow());
  };
  commands.about = [] { showAboutWindow(mainWindow()); };
  commands.custom_converter = [] { openConverterSearch(mainWindow()); };
  commands.manual = [] { openManual(); };
  commands.feedback = [] { sendFeedback(); };
  commands.homepage = [] { visitHomepage(); };
  commands.check_update = [] { manualUpdateCheck(); };
  commands.startup_update_check = [] { startupUpdateCheck(); };
  setWindowCommands(commands);
  setScreenshotWindowBuilder(&buildScreenshotWindow);
}

}  // namespace pixolune
