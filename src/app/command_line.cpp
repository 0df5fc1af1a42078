#include "app/command_line.h"

#include "app/keywords.h"
#include "app/options.h"
#include "app/startup.h"
#include "engine/conversion_job.h"
#include "engine/decode.h"
#include "engine/helper_pool.h"
#include "engine/input_list.h"
#include "engine/worker.h"
#include "platform/text.h"
#include "settings/preference_file.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

const char kParameterError[] = "Incorrect number of parameters";

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Removes every leading and trailing double quote.
std::string stripQuotes(const std::string& text) { return trim(text, "\""); }

bool endsWithQuote(const std::string& text) { return text.size() > 1 && text.back() == '"'; }

// The text-value rule: a value that opens a double quote without closing it
// takes the following arguments, each after one space, until it closes.
std::string joinQuotedText(CommandLine& line, size_t& i, std::string value) {
  if (!value.empty() && value.front() == '"') {
    while (!endsWithQuote(value) && i + 1 < line.args.size()) value += " " + optionValue(line, ++i);
  }
  return stripQuotes(value);
}

// Value of "-I", "-O", "-C": after "=" in the long form, else the next argument.
bool basicValue(CommandLine& line, size_t& i, std::string* value) {
  const std::string& arg = line.args[i];
  if (startsWith(arg, "--")) *value = optionValue(line, i);
  else *value = i + 1 < line.args.size() ? line.args[++i] : std::string();
  return !value->empty() && (*value)[0] != '-';
}

// Value of a long option: must follow "=" in the same argument.
bool longValue(CommandLine& line, size_t i, std::string* value) {
  *value = optionValue(line, i);
  return !value->empty() && !startsWith(*value, "--");
}

bool applySettingOption(CommandLine& line, size_t& i, const OptionSpec& spec) {
  OptionValue v;
  if (spec.form != ValueForm::kFlag) {
    std::string raw;
    if (!startsWith(line.args[i], "--") || !longValue(line, i, &raw)) return false;
    switch (spec.form) {
      case ValueForm::kInt: v.number = parseInt(raw); break;
      case ValueForm::kFloat: v.real = parseFloat(raw); break;
      case ValueForm::kKeyword: v.number = keywordToCode(spec.keyword_table, trim(raw)); break;
      case ValueForm::kText: v.text = joinQuotedText(line, i, raw); break;
      case ValueForm::kFlag: break;
    }
  }
  spec.apply(settings(), v);
  return true;
}

// Acts on one option; false on a parse error (error_text set).
bool applyOption(CommandLine& line, size_t& i, const std::string& name) {
  ConversionJob& job = conversionJob();
  std::string value;
  if (name == "-I" || name == "--INPUT") {
    console_mode = true;
    line.input_given = true;
    if (!basicValue(line, i, &value)) return line.error_text = kParameterError, false;
    job.input_folder = joinQuotedText(line, i, value);
  } else if (name == "-O" || name == "--OUTPUT") {
    if (!basicValue(line, i, &value)) return line.error_text = kParameterError, false;
    job.output_folder = joinQuotedText(line, i, value);
  } else if (name == "-C" || name == "--CONVERSION") {
    if (!basicValue(line, i, &value)) return line.error_text = kParameterError, false;
    job.output_extension = stripQuotes(value);
  } else if (name == "--PROFILE") {
    if (!longValue(line, i, &value)) return line.error_text = kParameterError, false;
    if (!loadProfile(joinQuotedText(line, i, value))) return line.error_text = "Invalid profile file", false;
  } else if (name == "--JOBS") {
    if (!longValue(line, i, &value)) return line.error_text = kParameterError, false;
    const int jobs = parseInt(value);
    if (jobs < 1 || jobs > 256) return line.error_text = "Invalid jobs value", false;
    conversionIsolation().jobs = jobs;
  } else if (name == "--RENDER-LAYERS") {
    setLayersAlwaysDrawn(true);  // For measuring: documents with layers are drawn from them.
  } else if (name == "-D" || name == "--DEBUG") {
    run_tag = "DEBUG";
  } else if (name == "-Q" || name == "--QUIET") {
    line.quiet = true;
  } else if (name == "-P" || name == "--PAUSE") {
    line.pause = true;
  } else if (const OptionSpec* spec = findSettingOption(name, OptionPlace::kCommandLine)) {
    if (!applySettingOption(line, i, *spec)) return line.error_text = kParameterError, false;
  }
  return true;
}

}  // namespace

std::string optionName(const CommandLine& line, size_t i) {
  if (i >= line.args.size()) return "";
  const std::string& arg = line.args[i];
  if (!startsWith(arg, "-")) return "";
  if (startsWith(arg, "--")) return toUpper(arg.substr(0, arg.find('=')));
  return toUpper(arg);
}

std::string optionValue(const CommandLine& line, size_t i) {
  if (i >= line.args.size()) return "";
  const std::string& arg = line.args[i];
  size_t eq = arg.find('=');
  if (startsWith(arg, "--") && eq != std::string::npos) return arg.substr(eq + 1);
  return arg;
}

void parseOptions(CommandLine& line) {
  for (size_t i = 0; i < line.args.size(); ++i) {
    std::string name = optionName(line, i);
    if (!name.empty() && !applyOption(line, i, name)) return;
  }
}

bool loadProfile(const std::string& path) {
  PreferenceFile file;
  if (path.empty() || !file.openPreferences(path)) return false;
  file.selectGroup("CLI");
  for (bool more = file.firstEntryOfGroup(); more; more = file.nextEntry()) {
    const std::string key = toUpper(file.entryKey());
    const OptionSpec* spec = findSettingOption(key, OptionPlace::kProfile);
    if (!spec) continue;
    // Profile values are plain: texts only trimmed (the mask also loses its
    // quotes), empty values allowed, flags set whatever the value.
    const std::string raw = file.entryValue();
    OptionValue v;
    switch (spec->form) {
      case ValueForm::kInt: v.number = parseInt(raw); break;
      case ValueForm::kFloat: v.real = parseFloat(raw); break;
      case ValueForm::kKeyword: v.number = keywordToCode(spec->keyword_table, trim(raw)); break;
      case ValueForm::kText: v.text = key == "--FILENAME-MASK" ? stripQuotes(trim(raw)) : trim(raw); break;
      case ValueForm::kFlag: break;
    }
    spec->apply(settings(), v);
  }
  file.closePreferences();
  return true;
}

bool asksForConsoleRun(int argc, char** argv) {
  CommandLine line;
  for (int a = 1; a < argc; ++a) line.args.push_back(trim(argv[a]));
  for (size_t i = 0; i < line.args.size(); ++i) {
    std::string name = optionName(line, i);
    if (name == "-I" || name == "--INPUT") return true;
  }
  return false;
}

}  // namespace pixolune
