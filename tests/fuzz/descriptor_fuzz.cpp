// The descriptor parser on any bytes: it reads only data[0..size) and
// ends however deep or long the tree claims to be.
#include "psd/layers/descriptor.h"

#include <cmath>

#include "fuzz/fuzz_input.h"

using namespace pixolune;

namespace {

// Walks the parsed tree as the effects and fills read it.
void walk(const DescValue& v, int depth) {
  pixolune::fuzz::require(depth <= 64 && std::isfinite(v.number));
  for (const auto& [key, item] : v.items) {
    (void)v.get(key.c_str());
    walk(item, depth + 1);
  }
  for (const DescValue& item : v.list) walk(item, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DescValue value;
  if (parseDescriptor(data, size, &value)) walk(value, 0);
  return 0;
}
