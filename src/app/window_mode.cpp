#include <cstdio>

#include "app/startup.h"

namespace pixolune {

void runWindowMode() {
  std::fprintf(stderr, "The window mode is not available yet.\n");
  endProgram(1);
}

}  // namespace pixolune
