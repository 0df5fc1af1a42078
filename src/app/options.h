// The option table of the command line and of console profiles: every long
// option name, its value form and its effect on Settings.
#ifndef PIXOLUNE_APP_OPTIONS_H_
#define PIXOLUNE_APP_OPTIONS_H_

#include <cstdint>
#include <string>

#include "app/keywords.h"
#include "settings/settings.h"

namespace pixolune {

enum class ValueForm { kFlag, kInt, kFloat, kKeyword, kText };

/// Where an option may be given.
enum class OptionPlace { kBoth, kCommandLine, kProfile };

/// A parsed option value; which member counts depends on the form.
struct OptionValue {
  int32_t number = 0;  // int and keyword forms
  float real = 0.0f;   // float form
  std::string text;    // text form
};

struct OptionSpec {
  const char* name;  // Upper case, with its two dashes.
  ValueForm form;
  KeywordTable keyword_table;  // For kKeyword: its table; kKeywordsNone for the other forms.
  OptionPlace place;
  void (*apply)(Settings&, const OptionValue&);
};

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
