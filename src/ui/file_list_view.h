// The file list of the main window: a report list with the columns name,
// folder, size and status, one row per input path. The rows live here (the
// list is virtual), so tens of thousands of rows stay cheap. The rows are
// shown in the order they were added until a column header is clicked: then
// by that column, a second click on it reverses. "Show failed only" hides
// every row whose last conversion did not fail.
#ifndef PIXOLUNE_UI_FILE_LIST_VIEW_H_
#define PIXOLUNE_UI_FILE_LIST_VIEW_H_

#include <wx/listctrl.h>

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

class wxContextMenuEvent;
class wxListEvent;

namespace pixolune {

/// What happened to a file in the last conversion run that reached it.
enum class FileState { kWaiting, kConverting, kConverted, kFailed };

/// The columns, in the order shown.
enum FileColumn : int { kColumnName = 0, kColumnFolder, kColumnSize, kColumnStatus, kColumnCount };

class FileListView : public wxListCtrl {
 public:
  /// A report list whose name column is titled `column_title` and is
  /// `column_width` pixels wide, several rows selectable, whole rows selected
  /// by a click.
  FileListView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
               const wxString& column_title, int column_width);

  /// The paths of the shown rows, in the order shown (row indices of the
  /// selection functions index it).
  const std::vector<std::string>& rows() const { return rows_; }
  size_t rowCount() const { return rows_.size(); }
  /// Every path of the list, shown or hidden by "show failed only", in the
  /// order shown.
  std::vector<std::string> allRows() const;

  /// Adds a row for `text` (a path) with the state waiting; a path already
  /// present is left as it is. Under a column sort it goes where the order
  /// puts it; hidden while "show failed only" is on.
  void appendRow(const std::string& text);
  /// A new block of rows: the rows appended into one block stay together in
  /// the order of adding, in byte order of their paths among themselves (the
  /// files of one folder walk).
  uint64_t newBlock() { return next_added_++; }
  /// appendRow, placing the row in `block` (from newBlock()).
  void appendRowInBlock(const std::string& path, uint64_t block);
  void removeAllRows();
  /// Removes one shown row; the selection of the rows after it moves up with them.
  void removeRow(size_t index);

  /// Records what happened to `path` (nothing when it is not in the list):
  /// `output_size` is the written file's size (converted), `reason` why it
  /// was not converted (failed). Rows move or hide as sorting and the filter
  /// ask.
  void setFileState(const std::string& path, FileState state, int64_t output_size, const std::string& reason);
  FileState fileState(const std::string& path) const;
  /// Between these two, setFileState leaves moving and hiding rows to
  /// endStateBatch, which does it once for all of them.
  void beginStateBatch() { batching_ = true; }
  void endStateBatch();
  /// The text a cell shows; empty for a shown row index out of range.
  std::string cellText(size_t index, FileColumn column) const;

  /// Sorts by `column` as a click on its header does: a first click sorts
  /// ascending, a click on the column already sorted reverses it.
  void clickColumn(FileColumn column);
  /// The sorted column, or -1 while the rows are in the order they were added.
  int sortColumn() const { return sort_column_; }
  bool sortAscending() const { return ascending_; }

  /// "Show failed only": while on, only the rows whose state is failed are shown.
  void setFailedOnly(bool on);
  bool failedOnly() const { return failed_only_; }

  /// Shares the list's width between the columns: size and status keep
  /// theirs, name and folder split the rest (at least 120 pixels each).
  void fitColumns();

  /// Indices of the selected rows, ascending.
  std::vector<size_t> selectedRows() const;
  void setSelected(size_t index, bool selected);
  void clearSelection();
  void selectAll();

 private:
  struct Row {
    std::string path;
    std::string name;
    std::string folder;
    int64_t size = -1;           // Of the input, read when added.
    uint64_t added = 0;          // Order of adding: the row's block (see newBlock).
    FileState state = FileState::kWaiting;
    int64_t output_size = -1;
    std::string reason;
  };

  wxString OnGetItemText(long item, long column) const override;
  void onColumnClick(wxListEvent& event);
  void onContextMenu(wxContextMenuEvent& event);
  bool isShown(const Row& row) const;
  bool before(const Row* a, const Row* b) const;
  Row* addRow(const std::string& path, uint64_t added);
  /// Puts `row` into shown_ at the place the order gives (when it is shown)
  /// and refreshes the rows from there.
  void placeRow(Row* row);
  /// Rebuilds shown_ from all rows, keeping the selected paths selected.
  void rebuildShown();
  void syncRows();
  void showHeaderArrow();

  std::list<Row> all_;
  std::unordered_map<std::string, std::list<Row>::iterator> index_;
  std::vector<Row*> shown_;
  std::vector<std::string> rows_;  // Paths of shown_.
  uint64_t next_added_ = 0;
  int sort_column_ = -1;
  bool ascending_ = true;
  bool failed_only_ = false;
  bool batching_ = false;
  bool order_dirty_ = false;  // A state changed in a batch where the state orders or hides rows.
};

/// The text of a byte count in the size column: "123 B", "4.5 KB", "12 MB".
std::string sizeText(int64_t bytes);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_FILE_LIST_VIEW_H_
