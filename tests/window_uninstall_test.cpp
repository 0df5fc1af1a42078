#include <wx/checkbox.h>

#include "resources/product.h"
#include "ui/uninstall_window.h"
#include "window_support.h"

namespace pixolune::testing {
namespace {

class UninstallWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { loadStringTable(); }
  void TearDown() override { flushDeletions(); }

  UninstallWindow* open() {
    return showUninstallWindow([this] { ++ends; });
  }
  RecordedShell shell;
  int ends = 0;
};

TEST_F(UninstallWindowTest, Layout) {
  UninstallWindow* window = open();
  EXPECT_EQ("Uninstall", window->GetTitle());
  EXPECT_EQ(wxSize(300, 100), window->GetClientSize());
  EXPECT_EQ(nullptr, window->GetParent());
  EXPECT_TRUE(window->visitBox()->GetValue());
  EXPECT_EQ("Full Uninstall - Visit Uninstall Center", window->visitBox()->GetLabel());
  EXPECT_EQ("Next", window->FindWindow(kUninstallNext)->GetLabel());
  window->Close();
}

TEST_F(UninstallWindowTest, NextWithTheBoxTickedOpensThePage) {
  wxWeakRef<UninstallWindow> window(open());
  wxCommandEvent click(wxEVT_BUTTON, kUninstallNext);
  window->FindWindow(kUninstallNext)->GetEventHandler()->ProcessEvent(click);
  EXPECT_EQ(std::vector<std::string>{kUninstallFeedbackAddress}, shell.targets);
  EXPECT_EQ(1, ends);
  flushDeletions();
  EXPECT_FALSE(window);
}

TEST_F(UninstallWindowTest, NextWithoutTheTickOrACloseOpenNothing) {
  UninstallWindow* unticked = open();
  unticked->visitBox()->SetValue(false);
  unticked->runCommand(kUninstallNext);
  EXPECT_EQ(1, ends);
  open()->Close();
  EXPECT_EQ(2, ends);
  EXPECT_TRUE(shell.targets.empty());
}

}  // namespace
}  // namespace pixolune::testing
