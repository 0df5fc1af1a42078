// The one table of the settings record's fields: where the settings file
// keeps each one, the console option that sets it, and the range a number
// must lie in. The settings file, the option parser, the console run's
// checks and the preferences pages all read it, so a key, an option or a
// range is written down once.
#ifndef PIXOLUNE_SETTINGS_SETTING_FIELDS_H_
#define PIXOLUNE_SETTINGS_SETTING_FIELDS_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "settings/settings.h"

namespace pixolune {

/// The member of Settings a field is.
using SettingMember = std::variant<int32_t Settings::*, uint8_t Settings::*, bool Settings::*, float Settings::*,
                                   std::string Settings::*>;

/// When the settings file writes a field's key.
enum class SettingStored {
  kAlways,
  kWindowSaved,   // Only while save_window_position is on.
  kInputFormat,   // Only for an entry of the input-format list equal to the field's format.
  kOutputFormat,  // Only for an entry of the output-format list equal to the field's format.
  kNever,         // A run option (set on the command line only): no key.
};

/// The numbers a field accepts, both ends included. An empty range
/// (min == max) accepts any value of the field's type.
struct SettingRange {
  double min = 0;
  double max = 0;
  bool limited() const { return min < max; }
};

struct SettingField {
  const char* group;   // Settings-file group ("Transform"); empty for kNever.
  const char* key;     // Its key there ("Image Rotation"); empty for kNever.
  SettingMember member;
  const char* name;    // The member's name ("image_rotation"), which its preferences control carries.
  SettingStored stored = SettingStored::kAlways;
  const char* format = "";   // kInputFormat / kOutputFormat: the lower-case format key.
  const char* option = "";   // The console option that sets it, upper case with its dashes; empty for none.
  SettingRange range = {};   // Numbers only.
  // 0 stands for "not given" (a resize target before one is chosen): it is
  // outside the range, and the default; checks of the range apply only to
  // a field whose stage is on.
  bool zero_unset = false;
};

/// Every field: the stored ones in the settings file's order, then the run
/// options. settings_file_path is not among them. A field's default is its
/// value in Settings{} (the loader's own defaults for missing keys are
/// stated by the settings file); it lies in the field's range, except a
/// zero_unset field's 0.
std::span<const SettingField> settingFields();

/// The row of `member`; null when the table has none (settings_file_path).
const SettingField* findSettingField(const SettingMember& member);

/// The row whose option is `upper_name` ("--WIDTH"); null when none is.
const SettingField* findSettingFieldOfOption(std::string_view upper_name);

/// The range of `member`'s row; empty when it has none or no row.
SettingRange settingRange(const SettingMember& member);

/// A number field's value as a double (a bool as 0 or 1); 0 for text.
double settingNumber(const Settings& record, const SettingField& field);

/// True when the field's value lies in its range (always for a field
/// without one). A float is compared as a float, so NaN is outside.
bool settingInRange(const Settings& record, const SettingField& field);
bool settingInRange(const Settings& record, const SettingMember& member);

}  // namespace pixolune

#endif  // PIXOLUNE_SETTINGS_SETTING_FIELDS_H_
