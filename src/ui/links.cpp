#include "ui/links.h"

#include <wx/app.h>
#include <wx/log.h>
#include <wx/process.h>
#include <wx/utils.h>

#include "run/worker.h"
#include "platform/files.h"
#include "platform/install_paths.h"
#include "resources/message_box.h"
#include "resources/product.h"
#include "resources/string_table.h"
#include "ui/update_prompt.h"

namespace pixolune {

namespace {

ShellOpener& shellOpener() {
  static ShellOpener opener;
  return opener;
}

int links_opening = 0;

void reportUnopened(const std::string& target) {
  showMessage(getText("Msg", "Warning"),
              formatMessage(getText("Msg", "Unable to open address"), target),
              MessageButtons::kOk, MessageIcon::kWarning);
}

/// One xdg-open run: its exit status, reported from the event loop, tells
/// whether the desktop found a program for the target. Deletes itself.
class DesktopOpen : public wxProcess {
 public:
  explicit DesktopOpen(std::string target) : target_(std::move(target)) { ++links_opening; }
  void OnTerminate(int, int status) override {
    --links_opening;
    if (status != 0) reportUnopened(target_);
    delete this;
  }

 private:
  std::string target_;
};

/// Hands `target` to xdg-open as one argument (no shell, so nothing in it
/// is interpreted). xdg-open may wait for the program it starts, so its end
/// is awaited without blocking the window.
void openWithDesktop(const std::string& target) {
  wxLogNull quiet;  // The message box below says what went wrong.
  auto* process = new DesktopOpen(target);
  const wxString program("xdg-open");
  const wxString argument = wxString::FromUTF8(target);
  const wchar_t* argv[] = {program.wc_str(), argument.wc_str(), nullptr};
  if (wxExecute(argv, wxEXEC_ASYNC, process) == 0) {
    // Not started: wxExecute leaves the object to us.
    --links_opening;
    delete process;
    reportUnopened(target);
  }
}

}  // namespace

void openWithShell(const std::string& target) {
  if (shellOpener()) {
    shellOpener()(target);
  } else {
    openWithDesktop(target);
  }
}

int linksBeingOpened() { return links_opening; }

ShellOpener setShellOpener(ShellOpener opener) {
  ShellOpener before = std::move(shellOpener());
  shellOpener() = std::move(opener);
  return before;
}

std::string manualPath() { return installedManual(); }

std::string feedbackMailLink() {
  return std::string("mailto:") + kSupportMailAddress + "?subject=" + productTitle() +
         " Feedback";
}

void openManual() { openWithShell(manualPath()); }

void sendFeedback() { openWithShell(feedbackMailLink()); }

void visitHomepage() { openWithShell(kHomePageAddress); }

namespace {

/// The window an update check reports to: the main window in the program.
wxWindow* updateCheckOwner() { return wxTheApp ? wxTheApp->GetTopWindow() : nullptr; }

}  // namespace

void manualUpdateCheck() { checkForUpdate(updateCheckOwner(), &openWithShell); }

void startupUpdateCheck() {
  if (run_tag == "T") return;
  scheduledUpdateCheck(updateCheckOwner(), &openWithShell);
}

}  // namespace pixolune
