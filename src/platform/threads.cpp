#include "platform/threads.h"

#include <system_error>
#include <thread>
#include <vector>

namespace pixolune {

void runOnThreads(int count, const std::function<void(int)>& body) {
  std::vector<std::thread> helpers;
  int started = 1;
  for (; started < count; ++started) {
    try {
      helpers.emplace_back(body, started);
    } catch (const std::system_error&) {
      break;
    }
  }
  body(0);
  for (int k = started; k < count; ++k) body(k);  // Those no thread could be had for.
  for (std::thread& t : helpers) t.join();
}

}  // namespace pixolune
