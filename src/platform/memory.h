// Large blocks of zeroed memory, straight from the system.
#ifndef PIXOLUNE_PLATFORM_MEMORY_H_
#define PIXOLUNE_PLATFORM_MEMORY_H_

#include <cstddef>

namespace pixolune {

/// Blocks from this size on are mapped on their own rather than taken from
/// the C library's heap.
constexpr size_t kMappedBlockBytes = size_t{4} << 20;

/// `bytes` bytes of zeroed memory, or null when there is none. Small blocks
/// come from calloc; large ones are mapped afresh, on huge pages where the
/// system offers them, and made present and writable at once (a very large
/// one by two threads), so their first use neither clears them again nor
/// faults them in page by page. Released by freeZeroedBlock with the same size.
void* allocateZeroedBlock(size_t bytes);
void freeZeroedBlock(void* p, size_t bytes);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_MEMORY_H_
