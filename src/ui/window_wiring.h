// Connects the main window's commands to the windows and links that own them,
// and supplies the screenshot mode with the main window.
#ifndef PIXOLUNE_UI_WINDOW_WIRING_H_
#define PIXOLUNE_UI_WINDOW_WIRING_H_

namespace pixolune {

/// Sets the main window's command hooks (About, converter search, manual,
/// feedback, home page, update checks, and the commands of the conversion
/// and preferences dialogs) and the screenshot mode's window builder.
/// Call before the main window is built.
void installWindowCommands();

}  // namespace pixolune

#endif  // PIXOLUNE_UI_WINDOW_WIRING_H_
