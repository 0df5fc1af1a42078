// The window mode's start and end around the main window: what is loaded
// before the window is built and what is stored after it has closed.
#ifndef PIXOLUNE_UI_WINDOW_SESSION_H_
#define PIXOLUNE_UI_WINDOW_SESSION_H_

namespace pixolune {

/// Points the settings at "config.ini" in the per-user data folder and loads
/// them, loads the string table, the built-in pictures and the theme, and
/// installs the real message boxes and the hook that shows added files.
/// REQUIRES: the toolkit has started (main thread).
void startWindowSession();

/// After the main window has closed (its geometry stored): forgets the
/// output-folder history when it is not to be kept, and saves the settings.
/// Returns false when the settings could not be written.
bool endWindowSession();

}  // namespace pixolune

#endif  // PIXOLUNE_UI_WINDOW_SESSION_H_
