#include "platform/cores.h"

#include <sched.h>

#include <algorithm>
#include <atomic>

namespace pixolune {

namespace {

std::atomic<int> conversion_threads{0};

}  // namespace

int processCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

void setConversionThreads(int threads) { conversion_threads.store(std::max(0, threads), std::memory_order_relaxed); }

int idleCores() {
  const int cores = processCores();
  const int given = conversion_threads.load(std::memory_order_relaxed);
  return given <= 0 ? cores : std::clamp(given, 1, cores);
}

}  // namespace pixolune
