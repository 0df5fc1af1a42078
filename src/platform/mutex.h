// A mutex the thread-safety annotations know, and its scoped holder.
#ifndef PIXOLUNE_PLATFORM_MUTEX_H_
#define PIXOLUNE_PLATFORM_MUTEX_H_

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

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_MUTEX_H_
