// Program start-up and the one way out of the program.
#ifndef PIXOLUNE_APP_STARTUP_H_
#define PIXOLUNE_APP_STARTUP_H_

#include <functional>
#include <string>

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

/// Registers work to do when the program ends (closing windows, fonts,
/// files); run in reverse order of registration.
void atProgramEnd(std::function<void()> release);

/// Releases everything the process holds and ends it with `code`
/// (0 everywhere except where a caller documents otherwise). Never returns.
[[noreturn]] void endProgram(int code = 0);

/// File name of the conversion helper program, installed beside this one.
inline constexpr char kHelperProgramName[] = "pixolune-helper";

/// The file `name` in the folder of this program's executable; empty when
/// the executable's path cannot be read.
std::string besideProgram(const std::string& name);

/// The program started for each conversion helper: the helper program
/// beside this program's executable when it is there and executable, else
/// this program itself (which serves as a helper too).
std::string helperProgram();

/// The program entry: common start-up, then console mode or, when it
/// returns, `window_mode` (the window library's runWindowMode). With the
/// internal helper argument alone the process serves as a conversion helper
/// instead (no instance lock, no output of its own). Both run modes convert
/// through helper processes of this executable.
[[noreturn]] void runProgram(int argc, char** argv, void (*window_mode)());

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
