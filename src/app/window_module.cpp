// The window mode as a module of its own (pixolune-window.so), built from
// the window library and its toolkit. The program loads it only when a
// window is to be shown (app/main.cpp), so a console run, which needs the
// engine alone, starts without loading the toolkit and its libraries. The
// module uses the engine of the program that loads it.
#include "app/startup.h"
#include "app/window_module.h"
#include "ui/start_modes.h"
#include "ui/window_wiring.h"

extern "C" __attribute__((visibility("default"))) void pixoluneWindowEntry(int mode, const char* argument) {
  pixolune::installWindowCommands();
  switch (static_cast<pixolune::WindowEntryMode>(mode)) {
    case pixolune::WindowEntryMode::kUninstallPage:
      pixolune::runUninstallPage(argument);
      return;
    case pixolune::WindowEntryMode::kScreenshots:
      pixolune::runScreenshotMode(argument);
      return;
    case pixolune::WindowEntryMode::kWindow:
      break;
  }
  pixolune::runWindowMode();
}
