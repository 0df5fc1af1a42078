// The two start modes chosen by the first command-line argument that need
// windows: "-U" (the uninstall page) and "-T" (screenshots). The program's
// entry hands both to the start-up code (setSpecialStartModes).
#ifndef PIXOLUNE_UI_START_MODES_H_
#define PIXOLUNE_UI_START_MODES_H_

#include <string>
#include <vector>

namespace pixolune {

/// "-U": starts the toolkit, shows the uninstall window and processes events
/// until it is done. Prints an error line when there is no display.
void runUninstallPage(const std::string& argument);

/// "-T": starts the toolkit and runs captureScreenshots(argument). Prints an
/// error line when there is no display or the screenshots fail.
void runScreenshotMode(const std::string& argument);

/// "--window FILE...": puts the documents and folders given on the command
/// line into the main window's list as a drop of them does (folders walked
/// under the import progress window, the status bar counting what was
/// added). A path holding a line break is skipped (a drop separates paths
/// by them). Main thread, with the main window built.
void addStartInputs(const std::vector<std::string>& paths);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_START_MODES_H_
