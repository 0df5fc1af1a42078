#include "ui/links.h"

#include <wx/app.h>
#include <wx/log.h>
#include <wx/utils.h>

#include "engine/worker.h"
#include "platform/files.h"
#include "resources/product.h"
#include "ui/update_prompt.h"

namespace pixolune {

namespace {

ShellOpener& shellOpener() {
  static ShellOpener opener;
  return opener;
}

bool isAddress(const std::string& target) {
  return target.rfind("mailto:", 0) == 0 || target.find("://") != std::string::npos;
}

void openWithDesktop(const std::string& target) {
  wxLogNull quiet;  // A failure shows nothing.
  wxString text = wxString::FromUTF8(target);
  if (isAddress(target)) {
    wxLaunchDefaultBrowser(text, wxBROWSER_NOBUSYCURSOR);
  } else {
    wxLaunchDefaultApplication(text);
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

ShellOpener setShellOpener(ShellOpener opener) {
  ShellOpener before = std::move(shellOpener());
  shellOpener() = std::move(opener);
  return before;
}

std::string manualPath() { return withTrailingSlash(programFolder()) + kManualFileName; }

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
