#include "ui/start_modes.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/log.h>

#include "platform/console.h"
#include "ui/input_list_view.h"
#include "ui/screenshot_mode.h"
#include "ui/uninstall_window.h"

namespace pixolune {

namespace {

/// The toolkit for one start mode: started on construction, stopped when it
/// goes away.
class Toolkit {
 public:
  Toolkit() {
    wxApp::SetInstance(new wxApp);
    static char name[] = "pixolune";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    started_ = wxEntryStart(argc, argv);
    if (!started_) {
      consolePrint("Error: No display is available for the windows");
      return;
    }
    delete wxLog::SetActiveTarget(new wxLogStderr);
    wxInitAllImageHandlers();
  }
  ~Toolkit() {
    if (started_) wxEntryCleanup();
  }
  Toolkit(const Toolkit&) = delete;
  Toolkit& operator=(const Toolkit&) = delete;
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

}  // namespace

void runUninstallPage(const std::string&) {
  Toolkit toolkit;
  if (!toolkit.started()) return;
  wxGUIEventLoop loop;
  showUninstallWindow([&loop] { loop.Exit(); });
  loop.Run();
}

void runScreenshotMode(const std::string& argument) {
  Toolkit toolkit;
  if (!toolkit.started()) return;
  captureScreenshots(argument);
}

void addStartInputs(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& path : paths)
    if (path.find('\n') == std::string::npos) text += path + "\n";
  if (!text.empty()) dropFiles(text);
}

}  // namespace pixolune
