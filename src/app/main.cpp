#include "app/startup.h"
#include "ui/start_modes.h"
#include "ui/window_wiring.h"

int main(int argc, char** argv) {
  pixolune::setSpecialStartModes(&pixolune::runUninstallPage, &pixolune::runScreenshotMode);
  pixolune::installWindowCommands();
  pixolune::runProgram(argc, argv, &pixolune::runWindowMode);
}
