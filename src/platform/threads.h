// Work shared by a few threads of this process.
#ifndef PIXOLUNE_PLATFORM_THREADS_H_
#define PIXOLUNE_PLATFORM_THREADS_H_

#include <cstddef>
#include <functional>

#include "platform/status.h"

namespace pixolune {

/// Calls body(0) ... body(count - 1), each on a thread of its own (the
/// calling thread takes body(0)), and returns when all have returned. When
/// the system has no thread to give, the calling thread makes the calls that
/// are left, one after the other. A count below 1 counts as 1. body must
/// not throw. The threads started never take SIGTERM, SIGINT or SIGHUP:
/// their handlers (which remove announced files and end the process) run
/// on the calling thread.
void runOnThreads(int count, const std::function<void(int)>& body);

/// What runQueue needs besides the items.
struct QueueOptions {
  /// Called on each thread before it takes its first item, with the
  /// thread's number (0 ... threads - 1, as the items get it): for what a
  /// thread keeps from item to item. A failed start ranks before every item.
  std::function<Status(int worker)> start;
  /// The failure of an item or a start that throws std::bad_alloc.
  Status out_of_memory = Status::ioError("not enough memory");
};

/// Does items 0 ... count - 1 on up to `threads` threads (runOnThreads):
/// work(item, worker) for each, the items taken one after another from a
/// shared counter as the threads get free, so a slower or busier core
/// simply does fewer of them. Once an item (or a start) has failed, no
/// further item is handed out; those under way finish. Returns the failure
/// of the lowest-numbered item that failed, ok when none did. That failure
/// does not depend on how the threads shared the items: every item below
/// it was taken before it, and so was done. std::bad_alloc thrown by work
/// or start is that item's failure (options.out_of_memory); work must not
/// throw anything else. Nothing runs when count is 0.
Status runQueue(size_t count, int threads, const std::function<Status(size_t item, int worker)>& work,
                const QueueOptions& options = {});

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_THREADS_H_
