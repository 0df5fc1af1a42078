// PackBits expansion against a plain reference: the same verdict and, when
// the data makes exactly one row, the same bytes, never writing past the row
// (which is a heap block of its exact size here). The first two bytes of an
// input are the row's size, the rest the packed data.
#include <cstring>
#include <memory>
#include <vector>

#include "psd/psd_file.h"
#include "fuzz/fuzz_input.h"

using namespace pixolune;

namespace {

bool referenceUnpack(const uint8_t* src, size_t n, size_t size, std::vector<uint8_t>* out) {
  out->clear();
  size_t i = 0;
  while (i < n && out->size() < size) {
    const int code = static_cast<int8_t>(src[i++]);
    if (code >= 0) {
      const size_t len = static_cast<size_t>(code) + 1;
      if (len > n - i || len > size - out->size()) return false;
      out->insert(out->end(), src + i, src + i + len);
      i += len;
    } else if (code != -128) {
      const size_t len = static_cast<size_t>(1 - code);
      if (i >= n || len > size - out->size()) return false;
      out->insert(out->end(), len, src[i++]);
    }
  }
  return out->size() == size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t row = static_cast<size_t>(data[0]) << 8 | data[1];
  // The packed bytes in a block of their own, so a read past them is caught too.
  std::unique_ptr<uint8_t[]> packed(new uint8_t[size - 2]);
  std::memcpy(packed.get(), data + 2, size - 2);
  std::unique_ptr<uint8_t[]> out(new uint8_t[row > 0 ? row : 1]);
  const bool ok = unpackBits(packed.get(), size - 2, out.get(), row);
  std::vector<uint8_t> expected;
  fuzz::require(ok == referenceUnpack(packed.get(), size - 2, row, &expected));
  if (ok && row > 0) fuzz::require(std::memcmp(out.get(), expected.data(), row) == 0);
  return 0;
}
