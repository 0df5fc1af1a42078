// A mutex the thread-safety annotations know, its scoped holder, and a
// condition variable waited on under it.
#ifndef PIXOLUNE_PLATFORM_MUTEX_H_
#define PIXOLUNE_PLATFORM_MUTEX_H_

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/thread_annotations.h"

namespace pixolune {

/// std::mutex, named as a capability so GUARDED_BY fields can refer to it.
class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

/// Holds a Mutex for the rest of the scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex* mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_->lock(); }
  ~MutexLock() RELEASE() { mutex_->unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex* mutex_;
};

/// A condition variable for a Mutex. The condition is tested by the caller,
/// under the mutex, in a loop around the wait (the analysis then sees the
/// guarded fields read under their lock):
///   MutexLock hold(&mutex_);
///   while (!ready_) changed_.wait(&mutex_);
class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  /// Releases `mutex` until woken (or woken spuriously), then holds it again.
  void wait(Mutex* mutex) REQUIRES(mutex) { cv_.wait(*mutex); }
  /// The same, but gives up at `deadline`: false when it had passed.
  template <typename Clock, typename Duration>
  bool waitUntil(Mutex* mutex, const std::chrono::time_point<Clock, Duration>& deadline) REQUIRES(mutex) {
    return cv_.wait_until(*mutex, deadline) == std::cv_status::no_timeout;
  }
  /// The same, for at most `timeout`.
  template <typename Rep, typename Period>
  bool waitFor(Mutex* mutex, const std::chrono::duration<Rep, Period>& timeout) REQUIRES(mutex) {
    return cv_.wait_for(*mutex, timeout) == std::cv_status::no_timeout;
  }
  void notifyOne() { cv_.notify_one(); }
  void notifyAll() { cv_.notify_all(); }

 private:
  std::condition_variable_any cv_;
};

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_MUTEX_H_
