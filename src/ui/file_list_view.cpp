#include "ui/file_list_view.h"

#include <wx/menu.h>

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "platform/files.h"
#include "ui/input_list_view.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

constexpr int kMenuFailedOnly = wxID_HIGHEST + 701;
constexpr int kMenuOpenOutputFolder = wxID_HIGHEST + 702;
// Widths of the folder, size and status columns at the start; fitColumns
// gives name and folder what is left of the list's width.
constexpr int kFolderColumnWidth = 200;
constexpr int kSizeColumnWidth = 70;
constexpr int kStatusColumnWidth = 150;
constexpr int kMinNameWidth = 120;

const char* const kColumnTitles[kColumnCount] = {nullptr, "Folder", "Size", "Status"};

std::string stateText(FileState state, int64_t output_size, const std::string& reason) {
  switch (state) {
    case FileState::kWaiting:
      return "Waiting";
    case FileState::kConverting:
      return "Converting...";
    case FileState::kConverted:
      return output_size >= 0 ? "Converted, " + sizeText(output_size) : "Converted";
    case FileState::kFailed:
      return "Failed: " + reason;
  }
  return std::string();
}

}  // namespace

std::string sizeText(int64_t bytes) {
  if (bytes < 0) return std::string();
  if (bytes < 1024) return std::to_string(bytes) + " B";
  const char* const units[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (value >= 1024.0 && unit < 3) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 10.0 ? "%.1f %s" : "%.0f %s", value, units[unit]);
  return text;
}

FileListView::FileListView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                           const wxString& column_title, int column_width)
    : wxListCtrl(parent, id, pos, size, wxLC_REPORT | wxLC_VIRTUAL | wxBORDER_THEME) {
  AppendColumn(column_title, wxLIST_FORMAT_LEFT, column_width);
  AppendColumn(kColumnTitles[kColumnFolder], wxLIST_FORMAT_LEFT, kFolderColumnWidth);
  AppendColumn(kColumnTitles[kColumnSize], wxLIST_FORMAT_RIGHT, kSizeColumnWidth);
  AppendColumn(kColumnTitles[kColumnStatus], wxLIST_FORMAT_LEFT, kStatusColumnWidth);
  SetDoubleBuffered(true);
  Bind(wxEVT_LIST_COL_CLICK, &FileListView::onColumnClick, this);
  Bind(wxEVT_CONTEXT_MENU, &FileListView::onContextMenu, this);
}

std::vector<std::string> FileListView::allRows() const {
  if (!failed_only_) return rows_;
  std::vector<const Row*> ordered;
  for (const Row& row : all_) ordered.push_back(&row);
  if (sort_column_ >= 0)
    std::stable_sort(ordered.begin(), ordered.end(), [this](const Row* a, const Row* b) { return before(a, b); });
  std::vector<std::string> paths;
  for (const Row* row : ordered) paths.push_back(row->path);
  return paths;
}

FileListView::Row* FileListView::addRow(const std::string& path, uint64_t added) {
  if (index_.count(path) != 0) return nullptr;
  Row row;
  row.path = path;
  row.name = fileNameOf(path);
  row.folder = folderOf(path);
  row.size = fileSize(path);
  row.added = added;
  all_.push_back(std::move(row));
  index_[path] = std::prev(all_.end());
  return &all_.back();
}

void FileListView::appendRow(const std::string& text) {
  appendRowInBlock(text, newBlock());
}

void FileListView::appendRowInBlock(const std::string& path, uint64_t block) {
  Row* row = addRow(path, block);
  if (row) placeRow(row);
}

void FileListView::removeAllRows() {
  all_.clear();
  index_.clear();
  shown_.clear();
  rows_.clear();
  DeleteAllItems();
}

void FileListView::removeRow(size_t index) {
  if (index >= shown_.size()) return;
  const std::string path = shown_[index]->path;
  shown_.erase(shown_.begin() + static_cast<long>(index));
  rows_.erase(rows_.begin() + static_cast<long>(index));
  auto found = index_.find(path);
  all_.erase(found->second);
  index_.erase(found);
  DeleteItem(static_cast<long>(index));
}

void FileListView::setFileState(const std::string& path, FileState state, int64_t output_size,
                                const std::string& reason) {
  auto found = index_.find(path);
  if (found == index_.end()) return;
  Row& row = *found->second;
  row.state = state;
  row.output_size = state == FileState::kConverted ? output_size : -1;
  row.reason = state == FileState::kFailed ? reason : std::string();
  if (failed_only_ || sort_column_ == kColumnStatus) {
    if (batching_) order_dirty_ = true;
    else rebuildShown();
    return;
  }
  const auto at = std::find(shown_.begin(), shown_.end(), &row);
  if (at != shown_.end()) RefreshItem(static_cast<long>(at - shown_.begin()));
}

void FileListView::endStateBatch() {
  batching_ = false;
  if (order_dirty_) rebuildShown();
  order_dirty_ = false;
}

FileState FileListView::fileState(const std::string& path) const {
  auto found = index_.find(path);
  return found == index_.end() ? FileState::kWaiting : found->second->state;
}

std::string FileListView::cellText(size_t index, FileColumn column) const {
  if (index >= shown_.size()) return std::string();
  const Row& row = *shown_[index];
  switch (column) {
    case kColumnName:
      return row.name;
    case kColumnFolder:
      return row.folder;
    case kColumnSize:
      return sizeText(row.size);
    case kColumnStatus:
      return stateText(row.state, row.output_size, row.reason);
    default:
      return std::string();
  }
}

void FileListView::clickColumn(FileColumn column) {
  if (column < 0 || column >= kColumnCount) return;
  if (sort_column_ == column) {
    ascending_ = !ascending_;
  } else {
    sort_column_ = column;
    ascending_ = true;
  }
  showHeaderArrow();
  rebuildShown();
}

void FileListView::setFailedOnly(bool on) {
  if (failed_only_ == on) return;
  failed_only_ = on;
  rebuildShown();
}

bool FileListView::isShown(const Row& row) const { return !failed_only_ || row.state == FileState::kFailed; }

// The order of the sorted column (none: the order of adding), ties broken by
// the path and then the order of adding; reversed as a whole.
bool FileListView::before(const Row* a, const Row* b) const {
  int order = 0;
  switch (sort_column_) {
    case kColumnName:
      order = a->name.compare(b->name);
      break;
    case kColumnFolder:
      order = a->folder.compare(b->folder);
      break;
    case kColumnSize:
      order = a->size < b->size ? -1 : a->size > b->size ? 1 : 0;
      break;
    case kColumnStatus:
      order = static_cast<int>(a->state) - static_cast<int>(b->state);
      if (order == 0) order = a->reason.compare(b->reason);
      break;
    default:  // The order of adding; within a block, by path.
      order = a->added < b->added ? -1 : a->added > b->added ? 1 : 0;
      break;
  }
  if (order == 0) order = a->path.compare(b->path);
  if (order == 0) order = a->added < b->added ? -1 : a->added > b->added ? 1 : 0;
  if (sort_column_ < 0) return order < 0;
  return ascending_ ? order < 0 : order > 0;
}

void FileListView::placeRow(Row* row) {
  if (!isShown(*row)) return;
  const auto at =
      std::upper_bound(shown_.begin(), shown_.end(), row, [this](const Row* a, const Row* b) { return before(a, b); });
  const size_t index = static_cast<size_t>(at - shown_.begin());
  shown_.insert(at, row);
  rows_.insert(rows_.begin() + static_cast<long>(index), row->path);
  SetItemCount(static_cast<long>(rows_.size()));
  if (index + 1 < rows_.size()) RefreshItems(static_cast<long>(index), static_cast<long>(rows_.size()) - 1);
}

void FileListView::rebuildShown() {
  std::unordered_set<std::string> selected;
  for (size_t index : selectedRows()) selected.insert(rows_[index]);
  clearSelection();
  shown_.clear();
  for (Row& row : all_)
    if (isShown(row)) shown_.push_back(&row);
  std::sort(shown_.begin(), shown_.end(), [this](const Row* a, const Row* b) { return before(a, b); });
  rows_.clear();
  for (const Row* row : shown_) rows_.push_back(row->path);
  syncRows();
  for (size_t index = 0; index < rows_.size() && !selected.empty(); ++index)
    if (selected.count(rows_[index]) != 0) setSelected(index, true);
  Refresh();
}

void FileListView::syncRows() {
  SetItemCount(static_cast<long>(rows_.size()));
  if (!rows_.empty()) RefreshItems(0, static_cast<long>(rows_.size()) - 1);
}

void FileListView::showHeaderArrow() {
  for (int column = 0; column < kColumnCount; ++column) {
    wxListItem item;
    item.SetMask(wxLIST_MASK_TEXT);
    GetColumn(column, item);
    wxString title = item.GetText();
    if (title.EndsWith(wxString::FromUTF8(" \u25B2")) || title.EndsWith(wxString::FromUTF8(" \u25BC")))
      title.RemoveLast(2);
    if (column == sort_column_) title += wxString::FromUTF8(ascending_ ? " \u25B2" : " \u25BC");
    item.SetText(title);
    SetColumn(column, item);
  }
}

void FileListView::onColumnClick(wxListEvent& event) { clickColumn(static_cast<FileColumn>(event.GetColumn())); }

void FileListView::onContextMenu(wxContextMenuEvent&) {
  wxMenu menu;
  menu.AppendCheckItem(kMenuFailedOnly, "Show failed only")->Check(failed_only_);
  menu.Append(kMenuOpenOutputFolder, "Open output folder")->Enable(!outputFolderToOpen().empty());
  const int chosen = GetPopupMenuSelectionFromUser(menu);
  if (chosen == kMenuFailedOnly) setFailedOnly(!failed_only_);
  if (chosen == kMenuOpenOutputFolder) openOutputFolder();
}

// The columns fill the list's width: size and status keep theirs, name and
// folder share the rest.
void FileListView::fitColumns() {
  const int width = GetClientSize().x - kSizeColumnWidth - kStatusColumnWidth;
  const int name = std::max(kMinNameWidth, width / 2);
  SetColumnWidth(kColumnName, name);
  SetColumnWidth(kColumnFolder, std::max(kMinNameWidth, width - name));
}

wxString FileListView::OnGetItemText(long item, long column) const {
  if (item < 0 || column < 0 || column >= kColumnCount) return wxString();
  return toWx(cellText(static_cast<size_t>(item), static_cast<FileColumn>(column)));
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

}  // namespace pixolune
