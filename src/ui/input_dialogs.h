// The ways files enter and leave the input list in the window mode: the Add
// chooser, the file and folder requesters, list import and export. Each
// requester is split from what its answer does, so the second half can be
// driven without a modal dialog.
#ifndef PIXOLUNE_UI_INPUT_DIALOGS_H_
#define PIXOLUNE_UI_INPUT_DIALOGS_H_

#include <string>

namespace pixolune {

/// `pattern` with every ASCII letter as a bracket of both cases
/// ("*.psd" gives "*.[pP][sS][dD]"), for requesters that match by case.
std::string anyCasePattern(const std::string& pattern);

/// The file-type filter of the input requester: "All Supported Files" with
/// every pattern, one entry per description (newest extension first), then
/// "All Files (*.*)". The patterns of the extensions match any letter case
/// (anyCasePattern).
std::string inputFileFilter();

/// The small window with the two big buttons: add files, or add a folder.
/// Escape and the close box close it without a requester.
void showAddChooser();

/// The multi-selection file requester; the chosen files are added.
void addFilesDialog();

/// The folder requester; the chosen folder is collected (addFolder).
void addFolderDialog();
/// Collects an existing folder with the progress window. False (nothing
/// happens) when `folder` is not an existing folder.
bool addFolder(const std::string& folder);

/// Collects job input_folder with the import-folder progress window. The bar's
/// maximum is the number of entries directly in the folder.
void importFolderWithProgress();

/// The list-file requester; the chosen list is imported (importListFrom).
void importListDialog();
/// Imports a list file with the progress window. False when the file is
/// missing or empty (nothing happens).
bool importListFrom(const std::string& path);

/// Warns when the list is empty, else asks for a file name and exports.
void exportListDialog();
/// Exports the rows to `name` (".txt" added when it has no extension). An
/// existing non-empty file is replaced only after the overwrite question.
/// False when nothing was exported.
bool exportListTo(const std::string& name);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_INPUT_DIALOGS_H_
