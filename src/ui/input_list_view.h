// The window-mode side of the input list: the visible rows of the main
// window's file list, kept equal to the entry store, and the list commands
// (drop, copy, delete, select all, New).
#ifndef PIXOLUNE_UI_INPUT_LIST_VIEW_H_
#define PIXOLUNE_UI_INPUT_LIST_VIEW_H_

#include <string>
#include <vector>

#include "ui/input_dialogs.h"
#include "ui/output_folders.h"

namespace pixolune {

/// Installs the hook through which addInputFile reports added files, and
/// the conversion observer that shows each file's outcome in its row. The
/// hook may run on a worker thread: it only queues the path; the main thread
/// turns queued paths into rows (drainAddedFiles), in the order they were
/// added. On the main thread the row appears at once. The observer, called
/// on the worker's thread (the conversion window forwards to it while it
/// observes a run), queues each outcome and has the main thread show it.
/// REQUIRES: no worker is running.
void installAddFileHook();

/// Turns every queued path into a row (onInputFileAdded). The files one
/// folder walk adds (under the folder-import progress window) form one block
/// of rows in byte order of their paths. Main thread only; the progress
/// dialog calls it while a worker runs.
void drainAddedFiles();

/// Shows every outcome the conversion observer has queued in the rows:
/// converting, converted with the written file's size, failed with the
/// reason. Main thread only; runs by itself after each queued outcome.
void showFileOutcomes();

/// The folder "Open output folder" opens: the output folder box's text
/// (trimmed), else the job's output folder; empty when neither is set.
std::string outputFolderToOpen();

/// Hands outputFolderToOpen() to openWithShell when it is not empty.
void openOutputFolder();

/// Appends a row for `path`; when the output-folder box shows no text, sets
/// the output folder to input_folder (or, when that is empty, the folder of
/// `path`), remembers it and refreshes the box.
void onInputFileAdded(const std::string& path);

/// Handles paths dropped on the main window, separated by LF: each folder is
/// collected with the import-folder progress dialog, each path is then
/// offered to addInputFile (which skips folders). When a folder was walked
/// and no walk was stopped, the status bar then counts every file the drop
/// added. Ignored while a progress window is open (one worker at a time).
void dropFiles(const std::string& text);

/// Offers each path to addInputFile, keeping the window painted between them.
void addFiles(const std::vector<std::string>& paths);

/// The selected rows, in row order, joined by CR LF, without the final line
/// break. Empty when nothing is selected.
std::string selectionText();

/// Puts selectionText() on the clipboard when it is not empty.
void copySelection();

/// Removes the selected rows and their entries, then selects the row at the
/// last removed index, or the row before it when that index is now past the
/// end.
void deleteSelection();

/// Selects every row.
void selectAllRows();

/// Empties the list and the run state, clears the output-folder box text,
/// shows "Ready" and focuses the file list.
void newList();

}  // namespace pixolune

#endif  // PIXOLUNE_UI_INPUT_LIST_VIEW_H_
