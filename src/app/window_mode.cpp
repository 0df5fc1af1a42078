// The window mode: the toolkit, the main window and its event loop.
#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>

#include "app/startup.h"
#include "platform/console.h"
#include "ui/main_window.h"
#include "ui/start_modes.h"
#include "ui/window_session.h"

namespace pixolune {

namespace {

class WindowApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

}  // namespace

void runWindowMode() {
  if (!displayNamed()) {
    consolePrint(kNoDisplayMessage);
    endProgram(1);
  }
  static char program_name[] = "pixolune";
  static char* arguments[] = {program_name, nullptr};
  int count = 1;
  wxApp::SetInstance(new WindowApp);
  if (!wxEntryStart(count, arguments)) {
    std::fprintf(stderr, "Error: The window mode could not open the display.\n");
    endProgram(1);
  }
  wxInitAllImageHandlers();
  startWindowSession();
  if (buildMainWindow()) {
    wxTheApp->SetTopWindow(mainWindow());
    finishMainWindow();
    // The inputs of "--window FILE...", once the loop runs and the window shows.
    if (!windowStartInputs().empty()) wxTheApp->CallAfter([] { addStartInputs(windowStartInputs()); });
    wxTheApp->OnRun();
  }
  endWindowSession();
  wxEntryCleanup();
  endProgram(0);
}

}  // namespace pixolune
