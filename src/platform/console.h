// The console output of the program: one line at a time to the terminal.
#ifndef PIXOLUNE_PLATFORM_CONSOLE_H_
#define PIXOLUNE_PLATFORM_CONSOLE_H_

#include <functional>
#include <string>

namespace pixolune {

/// Prints one line of UTF-8 text. A line beginning with "Error: " goes to
/// standard error, every other line to standard output; each line ends with
/// "\n" and is flushed at once so that a script reading both streams sees
/// lines in order. `line` must not end with a line break of its own.
/// Thread-safe: lines printed from several threads never interleave.
void consolePrint(const std::string& line);

/// Prints one line on standard error whatever it begins with (a file that
/// was not converted: "pixolune: <path>: <reason>"); otherwise as
/// consolePrint, a sink included.
void consolePrintError(const std::string& line);

/// Shows `text` as the live line at the bottom of standard error: drawn in
/// place ("\r", the text, clear to the end of the line), no line break
/// after it. Every line printed while it shows on the same terminal comes
/// above it: the live line is cleared, the line printed, the live line
/// drawn again. `text` should fit consoleWidth() less one column, or the
/// terminal wraps it and it cannot be redrawn in place. Writes to standard
/// error even while a sink is set. Thread-safe, as consolePrint.
void consoleShowLiveLine(const std::string& text);

/// Clears the live line (and leaves the cursor at the start of its line);
/// nothing when none shows.
void consoleClearLiveLine();

/// True when standard error is a terminal.
bool consoleErrorIsTerminal();

/// Columns of the terminal on standard error (TIOCGWINSZ), else 80.
int consoleWidth();

/// Receives every line consolePrint is given, instead of the terminal.
using ConsoleSink = std::function<void(const std::string& line)>;

/// Replaces where consolePrint writes (tests capture the output this way);
/// an empty sink restores the terminal. Calls to the sink are serialised.
/// REQUIRES: the sink does not call consolePrint itself.
void setConsoleSink(ConsoleSink sink);

/// Makes a closed reader of standard output or error (`pixolune ... | head`)
/// cost nothing but the lines it no longer reads: SIGPIPE is ignored and
/// failed writes are dropped, so the run goes on and its exit status stays.
void ignoreBrokenPipes();

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_CONSOLE_H_
