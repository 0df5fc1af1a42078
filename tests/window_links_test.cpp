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
