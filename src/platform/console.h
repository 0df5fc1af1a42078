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
