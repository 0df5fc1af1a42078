#include "platform/memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace pixolune {
namespace {

// Every size class (heap, mapped, mapped and made present by two threads)
// hands out zeros that can be written, the last byte included.
TEST(ZeroedBlockTest, ZeroedAndWritableInEverySize) {
  for (size_t bytes : {size_t{0}, size_t{1000}, kMappedBlockBytes, size_t{40} << 20}) {
    auto* p = static_cast<uint8_t*>(allocateZeroedBlock(bytes));
    ASSERT_NE(nullptr, p) << bytes;
    size_t nonzero = 0;
    for (size_t i = 0; i < bytes; i += 4093) nonzero += p[i] != 0;
    if (bytes) nonzero += p[bytes - 1] != 0;
    EXPECT_EQ(0u, nonzero) << bytes;
    if (bytes) {
      std::memset(p, 0xAB, bytes);
      EXPECT_EQ(0xAB, p[bytes - 1]);
    }
    freeZeroedBlock(p, bytes);
  }
  freeZeroedBlock(nullptr, 100);  // Nothing to do.
}

// More than the address space holds is a null, not a crash.
TEST(ZeroedBlockTest, NullWhenThereIsNoMemory) {
  EXPECT_EQ(nullptr, allocateZeroedBlock(size_t{1} << 62));
}

}  // namespace
}  // namespace pixolune
