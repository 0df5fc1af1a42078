#include "ui/window_session.h"

#include <wx/display.h>
#include <wx/gdicmn.h>

#include "resources/message_box.h"
#include "resources/string_table.h"
#include "resources/themes.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "settings/settings_location.h"
#include "ui/input_list_view.h"
#include "ui/message_dialogs.h"

namespace pixolune {

namespace {

DialogMessageBoxes dialog_boxes;

DesktopSize firstDesktopSize() {
  wxRect area = wxDisplay(0u).GetGeometry();
  return DesktopSize{area.width, area.height};
}

}  // namespace

void startWindowSession() {
  setDesktopQuery(&firstDesktopSize);
  Settings& s = settings();
  s.settings_file_path = settingsFileLocation();
  loadSettings();
  loadStringTable();
  loadBuiltinImages();
  scanThemes();
  applyTheme(true, true, true);
  setMessageBoxes(&dialog_boxes);
  installAddFileHook();
}

bool endWindowSession() {
  Settings& s = settings();
  if (!s.out_folders_history) s.recent_out_folders.clear();
  return saveSettings();
}

}  // namespace pixolune
