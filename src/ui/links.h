// The outward links of the window mode: everything handed to the desktop's
// "open" action (manual, web pages, mail), and the update checks that may
// end in a web page.
#ifndef PIXOLUNE_UI_LINKS_H_
#define PIXOLUNE_UI_LINKS_H_

#include <functional>
#include <string>

namespace pixolune {

/// Asks the desktop to open `target` with xdg-open: a web or "mailto:"
/// address in the default browser or mail program, anything else as a
/// document. Returns at once. When xdg-open cannot be started or ends with
/// a failure (no browser, no mail program, no such file), a warning box
/// naming `target` says so, from the event loop. Main thread only.
void openWithShell(const std::string& target);

/// Targets handed to xdg-open whose outcome has not arrived yet.
int linksBeingOpened();

/// Replaces what openWithShell does (tests record the targets); an empty
/// function restores the desktop's action. Returns the one replaced.
using ShellOpener = std::function<void(const std::string& target)>;
ShellOpener setShellOpener(ShellOpener opener);

/// The manual's full path (installedManual: vemarkt.html beside the program
/// in the build tree, else in ../share/pixolune/ for an installed program;
/// beside the program when it is in neither, so the warning names that path).
std::string manualPath();

/// "mailto:" + support address + "?subject=" + title + " Feedback"; the
/// subject is not URL-encoded.
std::string feedbackMailLink();

/// Opens the manual (menu "Manual", F1).
void openManual();

/// Opens a mail to the maker's support with the feedback subject.
void sendFeedback();

/// Opens the product's home page.
void visitHomepage();

/// The update check the user asked for: returns at once; the outcome comes
/// later in a message box (unless the top window has closed by then), which
/// opens the download page when the user wants it. A request while a check
/// is running is ignored: that check reports.
void manualUpdateCheck();

/// The automatic check after the main window is shown: asks first when its
/// interval has passed and moves the settings' update date; on Yes it runs
/// as manualUpdateCheck does. Does nothing in the screenshot mode.
void startupUpdateCheck();

}  // namespace pixolune

#endif  // PIXOLUNE_UI_LINKS_H_
