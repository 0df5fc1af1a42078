// The controls the preferences pages are made of, and the builder that lays
// a page out as rows of a label and its control. Used by the page files of
// the preferences dialog only.
#ifndef PIXOLUNE_UI_PREFERENCES_DIALOG_CONTROLS_H_
#define PIXOLUNE_UI_PREFERENCES_DIALOG_CONTROLS_H_

#include <wx/bmpcbox.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "settings/setting_fields.h"
#include "settings/settings.h"
#include "ui/preferences_dialog.h"

namespace pixolune {

/// A track bar and the number box linked to it. Moving the bar writes its
/// value into the box; typing a number into the box moves the bar (as far
/// as its range goes) and leaves the text as typed, so that OK can refuse a
/// text that is not a number or is out of range (problem()). The range is
/// the field's in the settings field table; for a float field (the gamma)
/// the bar counts hundredths and the box shows its value / 100 with two
/// decimals.
class LinkedSlider {
 public:
  LinkedSlider(wxWindow* parent, const std::string& name, const SettingMember& field);

  wxSizer* sizer() const { return sizer_; }
  wxSlider* slider() const { return slider_; }
  wxTextCtrl* box() const { return box_; }
  int value() const { return slider_->GetValue(); }
  /// Sets the bar (clamped) and the box.
  void setValue(int value);
  void Enable(bool on);
  /// Empty when the box holds a number of the range; else the message OK
  /// shows, naming the field (its row's label) and what it accepts.
  std::string problem() const;

 private:
  void onSlider();
  void onText();
  std::string boxText(int value) const;

  wxSlider* slider_;
  wxTextCtrl* box_;
  wxBoxSizer* sizer_;
  int minimum_;
  int maximum_;
  bool hundredths_;
};

/// A button showing a colour swatch and the colour's six hexadecimal digits
/// in a read-only box beside it; the button opens the colour dialog.
class ColourPicker {
 public:
  ColourPicker(wxWindow* parent, const std::string& name);
  wxSizer* sizer() const { return sizer_; }
  std::string value() const;
  /// Shows `hex` (upper-cased; anything but six digits shows as given).
  void setValue(const std::string& hex);
  void Enable(bool on);

 private:
  wxButton* button_;
  wxTextCtrl* hex_;
  wxBoxSizer* sizer_;
};

/// A list of colours, each with a 16 x 16 swatch and its name, and a "..."
/// button that opens the colour dialog and makes the chosen colour the
/// list's choice.
class ColourChoice {
 public:
  ColourChoice(wxWindow* parent, const std::string& name);
  wxSizer* sizer() const { return sizer_; }
  /// The colours of the comma-separated `list`, then `current` selected
  /// (appended when the list lacks it).
  void fill(const std::string& list, const std::string& current);
  /// Selects `hex`, appending it when missing.
  void choose(const std::string& hex);
  std::string value() const;

 private:
  wxBitmapComboBox* combo_;
  wxBoxSizer* sizer_;
  std::vector<std::string> colours_;
};

/// A 16 x 16 bitmap of one colour with a dark border.
wxBitmap colourSwatch(const std::string& hex, int size = 16);
/// "RRGGBB" as a colour; black for anything else.
wxColour colourOfHex(const std::string& hex);
/// The colour as six upper-case hexadecimal digits.
std::string hexOfColour(const wxColour& colour);

/// Lays a page out: rows of a label (group "Preferences") and a control,
/// in one or two columns of such pairs.
class PageBuilder {
 public:
  PageBuilder(wxWindow* page, int pairs = 1);
  wxWindow* page() const { return page_; }

  wxStaticText* label(const char* key);
  /// A row: the label of `key` and `control`; returns the label.
  wxStaticText* row(const char* key, wxWindow* control);
  wxStaticText* row(const char* key, wxSizer* control);

  /// A read-only choice of the texts of `keys`, in order; named `name`.
  wxChoice* choice(const std::string& name, std::initializer_list<const char*> keys);
  wxCheckBox* check(const std::string& name);
  /// A box that accepts digits (and a minus sign) only, 70 pixels wide.
  wxTextCtrl* digits(const std::string& name);
  /// `control` followed by the unit text of `unit_key`.
  wxSizer* withUnit(wxWindow* control, const char* unit_key);
  wxTextCtrl* text(const std::string& name, int width = 220);

 private:
  wxWindow* page_;
  wxFlexGridSizer* grid_;
};

/// A scrolling page of the dialog for `category`, registered with it, with a
/// vertical sizer the builders add to.
wxWindow* newCategoryPage(PreferencesWindow& dialog, int category);
/// A panel inside `page` (a format's sub-page, a watermark panel) added to
/// the page's sizer.
wxPanel* newSubPanel(wxWindow* page);
/// Lays `page` out again after panels were shown or hidden.
void relayoutPage(wxWindow* page);
/// Makes the mouse wheel over every control of `page` that does not have
/// the focus scroll the page instead of changing the control.
void wheelScrollsPage(wxWindow* page);

/// The label of the row `control` sits in ("Image Gamma"), else its name.
std::string fieldLabel(const wxWindow* control);
/// Empty when `text` is a whole number from `minimum` to `maximum`; else the
/// message naming `field` and the range it accepts. With `range_checked`
/// false only "not a number" is refused (a switched-off field).
std::string wholeNumberProblem(const std::string& field, const wxString& text, long minimum, long maximum,
                               bool range_checked = true);

// Field bindings: fill the control from a record, read it back.
template <class T>
void bindChoice(PreferencesWindow& dialog, wxChoice* choice, T Settings::*field) {
  dialog.addField(
      [choice, field](const Settings& s) {
        const int count = static_cast<int>(choice->GetCount());
        const int value = static_cast<int>(s.*field);
        choice->SetSelection(value >= 0 && value < count ? value : 0);
      },
      [choice, field](Settings& s) { s.*field = static_cast<T>(std::max(0, choice->GetSelection())); });
}
void bindCheck(PreferencesWindow& dialog, wxCheckBox* check, bool Settings::*field);
/// A number box of the field's range in the settings field table; OK
/// refuses anything else (only a text that is not a number while the box is
/// disabled).
void bindDigits(PreferencesWindow& dialog, wxTextCtrl* box, int32_t Settings::*field);
template <class T>
void bindSlider(PreferencesWindow& dialog, LinkedSlider* slider, T Settings::*field) {
  dialog.addField([slider, field](const Settings& s) { slider->setValue(static_cast<int>(s.*field)); },
                  [slider, field](Settings& s) { s.*field = static_cast<T>(slider->value()); });
  dialog.addCheck(slider->box(), [slider] { return slider->problem(); });
}
/// A text box; `clean` stores it through cleanPreferenceText.
void bindText(PreferencesWindow& dialog, wxTextCtrl* box, std::string Settings::*field, bool clean);
void bindColour(PreferencesWindow& dialog, ColourPicker* picker, std::string Settings::*field);

// The page builders, one per file.
void buildGeneralPages(PreferencesWindow& dialog);     // General, Interface, Advanced.
void buildInputPage(PreferencesWindow& dialog);
void buildOutputPage(PreferencesWindow& dialog);
void buildImagePages(PreferencesWindow& dialog);       // Transform, Adjustment, Frame.
void buildWatermarkPage(PreferencesWindow& dialog);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_PREFERENCES_DIALOG_CONTROLS_H_
