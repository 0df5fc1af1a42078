// The General, Interface and Advanced pages of the preferences dialog.
#include <wx/datectrl.h>
#include <wx/dateevt.h>
#include <wx/timectrl.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <utility>

#include "resources/string_table.h"
#include "resources/themes.h"
#include "ui/preferences_dialog_controls.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

void buildGeneral(PreferencesWindow& dialog) {
  PageBuilder page(newCategoryPage(dialog, 0));
  wxArrayString languages;
  languages.Add("English");
  auto* language = new wxChoice(page.page(), wxID_ANY, wxDefaultPosition, wxDefaultSize, languages);
  language->SetName("language");
  language->SetSelection(0);
  page.row("Language", language);
  wxChoice* updates = page.choice("update_range", {"Every day", "Every week", "Every month", "Every 3 months",
                                                   "Every 6 months", "Never"});
  page.row("Check for Updates", updates);
  bindChoice(dialog, updates, &Settings::update_range);
  wxCheckBox* position = page.check("save_window_position");
  page.row("Save window position", position);
  bindCheck(dialog, position, &Settings::save_window_position);
}

// The installed themes by display name, ascending.
std::vector<std::pair<std::string, std::string>> themesByDisplayName() {
  std::vector<std::pair<std::string, std::string>> themes;  // (display name, file name)
  for (const auto& [file, display] : themeList().display_names) themes.emplace_back(display, file);
  std::sort(themes.begin(), themes.end());
  return themes;
}

void buildInterface(PreferencesWindow& dialog) {
  PageBuilder page(newCategoryPage(dialog, 1));
  auto themes = std::make_shared<std::vector<std::pair<std::string, std::string>>>(themesByDisplayName());
  wxArrayString names;
  for (const auto& theme : *themes) names.Add(toWx(theme.first));
  if (names.empty()) names.Add(toWx(getText("Preferences", "None")));
  auto* theme = new wxChoice(page.page(), wxID_ANY, wxDefaultPosition, wxDefaultSize, names);
  theme->SetName("ui_theme");
  page.row("UI Theme", theme);
  dialog.addField(
      [theme, themes](const Settings& s) {
        theme->SetSelection(0);
        for (size_t i = 0; i < themes->size(); ++i) {
          if ((*themes)[i].second == s.ui_theme) theme->SetSelection(static_cast<int>(i));
        }
      },
      [theme, themes](Settings& s) {
        // With no theme installed ("None") the stored name stays.
        const int chosen = theme->GetSelection();
        if (chosen >= 0 && static_cast<size_t>(chosen) < themes->size())
          s.ui_theme = (*themes)[static_cast<size_t>(chosen)].second;
      });
  wxChoice* size = page.choice("ui_size", {"Small", "Medium", "Large", "Extra Large", "Huge"});
  page.row("UI Size", size);
  bindChoice(dialog, size, &Settings::ui_size);
}

// The custom timestamp as date and time boxes: minutes are the finest step,
// so a value shown and not changed keeps its seconds.
void bindTimestamp(PreferencesWindow& dialog, wxDatePickerCtrl* date, wxTimePickerCtrl* time) {
  auto shown = std::make_shared<int32_t>(0);
  dialog.addField(
      [date, time, shown](const Settings& s) {
        *shown = s.custom_timestamp;
        const time_t value = s.custom_timestamp;
        std::tm parts{};
        localtime_r(&value, &parts);  // Unix time, shown as the user's local time.
        const wxDateTime when(static_cast<wxDateTime::wxDateTime_t>(parts.tm_mday),
                              static_cast<wxDateTime::Month>(parts.tm_mon), parts.tm_year + 1900,
                              static_cast<wxDateTime::wxDateTime_t>(parts.tm_hour),
                              static_cast<wxDateTime::wxDateTime_t>(parts.tm_min));
        date->SetValue(when);
        time->SetValue(when);
      },
      [date, time, shown](Settings& s) {
        const wxDateTime day = date->GetValue();
        const wxDateTime clock = time->GetValue();
        std::tm parts{};
        parts.tm_year = day.GetYear() - 1900;
        parts.tm_mon = static_cast<int>(day.GetMonth());
        parts.tm_mday = day.GetDay();
        parts.tm_hour = clock.GetHour();
        parts.tm_min = clock.GetMinute();
        parts.tm_isdst = -1;
        const int32_t minutes = static_cast<int32_t>(mktime(&parts));
        s.custom_timestamp = minutes == *shown - *shown % 60 ? *shown : minutes;
      });
}

void buildAdvanced(PreferencesWindow& dialog) {
  PageBuilder page(newCategoryPage(dialog, 8));
  wxTextCtrl* mask = page.text("filename_mask");
  page.row("Filename Mask", mask);
  bindText(dialog, mask, &Settings::filename_mask, true);
  wxChoice* stamp = page.choice("file_timestamp", {"Current", "Original", "Custom"});
  page.row("File Timestamp", stamp);
  bindChoice(dialog, stamp, &Settings::file_timestamp);
  auto* date = new wxDatePickerCtrl(page.page(), wxID_ANY, wxDefaultDateTime, wxDefaultPosition, wxDefaultSize,
                                    wxDP_DROPDOWN | wxDP_SHOWCENTURY);
  date->SetName("custom_timestamp");
  auto* time = new wxTimePickerCtrl(page.page(), wxID_ANY);
  time->SetName("custom_timestamp.time");
  auto* when = new wxBoxSizer(wxHORIZONTAL);
  when->Add(date, 0, wxALIGN_CENTER_VERTICAL);
  when->Add(time, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
  page.row("Custom Timestamp", when);
  bindTimestamp(dialog, date, time);
  dialog.addRule([stamp, date, time] {
    const bool custom = stamp->GetSelection() == 2;
    date->Enable(custom);
    time->Enable(custom);
  });
  wxChoice* history = page.choice("out_folders_history", {"Clean On Exit", "Keep Folders"});
  page.row("Out Folders History", history);
  bindChoice(dialog, history, &Settings::out_folders_history);
  LinkedSlider* number =
      dialog.keep(std::make_unique<LinkedSlider>(page.page(), "out_folders_number", &Settings::out_folders_number));
  page.row("Out Folders Number", number->sizer());
  bindSlider(dialog, number, &Settings::out_folders_number);
  wxCheckBox* subfolders = page.check("keep_subfolders");
  page.row("Keep Subfolders", subfolders);
  bindCheck(dialog, subfolders, &Settings::keep_subfolders);
}

}  // namespace

void buildGeneralPages(PreferencesWindow& dialog) {
  buildGeneral(dialog);
  buildInterface(dialog);
  buildAdvanced(dialog);
}

}  // namespace pixolune
