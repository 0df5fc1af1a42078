#include "png/png_deflate.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cmath>
#include <random>

namespace pixolune {
namespace {

class PngDeflateTest : public ::testing::Test {
 protected:
  // Image-like bytes: gradients, runs and noise, so that libdeflate makes
  // blocks of every kind and splits them where the statistics change.
  static std::vector<uint8_t> sample(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) {
      const size_t region = (i / 70000) % 3;
      data[i] = region == 0 ? static_cast<uint8_t>(i / 3 + (i % 3) * 40)
                : region == 1 ? static_cast<uint8_t>(random() % 6)
                              : static_cast<uint8_t>(random());
    }
    return data;
  }

  // Inflates a zlib stream with zlib; empty when zlib finds fault with it
  // or it does not end exactly at the end of the bytes.
  static std::vector<uint8_t> inflateZlib(const std::vector<uint8_t>& stream, size_t expected_size, int window_bits) {
    z_stream z{};
    std::vector<uint8_t> out(expected_size + 16);
    if (inflateInit2(&z, window_bits) != Z_OK) return {};
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    const bool whole = status == Z_STREAM_END && z.avail_in == 0;
    out.resize(z.total_out);
    inflateEnd(&z);
    return whole ? out : std::vector<uint8_t>();
  }

  static std::vector<uint8_t> rawDeflate(const std::vector<uint8_t>& data, int level) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c, data.size()));
    out.resize(libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
  }

  // zlib's raw deflate with a strategy of our choosing (fixed codes, or a
  // full flush in the middle that leaves an empty stored block).
  static std::vector<uint8_t> zlibRaw(const std::vector<uint8_t>& data, int strategy, bool flush_midway) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, strategy);
    std::vector<uint8_t> out(deflateBound(&z, data.size()) + 64);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(flush_midway ? data.size() / 2 : 0);
    if (flush_midway) deflate(&z, Z_FULL_FLUSH);
    z.avail_in = static_cast<uInt>(data.size() - (flush_midway ? data.size() / 2 : 0));
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
  }
};

TEST_F(PngDeflateTest, PiecesCompressedAtOnceInflateAsOneZlibStreamAtEveryLevel) {
  const std::vector<uint8_t> data = sample(5 * kMinPieceBytes + 12345, 1);
  for (int level : {0, 1, 4, 6, 9, 12}) {
    for (int threads : {1, 2, 3, 8}) {
      SCOPED_TRACE(testing::Message() << "level " << level << ", threads " << threads);
      std::vector<uint8_t> stream;
      ASSERT_TRUE(zlibCompress(data.data(), data.size(), level, threads, threads, &stream));
      EXPECT_EQ(0, (stream[0] * 256 + stream[1]) % 31);  // A valid zlib header.
      ASSERT_EQ(data, inflateZlib(stream, data.size(), 15));
    }
  }
}

// The same file whatever the load: the number of threads at hand changes
// the speed, never the bytes.
TEST_F(PngDeflateTest, TheStreamDependsOnThePiecesNotOnTheThreads) {
  const std::vector<uint8_t> data = sample(4 * kMinPieceBytes + 999, 3);
  for (int pieces : {1, 2, 3}) {
    std::vector<uint8_t> alone, together;
    ASSERT_TRUE(zlibCompress(data.data(), data.size(), 7, pieces, 1, &alone));
    ASSERT_TRUE(zlibCompress(data.data(), data.size(), 7, pieces, 4, &together));
    EXPECT_EQ(alone, together) << pieces;
    EXPECT_EQ(data, inflateZlib(alone, data.size(), 15));
  }
}

TEST_F(PngDeflateTest, SmallDataAndEmptyDataStayOnePiece) {
  for (size_t size : {size_t{0}, size_t{1}, kMinPieceBytes + 1}) {
    const std::vector<uint8_t> data = sample(size, 2);
    std::vector<uint8_t> stream;
    ASSERT_TRUE(zlibCompress(data.data(), data.size(), 6, 4, 4, &stream));
    EXPECT_EQ(data, inflateZlib(stream, data.size(), 15)) << size;
  }
  std::vector<uint8_t> stream;
  EXPECT_FALSE(zlibCompress(nullptr, 0, 13, 1, 1, &stream));
  EXPECT_TRUE(stream.empty());
}

// Filtered rows of a photograph are small differences in noise, which code
// smaller as runs; drawn artwork repeats itself, which codes smaller as
// matches. Small data is coded both ways, large data judged by samples;
// either way the stream is the smaller one, in one piece or several.
TEST_F(PngDeflateTest, DataTakesTheSmallerCoding) {
  std::mt19937 random(7);
  std::vector<uint8_t> pattern(1500);
  for (uint8_t& b : pattern) b = static_cast<uint8_t>(random());
  std::normal_distribution<double> grain(0.0, 2.0);
  for (size_t size : {size_t{300000}, size_t{1500000}}) {
    std::vector<uint8_t> photo(size), artwork(size);
    for (uint8_t& b : photo) b = static_cast<uint8_t>(std::lround(grain(random)));
    for (size_t i = 0; i < size; ++i) artwork[i] = pattern[i % pattern.size()];
    for (int pieces : {1, 3}) {
      SCOPED_TRACE(testing::Message() << size << " bytes, " << pieces << " pieces");
      std::vector<uint8_t> stream;
      ASSERT_TRUE(zlibCompress(photo.data(), photo.size(), 7, pieces, 2, &stream));
      ASSERT_EQ(photo, inflateZlib(stream, size, 15));
      EXPECT_LT(stream.size(), rawDeflate(photo, 7).size());
      ASSERT_TRUE(zlibCompress(artwork.data(), artwork.size(), 7, pieces, 2, &stream));
      ASSERT_EQ(artwork, inflateZlib(stream, size, 15));
      EXPECT_LT(stream.size(), zlibRaw(artwork, Z_RLE, false).size());
    }
  }
}

// A continuable piece followed by an empty final block with fixed codes
// (bits 1, 01, then end-of-block 0000000) is one complete stream: the final
// block was found, made non-final and closed on a byte boundary.
TEST_F(PngDeflateTest, FinalBlockFoundInEveryKindOfStream) {
  const std::vector<uint8_t> data = sample(600000, 3);
  const std::vector<std::vector<uint8_t>> streams = {
      rawDeflate(data, 0), rawDeflate(data, 1), rawDeflate(data, 6), rawDeflate(data, 12),
      rawDeflate({'a', 'b', 'c'}, 6), zlibRaw(data, Z_FIXED, false), zlibRaw(data, Z_DEFAULT_STRATEGY, true)};
  for (size_t i = 0; i < streams.size(); ++i) {
    SCOPED_TRACE(i);
    FinalBlock block;
    ASSERT_TRUE(findFinalBlock(streams[i].data(), streams[i].size(), &block));
    EXPECT_EQ(streams[i].size(), (block.end_bit + 7) / 8);
    RawBytes piece(streams[i].begin(), streams[i].end());
    ASSERT_TRUE(makeContinuable(&piece));
    piece.insert(piece.end(), {0x03, 0x00});
    const size_t size = i == 4 ? 3 : data.size();
    EXPECT_EQ(size, inflateZlib({piece.begin(), piece.end()}, size, -15).size());
  }
}

TEST_F(PngDeflateTest, TruncatedAndDamagedStreamsAreRefused) {
  const std::vector<uint8_t> stream = rawDeflate(sample(3000, 4), 6);
  FinalBlock block;
  for (size_t size = 0; size < stream.size(); ++size)
    EXPECT_FALSE(findFinalBlock(stream.data(), size, &block)) << "cut at " << size;
  std::mt19937 random(5);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> noise(64 + random() % 512);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    RawBytes piece(noise.begin(), noise.end());
    if (!makeContinuable(&piece)) {
      EXPECT_EQ(noise, std::vector<uint8_t>(piece.begin(), piece.end()));  // Refused pieces stay as they were.
    }
  }
  RawBytes reserved = {0x07};  // Block type 3.
  EXPECT_FALSE(makeContinuable(&reserved));
}

}  // namespace
}  // namespace pixolune
