#include "platform/console.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace pixolune {
namespace {

TEST(ConsoleTest, ErrorLinesGoToStandardErrorOthersToStandardOutput) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  consolePrint("Processing: /in/ä.psd");
  consolePrint("Error: The input folder does not exist.");
  consolePrint("Error:without space stays on standard output");
  std::string out = ::testing::internal::GetCapturedStdout();
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ("Processing: /in/ä.psd\nError:without space stays on standard output\n", out);
  EXPECT_EQ("Error: The input folder does not exist.\n", err);
}

TEST(ConsoleTest, LinesOnTheLiveLinesStreamComeAboveIt) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  consoleShowLiveLine("1 of 5");
  consolePrintError("pixolune: /in/a.psd: truncated");
  consolePrint("Converting...");  // Standard output is no terminal here: the live line stays.
  consoleShowLiveLine("2 of 5");
  consoleClearLiveLine();
  consoleClearLiveLine();
  consolePrintError("after");
  std::string out = ::testing::internal::GetCapturedStdout();
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ("Converting...\n", out);
  EXPECT_EQ("\r1 of 5\x1b[K" "\r\x1b[Kpixolune: /in/a.psd: truncated\n1 of 5\x1b[K" "\r2 of 5\x1b[K" "\r\x1b[K" "after\n",
            err);
}

TEST(ConsoleTest, SinkReceivesWholeLinesFromManyThreads) {
  std::vector<std::string> lines;
  setConsoleSink([&](const std::string& line) { lines.push_back(line); });
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 100; ++i) consolePrint("thread " + std::to_string(t));
    });
  for (auto& thread : threads) thread.join();
  setConsoleSink(nullptr);
  ASSERT_EQ(400u, lines.size());
  for (const std::string& line : lines) EXPECT_EQ(0u, line.rfind("thread ", 0));
}

}  // namespace
}  // namespace pixolune
