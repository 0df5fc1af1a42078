// Program start-up and the one way out of the program.
#ifndef PIXOLUNE_APP_STARTUP_H_
#define PIXOLUNE_APP_STARTUP_H_

#include <string>
#include <vector>

namespace pixolune {

/// Printed (with status 1) when a mode that needs windows finds no display.
constexpr char kNoDisplayMessage[] =
    "Error: The window mode needs a graphical display, and none is set "
    "(DISPLAY and WAYLAND_DISPLAY are empty). Use -i for the console mode.";

/// True when the environment names an X11 or Wayland display.
bool displayNamed();

/// Internal tuning of the conversion helpers, read at start-up (for tests
/// and benchmarks; not user options): the time a file may take in
/// milliseconds (default 60000) and the memory a helper may map in MiB
/// (default half the machine's memory).
constexpr char kTimeLimitVariable[] = "PIXOLUNE_FILE_TIME_LIMIT_MS";
constexpr char kMemoryLimitVariable[] = "PIXOLUNE_HELPER_MEMORY_MB";
/// "1" converts in the program's own process, unprotected: only for the
/// benchmark that measures what isolation costs.
constexpr char kInProcessVariable[] = "PIXOLUNE_IN_PROCESS";

/// The title of this run (productTitle(), "Pixolune 2.8"), set by start-up.
const std::string& programTitle();

/// Returns the instance lock of the window mode (lockSingleInstance, per
/// user). When another instance holds it the program ends silently with
/// status 0; when the lock cannot be taken it ends with status 1 and an
/// error line naming why (a runtime folder that does not exist, say). A
/// console run takes no lock and gets -1: it writes only through temporary
/// files and renames, so runs of one user may overlap.
int acquireSingleInstance(const std::string& name, bool console_run);

/// Releases the instance lock, flushes standard output and error and ends
/// the process with `code` (0 everywhere except where a caller documents
/// otherwise). Never returns.
[[noreturn]] void endProgram(int code = 0);

/// File name of the conversion helper program, beside this one in the
/// build tree, in ../lib/pixolune/ when installed (platform/install_paths).
inline constexpr char kHelperProgramName[] = "pixolune-helper";

/// The internal argument (given alone) that prints where this program finds
/// its parts, one "part: path" line each (helper, window-module, themes,
/// manual): what `make check-install` compares with the installed tree.
inline constexpr char kInstallPathsArgument[] = "--internal-install-paths";

/// The program started for each conversion helper: the helper program
/// (installedProgram) when it is there and executable, else this program
/// itself (which serves as a helper too).
std::string helperProgram();

/// The program entry: common start-up, then console mode or, when it
/// returns, `window_mode` (the window library's runWindowMode). With the
/// internal helper argument alone the process serves as a conversion helper
/// instead (no instance lock, no output of its own). Both run modes convert
/// through helper processes of this executable.
[[noreturn]] void runProgram(int argc, char** argv, void (*window_mode)());

/// The window start with inputs: "--window" (any letter case) anywhere
/// before a "--" asks for the window mode, whatever else the line holds;
/// every other argument is a document or folder for the window's input
/// list, in order, made absolute from the working folder (after "--" even
/// one beginning with "-"). False, with *paths untouched, when the line
/// does not ask for it. An option among the inputs sets *error ("--window
/// takes documents and folders only, not -o"); the program then ends.
bool readWindowStart(const std::vector<std::string>& args, std::vector<std::string>* paths, std::string* error);

/// The inputs readWindowStart found for this run, which the window adds to
/// its list once it is shown (empty for a plain window start).
std::vector<std::string>& windowStartInputs();

/// Runs the console mode. Returns only when the window mode is to start.
void runConsoleMode(int argc, char** argv);

/// The special start modes ("-U", "-T"), supplied by the window library;
/// the argument is the value of the second command-line argument.
using SpecialStartMode = void (*)(const std::string& argument);
void setSpecialStartModes(SpecialStartMode uninstall, SpecialStartMode screenshot);

/// Runs the window mode to its end. Never returns.
[[noreturn]] void runWindowMode();

}  // namespace pixolune

#endif  // PIXOLUNE_APP_STARTUP_H_
