// "Find a File Converter": a small window asking for two file extensions,
// which opens the maker's converter search page for that pair.
#ifndef PIXOLUNE_UI_CONVERTER_SEARCH_H_
#define PIXOLUNE_UI_CONVERTER_SEARCH_H_

#include <string>
#include <string_view>

#include "ui/small_window.h"

class wxTextCtrl;

namespace pixolune {

/// The extensions of the last search: lower case, letters and digits only,
/// at most 12 characters.
struct ConverterSearch {
  std::string from_ext;
  std::string to_ext;
};
ConverterSearch& converterSearch();

/// The characters of `text` that are ASCII digits or letters, in order.
std::string keepAlphanumeric(std::string_view text);

/// Sets both extensions of converterSearch() from the typed texts: each is
/// lower-cased, cut to its first 12 characters, then kept alphanumeric.
/// True when both are non-empty.
bool readConverterFields(std::string_view from_text, std::string_view to_text);

/// Web site + "find/" + from_ext + "-" + to_ext + "/".
std::string converterSearchAddress();

/// Control numbers of the converter search window.
enum ConverterSearchControl : int {
  kSearchFromLabel = 353,
  kSearchFromField = 354,
  kSearchToLabel = 355,
  kSearchToField = 356,
  kSearchButton = 357,
  kSearchCancel = 358,
};

class ConverterSearchWindow : public SmallWindow {
 public:
  explicit ConverterSearchWindow(wxWindow* parent);
  /// Search (and Return): with both extensions usable, opens the search page
  /// and closes; otherwise warns and stays open. Cancel (Escape, a close
  /// request) closes without a page.
  void runCommand(int id) override;
  wxTextCtrl* fromField() const { return from_; }
  wxTextCtrl* toField() const { return to_; }

 private:
  wxTextCtrl* from_;
  wxTextCtrl* to_;
};

/// Opens the window centred on `parent` (the main window), disables the
/// parent until it closes, puts the keyboard focus in the From field and
/// returns it. Main thread only.
ConverterSearchWindow* openConverterSearch(wxWindow* parent);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_CONVERTER_SEARCH_H_
