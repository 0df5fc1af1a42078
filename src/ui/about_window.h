// The About window: the banner, the program's title and version, and links
// to the maker's web site and support mail.
#ifndef PIXOLUNE_UI_ABOUT_WINDOW_H_
#define PIXOLUNE_UI_ABOUT_WINDOW_H_

#include "ui/small_window.h"

namespace pixolune {

/// Control numbers of the About window.
enum AboutControl : int {
  kAboutBanner = 364,
  kAboutTitle = 366,
  kAboutFrame = 368,
  kAboutWebLabel = 369,
  kAboutMailLabel = 370,
  kAboutWebLink = 371,
  kAboutMailLink = 372,
  kAboutOk = 376,
};

class AboutWindow : public SmallWindow {
 public:
  explicit AboutWindow(wxWindow* parent);
  /// OK (and Return, Escape, a close request) closes the window; a link opens
  /// its address with openWithShell and the window stays open.
  void runCommand(int id) override;
};

/// Opens the About window centred on `parent` (the main window), disables
/// the parent until it closes and returns it. Main thread only.
AboutWindow* showAboutWindow(wxWindow* parent);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_ABOUT_WINDOW_H_
