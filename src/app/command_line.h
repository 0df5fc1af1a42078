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
  bool input_given = false;  // An "-i" or a bare argument was met: a console run.
  int progress = -1;  // Progress line: -1 when stderr is a terminal and not quiet, 0 off, 1 on.
};

/// The inputs of a console run, in the order given: every "-i" value and
/// every argument that is not an option (after "--", every argument). "-"
/// is standard input, read as a list of paths: one a line, or NUL-separated
/// with null_separated ("--null"). Filled by parseOptions.
struct ConsoleInputs {
  std::vector<std::string> paths;
  bool null_separated = false;
};
ConsoleInputs& consoleInputs();

/// What the line asks for before any option is acted on: help ("-h", "-?",
/// "--help") or the version ("-v", "--version") anywhere before "--",
/// values of options not counted. 'h', 'v' or 0.
char informationRequest(const CommandLine& line);

/// Upper-cased option name of argument i: empty unless it begins with "-";
/// for "--" forms the part before the first "=".
std::string optionName(const CommandLine& line, size_t i);

/// Text after the first "=" of a "--" argument, else the whole argument.
std::string optionValue(const CommandLine& line, size_t i);

/// Runs the option loop over line.args: fills Settings, consoleInputs() and
/// the job's output_folder/output_extension, sets console_mode and the run
/// tag, records the first error in error_text and stops there. An unknown
/// option, a missing value, and a value the option does not accept (see
/// readOptionValue) are errors that name the option. A long option takes
/// its value after "=" or as the next argument; a flag only after "=".
void parseOptions(CommandLine& line);

/// Reads the "CLI" group of a profile file into Settings. False for an empty
/// path, a file that cannot be opened ("Invalid profile file") or a value an
/// option does not accept ("FILE:LINE: invalid value ... for --KEY: ..."),
/// with *error set. An unknown key is a warning on standard error
/// ("pixolune: FILE:LINE: unknown key --KEY ...") and the rest is read.
bool loadProfile(const std::string& path, std::string* error);

/// The console batch run over the parsed options; returns the exit status.
/// `progress` as CommandLine::progress says (auto when -1: shown when
/// standard error is a terminal and the run is not quiet).
int runConsoleBatch(bool quiet, int progress = -1);

/// The usage lines for a program file name (without folder and extension).
std::vector<std::string> usageLines(const std::string& program_name);

/// True when the line asks for a console run: an "-I"/"--INPUT" option or an
/// argument that is not an option nor an option's value (the first-argument
/// forms "-U" and "-T" never).
bool asksForConsoleRun(int argc, char** argv);

}  // namespace pixolune

#endif  // PIXOLUNE_APP_COMMAND_LINE_H_
