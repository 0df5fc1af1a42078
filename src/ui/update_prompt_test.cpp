#include "ui/update_prompt.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/weakref.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "resources/product.h"
#include "resources/string_table.h"
#include "settings/settings.h"
#include "support/loopback_http_server.h"
#include "support/scripted_message_boxes.h"

namespace pixolune {
namespace {

using testing::LoopbackHttpServer;
using testing::ScriptedMessageBoxes;

/// Calls the toolkit's queued calls until `condition` holds, for at most
/// about 20 seconds (twice the fetch time limit). Returns the condition.
bool pumpUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 2000 && !condition(); ++i) {
    wxTheApp->ProcessPendingEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  wxTheApp->ProcessPendingEvents();
  return condition();
}

/// An outcome that may arrive after the test has stopped waiting for it.
using ArrivedOutcome = std::shared_ptr<std::optional<UpdateOutcome>>;

class UpdatePromptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loadStringTable();
    applyDefaultSettings(false);
    owner = new wxFrame(nullptr, wxID_ANY, "owner");
  }
  void TearDown() override {
    // No check may report into the next test.
    EXPECT_TRUE(pumpUntil([] { return !updateCheckRunning(); }));
    if (owner) owner->Destroy();
    wxTheApp->ProcessIdle();
    unsetenv(kVersionAddressVariable);
  }

  void serveFrom(const LoopbackHttpServer& server) { setenv(kVersionAddressVariable, server.url().c_str(), 1); }

  UpdateOutcomeHandler recordInto(const ArrivedOutcome& arrived) {
    return [arrived](UpdateOutcome outcome) { *arrived = outcome; };
  }

  /// checkForUpdate, waiting until its outcome has been told.
  UpdateOutcome runCheck() {
    auto arrived = std::make_shared<std::optional<UpdateOutcome>>();
    EXPECT_TRUE(checkForUpdate(owner, opener(), recordInto(arrived)));
    EXPECT_TRUE(pumpUntil([&arrived] { return arrived->has_value(); }));
    return arrived->value_or(UpdateOutcome::kConnectionProblem);
  }

  UpdateOutcome checkAgainstBody(const std::string& body) {
    LoopbackHttpServer server(LoopbackHttpServer::replyWithBody(body));
    serveFrom(server);
    return runCheck();
  }

  PageOpener opener() {
    return [this](const std::string& address) { opened.push_back(address); };
  }

  ScriptedMessageBoxes boxes;
  std::vector<std::string> opened;
  wxFrame* owner = nullptr;
};

TEST_F(UpdatePromptTest, NewerVersionOffersTheDownload) {
  boxes.answer(MessageAnswer::kYes);
  EXPECT_EQ(UpdateOutcome::kUpdateAvailable, checkAgainstBody(" 281\r\n"));
  ASSERT_EQ(1u, boxes.shown().size());
  EXPECT_EQ("New Update", boxes.shown()[0].title);
  EXPECT_EQ("A new version of Pixolune is available! Are you ready to download it right now?",
            boxes.shown()[0].text);
  EXPECT_EQ(MessageButtons::kYesNo, boxes.shown()[0].buttons);
  EXPECT_EQ(std::vector<std::string>{kDownloadPageAddress}, opened);
}

TEST_F(UpdatePromptTest, DecliningTheDownloadOpensNothing) {
  boxes.answer(MessageAnswer::kNo);
  EXPECT_EQ(UpdateOutcome::kUpdateAvailable, checkAgainstBody("281"));
  EXPECT_TRUE(opened.empty());
}

TEST_F(UpdatePromptTest, SameOrOlderVersionSaysNoUpdate) {
  EXPECT_EQ(UpdateOutcome::kNoUpdate, checkAgainstBody("280"));
  EXPECT_EQ(UpdateOutcome::kNoUpdate, checkAgainstBody("279"));
  ASSERT_EQ(2u, boxes.shown().size());
  for (const auto& box : boxes.shown()) {
    EXPECT_EQ("No Update", box.title);
    EXPECT_EQ("There is no update of Pixolune yet. You're using the most recent version.", box.text);
    EXPECT_EQ(MessageButtons::kOk, box.buttons);
    EXPECT_EQ(MessageIcon::kInformation, box.icon);
  }
  EXPECT_TRUE(opened.empty());
}

TEST_F(UpdatePromptTest, TextWithoutDigitsIsAConnectionProblem) {
  EXPECT_EQ(UpdateOutcome::kConnectionProblem, checkAgainstBody("abc"));
  EXPECT_EQ(UpdateOutcome::kConnectionProblem, checkAgainstBody("000"));
  ASSERT_EQ(2u, boxes.shown().size());
  EXPECT_EQ("Internet connection problems!", boxes.shown()[0].text);
  EXPECT_EQ(MessageIcon::kError, boxes.shown()[0].icon);
}

TEST_F(UpdatePromptTest, NoServerIsAConnectionProblem) {
  std::string closed = "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort()) + "/";
  setenv(kVersionAddressVariable, closed.c_str(), 1);
  EXPECT_EQ(UpdateOutcome::kConnectionProblem, runCheck());
  ASSERT_EQ(1u, boxes.shown().size());
  EXPECT_EQ("Internet connection problems!", boxes.shown()[0].text);
}

TEST_F(UpdatePromptTest, AnErrorPageIsAConnectionProblem) {
  LoopbackHttpServer server(LoopbackHttpServer::replyWithStatus("404 Not Found", "999"));
  serveFrom(server);
  EXPECT_EQ(UpdateOutcome::kConnectionProblem, runCheck());
  ASSERT_EQ(1u, boxes.shown().size());
  EXPECT_EQ("Internet connection problems!", boxes.shown()[0].text);
  EXPECT_TRUE(opened.empty());
}

TEST_F(UpdatePromptTest, TheCheckReturnsBeforeTheServerAnswersAndReportsLater) {
  LoopbackHttpServer::Script script = LoopbackHttpServer::replyWithBody("280");
  script.wait_for_release = true;
  LoopbackHttpServer server(script);
  serveFrom(server);
  auto arrived = std::make_shared<std::optional<UpdateOutcome>>();
  ASSERT_TRUE(checkForUpdate(owner, opener(), recordInto(arrived)));
  ASSERT_TRUE(pumpUntil([&server] { return server.connectionCount() == 1; }));
  // The server holds its answer: nothing is known or shown yet.
  EXPECT_FALSE(arrived->has_value());
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_TRUE(updateCheckRunning());
  // A second request while one runs is left to the running one.
  EXPECT_FALSE(checkForUpdate(owner, opener(), recordInto(std::make_shared<std::optional<UpdateOutcome>>())));
  server.release();
  ASSERT_TRUE(pumpUntil([&arrived] { return arrived->has_value(); }));
  EXPECT_EQ(UpdateOutcome::kNoUpdate, **arrived);
  ASSERT_EQ(1u, boxes.shown().size());
  EXPECT_EQ("No Update", boxes.shown()[0].title);
  EXPECT_EQ(1, server.connectionCount());
}

TEST_F(UpdatePromptTest, ClosingTheWindowWhileTheCheckRunsDropsTheOutcome) {
  LoopbackHttpServer::Script script = LoopbackHttpServer::replyWithBody("281");
  script.wait_for_release = true;
  LoopbackHttpServer server(script);
  serveFrom(server);
  boxes.answer(MessageAnswer::kYes);
  auto arrived = std::make_shared<std::optional<UpdateOutcome>>();
  ASSERT_TRUE(checkForUpdate(owner, opener(), recordInto(arrived)));
  ASSERT_TRUE(pumpUntil([&server] { return server.connectionCount() == 1; }));
  wxWeakRef<wxFrame> closing(owner);
  owner->Destroy();
  owner = nullptr;
  wxTheApp->ProcessIdle();
  ASSERT_FALSE(closing);
  server.release();
  ASSERT_TRUE(pumpUntil([] { return !updateCheckRunning(); }));
  wxTheApp->ProcessPendingEvents();
  EXPECT_FALSE(arrived->has_value());
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_TRUE(opened.empty());
  // The next window checks again.
  owner = new wxFrame(nullptr, wxID_ANY, "owner");
  EXPECT_EQ(UpdateOutcome::kUpdateAvailable, runCheck());
  EXPECT_EQ(std::vector<std::string>{kDownloadPageAddress}, opened);
}

class UpdateSchedulePromptTest : public UpdatePromptTest {
 protected:
  static constexpr int32_t kNow = 1700000000;
};

TEST_F(UpdateSchedulePromptTest, AsksOnlyStrictlyAfterTheInterval) {
  settings().update_range = kUpdateDaily;
  settings().update_date = kNow - 86400;
  EXPECT_FALSE(scheduledUpdateCheck(owner, opener(), kNow));
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(kNow - 86400, settings().update_date);

  EXPECT_TRUE(scheduledUpdateCheck(owner, opener(), kNow + 1));
  ASSERT_EQ(1u, boxes.shown().size());
  EXPECT_EQ("Check for Updates", boxes.shown()[0].title);
  EXPECT_EQ("Do you want to check for updates?", boxes.shown()[0].text);
}

TEST_F(UpdateSchedulePromptTest, NeverAsksWhenSwitchedOff) {
  settings().update_range = kUpdateNever;
  settings().update_date = 0;
  EXPECT_FALSE(scheduledUpdateCheck(owner, opener(), kNow));
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(0, settings().update_date);
}

TEST_F(UpdateSchedulePromptTest, AnsweringNoStillMovesTheDate) {
  LoopbackHttpServer server(LoopbackHttpServer::replyWithBody("281"));
  serveFrom(server);
  settings().update_range = kUpdateWeekly;
  settings().update_date = 0;
  boxes.answer(MessageAnswer::kNo);
  EXPECT_TRUE(scheduledUpdateCheck(owner, opener(), kNow));
  EXPECT_EQ(kNow, settings().update_date);
  EXPECT_EQ(0, server.connectionCount());
  EXPECT_FALSE(scheduledUpdateCheck(owner, opener(), kNow + 7 * 86400));
}

TEST_F(UpdateSchedulePromptTest, AnsweringYesChecksAndMovesTheDate) {
  LoopbackHttpServer server(LoopbackHttpServer::replyWithBody("280"));
  serveFrom(server);
  settings().update_range = kUpdateDaily;
  settings().update_date = 0;
  boxes.answer(MessageAnswer::kYes);
  auto arrived = std::make_shared<std::optional<UpdateOutcome>>();
  EXPECT_TRUE(scheduledUpdateCheck(owner, opener(), kNow, recordInto(arrived)));
  EXPECT_EQ(kNow, settings().update_date);
  ASSERT_TRUE(pumpUntil([&arrived] { return arrived->has_value(); }));
  EXPECT_EQ(1, server.connectionCount());
  ASSERT_EQ(2u, boxes.shown().size());
  EXPECT_EQ("No Update", boxes.shown()[1].title);
}

}  // namespace
}  // namespace pixolune
