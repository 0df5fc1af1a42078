#include "platform/threads.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/mutex.h"

namespace pixolune {

namespace {

// The signals that end a helper or a run: their handlers remove the files
// the process announced and end it.
sigset_t endingSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, signal);
  return set;
}

// The failure of the lowest rank noted: 0 for a start, item + 1 for an item.
class FirstFailure {
 public:
  void note(size_t rank, Status st) EXCLUDES(mutex_) {
    MutexLock hold(&mutex_);
    if (rank < rank_) rank_ = rank, status_ = std::move(st);
    failed_.store(true, std::memory_order_release);
  }
  bool failed() const { return failed_.load(std::memory_order_acquire); }
  Status status() EXCLUDES(mutex_) {
    MutexLock hold(&mutex_);
    return status_;
  }

 private:
  Mutex mutex_;
  size_t rank_ GUARDED_BY(mutex_) = std::numeric_limits<size_t>::max();
  Status status_ GUARDED_BY(mutex_);
  std::atomic<bool> failed_{false};
};

}  // namespace

void runOnThreads(int count, const std::function<void(int)>& body) {
  std::vector<std::thread> helpers;
  // The threads start with the ending signals blocked (a thread inherits the
  // mask of the one that starts it), so such a signal's handler runs on the
  // calling thread, between its own steps. Run on another thread, it could
  // remove a temporary file and end the process while the calling thread was
  // about to create that file again, leaving it behind.
  const sigset_t ending = endingSignals();
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &ending, &before);
  int started = 1;
  for (; started < count; ++started) {
    try {
      helpers.emplace_back(body, started);
    } catch (const std::system_error&) {
      break;
    }
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  body(0);
  for (int k = started; k < count; ++k) body(k);  // Those no thread could be had for.
  for (std::thread& t : helpers) t.join();
}

Status runQueue(size_t count, int threads, const std::function<Status(size_t item, int worker)>& work,
                const QueueOptions& options) {
  if (count == 0) return Status();
  const int workers = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(threads, 1)), count));
  std::atomic<size_t> next{0};
  FirstFailure failure;
  // Runs one call; false (and the failure noted) when it failed.
  const auto attempt = [&](size_t rank, const auto& call) {
    Status st;
    try {
      st = call();
    } catch (const std::bad_alloc&) {
      st = options.out_of_memory;
    }
    if (st.ok()) return true;
    failure.note(rank, std::move(st));
    return false;
  };
  runOnThreads(workers, [&](int worker) {
    if (options.start && !attempt(0, [&] { return options.start(worker); })) return;
    while (!failure.failed()) {
      const size_t item = next.fetch_add(1, std::memory_order_relaxed);
      // An item once taken is done even when another fails meanwhile: it
      // may lie below the failed one.
      if (item >= count) return;
      if (!attempt(item + 1, [&] { return work(item, worker); })) return;
    }
  });
  return failure.failed() ? failure.status() : Status();
}

}  // namespace pixolune
