#include "settings/setting_fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "platform/text.h"
#include "settings/format_lists.h"
#include "settings/settings_file.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

bool stored(const SettingField& field) { return field.stored != SettingStored::kNever; }

TEST(SettingFields, KeysNamesAndMembersAreUniqueAndGroupsContiguous) {
  std::set<std::string> keys, names, groups_done;
  std::string group;
  bool run_options_began = false;
  for (const SettingField& field : settingFields()) {
    SCOPED_TRACE(field.name);
    EXPECT_TRUE(names.insert(field.name).second);
    EXPECT_EQ(&field, findSettingField(field.member)) << "member listed twice";
    if (!stored(field)) {
      run_options_began = true;
      EXPECT_STREQ("", field.key);
      continue;
    }
    EXPECT_FALSE(run_options_began) << "stored fields come first";
    // The file matches groups and keys without regard to case.
    EXPECT_TRUE(keys.insert(toLower(std::string(field.group) + "/" + field.key)).second);
    // Each group is written once, when the save meets it first.
    if (field.group != group) {
      EXPECT_TRUE(groups_done.insert(field.group).second) << field.group << " is split";
      group = field.group;
    }
    const bool per_format =
        field.stored == SettingStored::kInputFormat || field.stored == SettingStored::kOutputFormat;
    EXPECT_EQ(per_format, std::string(field.format) != "");
  }
  EXPECT_EQ(nullptr, findSettingField(&Settings::settings_file_path));
}

// What the type of the member can hold.
SettingRange typeLimits(const SettingField& field) {
  if (std::holds_alternative<uint8_t Settings::*>(field.member)) return {0, 255};
  if (std::holds_alternative<int32_t Settings::*>(field.member)) return {-2147483648.0, 2147483647.0};
  if (std::holds_alternative<float Settings::*>(field.member)) return {-1e30, 1e30};
  return {};
}

TEST(SettingFields, RangesFitTheirTypesAndHoldTheDefaults) {
  const Settings defaults;
  for (const SettingField& field : settingFields()) {
    SCOPED_TRACE(field.name);
    if (!field.range.limited()) continue;
    const SettingRange limits = typeLimits(field);
    ASSERT_TRUE(limits.limited()) << "a range on a field that is not a number";
    EXPECT_GE(field.range.min, limits.min);
    EXPECT_LE(field.range.max, limits.max);
    const double value = settingNumber(defaults, field);
    if (field.zero_unset && value == 0) continue;
    EXPECT_TRUE(settingInRange(defaults, field)) << value << " outside " << field.range.min << ".." << field.range.max;
  }
}

TEST(SettingFields, InRangeIncludesBothEndsAndRefusesNotANumber) {
  Settings s;
  s.jpg_quality = 100;
  EXPECT_TRUE(settingInRange(s, &Settings::jpg_quality));
  s.jpg_quality = 101;
  EXPECT_FALSE(settingInRange(s, &Settings::jpg_quality));
  s.image_gamma = 0.01f;
  EXPECT_TRUE(settingInRange(s, &Settings::image_gamma));
  s.image_gamma = 0.0099f;
  EXPECT_FALSE(settingInRange(s, &Settings::image_gamma));
  s.image_gamma = NAN;
  EXPECT_FALSE(settingInRange(s, &Settings::image_gamma));
  s.image_width = 0;  // Not given: outside, though it is the default.
  EXPECT_FALSE(settingInRange(s, &Settings::image_width));
  s.update_date = -5;  // No range.
  EXPECT_TRUE(settingInRange(s, &Settings::update_date));
  EXPECT_TRUE(settingInRange(s, &Settings::filename_mask));
}

// A value of the field other than its default, inside its range.
void changeField(Settings& s, const SettingField& field) {
  const double number = settingNumber(s, field);
  const SettingRange& r = field.range;
  const double other = r.limited() ? (number == r.max ? r.min : r.max) : number + 7;
  std::visit(
      [&](auto member) {
        using T = std::remove_cvref_t<decltype(s.*member)>;
        if constexpr (std::is_same_v<T, std::string>) s.*member += "-x";
        else if constexpr (std::is_same_v<T, bool>) s.*member = !(s.*member);
        else if constexpr (std::is_same_v<T, float>) s.*member = r.limited() ? static_cast<float>(other) : 2.5f;
        else s.*member = static_cast<T>(other);
      },
      field.member);
}

TEST(SettingFields, EveryStoredFieldSurvivesASaveAndALoad) {
  testing::TempDir dir;
  inputFormatList().clear();
  outputFormatList().clear();
  for (const SettingField& field : settingFields()) {
    if (field.stored == SettingStored::kInputFormat) inputFormatList().push_back(field.format);
    if (field.stored == SettingStored::kOutputFormat) outputFormatList().push_back(field.format);
  }
  Settings& s = settings();
  s.settings_file_path = dir.file("config.ini");
  applyDefaultSettings(false);
  const Settings defaults = s;
  for (const SettingField& field : settingFields())
    if (stored(field) && field.member != SettingMember(&Settings::cfg_version)) changeField(s, field);
  s.save_window_position = true;  // Else the window keys are not written.
  s.cfg_version = kSettingsLayoutVersion;
  const Settings changed = s;
  ASSERT_TRUE(saveSettings());
  applyDefaultSettings(false);
  loadSettings();
  for (const SettingField& field : settingFields()) {
    SCOPED_TRACE(field.name);
    if (!stored(field)) {
      EXPECT_EQ(settingNumber(defaults, field), settingNumber(s, field)) << "a run option is not stored";
      continue;
    }
    std::visit([&](auto member) { EXPECT_EQ(changed.*member, s.*member); }, field.member);
    if (field.member != SettingMember(&Settings::cfg_version) &&
        field.member != SettingMember(&Settings::save_window_position))
      std::visit([&](auto member) { EXPECT_NE(defaults.*member, s.*member); }, field.member);
  }
  createFormatLists();
  s.settings_file_path.clear();
  applyDefaultSettings(false);
}

}  // namespace
}  // namespace pixolune
