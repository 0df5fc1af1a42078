#include "platform/threads.h"

#include <signal.h>

#include <system_error>
#include <thread>
#include <vector>

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

}  // namespace pixolune
