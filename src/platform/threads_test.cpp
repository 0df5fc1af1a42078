#include "platform/threads.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <new>
#include <set>
#include <thread>
#include <vector>

#include "platform/mutex.h"

namespace pixolune {
namespace {

TEST(RunOnThreadsTest, EveryIndexOnceAndTheFirstOnTheCallingThread) {
  for (int count : {1, 2, 5}) {
    std::vector<std::atomic<int>> calls(static_cast<size_t>(count));
    Mutex lock;
    std::set<std::thread::id> threads;
    std::thread::id first;
    runOnThreads(count, [&](int k) {
      ++calls[static_cast<size_t>(k)];
      MutexLock hold(&lock);
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

// Each item once, on a thread of the given number, each thread started once.
TEST(RunQueueTest, EveryItemOnceAndEachThreadStartedOnce) {
  for (int threads : {1, 3}) {
    for (size_t count : {size_t{0}, size_t{1}, size_t{2}, size_t{200}}) {
      std::vector<std::atomic<int>> done(count);
      std::vector<std::atomic<int>> started(static_cast<size_t>(threads));
      std::atomic<bool> unstarted_worker{false};
      QueueOptions options;
      options.start = [&](int worker) {
        ++started[static_cast<size_t>(worker)];
        return Status();
      };
      Status st = runQueue(
          count, threads,
          [&](size_t item, int worker) {
            if (started[static_cast<size_t>(worker)] != 1) unstarted_worker = true;
            ++done[item];
            return Status();
          },
          options);
      EXPECT_TRUE(st.ok());
      for (const auto& d : done) EXPECT_EQ(1, d.load()) << threads << " threads, " << count << " items";
      int starts = 0;
      for (const auto& s : started) starts += s;
      EXPECT_EQ(count == 0 ? 0 : std::min<int>(threads, static_cast<int>(count)), starts);
      EXPECT_FALSE(unstarted_worker);
    }
  }
}

// After a failure nothing more is handed out, and the failure reported is
// the lowest item's even when a higher one failed first.
TEST(RunQueueTest, StopsAtTheFirstFailureAndReportsTheLowest) {
  std::vector<int> done;
  Status st = runQueue(100, 1, [&](size_t item, int) {
    done.push_back(static_cast<int>(item));
    return item == 3 ? Status::corrupt("item 3") : Status();
  });
  EXPECT_EQ("item 3", st.message());
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), done);

  std::atomic<int> calls{0};
  st = runQueue(1000, 2, [&](size_t item, int) {
    ++calls;
    if (item == 1) return Status::corrupt("item 1");
    if (item == 0) {  // Fails later than item 1.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return Status::corrupt("item 0");
    }
    return Status();
  });
  EXPECT_EQ("item 0", st.message());
  EXPECT_LT(calls.load(), 1000);

  QueueOptions failing_start;
  failing_start.start = [](int worker) { return worker == 1 ? Status::ioError("start 1") : Status(); };
  st = runQueue(50, 2, [](size_t item, int) { return item == 0 ? Status::corrupt("item 0") : Status(); }, failing_start);
  EXPECT_EQ("start 1", st.message());  // Ranks before every item.
}

// Running out of memory, on the calling thread or another, is a failure
// the caller sees, not the end of the process.
TEST(RunQueueTest, OutOfMemoryIsAFailure) {
  QueueOptions options;
  options.out_of_memory = Status::ioError("no room");
  for (size_t throwing : {size_t{0}, size_t{5}}) {
    Status st = runQueue(
        20, 2,
        [&](size_t item, int) -> Status {
          if (item == throwing) throw std::bad_alloc();
          return Status();
        },
        options);
    EXPECT_EQ(Status::Code::kIoError, st.code());
    EXPECT_EQ("no room", st.message());
  }
  options.start = [](int worker) -> Status {
    if (worker == 1) throw std::bad_alloc();
    return Status();
  };
  EXPECT_EQ("no room", runQueue(20, 2, [](size_t, int) { return Status(); }, options).message());
  EXPECT_EQ("not enough memory", runQueue(1, 1, [](size_t, int) -> Status { throw std::bad_alloc(); }).message());
}

}  // namespace
}  // namespace pixolune
