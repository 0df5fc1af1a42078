// The output-folder history of the main window's output-folder box.
#ifndef PIXOLUNE_UI_OUTPUT_FOLDERS_H_
#define PIXOLUNE_UI_OUTPUT_FOLDERS_H_

#include <string>

namespace pixolune {

/// The history `recent` (TAB-separated, newest first) with `folder` put
/// first: later entries are kept while they are not empty, differ from
/// `folder` without regard to letter case, and the list holds fewer than
/// `number` entries.
std::string historyWithFolder(const std::string& recent, const std::string& folder, int number);

/// Puts `folder` first in settings().recent_out_folders. False (and nothing
/// changes) when `folder` is empty.
bool rememberOutputFolder(const std::string& folder);

/// Refills the output-folder box from the history and selects the entry equal
/// to the job's output_folder, else the first. An empty history leaves the
/// box as it is.
void refreshOutputFolderBox();

/// Asks for a folder and makes it the output folder (chooseFolderAsOutput).
void chooseOutputFolder();

/// What choosing `folder` in the folder requester does: an existing folder
/// is remembered, becomes the output folder and the box is refreshed; then
/// the window is laid out again. False when it is not an existing folder.
bool chooseFolderAsOutput(const std::string& folder);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_OUTPUT_FOLDERS_H_
