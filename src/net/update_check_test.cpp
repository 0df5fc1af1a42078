#include "net/update_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "resources/product.h"
#include "settings/settings.h"
#include "support/loopback_http_server.h"
#include "support/scripted_message_boxes.h"

namespace pixolune {
namespace {

using testing::LoopbackHttpServer;
using testing::ScriptedMessageBoxes;

class UpdateCheckTest : public ::testing::Test {
 protected:
  void SetUp() override { applyDefaultSettings(false); }
  void TearDown() override { unsetenv(kVersionAddressVariable); }

  void serveFrom(const LoopbackHttpServer& server) { setenv(kVersionAddressVariable, server.url().c_str(), 1); }

  UpdateOutcome checkAgainstBody(const std::string& body) {
    LoopbackHttpServer server(LoopbackHttpServer::replyWithBody(body));
    serveFrom(server);
    return fetchUpdateOutcome();
  }
};

TEST_F(UpdateCheckTest, NewerVersionIsAnUpdate) {
  EXPECT_EQ(UpdateOutcome::kUpdateAvailable, checkAgainstBody(" 281\r\n"));
  EXPECT_EQ(UpdateOutcome::kUpdateAvailable, checkAgainstBody("281"));
}

TEST_F(UpdateCheckTest, OnlyThreeCharactersCount) {
  EXPECT_EQ(UpdateOutcome::kUpdateAvailable, checkAgainstBody("2810"));
  EXPECT_EQ(UpdateOutcome::kNoUpdate, checkAgainstBody("2799"));
}

TEST_F(UpdateCheckTest, SameOrOlderVersionIsNoUpdate) {
  EXPECT_EQ(UpdateOutcome::kNoUpdate, checkAgainstBody("280"));
  EXPECT_EQ(UpdateOutcome::kNoUpdate, checkAgainstBody("279"));
}

TEST_F(UpdateCheckTest, TextWithoutDigitsIsAConnectionProblem) {
  EXPECT_EQ(UpdateOutcome::kConnectionProblem, checkAgainstBody("abc"));
  EXPECT_EQ(UpdateOutcome::kConnectionProblem, checkAgainstBody("000"));
}

TEST_F(UpdateCheckTest, AnErrorPageIsAConnectionProblem) {
  for (const char* status : {"404 Not Found", "500 Internal Server Error", "302 Found"}) {
    LoopbackHttpServer server(LoopbackHttpServer::replyWithStatus(status, "999"));
    serveFrom(server);
    EXPECT_EQ(UpdateOutcome::kConnectionProblem, fetchUpdateOutcome()) << status;
  }
}

TEST_F(UpdateCheckTest, NoServerIsAConnectionProblem) {
  std::string closed = "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort()) + "/";
  setenv(kVersionAddressVariable, closed.c_str(), 1);
  EXPECT_EQ(UpdateOutcome::kConnectionProblem, fetchUpdateOutcome());
}

TEST_F(UpdateCheckTest, TheCheckItselfShowsNothing) {
  ScriptedMessageBoxes boxes;
  checkAgainstBody("281");
  checkAgainstBody("280");
  checkAgainstBody("abc");
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(UpdateCheckTest, SendsTheProgramTitleAsUserAgent) {
  LoopbackHttpServer server(LoopbackHttpServer::replyWithBody("280"));
  serveFrom(server);
  fetchUpdateOutcome();
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

class UpdateScheduleTest : public ::testing::Test {
 protected:
  void SetUp() override { applyDefaultSettings(false); }
  static constexpr int32_t kNow = 1700000000;
};

TEST_F(UpdateScheduleTest, DueOnlyStrictlyAfterTheInterval) {
  settings().update_range = kUpdateDaily;
  settings().update_date = kNow - 86400;
  EXPECT_FALSE(updateCheckDue(settings(), kNow));
  EXPECT_TRUE(updateCheckDue(settings(), kNow + 1));
}

TEST_F(UpdateScheduleTest, IntervalsByRange) {
  const int expected[] = {1, 7, 30, 90, 180};
  for (int range = 0; range < 5; ++range) {
    settings().update_range = range;
    settings().update_date = kNow - expected[range] * 86400;
    EXPECT_FALSE(updateCheckDue(settings(), kNow)) << range;
    EXPECT_TRUE(updateCheckDue(settings(), kNow + 1)) << range;
  }
  EXPECT_EQ(30, updateIntervalDays(6));
  EXPECT_EQ(30, updateIntervalDays(-1));
}

TEST_F(UpdateScheduleTest, NeverDueWhenSwitchedOff) {
  settings().update_range = kUpdateNever;
  settings().update_date = 0;
  EXPECT_FALSE(updateCheckDue(settings(), kNow));
}

TEST_F(UpdateScheduleTest, ADateNearTheEndOfTimeDoesNotWrapAround) {
  settings().update_range = kUpdateHalfYearly;
  settings().update_date = std::numeric_limits<int32_t>::max() - 10;
  EXPECT_FALSE(updateCheckDue(settings(), kNow));
}

}  // namespace
}  // namespace pixolune
