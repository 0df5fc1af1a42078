#include "settings/settings_file.h"

#include <string>
#include <type_traits>
#include <variant>

#include "platform/text.h"
#include "settings/format_lists.h"
#include "settings/preference_file.h"
#include "settings/setting_fields.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

/// The values a missing key takes: the record's defaults, except that a
/// file without "CFG" counts as version 0, the window sits at 100, 100 and
/// the formats are the first entries of the format lists.
Settings defaultsForLoading() {
  Settings base;
  base.cfg_version = 0;
  base.update_date = currentDate();
  base.custom_timestamp = base.update_date;
  base.window_x = 100;
  base.window_y = 100;
  base.keep_aspect_ratio = true;
  if (!inputFormatList().empty()) base.input_format = inputFormatList().front();
  if (!outputFormatList().empty()) base.output_format = outputFormatList().front();
  return base;
}

void readRow(const PreferenceFile& file, const SettingField& row, const Settings& base, Settings& out) {
  std::visit(
      [&](auto member) {
        using T = std::remove_cvref_t<decltype(out.*member)>;
        if constexpr (std::is_same_v<T, std::string>) {
          out.*member = file.readText(row.key, base.*member);
        } else if constexpr (std::is_same_v<T, float>) {
          out.*member = file.readFloat(row.key, base.*member);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          out.*member = file.readInteger(row.key, base.*member);
        } else {  // One-byte fields keep the low 8 bits of what is read.
          out.*member = static_cast<T>(file.readInteger(row.key, base.*member) & 0xFF);
        }
      },
      row.member);
}

void writeRow(PreferenceFile& file, const SettingField& row, const Settings& in) {
  if (row.member == SettingMember(&Settings::cfg_version)) {
    file.writeInteger(row.key, kSettingsLayoutVersion);
    return;
  }
  std::visit(
      [&](auto member) {
        using T = std::remove_cvref_t<decltype(in.*member)>;
        if constexpr (std::is_same_v<T, std::string>) file.writeText(row.key, in.*member);
        else if constexpr (std::is_same_v<T, float>) file.writeFloat(row.key, in.*member);
        else if constexpr (std::is_same_v<T, uint8_t>) file.writeInteger(row.key, static_cast<int8_t>(in.*member));
        else file.writeInteger(row.key, static_cast<int32_t>(in.*member));
      },
      row.member);
}

/// Writes the rows of one group; format rows follow the order of the list.
void writeGroup(PreferenceFile& file, std::string_view group, const Settings& in) {
  file.selectGroup(group);
  for (const SettingField& row : settingFields()) {
    if (group != row.group) continue;
    if (row.stored == SettingStored::kAlways || (row.stored == SettingStored::kWindowSaved && in.save_window_position))
      writeRow(file, row, in);
  }
  for (SettingStored stored : {SettingStored::kInputFormat, SettingStored::kOutputFormat}) {
    const auto& list = stored == SettingStored::kInputFormat ? inputFormatList() : outputFormatList();
    for (const std::string& format : list)
      for (const SettingField& row : settingFields())
        if (group == row.group && row.stored == stored && format == row.format) writeRow(file, row, in);
  }
  file.writeComment("");
}

/// The mask is matched as the file-name mask reads it, without regard to
/// case, so "%EXT%" already counts as the extension token.
void migrate(Settings& s) {
  if (s.cfg_version < 11 && findIgnoreCase(s.filename_mask, "%ext%") == std::string::npos) s.filename_mask += ".%ext%";
  if (s.cfg_version < 14 && s.raw_load_as != 0) s.raw_load_as += 2;
}

}  // namespace

void loadSettings() {
  Settings& s = settings();
  PreferenceFile file;
  if (!file.openPreferences(s.settings_file_path)) {
    applyDefaultSettings(false);
  } else {
    const Settings base = defaultsForLoading();
    Settings loaded = base;
    loaded.settings_file_path = s.settings_file_path;
    for (const SettingField& row : settingFields()) {
      if (row.stored == SettingStored::kNever) continue;
      file.selectGroup(row.group);
      readRow(file, row, base, loaded);
    }
    file.closePreferences();
    s = loaded;
  }
  migrate(s);
}

void visitSettingsFields(Settings& record, SettingsFieldVisitor& visitor) {
  for (const SettingField& row : settingFields()) {
    if (row.stored == SettingStored::kNever) continue;
    std::visit([&](auto member) { visitor.field(record.*member); }, row.member);
  }
}

bool saveSettings(FileSystem& fs) {
  const Settings& s = settings();
  PreferenceFile file;
  if (!file.createPreferences(s.settings_file_path)) return false;
  std::string_view previous;
  for (const SettingField& row : settingFields()) {
    if (row.stored == SettingStored::kNever || row.group == previous) continue;
    previous = row.group;
    writeGroup(file, row.group, s);
  }
  return file.closePreferences(nullptr, fs);
}

}  // namespace pixolune
