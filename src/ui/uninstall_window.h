// The window of the uninstall start mode: one ticked box offering the
// maker's uninstall page and a "Next" button.
#ifndef PIXOLUNE_UI_UNINSTALL_WINDOW_H_
#define PIXOLUNE_UI_UNINSTALL_WINDOW_H_

#include <functional>

#include "ui/small_window.h"

class wxCheckBox;

namespace pixolune {

enum UninstallControl : int {
  kUninstallVisitBox = 387,
  kUninstallNext = 388,
};

class UninstallWindow : public SmallWindow {
 public:
  /// `on_end` runs once when the window is done (Next or a close request).
  explicit UninstallWindow(std::function<void()> on_end);
  /// Next: opens the uninstall page with openWithShell when the box is
  /// ticked, then ends. A close request ends without a page.
  void runCommand(int id) override;
  void onCloseRequest() override { end(); }
  wxCheckBox* visitBox() const { return visit_; }

 private:
  void end();

  wxCheckBox* visit_;
  std::function<void()> on_end_;
};

/// Opens the window centred on the screen, without parent, and returns it.
/// Main thread only.
UninstallWindow* showUninstallWindow(std::function<void()> on_end);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_UNINSTALL_WINDOW_H_
