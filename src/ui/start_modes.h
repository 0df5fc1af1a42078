// The two start modes chosen by the first command-line argument that need
// windows: "-U" (the uninstall page) and "-T" (screenshots). The program's
// entry hands both to the start-up code (setSpecialStartModes).
#ifndef PIXOLUNE_UI_START_MODES_H_
#define PIXOLUNE_UI_START_MODES_H_

#include <string>

namespace pixolune {

/// "-U": starts the toolkit, shows the uninstall window and processes events
/// until it is done. Prints an error line when there is no display.
void runUninstallPage(const std::string& argument);

/// "-T": starts the toolkit and runs captureScreenshots(argument). Prints an
/// error line when there is no display or the screenshots fail.
void runScreenshotMode(const std::string& argument);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_START_MODES_H_
