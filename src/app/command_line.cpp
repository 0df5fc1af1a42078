#include "app/command_line.h"

#include "app/keywords.h"
#include "app/options.h"
#include "app/startup.h"
#include "run/conversion_job.h"
#include "run/decode.h"
#include "run/helper_pool.h"
#include "inputs/input_list.h"
#include "run/worker.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "resources/product.h"
#include "settings/preference_file.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

// Long names the option loop knows besides the setting options (for the
// "did you mean" hint).
constexpr const char* kRunOptionNames[] = {"--input",   "--output",  "--conversion",  "--profile", "--jobs",
                                           "--render-layers", "--debug", "--quiet", "--pause",   "--help",
                                           "--version", "--null",    "--progress",    "--no-progress"};

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Removes every leading and trailing double quote.
std::string stripQuotes(const std::string& text) { return trim(text, "\""); }

bool endsWithQuote(const std::string& text) { return text.size() > 1 && text.back() == '"'; }

// The option as the user wrote it, without its "=value".
std::string writtenName(const std::string& arg) { return arg.substr(0, arg.find('=')); }

bool hasInlineValue(const std::string& arg) { return startsWith(arg, "--") && arg.find('=') != std::string::npos; }

// The text-value rule: a value that opens a double quote without closing it
// takes the following arguments, each after one space, until it closes.
std::string joinQuotedText(CommandLine& line, size_t& i, std::string value) {
  if (!value.empty() && value.front() == '"') {
    while (!endsWithQuote(value) && i + 1 < line.args.size()) value += " " + optionValue(line, ++i);
  }
  return stripQuotes(value);
}

bool isNegativeNumber(const std::string& text) {
  return text.size() > 1 && text[0] == '-' && ((text[1] >= '0' && text[1] <= '9') || text[1] == '.');
}

bool fail(CommandLine& line, const std::string& text) {
  line.error_text = text;
  return false;
}

// The value of the option at i: after "=" in the same argument, else the
// next argument (i advances), which must not be an option: "-" only where
// `stdin_ok`, a negative number only where `number_ok`.
bool takeValue(CommandLine& line, size_t& i, std::string* value, bool stdin_ok, bool number_ok) {
  const std::string name = writtenName(line.args[i]);
  if (hasInlineValue(line.args[i])) {
    *value = optionValue(line, i);
  } else {
    const std::string next = i + 1 < line.args.size() ? line.args[i + 1] : std::string();
    const bool dash = startsWith(next, "-") && !(stdin_ok && next == "-") && !(number_ok && isNegativeNumber(next));
    if (next.empty() || dash) return fail(line, "option " + name + " needs a value");
    *value = line.args[++i];
  }
  if (value->empty()) return fail(line, "option " + name + " needs a value");
  return true;
}

// How many following arguments the option at i takes as its value.
size_t separateValues(const CommandLine& line, size_t i, const std::string& name) {
  if (name == "-I" || name == "-O" || name == "-C") return 1;
  if (hasInlineValue(line.args[i])) return 0;
  if (name == "--INPUT" || name == "--OUTPUT" || name == "--CONVERSION" || name == "--PROFILE" || name == "--JOBS")
    return 1;
  const OptionSpec* spec = findSettingOption(name, OptionPlace::kCommandLine);
  return spec && spec->form != ValueForm::kFlag ? 1 : 0;
}

// Calls `visit` with each argument's index and option name (empty for an
// input), skipping the values of options; stops at "--" or when `visit`
// returns false.
template <class Visit>
void walkArguments(const CommandLine& line, Visit visit) {
  for (size_t i = 0; i < line.args.size(); ++i) {
    if (line.args[i] == "--") return;
    const std::string name = line.args[i] == "-" ? std::string() : optionName(line, i);
    if (!visit(i, name)) return;
    if (!name.empty()) i += separateValues(line, i, name);
  }
}

bool applySettingOption(CommandLine& line, size_t& i, const OptionSpec& spec) {
  const std::string name = writtenName(line.args[i]);
  std::string raw;
  if (spec.form == ValueForm::kFlag) {
    raw = hasInlineValue(line.args[i]) ? optionValue(line, i) : std::string();
  } else {
    const bool number = spec.form == ValueForm::kInt || spec.form == ValueForm::kFloat;
    if (!takeValue(line, i, &raw, false, number)) return false;
    if (spec.form == ValueForm::kText) raw = joinQuotedText(line, i, raw);
  }
  OptionValue v;
  std::string why;
  if (!readOptionValue(spec, raw, &v, &why)) return fail(line, "invalid value \"" + raw + "\" for " + name + ": " + why);
  applyOptionValue(spec, settings(), v);
  return true;
}

bool unknownOption(CommandLine& line, size_t i) {
  const std::string name = writtenName(line.args[i]);
  const std::string hint = closestOptionName(name, kRunOptionNames);
  return fail(line, "unknown option " + name + (hint.empty() ? "" : " (did you mean " + hint + "?)"));
}

void addInput(CommandLine& line, const std::string& path) {
  console_mode = true;
  line.input_given = true;
  consoleInputs().paths.push_back(path);
}

// A switch of the run itself: no value, "=1" or "=0" (off).
bool applyRunFlag(CommandLine& line, size_t i, const std::string& name) {
  const std::string& arg = line.args[i];
  const std::string raw = hasInlineValue(arg) ? optionValue(line, i) : std::string();
  const OptionSpec flag{"", ValueForm::kFlag, kKeywordsNone, OptionPlace::kCommandLine, nullptr};
  OptionValue v;
  std::string why;
  if (!readOptionValue(flag, raw, &v, &why)) return fail(line, "invalid value \"" + raw + "\" for " + writtenName(arg) + ": " + why);
  const bool on = v.number != 0;
  if (name == "--RENDER-LAYERS") setLayersAlwaysDrawn(on);  // For measuring: documents with layers are drawn from them.
  else if (name == "-D" || name == "--DEBUG") run_tag = on ? "DEBUG" : "";
  else if (name == "-Q" || name == "--QUIET") line.quiet = on;
  else if (name == "-P" || name == "--PAUSE") line.pause = on;
  else if (name == "--NULL") consoleInputs().null_separated = on;
  else if (on) line.progress = name == "--PROGRESS" ? 1 : 0;
  return true;
}

// Acts on one option; false on a parse error (error_text set).
bool applyOption(CommandLine& line, size_t& i, const std::string& name) {
  ConversionJob& job = conversionJob();
  const std::string& arg = line.args[i];
  std::string value;
  if (name == "-I" || name == "--INPUT") {
    console_mode = true;
    line.input_given = true;
    if (!takeValue(line, i, &value, true, false)) return false;
    addInput(line, joinQuotedText(line, i, value));
  } else if (name == "-O" || name == "--OUTPUT") {
    if (!takeValue(line, i, &value, false, false)) return false;
    job.output_folder = joinQuotedText(line, i, value);
  } else if (name == "-C" || name == "--CONVERSION") {
    if (!takeValue(line, i, &value, false, false)) return false;
    job.output_extension = stripQuotes(value);
  } else if (name == "--PROFILE") {
    if (!takeValue(line, i, &value, false, false)) return false;
    std::string error;
    if (!loadProfile(hasInlineValue(arg) ? joinQuotedText(line, i, value) : value, &error)) return fail(line, error);
  } else if (name == "--JOBS") {
    if (!takeValue(line, i, &value, false, false)) return false;
    OptionValue v;
    std::string why;
    const OptionSpec jobs{.name = "--JOBS", .form = ValueForm::kInt, .keyword_table = kKeywordsNone,
                          .place = OptionPlace::kCommandLine, .min = 1, .max = 256};
    if (!readOptionValue(jobs, value, &v, &why))
      return fail(line, "invalid value \"" + value + "\" for " + writtenName(arg) + ": " + why);
    conversionIsolation().jobs = v.number;
  } else if (name == "--RENDER-LAYERS" || name == "-D" || name == "--DEBUG" || name == "-Q" || name == "--QUIET" ||
             name == "-P" || name == "--PAUSE" || name == "--NULL" || name == "--PROGRESS" || name == "--NO-PROGRESS") {
    return applyRunFlag(line, i, name);
  } else if (name == "-H" || name == "-?" || name == "--HELP" || name == "-V" || name == "--VERSION") {
    // Answered before the loop (informationRequest).
  } else if (const OptionSpec* spec = findSettingOption(name, OptionPlace::kCommandLine)) {
    return applySettingOption(line, i, *spec);
  } else {
    return unknownOption(line, i);
  }
  return true;
}

// The line numbers of the [CLI] group's keys, upper-cased, in file order
// (for messages about a profile).
std::vector<std::pair<std::string, int>> profileKeyLines(const std::string& path) {
  std::vector<std::pair<std::string, int>> keys;
  std::string bytes;
  if (!readWholeFile(path, &bytes)) return keys;
  const std::string text = decodeTextFile(bytes);
  bool in_group = false;
  int number = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    ++number;
    const std::string row = trim(std::string_view(text).substr(start, end - start), " \t");
    if (!row.empty() && row[0] == '[') in_group = toUpper(trim(row, "[] \t")) == "CLI";
    else if (in_group && !row.empty() && row[0] != ';' && row.find('=') != std::string::npos)
      keys.emplace_back(toUpper(trim(row.substr(0, row.find('=')), " \t")), number);
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return keys;
}

// "FILE:LINE" of the first unclaimed line holding `key`, or the file alone.
std::string profilePlace(const std::string& path, std::vector<std::pair<std::string, int>>& keys,
                         const std::string& key) {
  for (auto& [name, number] : keys)
    if (number > 0 && name == key) {
      const int at = number;
      number = -number;  // Claimed: a key given twice gets its own line.
      return path + ":" + std::to_string(at);
    }
  return path;
}

}  // namespace

ConsoleInputs& consoleInputs() {
  static ConsoleInputs inputs;
  return inputs;
}

char informationRequest(const CommandLine& line) {
  char request = 0;
  walkArguments(line, [&](size_t, const std::string& name) {
    if (name == "-H" || name == "-?" || name == "--HELP") request = 'h';
    else if ((name == "-V" || name == "--VERSION") && request == 0) request = 'v';
    return request != 'h';
  });
  return request;
}

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
  consoleInputs() = ConsoleInputs{};
  bool options_ended = false;
  for (size_t i = 0; i < line.args.size(); ++i) {
    const std::string& arg = line.args[i];
    if (!options_ended && arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg.empty()) continue;
    if (options_ended || arg == "-" || arg[0] != '-') {
      addInput(line, arg);
      continue;
    }
    if (!applyOption(line, i, optionName(line, i))) return;
  }
}

bool loadProfile(const std::string& path, std::string* error) {
  PreferenceFile file;
  if (path.empty() || !file.openPreferences(path)) return *error = "Invalid profile file: " + path, false;
  std::vector<std::pair<std::string, int>> key_lines = profileKeyLines(path);
  file.selectGroup("CLI");
  for (bool more = file.firstEntryOfGroup(); more; more = file.nextEntry()) {
    const std::string key = toUpper(file.entryKey());
    const std::string place = profilePlace(path, key_lines, key);
    const OptionSpec* spec = findSettingOption(key, OptionPlace::kProfile);
    if (!spec) {
      const std::string hint = closestOptionName(key, {});
      consolePrintError(std::string(kProgramFileName) + ": " + place + ": unknown key " + file.entryKey() +
                        (hint.empty() ? "" : " (did you mean " + toUpper(hint) + "?)") + ", ignored");
      continue;
    }
    // Profile values are plain: texts only trimmed (the mask also loses its
    // quotes); an empty value sets a flag and is an error for a number.
    const std::string raw = trim(file.entryValue());
    OptionValue v;
    std::string why;
    if (!readOptionValue(*spec, spec->form == ValueForm::kText && key == "--FILENAME-MASK" ? stripQuotes(raw) : raw, &v,
                         &why)) {
      *error = place + ": invalid value \"" + raw + "\" for " + file.entryKey() + ": " + why;
      file.closePreferences();
      return false;
    }
    applyOptionValue(*spec, settings(), v);
  }
  file.closePreferences();
  return true;
}

bool asksForConsoleRun(int argc, char** argv) {
  CommandLine line;
  for (int a = 1; a < argc; ++a) line.args.push_back(trim(argv[a]));
  const std::string first = optionName(line, 0);
  if (line.args.empty() || first == "-U" || first == "-T") return false;
  bool console = false;
  walkArguments(line, [&](size_t i, const std::string& name) {
    console = name.empty() ? !line.args[i].empty() : name == "-I" || name == "--INPUT";
    return !console;
  });
  // Everything after "--" is an input.
  for (size_t i = 0; i + 1 < line.args.size() && !console; ++i)
    if (line.args[i] == "--") console = true;
  return console;
}

}  // namespace pixolune
