#include "platform/threads.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pixolune
