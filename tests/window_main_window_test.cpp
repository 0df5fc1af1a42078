// The main window: its layout at the stored and at a larger size, the
// minimum size, commands without an operation, the focus rule of the list
// commands, and the geometry kept at the end of a session.
#include <wx/menu.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>

#include "run/conversion_job.h"
#include "settings/settings_file.h"
#include "ui/window_ids.h"
#include "ui/window_session.h"
#include "window_fixture.h"
#include "window_support.h"

namespace pixolune::testing {
namespace {

class MainWindowTest : public WindowTest {};

TEST_F(MainWindowTest, FirstLayoutReproducesTheCreationCoordinates) {
  EXPECT_EQ(wxSize(510, 330), window().innerSize());
  layoutMainWindow();
  EXPECT_EQ(380, list().GetSize().x);
  EXPECT_EQ(wxPoint(10, 10), list().GetPosition());
  EXPECT_EQ(400, window().convertButton()->GetPosition().x);
  EXPECT_EQ(wxPoint(400, 10), window().convertButton()->GetPosition());
  EXPECT_EQ(wxSize(100, 100), window().convertButton()->GetSize());
  EXPECT_EQ(396, window().folderButtonBar()->GetPosition().x);
  EXPECT_EQ(396, window().formatButtonBar()->GetPosition().x);
  EXPECT_EQ(380, window().folderBox()->GetSize().x);
  EXPECT_EQ(380, window().formatBox()->GetSize().x);
  // A folder can be typed; a format only picked.
  EXPECT_NE(nullptr, window().folderBox()->GetTextCtrl());
  EXPECT_FALSE(window().folderBox()->HasFlag(wxCB_READONLY));
  EXPECT_EQ(nullptr, window().formatBox()->GetTextCtrl());
  EXPECT_TRUE(window().formatBox()->HasFlag(wxCB_READONLY));
}

TEST_F(MainWindowTest, WiderWindowMovesAndWidensByTheSameAmount) {
  window().setInnerSize(710, 330);
  pumpEvents(30);  // The size event runs the layout by itself.
  const int a = window().GetClientSize().y;
  EXPECT_EQ(710, window().innerSize().x);
  EXPECT_EQ(580, list().GetSize().x);
  EXPECT_EQ(a - 109, list().GetSize().y);
  // The name, folder, size and status columns fill the list's width.
  int columns = 0;
  for (int c = 0; c < list().GetColumnCount(); ++c) columns += list().GetColumnWidth(c);
  EXPECT_EQ(4, list().GetColumnCount());
  EXPECT_EQ(list().GetClientSize().x, columns);
  EXPECT_EQ(wxPoint(10, a - 94), window().folderLabel()->GetPosition());
  EXPECT_EQ(wxPoint(10, a - 79), window().folderBox()->GetPosition());
  EXPECT_EQ(580, window().folderBox()->GetSize().x);
  EXPECT_EQ(wxPoint(596, a - 80), window().folderButtonBar()->GetPosition());
  EXPECT_EQ(wxSize(24, 24), window().folderButtonBar()->GetSize());
  EXPECT_EQ(wxPoint(10, a - 54), window().formatLabel()->GetPosition());
  EXPECT_EQ(wxPoint(10, a - 39), window().formatBox()->GetPosition());
  EXPECT_EQ(580, window().formatBox()->GetSize().x);
  EXPECT_EQ(wxPoint(596, a - 40), window().formatButtonBar()->GetPosition());
  EXPECT_EQ(wxPoint(600, 10), window().convertButton()->GetPosition());
  EXPECT_EQ(wxSize(710, a - 10), window().container()->GetSize());
}

TEST_F(MainWindowTest, CannotBeMadeSmallerThanTheMinimum) {
  window().setInnerSize(300, 200);
  pumpEvents(30);
  EXPECT_EQ(wxSize(510, 330), window().innerSize());
  EXPECT_EQ(330, window().GetClientSize().y + window().menuHeight() + window().toolbarHeight() +
                     window().statusbarHeight());
}

TEST_F(MainWindowTest, StartsWithAnEmptyListReadyAndPngSelected) {
  EXPECT_EQ(0u, list().rowCount());
  EXPECT_EQ("Ready", statusText());
  EXPECT_EQ("", window().folderBoxText());
  ASSERT_EQ(1u, window().formatBox()->GetCount());
  EXPECT_EQ("PNG (Portable Network Graphics)", fromWx(window().formatBox()->GetString(0)));
  EXPECT_EQ(0, window().selectedOutputFormat());
  EXPECT_EQ("Pixolune 2.8", fromWx(window().GetTitle()));
}

TEST_F(MainWindowTest, MenusCarryCaptionsAndShortcutTexts) {
  wxMenuBar* bar = window().GetMenuBar();
  ASSERT_NE(nullptr, bar);
  ASSERT_EQ(4u, bar->GetMenuCount());
  EXPECT_EQ("File", bar->GetMenuLabelText(0));
  EXPECT_EQ("Converter", bar->GetMenuLabelText(2));
  EXPECT_EQ("New\tCtrl+N", bar->FindItem(commandId(kCommandNew))->GetItemLabel());
  EXPECT_EQ("Add Input Files...", bar->FindItem(commandId(kCommandAddFiles))->GetItemLabelText());
  EXPECT_EQ("Delete\tCtrl+Del", bar->FindItem(commandId(kCommandDelete))->GetItemLabel());
  EXPECT_EQ("Convert\tF5", bar->FindItem(commandId(kCommandConvert))->GetItemLabel());
  EXPECT_TRUE(bar->FindItem(commandId(kCommandAbout))->GetBitmap().IsOk());
  ASSERT_NE(nullptr, window().popupMenu());
  EXPECT_EQ(4u, window().popupMenu()->GetMenuItemCount());
  wxToolBar* tools = window().GetToolBar();
  ASSERT_NE(nullptr, tools);
  EXPECT_EQ(wxSize(32, 32), tools->GetToolBitmapSize());  // ui_size 2.
  EXPECT_EQ("Add Input Files...", tools->GetToolShortHelp(commandId(kCommandAddFiles)));
}

TEST_F(MainWindowTest, HugeIconsRebuildOnlyTheToolbar) {
  wxMenuBar* menus = window().GetMenuBar();
  settings().ui_size = 4;
  pending_window_refresh = 2;
  applyPreferencesToWindow();
  EXPECT_EQ(0, pending_window_refresh);
  EXPECT_EQ(wxSize(64, 64), window().GetToolBar()->GetToolBitmapSize());
  EXPECT_EQ(menus, window().GetMenuBar());
  pumpEvents(30);
  // The window widened to its toolbar, and the list with it.
  EXPECT_LT(510, window().GetClientSize().x);
  EXPECT_EQ(window().GetClientSize().x - 130, list().GetSize().x);
}

TEST_F(MainWindowTest, EveryToolbarButtonStaysWithinTheBarAtEveryIconSize) {
  // Nine buttons and three separators, whatever the size chosen before.
  for (int size : {4, 0, 3, 4, 1, 0, 2, 4}) {
    SCOPED_TRACE(size);
    settings().ui_size = size;
    pending_window_refresh = 2;
    applyPreferencesToWindow();
    pumpEvents(30);
    wxToolBar* bar = window().GetToolBar();
    ASSERT_NE(nullptr, bar);
    EXPECT_EQ(12u, bar->GetToolsCount());
    EXPECT_EQ(wxSize(iconSize(size), iconSize(size)), bar->GetToolBitmapSize());
    int buttons = 0;
    for (size_t i = 0; i < bar->GetToolsCount(); ++i) {
      const wxToolBarToolBase* tool = bar->GetToolByPos(static_cast<int>(i));
      if (tool->IsButton()) {
        ++buttons;
        EXPECT_TRUE(tool->GetNormalBitmap().IsOk()) << i;
        EXPECT_EQ(iconSize(size), tool->GetNormalBitmap().GetWidth()) << i;
      }
    }
    EXPECT_EQ(9, buttons);
    // All the buttons fit in the bar, and the bar in the window: none is
    // moved into an overflow menu or cut off at the right.
    bar->InvalidateBestSize();
    EXPECT_LE(bar->GetBestSize().x, bar->GetSize().x);
    EXPECT_LE(bar->GetSize().x, window().GetClientSize().x);
    EXPECT_GE(bar->GetSize().y, iconSize(size));
    EXPECT_TRUE(bar->IsShown());
  }
}

TEST_F(MainWindowTest, CommandsWithoutAnOperationAreDisabled) {
  wxMenuBar* bar = window().GetMenuBar();
  EXPECT_FALSE(bar->IsEnabled(commandId(kCommandConvert)));
  EXPECT_FALSE(bar->IsEnabled(commandId(kCommandAbout)));
  EXPECT_FALSE(window().GetToolBar()->GetToolEnabled(commandId(kCommandPreferences)));
  EXPECT_FALSE(window().convertButton()->IsEnabled());
  EXPECT_FALSE(window().formatButtonBar()->IsEnabled());
  EXPECT_TRUE(window().folderButtonBar()->IsEnabled());
  EXPECT_FALSE(window().runCommand(kCommandConvert));
  EXPECT_TRUE(bar->IsEnabled(commandId(kCommandExportList)));

  int converted = 0;
  WindowCommands commands;
  commands.convert = [&converted] { ++converted; };
  setWindowCommands(commands);
  EXPECT_TRUE(bar->IsEnabled(commandId(kCommandConvert)));
  EXPECT_TRUE(window().GetToolBar()->GetToolEnabled(commandId(kCommandConvert)));
  EXPECT_TRUE(window().convertButton()->IsEnabled());
  EXPECT_TRUE(window().runCommand(kCommandConvert));
  EXPECT_EQ(1, converted);
  EXPECT_FALSE(bar->IsEnabled(commandId(kCommandAbout)));
}

TEST_F(MainWindowTest, OptionButtonSendsItsCommandOnce) {
  int opened = 0;
  WindowCommands commands;
  commands.output_format_options = [&opened] { ++opened; };
  setWindowCommands(commands);
  ASSERT_TRUE(window().formatButtonBar()->IsEnabled());
  window().formatButtonBar()->click();
  EXPECT_EQ(1, opened);
  EXPECT_EQ("Options...", fromWx(window().formatButtonBar()->GetToolTipText()));
}

TEST_F(MainWindowTest, ListCommandsActOnlyWhileTheListHasTheFocus) {
  addFiles({makeFile("a.psd"), makeFile("b.psd")});
  window().folderBox()->SetFocus();
  pumpEvents(30);
  ASSERT_FALSE(window().fileListHasFocus());
  EXPECT_FALSE(window().runCommand(kCommandSelectAll));
  EXPECT_TRUE(list().selectedRows().empty());
  EXPECT_FALSE(window().runCommand(kCommandDelete));
  EXPECT_EQ(2u, list().rowCount());

  window().Raise();
  list().SetFocus();
  pumpEvents(50);
  if (!window().fileListHasFocus()) GTEST_SKIP() << "the virtual display gives no keyboard focus";
  EXPECT_TRUE(window().runCommand(kCommandSelectAll));
  EXPECT_EQ((std::vector<size_t>{0, 1}), list().selectedRows());
  EXPECT_TRUE(window().runCommand(kCommandDelete));
  EXPECT_EQ(0u, list().rowCount());
}

TEST_F(MainWindowTest, TheLastOutputFolderIsShownAtStart) {
  delete mainWindow();
  const std::string last = makeFolder("last") + "/";
  settings().recent_out_folders = last + "\t" + makeFolder("older");
  ASSERT_TRUE(buildMainWindow());
  finishMainWindow();
  EXPECT_EQ(last, window().folderBoxText());
  EXPECT_EQ(2u, window().folderBox()->GetCount());
  EXPECT_EQ(last, conversionJob().output_folder);
  // The first file added no longer moves the output folder.
  addFiles({makeFile("elsewhere/a.psd")});
  EXPECT_EQ(last, window().folderBoxText());
}

TEST_F(MainWindowTest, MenuTitlesCarryMnemonicsThatDoNotClash) {
  wxMenuBar* bar = window().GetMenuBar();
  EXPECT_EQ("&File", bar->GetMenuLabel(0));
  EXPECT_EQ("&Edit", bar->GetMenuLabel(1));
  EXPECT_EQ("&Converter", bar->GetMenuLabel(2));
  EXPECT_EQ("&Help", bar->GetMenuLabel(3));
  EXPECT_EQ((std::vector<std::string>{"&File", "F&ormat", "F&ind", "F&&&Y", "fo"}),
            withMnemonics({"File", "Format", "Find", "F&Y", "fo"}));
}

TEST_F(MainWindowTest, DeleteKeyRemovesTheSelectedRowsOnlyFromTheList) {
  addFiles({makeFile("a.psd"), makeFile("b.psd"), makeFile("c.psd")});
  list().setSelected(0, true);
  list().setSelected(2, true);
  window().folderBox()->SetFocus();
  pumpEvents(30);
  pressKey(window().folderBox(), WXK_DELETE);
  EXPECT_EQ(3u, list().rowCount());

  window().Raise();
  list().SetFocus();
  pumpEvents(50);
  if (!window().fileListHasFocus()) GTEST_SKIP() << "the virtual display gives no keyboard focus";
  pressKey(&list(), WXK_DELETE);
  EXPECT_EQ((std::vector<std::string>{dir_.file("b.psd")}), list().rows());
}

TEST_F(MainWindowTest, NewAsksBeforeEmptyingAListWithRows) {
  window().runCommand(kCommandNew);
  EXPECT_TRUE(boxes_.shown().empty());  // Nothing to lose: no question.
  addFiles({makeFile("a.psd"), makeFile("b.psd")});
  boxes_.answer(MessageAnswer::kNo);
  EXPECT_TRUE(window().runCommand(kCommandNew));
  ASSERT_EQ(1u, boxes_.shown().size());
  EXPECT_EQ(MessageButtons::kYesNo, boxes_.shown()[0].buttons);
  EXPECT_EQ("The list holds 2 files. Do you want to remove them from the list?", boxes_.shown()[0].text);
  EXPECT_EQ("New", boxes_.shown()[0].title);
  EXPECT_EQ(2u, list().rowCount());
  boxes_.answer(MessageAnswer::kYes);
  window().runCommand(kCommandNew);
  EXPECT_EQ(0u, list().rowCount());
  EXPECT_EQ(2u, boxes_.shown().size());
}

TEST_F(MainWindowTest, TypedKeysReachTheFolderBoxAndAltLettersTheMenuBar) {
  // Real key presses through the display server, as the user's keyboard.
  window().Raise();
  wxTextCtrl* typing = window().folderBox()->GetTextCtrl();
  ASSERT_NE(nullptr, typing);
  typing->SetFocus();
  pumpEvents(100);
  wxUIActionSimulator keyboard;
  keyboard.Text("/tmp/typed");
  pumpEvents(200);
  EXPECT_EQ("/tmp/typed", window().folderBoxText());

  int menus_opened = 0;
  window().Bind(wxEVT_MENU_OPEN, [&menus_opened](wxMenuEvent& event) {
    ++menus_opened;
    event.Skip();
  });
  window().formatBox()->SetFocus();
  pumpEvents(100);
  if (wxWindow::FindFocus() != window().formatBox()) GTEST_SKIP() << "the virtual display gives no keyboard focus";
  keyboard.Char('f', wxMOD_ALT);  // The read-only box would take "f" as type-to-select.
  pumpEvents(300);
  EXPECT_EQ(1, menus_opened);
  keyboard.Char(WXK_ESCAPE);
  pumpEvents(200);
  EXPECT_EQ("/tmp/typed", window().folderBoxText());
}

TEST_F(MainWindowTest, AltXExitsWhileABoxHasTheFocus) {
  window().formatBox()->SetFocus();
  wxKeyEvent alt_x(wxEVT_CHAR_HOOK);
  alt_x.m_keyCode = 'X';
  alt_x.SetAltDown(true);
  alt_x.SetEventObject(window().formatBox());
  window().formatBox()->GetEventHandler()->ProcessEvent(alt_x);
  pumpEvents(30);
  EXPECT_EQ(nullptr, mainWindow());
}

TEST(WindowGeometryTest, MaximisedKeepsTheNormalGeometryMinimisedChangesNothing) {
  applyDefaultSettings(false);
  Settings& s = settings();
  s.window_x = 40, s.window_y = 50, s.window_width = 600, s.window_height = 400;
  storeWindowGeometry({true, false, 0, 0, 1920, 1050});
  EXPECT_TRUE(s.window_maximized);
  EXPECT_EQ(600, s.window_width);
  EXPECT_EQ(40, s.window_x);
  storeWindowGeometry({false, true, -32000, -32000, 160, 28});
  EXPECT_TRUE(s.window_maximized);
  EXPECT_EQ(400, s.window_height);
  EXPECT_EQ(50, s.window_y);
  storeWindowGeometry({false, false, 7, 8, 700, 500});
  EXPECT_FALSE(s.window_maximized);
  EXPECT_EQ(7, s.window_x);
  EXPECT_EQ(8, s.window_y);
  EXPECT_EQ(700, s.window_width);
  EXPECT_EQ(500, s.window_height);
}

TEST_F(MainWindowTest, ClosingStoresTheInnerSizeOfTheWindow) {
  window().setInnerSize(640, 420);
  pumpEvents(30);
  settings().window_maximized = true;
  window().Close(true);
  pumpEvents(30);  // The window goes away from the event loop.
  EXPECT_EQ(nullptr, mainWindow());
  EXPECT_FALSE(settings().window_maximized);
  EXPECT_EQ(640, settings().window_width);
  EXPECT_EQ(420, settings().window_height);
}

class WindowSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    saved_ = old ? old : "";
    had_ = old != nullptr;
    setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    if (had_) setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
    setMessageBoxes(nullptr);
    setAddFileHook(nullptr);
    setDesktopQuery(nullptr);
  }
  TempDir dir_;
  std::string saved_;
  bool had_ = false;
};

TEST_F(WindowSessionTest, SettingsAreSavedAtTheEndAndTheHistoryForgottenWhenNotKept) {
  startWindowSession();
  const std::string path = dir_.path() + "/pixolune/config.ini";
  EXPECT_EQ(path, settings().settings_file_path);
  settings().window_width = 777;
  settings().recent_out_folders = "/a/\t/b/";
  settings().out_folders_history = false;
  ASSERT_TRUE(endWindowSession());
  applyDefaultSettings(false);
  loadSettings();
  EXPECT_EQ(777, settings().window_width);
  EXPECT_EQ("", settings().recent_out_folders);

  settings().out_folders_history = true;
  settings().recent_out_folders = "/c/";
  ASSERT_TRUE(endWindowSession());
  applyDefaultSettings(false);
  loadSettings();
  EXPECT_EQ("/c/", settings().recent_out_folders);
}

}  // namespace
}  // namespace pixolune::testing
