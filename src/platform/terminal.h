#ifndef PIXOLUNE_PLATFORM_TERMINAL_H_
#define PIXOLUNE_PLATFORM_TERMINAL_H_

namespace pixolune {

/// Waits for one key press on the terminal, without echo. Does not wait when
/// the standard input is not a terminal (scripts, pipes).
void waitForKeyPress();

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_TERMINAL_H_
