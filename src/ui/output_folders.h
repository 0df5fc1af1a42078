// The output-folder history of the main window's output-folder box.
#ifndef PIXOLUNE_UI_OUTPUT_FOLDERS_H_
#define PIXOLUNE_UI_OUTPUT_FOLDERS_H_

#include <string>

namespace pixolune {

/// `folder` with "." and ".." resolved and doubled "/" merged, by its text
/// alone (links are not followed, nothing is read); a trailing "/" stays.
std::string lexicalFolder(const std::string& folder);

/// What two history entries are compared by: lexicalFolder, lower-cased,
/// without trailing "/" (the root stays "/").
std::string folderKey(const std::string& folder);

/// The history `recent` (TAB-separated, newest first) with lexicalFolder
/// (`folder`) put first: later entries are kept while they are not empty,
/// name a folder not listed before them (folderKey: letter case, a trailing
/// "/", "." and ".." do not count) and the list holds fewer than `number`
/// entries.
std::string historyWithFolder(const std::string& recent, const std::string& folder, int number);

/// Puts `folder` first in settings().recent_out_folders. False (and nothing
/// changes) when `folder` is empty.
bool rememberOutputFolder(const std::string& folder);

/// Refills the output-folder box from the history and selects the entry equal
/// to the job's output_folder (else one naming the same folder, by
/// folderKey), else the first. A folder typed into the box that the history
/// does not hold stays shown. An empty history leaves the box as it is.
void refreshOutputFolderBox();

/// At start-up: fills the box from the history and shows its newest entry,
/// which becomes the job's output folder. False (nothing changes) when the
/// history is empty or the window does not exist.
bool selectLastOutputFolder();

/// Asks for a folder (the requester can create one) and makes it the output folder (chooseFolderAsOutput).
void chooseOutputFolder();

/// What choosing `folder` in the folder requester does: an existing folder
/// is remembered, becomes the output folder and the box is refreshed; then
/// the window is laid out again. False when it is not an existing folder.
bool chooseFolderAsOutput(const std::string& folder);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_OUTPUT_FOLDERS_H_
