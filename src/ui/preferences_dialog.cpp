#include "ui/preferences_dialog.h"

#include <wx/button.h>
#include <wx/font.h>
#include <wx/settings.h>

#include <algorithm>

#include "platform/text.h"
#include "resources/message_box.h"
#include "resources/string_table.h"
#include "settings/settings_file.h"
#include "ui/main_window.h"
#include "ui/picture_controls.h"
#include "ui/preferences_dialog_controls.h"
#include "ui/window_ids.h"
#include "ui/wx_convert.h"

namespace pixolune {

uint8_t preferences_start_page = 0;

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 350;
constexpr int kListWidth = 130;
constexpr int kPageX = kListWidth + 20;
constexpr int kPageY = 40;
constexpr int kButtonHeight = 30;
constexpr int kButtonY = kHeight - kButtonHeight - 10;

// The caption font: bold, 10 points, of the desktop's dialog family.
wxFont captionFont() {
  wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
  font.SetPointSize(10);
  font.SetWeight(wxFONTWEIGHT_BOLD);
  return font;
}

}  // namespace

PreferencesWindow::PreferencesWindow(wxWindow* parent)
    : SmallWindow(parent, getText("Preferences", "Title"), kWidth, kHeight),
      pages_(kPreferenceCategoryCount, nullptr) {
  SetId(windowId(kWindowPreferences));
  buildFrame();
  buildPages();
  setShortcuts(0, kPreferencesCancel);
  Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) {
    event.Skip();
    applyRules();
  });
  Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& event) {
    event.Skip();
    applyRules();
  });
  Bind(wxEVT_COMBOBOX, [this](wxCommandEvent& event) {
    event.Skip();
    applyRules();
  });
}

PreferencesWindow::~PreferencesWindow() {
  // The controls' handlers use the helper objects: the controls go first.
  DestroyChildren();
}

void PreferencesWindow::buildFrame() {
  wxPanel* panel = this->panel();
  wxArrayString names;
  for (const char* key : kPreferenceCategories) names.Add(toWx(getText("Preferences", key)));
  categories_ = new wxListBox(panel, wxID_ANY, wxPoint(10, 10), wxSize(kListWidth, kButtonY - 20), names,
                              wxLB_SINGLE);
  categories_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { selectCategory(categories_->GetSelection()); });
  caption_ = new wxStaticText(panel, wxID_ANY, wxString(), wxPoint(kPageX, 12), wxSize(kWidth - kPageX - 10, 22),
                              wxST_NO_AUTORESIZE);
  caption_->SetFont(captionFont());
  page_area_ = new wxPanel(panel, wxID_ANY, wxPoint(kPageX, kPageY),
                           wxSize(kWidth - kPageX - 10, kButtonY - kPageY - 10));
  new wxButton(panel, kPreferencesDefaults, toWx(getText("Dialog", "Defaults")), wxPoint(10, kButtonY),
               wxSize(kListWidth, kButtonHeight));
  auto* ok = new wxButton(panel, kPreferencesOk, toWx(getText("Dialog", "OK")), wxPoint(kWidth - 210, kButtonY),
                          wxSize(95, kButtonHeight));
  ok->SetDefault();
  new wxButton(panel, kPreferencesCancel, toWx(getText("Dialog", "Cancel")), wxPoint(kWidth - 105, kButtonY),
               wxSize(95, kButtonHeight));
}

void PreferencesWindow::buildPages() {
  buildGeneralPages(*this);
  buildInputPage(*this);
  buildOutputPage(*this);
  buildImagePages(*this);
  buildWatermarkPage(*this);
  for (wxWindow* page : pages_) {
    if (page) page->Hide();
  }
}

void PreferencesWindow::addField(std::function<void(const Settings&)> fill, std::function<void(Settings&)> read) {
  fills_.push_back(std::move(fill));
  reads_.push_back(std::move(read));
}

void PreferencesWindow::fillControls(const Settings& record) {
  for (const auto& fill : fills_) fill(record);
  applyRules();
}

void PreferencesWindow::readControls(Settings& record) const {
  for (const auto& read : reads_) read(record);
  record.language = "en";
  record.do_image_color_correction = record.image_brightness != 0 || record.image_contrast != 0 ||
                                     record.image_gamma != 1.0f || record.image_invert;
}

void PreferencesWindow::applyRules() {
  for (const auto& rule : rules_) rule();
  for (wxWindow* page : pages_) {
    if (page && page->IsShown()) relayoutPage(page);
  }
}

void PreferencesWindow::selectCategory(int index) {
  if (index < 0 || index >= kPreferenceCategoryCount) index = 0;
  for (int i = 0; i < kPreferenceCategoryCount; ++i) {
    if (pages_[static_cast<size_t>(i)] && i != index) pages_[static_cast<size_t>(i)]->Hide();
  }
  if (categories_->GetSelection() != index) categories_->SetSelection(index);
  caption_->SetLabel(toWx(getText("Preferences", kPreferenceCategories[index])));
  if (wxWindow* page = pages_[static_cast<size_t>(index)]) {
    page->Show();
    relayoutPage(page);
  }
}

int PreferencesWindow::selectedCategory() const { return categories_->GetSelection(); }

int PreferencesWindow::selectedOutputFormat() const {
  auto* box = dynamic_cast<PictureComboBox*>(FindWindowByName("output_format", const_cast<PreferencesWindow*>(this)));
  if (!box || box->GetSelection() == wxNOT_FOUND) return -1;
  return static_cast<int>(reinterpret_cast<intptr_t>(box->GetClientData(static_cast<unsigned>(box->GetSelection()))));
}

void PreferencesWindow::runCommand(int id) {
  if (id == kPreferencesOk) confirm();
  if (id == kPreferencesDefaults) resetToDefaults();
  if (id == kPreferencesCancel) cancel();
}

void PreferencesWindow::confirm() {
  Settings& s = settings();
  const Settings before = s;
  readControls(s);
  pending_window_refresh = reloadDecision(before, s, pending_window_refresh);
  saveSettings();
  const int format = selectedOutputFormat();
  closeWindow();
  applyPreferencesToWindow(format);
}

bool PreferencesWindow::resetToDefaults() {
  if (!confirmResetToDefaults()) return false;
  Settings& s = settings();
  const Settings before = s;
  applyDefaultSettings(false);
  pending_window_refresh = reloadDecision(before, s, pending_window_refresh);
  saveSettings();
  closeWindow();
  applyPreferencesToWindow(-1);
  if (mainWindow()) fillOutputFormatBox(mainWindow()->formatBox(), true);
  return true;
}

PreferencesWindow* openPreferencesDialog(wxWindow* parent) {
  auto* dialog = new PreferencesWindow(parent);
  dialog->fillControls(settings());
  dialog->selectCategory(preferences_start_page);
  if (parent) dialog->CentreOnParent();
  dialog->holdParent();
  dialog->Show();
  dialog->categoryList()->SetFocus();
  return dialog;
}

int reloadDecision(const Settings& before, const Settings& after, int pending) {
  if (after.ui_size != before.ui_size) pending = 2;
  if (after.ui_theme != before.ui_theme) pending = 1;
  return pending;
}

std::string cleanPreferenceText(const std::string& text) {
  std::string kept;
  kept.reserve(text.size());
  for (char c : text) {
    if (c != '\t' && c != '\r' && c != '\n') kept += c;
  }
  return trim(kept);
}

}  // namespace pixolune
