// Shared set-up of the window tests: a fresh main window over default
// settings, scripted message boxes, and a way to let the toolkit run.
#ifndef PIXOLUNE_TESTS_WINDOW_FIXTURE_H_
#define PIXOLUNE_TESTS_WINDOW_FIXTURE_H_

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>

#include <chrono>
#include <memory>
#include <string>

#include "inputs/input_list.h"
#include "platform/files.h"
#include "resources/string_table.h"
#include "resources/themes.h"
#include "settings/format_lists.h"
#include "settings/settings.h"
#include "support/scripted_message_boxes.h"
#include "ui/input_list_view.h"
#include "ui/main_window.h"
#include "ui/wx_convert.h"
// FreeImage.h (through test_util.h) defines _WINDOWS_, which makes every later
// wxWidgets header look for Windows headers: include it last and undo that.
#include "support/test_util.h"
#undef _WINDOWS_

namespace pixolune::testing {

/// Lets the toolkit handle events (painting, sizing, posted calls) for a while.
inline void pumpEvents(int milliseconds = 50) {
  std::unique_ptr<wxGUIEventLoop> own;
  std::unique_ptr<wxEventLoopActivator> active;
  wxEventLoopBase* loop = wxEventLoopBase::GetActive();
  if (!loop) {
    own = std::make_unique<wxGUIEventLoop>();
    active = std::make_unique<wxEventLoopActivator>(own.get());
    loop = own.get();
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < until) {
    wxTheApp->ProcessPendingEvents();
    loop->DispatchTimeout(5);
  }
  wxTheApp->ProcessIdle();  // Windows closed meanwhile are deleted here.
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool pictures_loaded = false;
    if (!pictures_loaded) {
      loadStringTable();
      loadBuiltinImages();
      createFormatLists();
      pictures_loaded = true;
    }
    applyDefaultSettings(false);
    settings().window_x = 20;
    settings().window_y = 20;
    settings().recent_out_folders.clear();
    console_mode = false;
    installAddFileHook();
    setWindowCommands({});
    ASSERT_TRUE(buildMainWindow());
    finishMainWindow();
    pumpEvents(30);
  }

  void TearDown() override {
    delete mainWindow();
    setAddFileHook(nullptr);
  }

  MainWindow& window() { return *mainWindow(); }
  FileListView& list() { return *mainWindow()->fileList(); }

  /// A file of `bytes` bytes (folders on the way are made).
  std::string makeFile(const std::string& relative, size_t bytes = 16) {
    const std::string path = dir_.file(relative);
    makeFolders(folderOf(path));
    writeText(path, std::string(bytes, 'x'));
    return path;
  }

  /// An empty folder, returned without a trailing "/".
  std::string makeFolder(const std::string& relative) {
    makeFolders(dir_.file(relative));
    return dir_.file(relative);
  }

  TempDir dir_;
  ScriptedMessageBoxes boxes_;
};

}  // namespace pixolune::testing

#endif  // PIXOLUNE_TESTS_WINDOW_FIXTURE_H_
