// The controls of the preferences pages and the page builder.
#include <wx/colordlg.h>
#include <wx/dcmemory.h>
#include <wx/scrolwin.h>
#include <wx/valtext.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

LinkedSlider::LinkedSlider(wxWindow* parent, const std::string& name, int minimum, int maximum, bool hundredths)
    : minimum_(minimum), maximum_(maximum), hundredths_(hundredths) {
  slider_ = new wxSlider(parent, wxID_ANY, minimum, minimum, maximum, wxDefaultPosition, wxSize(170, -1));
  slider_->SetName(toWx(name));
  box_ = new wxTextCtrl(parent, wxID_ANY, toWx(boxText(minimum)), wxDefaultPosition, wxSize(64, -1));
  box_->SetName(toWx(name + ".number"));
  sizer_ = new wxBoxSizer(wxHORIZONTAL);
  sizer_->Add(slider_, 0, wxALIGN_CENTER_VERTICAL);
  sizer_->Add(box_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
  slider_->Bind(wxEVT_SLIDER, [this](wxCommandEvent&) { onSlider(); });
  box_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { onText(); });
  box_->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
    event.Skip();
    box_->ChangeValue(toWx(boxText(slider_->GetValue())));
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
  const wxString text = box_->GetValue();
  long value = 0;
  if (hundredths_) {
    double number = 0;
    if (!text.ToCDouble(&number)) number = std::strtod(text.utf8_str(), nullptr);
    value = std::lround(number * 100.0);
  } else {
    value = integerOf(text);
  }
  const int clamped = static_cast<int>(std::clamp<long>(value, minimum_, maximum_));
  slider_->SetValue(clamped);
  // A number out of range is replaced at once; a number still being typed
  // ("", "-", "1.") stays as it is until the box loses the focus.
  const bool incomplete = text.empty() || text == "-" || text.EndsWith(".");
  if (!incomplete && clamped != value) box_->ChangeValue(toWx(boxText(clamped)));
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
  // One label width on every page and sub-page keeps the controls aligned.
  text->SetMinSize(wxSize(kLabelWidth, -1));
  return text;
}

wxStaticText* PageBuilder::row(const char* key, wxWindow* control) {
  wxStaticText* text = label(key);
  grid_->Add(text, 0, wxALIGN_CENTER_VERTICAL);
  grid_->Add(control, 0, wxALIGN_CENTER_VERTICAL);
  return text;
}

wxStaticText* PageBuilder::row(const char* key, wxSizer* control) {
  wxStaticText* text = label(key);
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
  auto* control = new wxTextCtrl(page_, wxID_ANY, "0", wxDefaultPosition, wxSize(70, -1), 0,
                                 wxTextValidator(wxFILTER_DIGITS));
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
  auto* page = new wxScrolledWindow(area, wxID_ANY, wxPoint(0, 0), area->GetClientSize(), wxVSCROLL);
  page->SetScrollRate(0, 10);
  page->SetSizer(new wxBoxSizer(wxVERTICAL));
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

void bindCheck(PreferencesWindow& dialog, wxCheckBox* check, bool Settings::*field) {
  dialog.addField([check, field](const Settings& s) { check->SetValue(s.*field); },
                  [check, field](Settings& s) { s.*field = check->GetValue(); });
}

void bindDigits(PreferencesWindow& dialog, wxTextCtrl* box, int32_t Settings::*field) {
  dialog.addField([box, field](const Settings& s) { box->ChangeValue(std::to_string(s.*field)); },
                  [box, field](Settings& s) { s.*field = static_cast<int32_t>(integerOf(box->GetValue())); });
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
