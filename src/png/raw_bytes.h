// Byte buffers that growing leaves unwritten. Compressed output and rows
// are written in full right after they are sized; zeroing megabytes first
// would only cost time, and the pages would be first touched by the thread
// that sized the buffer instead of the one that fills it.
#ifndef PIXOLUNE_PNG_RAW_BYTES_H_
#define PIXOLUNE_PNG_RAW_BYTES_H_

#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace pixolune {

/// An allocator whose value-initialisation (resize(n), vector(n)) leaves
/// the elements default-initialised; resize(n, value) still writes value.
template <typename T>
struct DefaultInitAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  DefaultInitAllocator() = default;
  template <typename U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}

  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

/// Bytes whose resize does not clear them.
using RawBytes = std::vector<uint8_t, DefaultInitAllocator<uint8_t>>;

}  // namespace pixolune

#endif  // PIXOLUNE_PNG_RAW_BYTES_H_
