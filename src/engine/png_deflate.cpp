#include "engine/png_deflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

namespace pixolune {

namespace {

// Reads a deflate stream bit by bit, least significant bit first. Reading
// past the end gives zero bits and marks the reader overrun.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint32_t peek(unsigned count) {
    if (bits_ < 32) refill();
    return static_cast<uint32_t>(buffer_ & ((uint64_t{1} << count) - 1));
  }
  void skip(unsigned count) {
    if (bits_ < count) refill();
    buffer_ >>= count;
    bits_ -= count;
    consumed_ += count;
  }
  uint32_t read(unsigned count) {
    const uint32_t value = peek(count);
    skip(count);
    return value;
  }
  void alignToByte() { skip((8 - consumed_ % 8) % 8); }
  // REQUIRES: aligned to a byte.
  void skipBytes(size_t count) {
    consumed_ += count * 8;
    next_ = consumed_ / 8;
    buffer_ = 0;
    bits_ = 0;
  }
  size_t position() const { return consumed_; }
  bool overrun() const { return consumed_ > size_ * 8; }

 private:
  void refill() {
    while (bits_ <= 56) {
      const uint64_t byte = next_ < size_ ? data_[next_] : 0;
      ++next_;
      buffer_ |= byte << bits_;
      bits_ += 8;
    }
  }

  const uint8_t* data_;
  size_t size_;
  size_t next_ = 0;      // Next byte to load into the buffer.
  uint64_t buffer_ = 0;  // Loaded bits not yet consumed.
  unsigned bits_ = 0;
  size_t consumed_ = 0;
};

// A canonical Huffman code as a table indexed by the next max_bits bits of
// the stream; an entry holds (symbol << 4) | code length, 0 for no code.
struct Huffman {
  std::vector<uint16_t> table;
  unsigned max_bits = 0;

  bool build(const uint8_t* lengths, unsigned count) {
    unsigned per_length[16] = {};
    max_bits = 0;
    for (unsigned i = 0; i < count; ++i) {
      ++per_length[lengths[i]];
      max_bits = std::max<unsigned>(max_bits, lengths[i]);
    }
    int left = 1;  // Codes still free at the current length; negative: over-subscribed.
    unsigned next_code[16] = {};
    for (unsigned len = 1, code = 0; len < 16; ++len) {
      left = left * 2 - static_cast<int>(per_length[len]);
      if (left < 0) return false;
      code = (code + per_length[len - 1] * (len > 1)) << 1;
      next_code[len] = code;
    }
    table.assign(size_t{1} << max_bits, 0);
    for (unsigned symbol = 0; symbol < count; ++symbol) {
      const unsigned len = lengths[symbol];
      if (len == 0) continue;
      unsigned code = next_code[len]++, reversed = 0;
      for (unsigned b = 0; b < len; ++b, code >>= 1) reversed = (reversed << 1) | (code & 1);
      for (size_t k = reversed; k < table.size(); k += size_t{1} << len)
        table[k] = static_cast<uint16_t>(symbol << 4 | len);
    }
    return true;
  }

  // The next symbol, or -1 when the bits are no code.
  int decode(BitReader& in) const {
    const uint16_t entry = table[in.peek(max_bits)];
    if ((entry & 15) == 0) return -1;
    in.skip(entry & 15);
    return entry >> 4;
  }
};

constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Skips the symbols of one Huffman-coded block up to its end-of-block code.
bool walkCodedBlock(BitReader& in, const Huffman& literals, const Huffman& distances) {
  while (!in.overrun()) {
    int symbol = literals.decode(in);
    if (symbol < 256) {
      if (symbol < 0) return false;
      continue;
    }
    if (symbol == 256) return true;
    if (symbol - 257 >= 29) return false;
    in.skip(kLengthExtra[symbol - 257]);
    if (distances.max_bits == 0) return false;
    symbol = distances.decode(in);
    if (symbol < 0 || symbol >= 30) return false;
    in.skip(kDistanceExtra[symbol]);
  }
  return false;
}

bool readCodeLengths(BitReader& in, const Huffman& lengths_code, unsigned count, uint8_t* lengths) {
  for (unsigned n = 0; n < count;) {
    const int symbol = lengths_code.decode(in);
    if (symbol < 0 || in.overrun()) return false;
    if (symbol < 16) {
      lengths[n++] = static_cast<uint8_t>(symbol);
      continue;
    }
    if (symbol == 16 && n == 0) return false;
    const uint8_t value = symbol == 16 ? lengths[n - 1] : 0;
    const unsigned repeat = symbol == 16 ? 3 + in.read(2) : symbol == 17 ? 3 + in.read(3) : 11 + in.read(7);
    if (n + repeat > count) return false;
    std::fill(lengths + n, lengths + n + repeat, value);
    n += repeat;
  }
  return true;
}

bool readDynamicCodes(BitReader& in, Huffman* literals, Huffman* distances) {
  static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  const unsigned literal_count = in.read(5) + 257, distance_count = in.read(5) + 1, header_count = in.read(4) + 4;
  if (literal_count > 286 || distance_count > 30) return false;
  uint8_t header_lengths[19] = {};
  for (unsigned i = 0; i < header_count; ++i) header_lengths[kOrder[i]] = static_cast<uint8_t>(in.read(3));
  Huffman lengths_code;
  uint8_t lengths[286 + 30] = {};
  if (!lengths_code.build(header_lengths, 19) || lengths_code.max_bits == 0 ||
      !readCodeLengths(in, lengths_code, literal_count + distance_count, lengths) || lengths[256] == 0)
    return false;
  return literals->build(lengths, literal_count) && distances->build(lengths + literal_count, distance_count);
}

bool walkFixedBlock(BitReader& in) {
  static const auto codes = [] {
    uint8_t lengths[288 + 30];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    std::fill(lengths + 288, lengths + 318, 5);
    std::pair<Huffman, Huffman> built;
    built.first.build(lengths, 288);
    built.second.build(lengths + 288, 30);
    return built;
  }();
  return walkCodedBlock(in, codes.first, codes.second);
}

bool skipStoredBlock(BitReader& in, size_t size) {
  in.alignToByte();
  const uint32_t length = in.read(16), complement = in.read(16);
  if (length != (~complement & 0xFFFF) || in.position() / 8 + length > size) return false;
  in.skipBytes(length);
  return true;
}

struct CompressorCloser {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorCloser>;

// One piece of the data as raw deflate; every piece but the last is made
// continuable. Empty on failure.
std::vector<uint8_t> compressPiece(const uint8_t* data, size_t size, int level, bool last) {
  Compressor compressor(libdeflate_alloc_compressor(level));
  std::vector<uint8_t> out;
  if (!compressor) return out;
  out.resize(libdeflate_deflate_compress_bound(compressor.get(), size));
  out.resize(libdeflate_deflate_compress(compressor.get(), data, size, out.data(), out.size()));
  if (!out.empty() && !last && !makeContinuable(&out)) out.clear();
  return out;
}

// The zlib header for libdeflate's level, as libdeflate writes it.
void appendZlibHeader(int level, std::vector<uint8_t>* out) {
  const unsigned cmf = 0x78, flevel = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned flg = flevel << 6;
  flg += 31 - (cmf * 256 + flg) % 31;
  out->push_back(static_cast<uint8_t>(cmf));
  out->push_back(static_cast<uint8_t>(flg));
}

bool compressWhole(const uint8_t* data, size_t size, int level, std::vector<uint8_t>* out) {
  Compressor compressor(libdeflate_alloc_compressor(level));
  if (!compressor) return false;
  out->resize(libdeflate_zlib_compress_bound(compressor.get(), size));
  out->resize(libdeflate_zlib_compress(compressor.get(), data, size, out->data(), out->size()));
  return !out->empty();
}

}  // namespace

bool findFinalBlock(const uint8_t* data, size_t size, FinalBlock* found) {
  BitReader in(data, size);
  Huffman literals, distances;
  for (;;) {
    const size_t header = in.position();
    const bool final = in.read(1) != 0;
    const unsigned type = in.read(2);
    bool ok = false;
    if (type == 0) ok = skipStoredBlock(in, size);
    if (type == 1) ok = walkFixedBlock(in);
    if (type == 2) ok = readDynamicCodes(in, &literals, &distances) && walkCodedBlock(in, literals, distances);
    if (!ok || in.overrun()) return false;
    if (final) {
      found->header_bit = header;
      found->end_bit = in.position();
      return true;
    }
  }
}

bool makeContinuable(std::vector<uint8_t>* piece) {
  FinalBlock block;
  if (!findFinalBlock(piece->data(), piece->size(), &block)) return false;
  (*piece)[block.header_bit / 8] &= static_cast<uint8_t>(~(1u << (block.header_bit % 8)));
  // Drop whatever follows the end-of-block code, then three zero bits (a
  // non-final stored block), padding to the byte, LEN 0 and NLEN 0xFFFF.
  const size_t end = block.end_bit;
  piece->resize((end + 7) / 8);
  if (end % 8) piece->back() &= static_cast<uint8_t>((1u << (end % 8)) - 1);
  piece->resize((end + 3 + 7) / 8, 0);
  piece->insert(piece->end(), {0x00, 0x00, 0xFF, 0xFF});
  return true;
}

bool zlibCompress(const uint8_t* data, size_t size, int level, int threads, std::vector<uint8_t>* out) {
  out->clear();
  if (level < 0 || level > 12) return false;
  const size_t pieces = std::clamp<size_t>(size / kMinPieceBytes, 1, std::max(threads, 1));
  if (pieces == 1) {
    if (!compressWhole(data, size, level, out)) out->clear();
    return !out->empty();
  }
  std::vector<std::vector<uint8_t>> parts(pieces);
  auto work = [&](size_t i) {
    const size_t begin = size * i / pieces, end = size * (i + 1) / pieces;
    parts[i] = compressPiece(data + begin, end - begin, level, i + 1 == pieces);
  };
  std::vector<std::thread> helpers;
  for (size_t i = 1; i < pieces; ++i) {
    try {
      helpers.emplace_back(work, i);
    } catch (const std::system_error&) {
      work(i);  // No thread to be had: this one does the piece.
    }
  }
  work(0);
  for (std::thread& t : helpers) t.join();

  appendZlibHeader(level, out);
  for (const auto& part : parts) {
    if (part.empty()) {
      out->clear();
      return false;
    }
    out->insert(out->end(), part.begin(), part.end());
  }
  const uint32_t adler = libdeflate_adler32(1, data, size);
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(adler >> shift));
  return true;
}

}  // namespace pixolune
