// The command line: option names and values, the option loop, profiles and
// the console mode's entry.
#ifndef PIXOLUNE_APP_COMMAND_LINE_H_
#define PIXOLUNE_APP_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace pixolune {

/// Exit statuses of the console mode (scripts tell outcomes apart by them).
enum ConsoleStatus : int {
  kExitOk = 0,         // Help, version, or every listed file converted.
  kExitError = 1,      // An "Error: " line, a parse error, or no input file found.
  kExitIncomplete = 2  // Fewer files converted than listed.
};

/// The arguments of one parse (the program's own name not counted), each
/// trimmed of spaces, and what the parse found.
struct CommandLine {
  std::vector<std::string> args;
  std::string error_text;  // First parse error, or empty.
  bool quiet = false;
  bool pause = false;
  bool input_given = false;
};

/// Upper-cased option name of argument i: empty unless it begins with "-";
/// for "--" forms the part before the first "=".
std::string optionName(const CommandLine& line, size_t i);

/// Text after the first "=" of a "--" argument, else the whole argument.
std::string optionValue(const CommandLine& line, size_t i);

/// Runs the option loop over line.args: fills Settings and the job's
/// input_folder/output_folder/output_extension, sets console_mode and the
/// run tag, records the first error in error_text.
void parseOptions(CommandLine& line);

/// Reads the "CLI" group of a profile file into Settings. False for an empty
/// path or a file that cannot be opened.
bool loadProfile(const std::string& path);

/// The console batch run over the parsed options; returns the exit status.
int runConsoleBatch(bool quiet);

/// The usage lines for a program file name (without folder and extension).
std::vector<std::string> usageLines(const std::string& program_name);

/// True when some argument's option name is "-I" or "--INPUT" (the start
/// of a console run).
bool asksForConsoleRun(int argc, char** argv);

}  // namespace pixolune

#endif  // PIXOLUNE_APP_COMMAND_LINE_H_
