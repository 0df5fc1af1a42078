#include "platform/threads.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace pixolune {
namespace {

TEST(RunOnThreadsTest, EveryIndexOnceAndTheFirstOnTheCallingThread) {
  for (int count : {1, 2, 5}) {
    std::vector<std::atomic<int>> calls(static_cast<size_t>(count));
    std::mutex lock;
    std::set<std::thread::id> threads;
    std::thread::id first;
    runOnThreads(count, [&](int k) {
      ++calls[static_cast<size_t>(k)];
      std::lock_guard<std::mutex> hold(lock);
      threads.insert(std::this_thread::get_id());
      if (k == 0) first = std::this_thread::get_id();
    });
    for (const auto& c : calls) EXPECT_EQ(1, c.load()) << count;
    EXPECT_EQ(std::this_thread::get_id(), first);
    EXPECT_EQ(static_cast<size_t>(count), threads.size());  // Where threads can be had, one each.
  }
  int zero_calls = 0;
  runOnThreads(0, [&](int) { ++zero_calls; });
  EXPECT_EQ(1, zero_calls);  // The calling thread always takes body(0).
}

// The signals that end the process reach only the thread that shared the
// work out, whose own mask is as before.
TEST(RunOnThreadsTest, EndingSignalsStayOffTheStartedThreads) {
  std::vector<int> blocked(3, -1);
  runOnThreads(3, [&](int k) {
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    blocked[static_cast<size_t>(k)] = sigismember(&mask, SIGTERM) + sigismember(&mask, SIGINT) + sigismember(&mask, SIGHUP);
  });
  EXPECT_EQ((std::vector<int>{0, 3, 3}), blocked);
  sigset_t after;
  pthread_sigmask(SIG_BLOCK, nullptr, &after);
  EXPECT_EQ(0, sigismember(&after, SIGTERM));
}

}  // namespace
}  // namespace pixolune
