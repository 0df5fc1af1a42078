#include "ui/preferences_dialog.h"

#include <wx/button.h>
#include <wx/display.h>
#include <wx/font.h>
#include <wx/scrolwin.h>
#include <wx/settings.h>
#include <wx/sizer.h>

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

constexpr int kListWidth = 130;
constexpr int kButtonHeight = 30;

// The caption font: bold, 10 points, of the desktop's dialog family.
wxFont captionFont() {
  wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
  font.SetPointSize(10);
  font.SetWeight(wxFONTWEIGHT_BOLD);
  return font;
}

}  // namespace

wxSize preferencesOpeningSize(wxWindow* parent) {
  const int found = parent ? wxDisplay::GetFromWindow(parent) : wxNOT_FOUND;
  const wxRect screen = wxDisplay(found == wxNOT_FOUND ? 0u : static_cast<unsigned>(found)).GetClientArea();
  const Settings& s = settings();
  return wxSize(std::max(kPreferencesWidth, std::min(s.preferences_width, screen.width)),
                std::max(kPreferencesHeight, std::min(s.preferences_height, screen.height)));
}

PreferencesWindow::PreferencesWindow(wxWindow* parent) : PreferencesWindow(parent, preferencesOpeningSize(parent)) {}

PreferencesWindow::PreferencesWindow(wxWindow* parent, wxSize size)
    : SmallWindow(parent, getText("Preferences", "Title"), size.x, size.y, WindowSizing::kResizable),
      pages_(kPreferenceCategoryCount, nullptr) {
  SetId(windowId(kWindowPreferences));
  buildFrame();
  buildPages();
  SetMinClientSize(wxSize(420, 260));
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
  rememberSize();
  // The controls' handlers use the helper objects: the controls go first.
  DestroyChildren();
}

void PreferencesWindow::rememberSize() const {
  if (IsMaximized()) return;  // A maximised dialog keeps the size it had before.
  settings().preferences_width = GetClientSize().x;
  settings().preferences_height = GetClientSize().y;
}

void PreferencesWindow::buildFrame() {
  wxPanel* panel = this->panel();
  wxArrayString names;
  for (const char* key : kPreferenceCategories) names.Add(toWx(getText("Preferences", key)));
  categories_ = new wxListBox(panel, wxID_ANY, wxDefaultPosition, wxSize(kListWidth, 100), names, wxLB_SINGLE);
  categories_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { selectCategory(categories_->GetSelection()); });
  caption_ = new wxStaticText(panel, wxID_ANY, wxString(), wxDefaultPosition, wxSize(100, 22), wxST_NO_AUTORESIZE);
  caption_->SetFont(captionFont());
  page_area_ = new wxPanel(panel, wxID_ANY);
  page_area_->SetSizer(new wxBoxSizer(wxVERTICAL));
  auto* defaults = new wxButton(panel, kPreferencesDefaults, toWx(getText("Dialog", "Defaults")), wxDefaultPosition,
                                wxSize(kListWidth, kButtonHeight));
  auto* ok = new wxButton(panel, kPreferencesOk, toWx(getText("Dialog", "OK")), wxDefaultPosition,
                          wxSize(95, kButtonHeight));
  ok->SetDefault();
  auto* cancel = new wxButton(panel, kPreferencesCancel, toWx(getText("Dialog", "Cancel")), wxDefaultPosition,
                              wxSize(95, kButtonHeight));
  // The list and the buttons keep their sizes; the page takes what is left.
  auto* right = new wxBoxSizer(wxVERTICAL);
  right->Add(caption_, 0, wxEXPAND | wxTOP, 2);
  right->Add(page_area_, 1, wxEXPAND | wxTOP, 6);
  auto* body = new wxBoxSizer(wxHORIZONTAL);
  body->Add(categories_, 0, wxEXPAND);
  body->Add(right, 1, wxEXPAND | wxLEFT, 10);
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->Add(defaults, 0);
  buttons->AddStretchSpacer();
  buttons->Add(ok, 0);
  buttons->Add(cancel, 0, wxLEFT, 10);
  auto* all = new wxBoxSizer(wxVERTICAL);
  all->Add(body, 1, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 10);
  all->Add(buttons, 0, wxEXPAND | wxALL, 10);
  panel->SetSizer(all);
}

void PreferencesWindow::buildPages() {
  buildGeneralPages(*this);
  buildInputPage(*this);
  buildOutputPage(*this);
  buildImagePages(*this);
  buildWatermarkPage(*this);
  for (wxWindow* page : pages_) {
    if (!page) continue;
    wheelScrollsPage(page);
    page->Hide();
  }
  panel()->Layout();
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
    page_area_->Layout();
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

bool PreferencesWindow::checkControls() {
  for (const auto& [control, problem] : checks_) {
    const std::string message = problem();
    if (message.empty()) continue;
    showField(control);
    showError(message);
    return false;
  }
  return true;
}

bool PreferencesWindow::confirmMask() {
  auto* box = dynamic_cast<wxTextCtrl*>(FindWindowByName("filename_mask", this));
  if (!box) return true;
  const std::string mask = cleanPreferenceText(fromWx(box->GetValue()));
  if (toLower(mask).find("%ext%") != std::string::npos) return true;
  const std::string question = fieldLabel(box) + ": \"" + mask +
                               "\" has no %ext%, so the files are written without an extension. Keep this mask?";
  if (showMessage(getText("Msg", "Warning"), question, MessageButtons::kYesNo, MessageIcon::kWarning) ==
      MessageAnswer::kYes)
    return true;
  showField(box);
  return false;
}

void PreferencesWindow::showField(wxWindow* control) {
  for (int i = 0; i < kPreferenceCategoryCount; ++i) {
    wxWindow* page = pages_[static_cast<size_t>(i)];
    if (!page || !page->IsDescendant(control)) continue;
    selectCategory(i);
    auto* scrolled = dynamic_cast<wxScrolledWindow*>(page);
    if (!scrolled) break;
    // Scrolled so that the field is in sight, when it is not.
    const wxPoint at = scrolled->ScreenToClient(control->GetScreenPosition());
    if (at.y >= 0 && at.y + control->GetSize().y <= scrolled->GetClientSize().y) break;
    const wxPoint unscrolled = scrolled->CalcUnscrolledPosition(at);
    int step_x = 1;
    int step_y = 1;
    scrolled->GetScrollPixelsPerUnit(&step_x, &step_y);
    scrolled->Scroll(-1, std::max(0, unscrolled.y / std::max(1, step_y)));
    break;
  }
  control->SetFocus();
}

bool PreferencesWindow::confirm() {
  if (!checkControls() || !confirmMask()) return false;
  Settings& s = settings();
  const Settings before = s;
  readControls(s);
  pending_window_refresh = reloadDecision(before, s, pending_window_refresh);
  rememberSize();
  saveSettings();
  const int format = selectedOutputFormat();
  closeWindow();
  applyPreferencesToWindow(format);
  return true;
}

bool PreferencesWindow::resetToDefaults() {
  if (!confirmResetToDefaults()) return false;
  Settings& s = settings();
  const Settings before = s;
  applyDefaultSettings(false);
  pending_window_refresh = reloadDecision(before, s, pending_window_refresh);
  rememberSize();
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
