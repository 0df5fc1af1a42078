// The fixed numbers of the window mode: commands (shared by a menu item, its
// toolbar button and its shortcut), controls of the main window, and the
// windows other parts of the program open. wxWidgets reserves some small
// ids, so every number reaches the toolkit offset by a base.
#ifndef PIXOLUNE_UI_WINDOW_IDS_H_
#define PIXOLUNE_UI_WINDOW_IDS_H_

#include <wx/defs.h>

namespace pixolune {

enum Command : int {
  kCommandNew = 0,
  kCommandExit = 3,
  kCommandAddFiles = 4,
  kCommandOutputFolder = 7,
  kCommandOutputFormatOptions = 8,
  kCommandImportList = 9,
  kCommandExportList = 10,
  kCommandCopy = 11,
  kCommandDelete = 12,
  kCommandSelectAll = 13,
  kCommandConvert = 14,
  kCommandPreview = 15,
  kCommandCustomConverter = 16,
  kCommandPreferences = 17,
  kCommandManual = 18,
  kCommandFeedback = 21,
  kCommandHomepage = 22,
  kCommandCheckUpdate = 23,
  kCommandAbout = 24,
};

/// Highest command number, for binding the whole range at once.
constexpr int kLastCommand = 24;

enum Control : int {
  kControlContainer = 0,
  kControlFileList = 3,
  kControlFolderLabel = 4,
  kControlFolderBox = 5,
  kControlFormatLabel = 6,
  kControlFormatBox = 7,
  kControlConvertButton = 8,
};

/// Windows by number (the progress windows carry their number as their id).
enum WindowNumber : int {
  kWindowMain = 0,
  kWindowPreferences = 1,
  kWindowImportFolderProgress = 2,
  kWindowConvertProgress = 3,
  kWindowImportListProgress = 4,
  kWindowExportProgress = 5,
  kWindowConverterSearch = 6,
  kWindowInputChooser = 7,
  kWindowAbout = 8,
};

constexpr int kCommandIdBase = wxID_HIGHEST + 1000;
constexpr int kControlIdBase = wxID_HIGHEST + 2000;
constexpr int kWindowIdBase = wxID_HIGHEST + 3000;

/// The toolkit id of a command, a control (or gadget number) and a window.
constexpr int commandId(int command) { return kCommandIdBase + command; }
constexpr int controlId(int control) { return kControlIdBase + control; }
constexpr int windowId(int window) { return kWindowIdBase + window; }

/// The command number of a toolkit id, or -1 outside the command range.
constexpr int commandOfId(int id) {
  return id >= kCommandIdBase && id <= kCommandIdBase + kLastCommand ? id - kCommandIdBase : -1;
}

}  // namespace pixolune

#endif  // PIXOLUNE_UI_WINDOW_IDS_H_
