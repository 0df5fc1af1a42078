#include "platform/memory.h"

#include <sys/mman.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/threads.h"

namespace pixolune {

namespace {

// Mapped blocks from this size on are made present by two threads.
constexpr size_t kParallelBytes = size_t{32} << 20;

}  // namespace

void* allocateZeroedBlock(size_t bytes) {
  if (bytes < kMappedBlockBytes) return std::calloc(bytes ? bytes : 1, 1);
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  madvise(p, bytes, MADV_HUGEPAGE);
  // Present and writable now: the first reads of a canvas must not map
  // shared zero pages that every later write then replaces. The system
  // clears the pages; a large block is cleared in two halves at once.
  std::atomic<bool> out_of_memory{false};
  const auto populate = [&](size_t from, size_t to) {
    uint8_t* at = static_cast<uint8_t*>(p) + from;
    if (madvise(at, to - from, MADV_POPULATE_WRITE) == 0) return;
    if (errno == ENOMEM) out_of_memory = true;
    else std::memset(at, 0, to - from);  // A kernel without it: the writes fault the pages in.
  };
  const size_t huge_page = size_t{2} << 20;
  const size_t half = bytes >= kParallelBytes ? (bytes / 2) & ~(huge_page - 1) : bytes;
  runOnThreads(half < bytes ? 2 : 1, [&](int k) { k == 0 ? populate(0, half) : populate(half, bytes); });
  if (out_of_memory) {
    munmap(p, bytes);
    return nullptr;
  }
  return p;
}

void freeZeroedBlock(void* p, size_t bytes) {
  if (!p) return;
  if (bytes < kMappedBlockBytes) std::free(p);
  else munmap(p, bytes);
}

}  // namespace pixolune
