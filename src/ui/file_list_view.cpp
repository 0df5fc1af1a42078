#include "ui/file_list_view.h"

#include "ui/wx_convert.h"

namespace pixolune {

FileListView::FileListView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                           const wxString& column_title, int column_width)
    : wxListCtrl(parent, id, pos, size, wxLC_REPORT | wxLC_VIRTUAL | wxBORDER_THEME) {
  AppendColumn(column_title, wxLIST_FORMAT_LEFT, column_width);
  SetDoubleBuffered(true);
}

void FileListView::appendRow(const std::string& text) {
  rows_.push_back(text);
  SetItemCount(static_cast<long>(rows_.size()));
}

void FileListView::removeAllRows() {
  rows_.clear();
  DeleteAllItems();
}

void FileListView::removeRow(size_t index) {
  if (index >= rows_.size()) return;
  rows_.erase(rows_.begin() + static_cast<long>(index));
  DeleteItem(static_cast<long>(index));
}

std::vector<size_t> FileListView::selectedRows() const {
  std::vector<size_t> selected;
  long item = -1;
  while ((item = GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) != -1) {
    selected.push_back(static_cast<size_t>(item));
  }
  return selected;
}

void FileListView::setSelected(size_t index, bool selected) {
  if (index >= rows_.size()) return;
  SetItemState(static_cast<long>(index), selected ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
}

void FileListView::clearSelection() {
  if (!rows_.empty()) SetItemState(-1, 0, wxLIST_STATE_SELECTED);
}

void FileListView::selectAll() {
  if (!rows_.empty()) SetItemState(-1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

wxString FileListView::OnGetItemText(long item, long) const {
  if (item < 0 || static_cast<size_t>(item) >= rows_.size()) return wxString();
  return toWx(rows_[static_cast<size_t>(item)]);
}

}  // namespace pixolune
