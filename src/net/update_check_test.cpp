#include "net/update_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <vector>

#include "app/maker.h"
#include "resources/string_table.h"
#include "settings/settings.h"
#include "support/loopback_http_server.h"
#include "support/scripted_message_boxes.h"

namespace pixolune {
namespace {

using testing::LoopbackHttpServer;
using testing::ScriptedMessageBoxes;

class UpdateCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loadStringTable();
    applyDefaultSettings(false);
  }
  void TearDown() override { unsetenv(kVersionAddressVariable); }

  void serveFrom(const LoopbackHttpServer& server) { setenv(kVersionAddressVariable, server.url().c_str(), 1); }

  UpdateOutcome checkAgainstBody(const std::string& body) {
    LoopbackHttpServer server(LoopbackHttpServer::replyWithBody(body));
    serveFrom(server);
    return checkForUpdate(opener());
  }

  PageOpener opener() {
    return [this](const std::string& address) { opened.push_back(address); };
  }

  ScriptedMessageBoxes boxes;
  std::vector<std::string> opened;
};

TEST_F(UpdateCheckTest, NewerVersionOffersTheDownload) {
  boxes.answer(MessageAnswer::kYes);
  EXPECT_EQ(UpdateOutcome::kUpdateOffered, checkAgainstBody(" 281\r\n"));
  ASSERT_EQ(1u, boxes.shown().size());
  EXPECT_EQ("New Update", boxes.shown()[0].title);
  EXPECT_EQ("A new version of Pixolune is available! Are you ready to download it right now?",
            boxes.shown()[0].text);
  EXPECT_EQ(MessageButtons::kYesNo, boxes.shown()[0].buttons);
  EXPECT_EQ(std::vector<std::string>{kDownloadPageAddress}, opened);
}

TEST_F(UpdateCheckTest, DecliningTheDownloadOpensNothing) {
  boxes.answer(MessageAnswer::kNo);
  EXPECT_EQ(UpdateOutcome::kUpdateOffered, checkAgainstBody("281"));
  EXPECT_TRUE(opened.empty());
}

TEST_F(UpdateCheckTest, OnlyThreeCharactersCount) {
  EXPECT_EQ(UpdateOutcome::kUpdateOffered, checkAgainstBody("2810"));
  EXPECT_EQ(UpdateOutcome::kNoUpdate, checkAgainstBody("2799"));
}

TEST_F(UpdateCheckTest, SameOrOlderVersionSaysNoUpdate) {
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

TEST_F(UpdateCheckTest, TextWithoutDigitsIsAConnectionProblem) {
  EXPECT_EQ(UpdateOutcome::kConnectionProblem, checkAgainstBody("abc"));
  EXPECT_EQ(UpdateOutcome::kConnectionProblem, checkAgainstBody("000"));
  ASSERT_EQ(2u, boxes.shown().size());
  EXPECT_EQ("Internet connection problems!", boxes.shown()[0].text);
  EXPECT_EQ(MessageIcon::kError, boxes.shown()[0].icon);
}

TEST_F(UpdateCheckTest, NoServerIsAConnectionProblem) {
  std::string closed = "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort()) + "/";
  setenv(kVersionAddressVariable, closed.c_str(), 1);
  EXPECT_EQ(UpdateOutcome::kConnectionProblem, checkForUpdate(opener()));
  ASSERT_EQ(1u, boxes.shown().size());
  EXPECT_EQ("Internet connection problems!", boxes.shown()[0].text);
}

TEST_F(UpdateCheckTest, SendsTheProgramTitleAsUserAgent) {
  LoopbackHttpServer server(LoopbackHttpServer::replyWithBody("280"));
  serveFrom(server);
  checkForUpdate(opener());
  EXPECT_NE(std::string::npos, server.lastRequest().find("\r\nUser-Agent: Pixolune 2.8\r\n"));
}

TEST_F(UpdateCheckTest, TheAddressOverrideIsReadAtEachCall) {
  EXPECT_EQ(kVersionFileAddress, versionFileAddress());
  setenv(kVersionAddressVariable, "http://127.0.0.1:9/v", 1);
  EXPECT_EQ("http://127.0.0.1:9/v", versionFileAddress());
  setenv(kVersionAddressVariable, "", 1);
  EXPECT_EQ(kVersionFileAddress, versionFileAddress());
}

TEST(LeadingNumber, DigitsAtTheStartOnly) {
  EXPECT_EQ(281, leadingNumber("281"));
  EXPECT_EQ(28, leadingNumber("28a"));
  EXPECT_EQ(0, leadingNumber("a28"));
  EXPECT_EQ(0, leadingNumber(""));
  EXPECT_EQ(0, leadingNumber("-28"));
}

class UpdateScheduleTest : public UpdateCheckTest {
 protected:
  static constexpr int32_t kNow = 1700000000;
};

TEST_F(UpdateScheduleTest, DueOnlyStrictlyAfterTheInterval) {
  settings().update_range = 0;
  settings().update_date = kNow - 86400;
  EXPECT_FALSE(scheduledUpdateCheck(opener(), kNow));
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(kNow - 86400, settings().update_date);

  EXPECT_TRUE(scheduledUpdateCheck(opener(), kNow + 1));
  ASSERT_EQ(1u, boxes.shown().size());
  EXPECT_EQ("Check for Updates", boxes.shown()[0].title);
  EXPECT_EQ("Do you want to check for updates?", boxes.shown()[0].text);
}

TEST_F(UpdateScheduleTest, IntervalsByRange) {
  const int expected[] = {1, 7, 30, 90, 180};
  for (int range = 0; range < 5; ++range) {
    settings().update_range = range;
    settings().update_date = kNow - expected[range] * 86400;
    EXPECT_FALSE(scheduledUpdateCheck(opener(), kNow)) << range;
    EXPECT_TRUE(scheduledUpdateCheck(opener(), kNow + 1)) << range;
  }
  EXPECT_EQ(30, updateIntervalDays(6));
  EXPECT_EQ(30, updateIntervalDays(-1));
}

TEST_F(UpdateScheduleTest, NeverChecksWhenSwitchedOff) {
  settings().update_range = 5;
  settings().update_date = 0;
  EXPECT_FALSE(scheduledUpdateCheck(opener(), kNow));
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(0, settings().update_date);
}

TEST_F(UpdateScheduleTest, AnsweringNoStillMovesTheDate) {
  LoopbackHttpServer server(LoopbackHttpServer::replyWithBody("281"));
  serveFrom(server);
  settings().update_range = 1;
  settings().update_date = 0;
  boxes.answer(MessageAnswer::kNo);
  EXPECT_TRUE(scheduledUpdateCheck(opener(), kNow));
  EXPECT_EQ(kNow, settings().update_date);
  EXPECT_EQ(0, server.connectionCount());
  EXPECT_FALSE(scheduledUpdateCheck(opener(), kNow + 7 * 86400));
}

TEST_F(UpdateScheduleTest, AnsweringYesChecksAndMovesTheDate) {
  LoopbackHttpServer server(LoopbackHttpServer::replyWithBody("280"));
  serveFrom(server);
  settings().update_range = 0;
  settings().update_date = 0;
  boxes.answer(MessageAnswer::kYes);
  EXPECT_TRUE(scheduledUpdateCheck(opener(), kNow));
  EXPECT_EQ(kNow, settings().update_date);
  EXPECT_EQ(1, server.connectionCount());
  ASSERT_EQ(2u, boxes.shown().size());
  EXPECT_EQ("No Update", boxes.shown()[1].title);
}

TEST_F(UpdateScheduleTest, ADateNearTheEndOfTimeDoesNotWrapAround) {
  settings().update_range = 4;
  settings().update_date = std::numeric_limits<int32_t>::max() - 10;
  EXPECT_FALSE(scheduledUpdateCheck(opener(), kNow));
}

}  // namespace
}  // namespace pixolune
