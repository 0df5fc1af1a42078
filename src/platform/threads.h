// Work shared by a few threads of this process.
#ifndef PIXOLUNE_PLATFORM_THREADS_H_
#define PIXOLUNE_PLATFORM_THREADS_H_

#include <functional>

namespace pixolune {

/// Calls body(0) ... body(count - 1), each on a thread of its own (the
/// calling thread takes body(0)), and returns when all have returned. When
/// the system has no thread to give, the calling thread makes the calls that
/// are left, one after the other. A count below 1 counts as 1. body must
/// not throw. The threads started never take SIGTERM, SIGINT or SIGHUP:
/// their handlers (which remove announced files and end the process) run
/// on the calling thread.
void runOnThreads(int count, const std::function<void(int)>& body);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_THREADS_H_
