#include "app/startup.h"
#include "ui/start_modes.h"
#include "ui/window_wiring.h"

int main(int argc, char** argv) {
  pixolune::registerSpecialStartModes();
  pixolune::installWindowCommands();
  pixolune::runProgram(argc, argv, &pixolune::runWindowMode);
}
