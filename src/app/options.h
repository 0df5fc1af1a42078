// The option table of the command line and of console profiles: every long
// option name, its value form and its effect on Settings.
#ifndef PIXOLUNE_APP_OPTIONS_H_
#define PIXOLUNE_APP_OPTIONS_H_

#include <cstdint>
#include <span>
#include <string>

#include "app/keywords.h"
#include "settings/setting_fields.h"
#include "settings/settings.h"

namespace pixolune {

/// kSize is "WxH", two whole numbers (OptionValue number and second).
enum class ValueForm { kFlag, kInt, kFloat, kKeyword, kText, kSize };

/// Where an option may be given.
enum class OptionPlace { kBoth, kCommandLine, kProfile };

/// A parsed option value; which member counts depends on the form.
struct OptionValue {
  int32_t number = 0;  // int and keyword forms; a flag's 0 or 1; the width of kSize
  int32_t second = 0;  // kSize: the height
  bool percent = false;  // An int given with a "%" suffix (only where percent_ok).
  float real = 0.0f;   // float form
  std::string text;    // text form
};

/// An option of the command line or of a profile. Its field, the row of
/// the settings field table (settings/setting_fields.h) whose option is its
/// name, gives the member its value is stored in and the range of its
/// numbers.
struct OptionSpec {
  const char* name;  // Upper case, with its two dashes.
  ValueForm form;
  KeywordTable keyword_table;  // For kKeyword: its table; kKeywordsNone for the other forms.
  OptionPlace place;
  // What the option does besides storing its value in its field (switching
  // its stage on, say); null for nothing. Runs after the value is stored.
  void (*apply)(Settings&, const OptionValue&) = nullptr;
  // kKeyword: the table's words this option accepts, "|"-separated and in
  // upper case; null for the whole table.
  const char* words = nullptr;
  bool percent_ok = false;  // kInt: "50%" gives 50 with OptionValue::percent.
  // The option whose field this one sets, when it is another's (a profile's
  // older name; --FIT's width is --WIDTH's); null for the option's own.
  const char* field_of = nullptr;
  // Accepted numbers of an option without a field (the run's --JOBS), both
  // ends included; equal ends mean any 32-bit whole number (kInt) or any
  // finite number (kFloat). An option with a field takes its field's range.
  double min = 0;
  double max = 0;
};

/// Every option of the table, in the order of the usage documentation.
std::span<const OptionSpec> settingOptions();

/// The option's field; null for one that has none (a run option).
const SettingField* optionField(const OptionSpec& spec);

/// The numbers the option accepts (kInt, kFloat, kSize): its field's range,
/// else its own min and max.
SettingRange optionRange(const OptionSpec& spec);

/// Stores a value readOptionValue accepted in the option's field of
/// `record` (a flag or keyword as 0/1 into a switch, a size's width), then
/// runs the option's apply.
void applyOptionValue(const OptionSpec& spec, Settings& record, const OptionValue& value);

/// True when the option matters for what this build reads and writes (PSD
/// in, PNG out, every stage and naming option); the options of the other
/// formats the engine knows are parsed and kept, but not documented one by one.
bool optionIsForThisBuild(const OptionSpec& spec);

/// Reads `raw` in the option's value form into *value. False when it is not
/// one of the option's keywords, outside its range, or not a number where
/// one is needed (text such as "abc", "nan", "inf", "50px"); *error then
/// says what the option accepts ("expected a whole number from 0 to 360").
/// Flags accept "", "0" and "1". Texts always pass.
bool readOptionValue(const OptionSpec& spec, const std::string& raw, OptionValue* value, std::string* error);

/// The keyword an option shows for `code`: the first of its accepted words
/// with that code (so --png-compression's 2 is ZLIB6, not another format's
/// word); empty when there is none.
std::string optionKeyword(const std::string& upper_name, int code);

/// The known option name (lower case, with its dashes) closest to `name`
/// by edit distance, among the table and `extra_names`; empty when none
/// is close enough to be a likely misspelling.
std::string closestOptionName(const std::string& name, std::span<const char* const> extra_names);

/// The option with this upper-case name that may appear in `place`
/// (kCommandLine or kProfile); null when there is none.
const OptionSpec* findSettingOption(const std::string& upper_name, OptionPlace place);

/// Whole-number reading: leading spaces and tabs skipped, optional sign,
/// digits up to the first other character; no digits reads as 0.
int32_t parseInt(const std::string& text);

/// Decimal number with "."; "+Infinity", "-Infinity", "NaN" in any case;
/// no number reads as 0.
float parseFloat(const std::string& text);

}  // namespace pixolune

#endif  // PIXOLUNE_APP_OPTIONS_H_
