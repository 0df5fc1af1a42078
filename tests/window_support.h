// Helpers shared by the window tests: a stand-in main window, recorded shell
// targets, key presses and the toolkit's deferred deletions.
#ifndef PIXOLUNE_TESTS_WINDOW_SUPPORT_H_
#define PIXOLUNE_TESTS_WINDOW_SUPPORT_H_

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/weakref.h>

#include <string>
#include <vector>

#include "resources/string_table.h"
#include "ui/links.h"

namespace pixolune::testing {

/// Records what would have been opened with the shell, for its lifetime.
class RecordedShell {
 public:
  RecordedShell() {
    previous_ = setShellOpener([this](const std::string& target) { targets.push_back(target); });
  }
  ~RecordedShell() { setShellOpener(previous_); }
  std::vector<std::string> targets;

 private:
  ShellOpener previous_;
};

/// Sends a key press the way the toolkit first offers it to a window.
inline void pressKey(wxWindow* window, int key) {
  wxKeyEvent event(wxEVT_CHAR_HOOK);
  event.m_keyCode = key;
  event.SetEventObject(window);
  window->GetEventHandler()->ProcessEvent(event);
}

/// Runs the deletions the toolkit defers to idle time.
inline void flushDeletions() { wxTheApp->ProcessIdle(); }

/// A fixture with a shown stand-in for the main window.
class SmallWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loadStringTable();
    main_window = new wxFrame(nullptr, wxID_ANY, "main", wxPoint(50, 50), wxSize(600, 400));
    main_window->Show();
  }
  void TearDown() override {
    flushDeletions();
    main_window->Destroy();
    flushDeletions();
  }

  wxFrame* main_window = nullptr;
  RecordedShell shell;
};

}  // namespace pixolune::testing

#endif  // PIXOLUNE_TESTS_WINDOW_SUPPORT_H_
