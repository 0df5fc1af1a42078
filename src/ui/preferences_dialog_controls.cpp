// The controls of the preferences pages and the page builder.
#include <wx/clntdata.h>
#include <wx/colordlg.h>
#include <wx/dcmemory.h>
#include <wx/scrolwin.h>
#include <wx/valtext.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/loaded_code.h"
#include "platform/text.h"
#include "resources/string_table.h"
#include "ui/preferences_dialog_controls.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

struct NamedColour {
  const char* hex;
  const char* key;
};

constexpr NamedColour kNamedColours[] = {
    {"000000", "Black"}, {"C0C0C0", "Silver"}, {"808080", "Gray"},   {"FFFFFF", "White"},  {"800000", "Maroon"},
    {"FF0000", "Red"},   {"800080", "Purple"}, {"FF00FF", "Fuchsia"}, {"008000", "Green"}, {"00FF00", "Lime"},
    {"808000", "Olive"}, {"FFFF00", "Yellow"}, {"000080", "Navy"},   {"0000FF", "Blue"},   {"008080", "Teal"},
    {"00FFFF", "Aqua"},  {"FF8000", "Orange"}, {"804000", "Brown"},  {"8000FF", "Violet"},
};

constexpr int kLabelWidth = 150;

// The integer a number box holds: optional sign and digits; anything after
// them is ignored, no digits count as 0.
long integerOf(const wxString& text) { return std::strtol(text.utf8_str(), nullptr, 10); }

// A whole number: an optional sign and digits, spaces around allowed.
bool parseWhole(const wxString& text, long* value) {
  const std::string s = trim(fromWx(text));
  const size_t digits = !s.empty() && (s[0] == '-' || s[0] == '+') ? 1 : 0;
  if (s.size() == digits || s.size() - digits > 10 || s.find_first_not_of("0123456789", digits) != std::string::npos)
    return false;
  *value = std::strtol(s.c_str(), nullptr, 10);
  return true;
}

// A decimal number (point as separator) in hundredths, rounded.
bool parseHundredths(const wxString& text, long* value) {
  const std::string s = trim(fromWx(text));
  if (s.empty() || s.find_first_not_of("+-.0123456789") != std::string::npos) return false;
  double number = 0;
  if (!wxString::FromUTF8(s).ToCDouble(&number) || !std::isfinite(number) || std::fabs(number) > 1e7) return false;
  *value = std::lround(number * 100.0);
  return true;
}

std::string hundredthsText(long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%.2f", value / 100.0);
  return text;
}

std::string rangeProblem(const std::string& field, const wxString& text, bool number, bool in_range,
                         const std::string& low, const std::string& high, const char* kind) {
  if (number && in_range) return std::string();
  const std::string shown = trim(fromWx(text));
  const std::string what = number ? "\"" + shown + "\" is out of range"
                                  : shown.empty() ? std::string("is empty") : "\"" + shown + "\" is not a number";
  return field + ": " + what + ". It accepts " + kind + " from " + low + " to " + high + ".";
}

// Gives the number boxes and bars of a row the row's label (see fieldLabel).
void tagFieldLabel(wxWindow* control, const std::string& label) {
  if ((dynamic_cast<wxTextCtrl*>(control) || dynamic_cast<wxSlider*>(control)) && !control->GetClientObject())
    control->SetClientObject(new wxStringClientData(toWx(label)));
}

void tagFieldLabel(wxSizer* sizer, const std::string& label) {
  for (wxSizerItem* item : sizer->GetChildren()) {
    if (item->IsWindow()) tagFieldLabel(item->GetWindow(), label);
    if (item->IsSizer()) tagFieldLabel(item->GetSizer(), label);
  }
}

// Controls that the wheel changes although they do not have the focus.
bool changesOnWheel(const wxWindow* window) {
  return !dynamic_cast<const wxPanel*>(window) && !dynamic_cast<const wxStaticText*>(window);
}

// The wheel over an unfocused control of `page` scrolls the page; over the
// control with the focus (or a part of it) it goes to the control.
void onWheel(wxScrolledWindow* page, wxWindow* control, wxMouseEvent& event) {
  for (wxWindow* focus = wxWindow::FindFocus(); focus; focus = focus->GetParent()) {
    if (focus == control) {
      event.Skip();
      return;
    }
    if (focus == page) break;
  }
  const int delta = event.GetWheelDelta() > 0 ? event.GetWheelDelta() : 120;
  const int lines = event.GetWheelRotation() * std::max(1, event.GetLinesPerAction()) / delta;
  int x = 0;
  int y = 0;
  page->GetViewStart(&x, &y);
  if (event.GetWheelAxis() == wxMOUSE_WHEEL_HORIZONTAL)
    page->Scroll(std::max(0, x + lines), y);
  else
    page->Scroll(x, std::max(0, y - lines));
}

void bindWheel(wxScrolledWindow* page, wxWindow* window) {
  for (wxWindow* child : window->GetChildren()) {
    if (changesOnWheel(child))
      child->Bind(wxEVT_MOUSEWHEEL, [page, child](wxMouseEvent& event) { onWheel(page, child, event); });
    bindWheel(page, child);
  }
}

// GTK 3 draws scroll bars as overlays that show only while scrolling, so a
// page taller than the dialog does not look taller: a page's bars are
// always drawn when the page needs them. Looked up at run time, because the
// program does not link the toolkit's own libraries directly.
void showScrollBarsWhenNeeded(wxWindow* page) {
#ifdef __WXGTK__
  using SetOverlay = void (*)(void*, int);
  static const auto set_overlay =
      reinterpret_cast<SetOverlay>(loadedFunction("gtk_scrolled_window_set_overlay_scrolling"));
  if (set_overlay && page->GetHandle()) set_overlay(page->GetHandle(), 0);
#else
  (void)page;
#endif
}

// Opens the colour dialog on `start`; true with the chosen colour.
bool askColour(wxWindow* parent, const std::string& start, std::string* chosen) {
  wxColourData data;
  data.SetColour(colourOfHex(start));
  data.SetChooseFull(true);
  wxColourDialog dialog(wxGetTopLevelParent(parent), &data);
  if (dialog.ShowModal() != wxID_OK) return false;
  *chosen = hexOfColour(dialog.GetColourData().GetColour());
  return true;
}

}  // namespace

std::string colourName(const std::string& hex) {
  const std::string upper = toUpper(hex);
  for (const NamedColour& named : kNamedColours) {
    if (upper == named.hex) return getText("Preferences", named.key);
  }
  return getText("Preferences", "Color") + " #" + upper;
}

wxColour colourOfHex(const std::string& hex) {
  if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return *wxBLACK;
  const unsigned long value = std::strtoul(hex.c_str(), nullptr, 16);
  return wxColour((value >> 16) & 0xff, (value >> 8) & 0xff, value & 0xff);
}

std::string hexOfColour(const wxColour& colour) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", colour.Red(), colour.Green(), colour.Blue());
  return text;
}

wxBitmap colourSwatch(const std::string& hex, int size) {
  wxBitmap bitmap(size, size);
  wxMemoryDC dc(bitmap);
  dc.SetPen(wxPen(wxColour(64, 64, 64)));
  dc.SetBrush(wxBrush(colourOfHex(hex)));
  dc.DrawRectangle(0, 0, size, size);
  dc.SelectObject(wxNullBitmap);
  return bitmap;
}

LinkedSlider::LinkedSlider(wxWindow* parent, const std::string& name, const SettingMember& field)
    : hundredths_(std::holds_alternative<float Settings::*>(field)) {
  const SettingRange range = settingRange(field);
  const double scale = hundredths_ ? 100.0 : 1.0;
  minimum_ = static_cast<int>(std::lround(range.min * scale));
  maximum_ = static_cast<int>(std::lround(range.max * scale));
  slider_ = new wxSlider(parent, wxID_ANY, minimum_, minimum_, maximum_, wxDefaultPosition, wxSize(170, -1));
  slider_->SetName(toWx(name));
  box_ = new wxTextCtrl(parent, wxID_ANY, toWx(boxText(minimum_)), wxDefaultPosition, wxSize(64, -1));
  box_->SetName(toWx(name + ".number"));
  sizer_ = new wxBoxSizer(wxHORIZONTAL);
  sizer_->Add(slider_, 0, wxALIGN_CENTER_VERTICAL);
  sizer_->Add(box_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
  slider_->Bind(wxEVT_SLIDER, [this](wxCommandEvent&) { onSlider(); });
  box_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { onText(); });
  box_->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
    event.Skip();
    // An accepted number is shown the bar's way ("2.5" as "2.50"); anything
    // else stays for OK to refuse.
    if (problem().empty()) box_->ChangeValue(toWx(boxText(slider_->GetValue())));
  });
}

std::string LinkedSlider::boxText(int value) const {
  if (!hundredths_) return std::to_string(value);
  char text[16];
  std::snprintf(text, sizeof text, "%.2f", value / 100.0);
  return text;
}

void LinkedSlider::setValue(int value) {
  value = std::clamp(value, minimum_, maximum_);
  slider_->SetValue(value);
  box_->ChangeValue(toWx(boxText(value)));
}

void LinkedSlider::Enable(bool on) {
  slider_->Enable(on);
  box_->Enable(on);
}

void LinkedSlider::onSlider() { box_->ChangeValue(toWx(boxText(slider_->GetValue()))); }

void LinkedSlider::onText() {
  long value = 0;
  const bool number = hundredths_ ? parseHundredths(box_->GetValue(), &value) : parseWhole(box_->GetValue(), &value);
  if (number) slider_->SetValue(static_cast<int>(std::clamp<long>(value, minimum_, maximum_)));
}

std::string LinkedSlider::problem() const {
  const wxString text = box_->GetValue();
  long value = 0;
  if (!hundredths_) return wholeNumberProblem(fieldLabel(box_), text, minimum_, maximum_);
  const bool number = parseHundredths(text, &value);
  return rangeProblem(fieldLabel(box_), text, number, value >= minimum_ && value <= maximum_,
                      hundredthsText(minimum_), hundredthsText(maximum_), "numbers");
}

std::string wholeNumberProblem(const std::string& field, const wxString& text, long minimum, long maximum,
                               bool range_checked) {
  long value = 0;
  const bool number = parseWhole(text, &value);
  return rangeProblem(field, text, number, !range_checked || (value >= minimum && value <= maximum),
                      std::to_string(minimum), std::to_string(maximum), "whole numbers");
}

std::string fieldLabel(const wxWindow* control) {
  if (const auto* label = dynamic_cast<const wxStringClientData*>(control->GetClientObject())) {
    std::string text = trim(fromWx(label->GetData()));
    while (!text.empty() && text.back() == ':') text.pop_back();  // "Gamma Correction:"
    return text;
  }
  return fromWx(control->GetName());
}

ColourPicker::ColourPicker(wxWindow* parent, const std::string& name) {
  button_ = new wxButton(parent, wxID_ANY, wxString(), wxDefaultPosition, wxSize(40, -1));
  button_->SetName(toWx(name + ".more"));
  hex_ = new wxTextCtrl(parent, wxID_ANY, wxString(), wxDefaultPosition, wxSize(80, -1), wxTE_READONLY);
  hex_->SetName(toWx(name));
  sizer_ = new wxBoxSizer(wxHORIZONTAL);
  sizer_->Add(button_, 0, wxALIGN_CENTER_VERTICAL);
  sizer_->Add(hex_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
  button_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    std::string chosen;
    if (askColour(button_, value(), &chosen)) setValue(chosen);
  });
}

std::string ColourPicker::value() const { return fromWx(hex_->GetValue()); }

void ColourPicker::setValue(const std::string& hex) {
  hex_->ChangeValue(toWx(toUpper(hex)));
  button_->SetBitmap(colourSwatch(hex, 16));
}

void ColourPicker::Enable(bool on) {
  button_->Enable(on);
  hex_->Enable(on);
}

ColourChoice::ColourChoice(wxWindow* parent, const std::string& name) {
  combo_ = new wxBitmapComboBox(parent, wxID_ANY, wxString(), wxDefaultPosition, wxSize(170, -1), 0, nullptr,
                                wxCB_READONLY);
  combo_->SetName(toWx(name));
  auto* more = new wxButton(parent, wxID_ANY, "...", wxDefaultPosition, wxSize(40, -1));
  more->SetName(toWx(name + ".more"));
  sizer_ = new wxBoxSizer(wxHORIZONTAL);
  sizer_->Add(combo_, 0, wxALIGN_CENTER_VERTICAL);
  sizer_->Add(more, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
  more->Bind(wxEVT_BUTTON, [this, more](wxCommandEvent&) {
    std::string chosen;
    if (askColour(more, value(), &chosen)) choose(chosen);
  });
}

void ColourChoice::fill(const std::string& list, const std::string& current) {
  combo_->Clear();
  colours_.clear();
  for (const std::string& field : split(list, ',')) {
    const std::string hex = toUpper(trim(field));
    if (hex.empty()) continue;
    colours_.push_back(hex);
    combo_->Append(toWx(colourName(hex)), colourSwatch(hex));
  }
  choose(current);
}

void ColourChoice::choose(const std::string& hex) {
  const std::string upper = toUpper(trim(hex));
  auto found = std::find(colours_.begin(), colours_.end(), upper);
  if (found == colours_.end()) {
    colours_.push_back(upper);
    combo_->Append(toWx(colourName(upper)), colourSwatch(upper));
    found = colours_.end() - 1;
  }
  combo_->SetSelection(static_cast<int>(found - colours_.begin()));
}

std::string ColourChoice::value() const {
  const int selection = combo_->GetSelection();
  return selection >= 0 && static_cast<size_t>(selection) < colours_.size() ? colours_[static_cast<size_t>(selection)]
                                                                            : std::string();
}

PageBuilder::PageBuilder(wxWindow* page, int pairs) : page_(page) {
  grid_ = new wxFlexGridSizer(pairs * 2, 6, 10);
  for (int i = 0; i < pairs; ++i) grid_->AddGrowableCol(i * 2 + 1);
  page->GetSizer()->Add(grid_, 0, wxEXPAND | wxALL, 4);
}

wxStaticText* PageBuilder::label(const char* key) {
  auto* text = new wxStaticText(page_, wxID_ANY, toWx(getText("Preferences", key)));
  // One label width on every page and sub-page keeps the controls aligned;
  // a text wider than that widens its own label rather than being cut.
  text->SetMinSize(wxSize(std::max(kLabelWidth, text->GetBestSize().x), -1));
  return text;
}

wxStaticText* PageBuilder::row(const char* key, wxWindow* control) {
  wxStaticText* text = label(key);
  tagFieldLabel(control, getText("Preferences", key));
  grid_->Add(text, 0, wxALIGN_CENTER_VERTICAL);
  grid_->Add(control, 0, wxALIGN_CENTER_VERTICAL);
  return text;
}

wxStaticText* PageBuilder::row(const char* key, wxSizer* control) {
  wxStaticText* text = label(key);
  tagFieldLabel(control, getText("Preferences", key));
  grid_->Add(text, 0, wxALIGN_CENTER_VERTICAL);
  grid_->Add(control, 0, wxALIGN_CENTER_VERTICAL);
  return text;
}

wxChoice* PageBuilder::choice(const std::string& name, std::initializer_list<const char*> keys) {
  wxArrayString texts;
  for (const char* key : keys) texts.Add(toWx(getText("Preferences", key)));
  auto* control = new wxChoice(page_, wxID_ANY, wxDefaultPosition, wxDefaultSize, texts);
  control->SetName(toWx(name));
  return control;
}

wxCheckBox* PageBuilder::check(const std::string& name) {
  auto* control = new wxCheckBox(page_, wxID_ANY, wxString());
  control->SetName(toWx(name));
  return control;
}

wxTextCtrl* PageBuilder::digits(const std::string& name) {
  wxTextValidator digits_only(wxFILTER_INCLUDE_CHAR_LIST);
  digits_only.SetCharIncludes("-0123456789");
  auto* control = new wxTextCtrl(page_, wxID_ANY, "0", wxDefaultPosition, wxSize(70, -1), 0, digits_only);
  control->SetName(toWx(name));
  return control;
}

wxSizer* PageBuilder::withUnit(wxWindow* control, const char* unit_key) {
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  sizer->Add(control, 0, wxALIGN_CENTER_VERTICAL);
  sizer->Add(new wxStaticText(page_, wxID_ANY, toWx(getText("Preferences", unit_key))), 0,
             wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
  return sizer;
}

wxTextCtrl* PageBuilder::text(const std::string& name, int width) {
  auto* control = new wxTextCtrl(page_, wxID_ANY, wxString(), wxDefaultPosition, wxSize(width, -1));
  control->SetName(toWx(name));
  return control;
}

wxWindow* newCategoryPage(PreferencesWindow& dialog, int category) {
  wxWindow* area = dialog.pageParent();
  auto* page = new wxScrolledWindow(area, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxVSCROLL | wxHSCROLL);
  page->SetScrollRate(10, 10);
  // The page scrolls: its controls do not make the dialog bigger.
  page->SetMinSize(wxSize(50, 50));
  page->SetSizer(new wxBoxSizer(wxVERTICAL));
  area->GetSizer()->Add(page, 1, wxEXPAND);
  showScrollBarsWhenNeeded(page);
  page->SetName(toWx(std::string("page.") + kPreferenceCategories[category]));
  dialog.setPage(category, page);
  return page;
}

wxPanel* newSubPanel(wxWindow* page) {
  auto* panel = new wxPanel(page, wxID_ANY);
  panel->SetSizer(new wxBoxSizer(wxVERTICAL));
  page->GetSizer()->Add(panel, 0, wxEXPAND);
  return panel;
}

void relayoutPage(wxWindow* page) {
  page->Layout();
  if (auto* scrolled = dynamic_cast<wxScrolledWindow*>(page)) scrolled->FitInside();
}

void wheelScrollsPage(wxWindow* page) {
  if (auto* scrolled = dynamic_cast<wxScrolledWindow*>(page)) bindWheel(scrolled, scrolled);
}

void bindCheck(PreferencesWindow& dialog, wxCheckBox* check, bool Settings::*field) {
  dialog.addField([check, field](const Settings& s) { check->SetValue(s.*field); },
                  [check, field](Settings& s) { s.*field = check->GetValue(); });
}

void bindDigits(PreferencesWindow& dialog, wxTextCtrl* box, int32_t Settings::*field) {
  const SettingRange range = settingRange(field);
  const long minimum = range.limited() ? static_cast<long>(range.min) : INT32_MIN;
  const long maximum = range.limited() ? static_cast<long>(range.max) : INT32_MAX;
  dialog.addField([box, field](const Settings& s) { box->ChangeValue(std::to_string(s.*field)); },
                  [box, field](Settings& s) { s.*field = static_cast<int32_t>(integerOf(box->GetValue())); });
  dialog.addCheck(box, [box, minimum, maximum] {
    return wholeNumberProblem(fieldLabel(box), box->GetValue(), minimum, maximum, box->IsEnabled());
  });
}

void bindText(PreferencesWindow& dialog, wxTextCtrl* box, std::string Settings::*field, bool clean) {
  dialog.addField([box, field](const Settings& s) { box->ChangeValue(toWx(s.*field)); },
                  [box, field, clean](Settings& s) {
                    const std::string text = fromWx(box->GetValue());
                    s.*field = clean ? cleanPreferenceText(text) : text;
                  });
}

void bindColour(PreferencesWindow& dialog, ColourPicker* picker, std::string Settings::*field) {
  dialog.addField([picker, field](const Settings& s) { picker->setValue(s.*field); },
                  [picker, field](Settings& s) { s.*field = picker->value(); });
}

}  // namespace pixolune
