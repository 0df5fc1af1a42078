#include "psd/psd_file.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace pixolune {
namespace {

// PackBits as the format defines it, a byte at a time: the reference.
bool unpackSlowly(const std::vector<uint8_t>& src, size_t size, std::vector<uint8_t>* out) {
  out->clear();
  for (size_t i = 0; i < src.size() && out->size() < size;) {
    const int8_t code = static_cast<int8_t>(src[i++]);
    if (code >= 0) {
      for (int k = 0; k <= code; ++k) {
        if (i >= src.size()) return false;
        out->push_back(src[i++]);
      }
    } else if (code != -128) {
      if (i >= src.size()) return false;
      out->insert(out->end(), static_cast<size_t>(1 - code), src[i++]);
    }
    if (out->size() > size) return false;
  }
  return out->size() == size;
}

// Streams of runs and literals of every length, cut and sized every way:
// the fast expander (which writes short pieces 16 bytes at a time) makes
// exactly what the reference makes, never writes past the end, and refuses
// what the reference refuses.
TEST(UnpackBitsTest, AgreesWithTheFormatOnEveryStream) {
  std::mt19937 random(11);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> src;
    const int pieces = 1 + static_cast<int>(random() % 12);
    for (int p = 0; p < pieces; ++p) {
      const int kind = static_cast<int>(random() % 3), len = 1 + static_cast<int>(random() % (random() % 4 ? 20 : 128));
      if (kind == 0) {
        src.push_back(static_cast<uint8_t>(len - 1));
        for (int k = 0; k < len; ++k) src.push_back(static_cast<uint8_t>(random()));
      } else if (kind == 1 && len >= 2) {
        src.push_back(static_cast<uint8_t>(1 - len));
        src.push_back(static_cast<uint8_t>(random()));
      } else {
        src.push_back(0x80);  // No operation.
      }
    }
    if (random() % 5 == 0) src.resize(random() % (src.size() + 1));  // Cut short.
    std::vector<uint8_t> whole;
    unpackSlowly(src, SIZE_MAX, &whole);  // What the stream makes before it ends or breaks.
    const size_t natural = whole.size();
    for (const size_t size : {natural, natural + 1, natural > 0 ? natural - 1 : 0, natural + 40}) {
      std::vector<uint8_t> got(size + 32, 0xEE);
      const bool ok = unpackBits(src.data(), src.size(), got.data(), size);
      std::vector<uint8_t> reference;
      ASSERT_EQ(unpackSlowly(src, size, &reference), ok) << "round " << round << " size " << size;
      if (ok) {
        EXPECT_TRUE(std::equal(reference.begin(), reference.end(), got.begin())) << round;
      }
      for (size_t k = size; k < got.size(); ++k) ASSERT_EQ(0xEE, got[k]) << "wrote past the end, round " << round;
    }
  }
}

}  // namespace
}  // namespace pixolune
