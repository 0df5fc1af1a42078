#include "app/startup.h"

namespace pixolune {

// The command line is not read yet: every start goes to the window mode.
void runConsoleMode(int, char**) {}

}  // namespace pixolune
