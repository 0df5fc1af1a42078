#include <wx/button.h>
#include <wx/hyperlink.h>
#include <wx/generic/hyperlink.h>
#include <wx/stattext.h>

#include "resources/product.h"
#include "resources/themes.h"
#include "ui/about_window.h"
#include "window_support.h"

namespace pixolune::testing {
namespace {

class AboutWindowTest : public SmallWindowTest {
 protected:
  void SetUp() override {
    SmallWindowTest::SetUp();
    loadBuiltinImages();
  }
};

TEST_F(AboutWindowTest, ShowsTitleVersionAndLinks) {
  AboutWindow* about = showAboutWindow(main_window);
  EXPECT_EQ("About...", about->GetTitle());
  EXPECT_EQ(wxSize(360, 240), about->GetClientSize());
  EXPECT_FALSE(about->HasFlag(wxRESIZE_BORDER));  // A small window is fixed in size unless made resizable.
  EXPECT_FALSE(about->HasFlag(wxMAXIMIZE_BOX));
  auto* title = dynamic_cast<wxStaticText*>(about->FindWindow(kAboutTitle));
  ASSERT_NE(nullptr, title);
  EXPECT_EQ("Pixolune 2.8", title->GetLabel());
  EXPECT_EQ("Web:", about->FindWindow(kAboutWebLabel)->GetLabel());
  EXPECT_EQ("E-mail:", about->FindWindow(kAboutMailLabel)->GetLabel());
  auto* web = dynamic_cast<wxGenericHyperlinkCtrl*>(about->FindWindow(kAboutWebLink));
  ASSERT_NE(nullptr, web);
  EXPECT_EQ(kMakerWebAddress, web->GetLabel());
  EXPECT_TRUE(wxColour(0, 0, 255) == web->GetNormalColour());
  EXPECT_EQ(kSupportMailAddress, about->FindWindow(kAboutMailLink)->GetLabel());
  EXPECT_EQ("OK", about->FindWindow(kAboutOk)->GetLabel());
  EXPECT_EQ(wxRect(140, 200, 80, 25), about->FindWindow(kAboutOk)->GetRect());
  EXPECT_NE(nullptr, about->FindWindow(kAboutBanner));
  about->closeWindow();
}

TEST_F(AboutWindowTest, HoldsTheMainWindowUntilOk) {
  wxWeakRef<AboutWindow> about(showAboutWindow(main_window));
  EXPECT_FALSE(main_window->IsEnabled());
  wxCommandEvent click(wxEVT_BUTTON, kAboutOk);
  click.SetEventObject(about->FindWindow(kAboutOk));
  about->FindWindow(kAboutOk)->GetEventHandler()->ProcessEvent(click);
  EXPECT_TRUE(main_window->IsEnabled());
  flushDeletions();
  EXPECT_FALSE(about);
  EXPECT_TRUE(shell.targets.empty());
}

TEST_F(AboutWindowTest, LinksOpenTheirAddressesAndKeepTheWindow) {
  wxWeakRef<AboutWindow> about(showAboutWindow(main_window));
  wxHyperlinkEvent web(about->FindWindow(kAboutWebLink), kAboutWebLink, kMakerWebAddress);
  about->FindWindow(kAboutWebLink)->GetEventHandler()->ProcessEvent(web);
  about->runCommand(kAboutMailLink);
  EXPECT_EQ((std::vector<std::string>{kWebSiteAddress, std::string("mailto:") + kSupportMailAddress}),
            shell.targets);
  flushDeletions();
  ASSERT_TRUE(about);
  EXPECT_TRUE(about->IsShown());
  EXPECT_FALSE(main_window->IsEnabled());
  about->closeWindow();
}

TEST_F(AboutWindowTest, ReturnEscapeAndCloseRequestCloseIt) {
  for (int way = 0; way < 3; ++way) {
    wxWeakRef<AboutWindow> about(showAboutWindow(main_window));
    if (way == 0) pressKey(about, WXK_RETURN);
    if (way == 1) pressKey(about, WXK_ESCAPE);
    if (way == 2) about->Close();
    EXPECT_TRUE(main_window->IsEnabled()) << way;
    flushDeletions();
    EXPECT_FALSE(about) << way;
  }
  EXPECT_TRUE(shell.targets.empty());
}

}  // namespace
}  // namespace pixolune::testing
