// The two start modes chosen by the first command-line argument that need
// windows: "-U" (the uninstall page) and "-T" (screenshots).
#ifndef PIXOLUNE_UI_START_MODES_H_
#define PIXOLUNE_UI_START_MODES_H_

#include <string>

namespace pixolune {

/// Hands both modes to the start-up code (setSpecialStartModes). Call once
/// before runProgram looks at the command line.
void registerSpecialStartModes();

/// "-U": starts the toolkit, shows the uninstall window and processes events
/// until it is done. Prints an error line when there is no display.
void runUninstallPage(const std::string& argument);

/// "-T": starts the toolkit and runs captureScreenshots(argument). Prints an
/// error line when there is no display or the screenshots fail.
void runScreenshotMode(const std::string& argument);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_START_MODES_H_
