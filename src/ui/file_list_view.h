// The file list of the main window: a one-column report list whose rows are
// the input paths in the order they were added. The rows live here (the list
// is virtual), so tens of thousands of rows stay cheap.
#ifndef PIXOLUNE_UI_FILE_LIST_VIEW_H_
#define PIXOLUNE_UI_FILE_LIST_VIEW_H_

#include <wx/listctrl.h>

#include <string>
#include <vector>

namespace pixolune {

class FileListView : public wxListCtrl {
 public:
  /// A report list with one column titled `column_title`, several rows
  /// selectable, whole rows selected by a click.
  FileListView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
               const wxString& column_title, int column_width);

  const std::vector<std::string>& rows() const { return rows_; }
  size_t rowCount() const { return rows_.size(); }

  void appendRow(const std::string& text);
  void removeAllRows();
  /// Removes one row; the selection of the rows after it moves up with them.
  void removeRow(size_t index);

  /// Indices of the selected rows, ascending.
  std::vector<size_t> selectedRows() const;
  void setSelected(size_t index, bool selected);
  void clearSelection();
  void selectAll();

 private:
  wxString OnGetItemText(long item, long column) const override;

  std::vector<std::string> rows_;
};

}  // namespace pixolune

#endif  // PIXOLUNE_UI_FILE_LIST_VIEW_H_
