#include <sys/stat.h>
#include <wx/evtloop.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "net/update_check.h"
#include "platform/files.h"
#include "resources/product.h"
#include "support/loopback_http_server.h"
#include "support/scripted_message_boxes.h"
#include "ui/links.h"
#include "ui/update_prompt.h"
#include "window_support.h"
// Last: it undoes what FreeImage.h defines for the toolkit headers above.
#include "support/test_util.h"
#undef _WINDOWS_

namespace pixolune::testing {
namespace {

TEST(Links, EachCommandOpensItsTarget) {
  RecordedShell shell;
  openManual();
  sendFeedback();
  visitHomepage();
  EXPECT_EQ((std::vector<std::string>{withTrailingSlash(programFolder()) + "vemarkt.html",
                                      std::string("mailto:") + kSupportMailAddress +
                                          "?subject=Pixolune 2.8 Feedback",
                                      kHomePageAddress}),
            shell.targets);
}

TEST(Links, TheManualIsInstalledBesideTheProgram) {
  // The window tests run from the build folder, where the program lives.
  std::string manual;
  ASSERT_TRUE(readWholeFile(manualPath(), &manual)) << manualPath();
  EXPECT_NE(std::string::npos, manual.find("<html"));
  EXPECT_NE(std::string::npos, manual.find("--filename-mask"));
}

/// Links opened with a stand-in xdg-open first on PATH.
class DesktopLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loadStringTable();  // The message comes from the table.
    const char* path = std::getenv("PATH");
    saved_path_ = path ? path : "";
    setenv("PATH", dir_.path().c_str(), 1);
  }
  void TearDown() override { setenv("PATH", saved_path_.c_str(), 1); }
  /// An xdg-open that records its arguments and ends with `status`.
  void installOpener(int status) {
    const std::string opener = dir_.file("xdg-open");
    writeText(opener, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + dir_.file("opened") + "'\nexit " +
                          std::to_string(status) + "\n");
    ASSERT_EQ(0, chmod(opener.c_str(), 0755));
  }
  /// Lets the event loop run until every opener has ended (at most ~20 s).
  static bool waitForOpeners() {
    wxGUIEventLoop loop;
    wxEventLoopActivator active(&loop);
    for (int i = 0; i < 2000 && linksBeingOpened() > 0; ++i) {
      wxTheApp->ProcessPendingEvents();
      loop.DispatchTimeout(10);
    }
    return linksBeingOpened() == 0;
  }
  TempDir dir_;
  ScriptedMessageBoxes boxes_;
  std::string saved_path_;
};

TEST_F(DesktopLinkTest, AnAddressTheDesktopCannotOpenIsNamedInAMessage) {
  installOpener(3);  // What xdg-open answers when no browser is set up.
  const std::string address = "https://example.invalid/a page?x=1&y='2'";
  openWithShell(address);
  ASSERT_TRUE(waitForOpeners());
  EXPECT_EQ(address + "\n", readText(dir_.file("opened")));  // One argument, not interpreted.
  ASSERT_EQ(1u, boxes_.shown().size());
  EXPECT_EQ("The following address could not be opened:\n" + address +
                "\n\nThe desktop has no program set up for it (xdg-open failed). Open it by hand.",
            boxes_.shown()[0].text);
  EXPECT_EQ(MessageIcon::kWarning, boxes_.shown()[0].icon);
}

TEST_F(DesktopLinkTest, NoOpenerAtAllIsNamedAndAnOpenedLinkShowsNothing) {
  openWithShell(kHomePageAddress);  // PATH holds no xdg-open.
  ASSERT_TRUE(waitForOpeners());
  ASSERT_EQ(1u, boxes_.shown().size());
  EXPECT_NE(std::string::npos, boxes_.shown()[0].text.find(kHomePageAddress));
  installOpener(0);
  openManual();
  ASSERT_TRUE(waitForOpeners());
  EXPECT_EQ(manualPath() + "\n", readText(dir_.file("opened")));
  EXPECT_EQ(1u, boxes_.shown().size());
}

class UpdateLinkTest : public SmallWindowTest {
 protected:
  void TearDown() override {
    EXPECT_TRUE(pumpUntil([] { return !updateCheckRunning(); }));
    unsetenv(kVersionAddressVariable);
    SmallWindowTest::TearDown();
  }
  /// Calls the toolkit's queued calls until `condition` holds, for at most
  /// about 20 seconds.
  static bool pumpUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 2000 && !condition(); ++i) {
      wxTheApp->ProcessPendingEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
  }
  ScriptedMessageBoxes boxes;
};

TEST_F(UpdateLinkTest, TheMenuCheckReturnsAtOnceAndOffersTheDownloadLater) {
  LoopbackHttpServer::Script script = LoopbackHttpServer::replyWithBody("281");
  script.wait_for_release = true;
  LoopbackHttpServer server(script);
  setenv(kVersionAddressVariable, server.url().c_str(), 1);
  boxes.answer(MessageAnswer::kYes);
  manualUpdateCheck();
  // Back in the window's hands while the server still holds its answer.
  EXPECT_TRUE(updateCheckRunning());
  EXPECT_TRUE(boxes.shown().empty());
  server.release();
  ASSERT_TRUE(pumpUntil([this] { return !boxes.shown().empty(); }));
  EXPECT_EQ("New Update", boxes.shown()[0].title);
  EXPECT_EQ(std::vector<std::string>{kDownloadPageAddress}, shell.targets);
}

}  // namespace
}  // namespace pixolune::testing
