#include "png/png_deflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "platform/mutex.h"
#include "platform/threads.h"

namespace pixolune {

namespace {

// Reads a deflate stream bit by bit, least significant bit first. Reading
// past the end gives zero bits and marks the reader overrun.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // Makes at least 56 bits available to peek and skip. Whole words are
  // loaded while they last; bits loaded beyond the count are the stream's
  // next bits, so loading them again changes nothing.
  void refill() {
    if (next_ + 8 <= size_) {
      uint64_t word;
      std::memcpy(&word, data_ + next_, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      word = __builtin_bswap64(word);
#endif
      buffer_ |= word << bits_;
      next_ += (63 - bits_) >> 3;
      bits_ |= 56;
      return;
    }
    for (; bits_ <= 56; bits_ += 8, ++next_) buffer_ |= uint64_t{next_ < size_ ? data_[next_] : uint8_t{0}} << bits_;
  }
  // REQUIRES: count <= the bits available (56 after refill).
  uint32_t peek(unsigned count) const { return static_cast<uint32_t>(buffer_ & ((uint64_t{1} << count) - 1)); }
  void skip(unsigned count) {
    buffer_ >>= count;
    bits_ -= count;
    consumed_ += count;
  }
  uint32_t read(unsigned count) {
    refill();
    const uint32_t value = peek(count);
    skip(count);
    return value;
  }
  void alignToByte() { consumed_ % 8 ? (void)read(8 - consumed_ % 8) : (void)0; }
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
  const uint8_t* data_;
  size_t size_;
  size_t next_ = 0;      // Next byte to load into the buffer.
  uint64_t buffer_ = 0;  // Loaded bits not yet consumed.
  unsigned bits_ = 0;
  size_t consumed_ = 0;
};

constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

enum class Alphabet { kCodeLengths, kLiterals, kDistances };

// Extra bits that follow a symbol's code.
unsigned extraBits(Alphabet alphabet, unsigned symbol) {
  if (alphabet == Alphabet::kLiterals) return symbol >= 257 && symbol < 286 ? kLengthExtra[symbol - 257] : 0;
  if (alphabet == Alphabet::kDistances) return symbol < 30 ? kDistanceExtra[symbol] : 0;
  return 0;
}

// A canonical Huffman code as tables indexed by the stream's next bits: a
// primary table of kPrimaryBits (small enough to stay in the first-level
// cache) and, for longer codes, subtables of the bits up to max_bits. An
// entry holds (symbol << 8) | (code length + extra bits), so one skip passes
// a symbol and its extra bits; kSubtable marks an entry that holds a
// subtable's offset instead; 0 means no code.
struct Huffman {
  static constexpr unsigned kPrimaryBits = 10;
  static constexpr uint32_t kSubtable = 0x80;

  std::vector<uint32_t> table;
  unsigned max_bits = 0, primary_bits = 0;

  bool build(const uint8_t* lengths, unsigned count, Alphabet alphabet) {
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
    primary_bits = std::min(max_bits, kPrimaryBits);
    table.assign(size_t{1} << primary_bits, 0);
    for (unsigned symbol = 0; symbol < count; ++symbol) {
      const unsigned len = lengths[symbol];
      if (len == 0) continue;
      unsigned code = next_code[len]++, reversed = 0;
      for (unsigned b = 0; b < len; ++b, code >>= 1) reversed = (reversed << 1) | (code & 1);
      place(reversed, len, symbol << 8 | (len + extraBits(alphabet, symbol)));
    }
    return true;
  }

  // The next symbol with its extra bits skipped, or -1 when the bits are no
  // code. REQUIRES: max_bits plus the extra bits available.
  int decode(BitReader& in) const {
    uint32_t entry = table[in.peek(primary_bits)];
    if (entry & kSubtable) entry = table[(entry >> 8) + (in.peek(max_bits) >> primary_bits)];
    if ((entry & 0x7F) == 0) return -1;
    in.skip(entry & 0x7F);
    return static_cast<int>(entry >> 8);
  }

 private:
  // Enters the code `reversed` (bits in stream order) of length len.
  void place(unsigned reversed, unsigned len, uint32_t entry) {
    if (len <= primary_bits) {
      for (size_t k = reversed; k < (size_t{1} << primary_bits); k += size_t{1} << len) table[k] = entry;
      return;
    }
    const unsigned prefix = reversed & ((1u << primary_bits) - 1), sub_bits = max_bits - primary_bits;
    if (!(table[prefix] & kSubtable)) {
      table[prefix] = static_cast<uint32_t>(table.size()) << 8 | kSubtable;
      table.resize(table.size() + (size_t{1} << sub_bits), 0);
    }
    const size_t base = table[prefix] >> 8, rest = reversed >> primary_bits, step = size_t{1} << (len - primary_bits);
    for (size_t k = rest; k < (size_t{1} << sub_bits); k += step) table[base + k] = entry;
  }
};

// Skips the symbols of one Huffman-coded block up to its end-of-block code.
// A length and distance pair takes at most 48 bits, so one refill serves it.
bool walkCodedBlock(BitReader& in, const Huffman& literals, const Huffman& distances) {
  for (;;) {
    in.refill();
    if (in.overrun()) return false;
    const int symbol = literals.decode(in);
    if (symbol < 256) {
      if (symbol < 0) return false;
      continue;
    }
    if (symbol == 256) return true;
    if (symbol >= 286 || distances.max_bits == 0) return false;
    const int distance = distances.decode(in);
    if (distance < 0 || distance >= 30) return false;
  }
}

bool readCodeLengths(BitReader& in, const Huffman& lengths_code, unsigned count, uint8_t* lengths) {
  for (unsigned n = 0; n < count;) {
    in.refill();
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
  if (!lengths_code.build(header_lengths, 19, Alphabet::kCodeLengths) || lengths_code.max_bits == 0 ||
      !readCodeLengths(in, lengths_code, literal_count + distance_count, lengths) || lengths[256] == 0)
    return false;
  return literals->build(lengths, literal_count, Alphabet::kLiterals) &&
         distances->build(lengths + literal_count, distance_count, Alphabet::kDistances);
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
    built.first.build(lengths, 288, Alphabet::kLiterals);
    built.second.build(lengths + 288, 30, Alphabet::kDistances);
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

// How a piece's bytes are coded.
enum class Coding {
  kMatches,  // libdeflate at the piece's level: repeated strings anywhere in the window.
  kRuns      // zlib's run-length strategy: only repeats of the byte just before.
};

// One piece as raw deflate with libdeflate; a complete stream, or empty on failure.
RawBytes matchesPiece(const uint8_t* data, size_t size, int level) {
  Compressor compressor(libdeflate_alloc_compressor(level));
  RawBytes out;
  if (!compressor) return out;
  out.resize(libdeflate_deflate_compress_bound(compressor.get(), size));
  out.resize(libdeflate_deflate_compress(compressor.get(), data, size, out.data(), out.size()));
  return out;
}

// Bytes read from the source at a time by a piece coded as runs: small
// enough to stay in the cache between reading (filtering) and coding.
constexpr size_t kChunkBytes = 256 * 1024;

// One piece of the data, bytes [begin, begin + size) of the source.
struct Piece {
  RawBytes bytes;     // Raw deflate; empty on failure.
  uint32_t adler = 1;  // Adler-32 of the piece's data.
};

// A piece as raw deflate with zlib's run-length strategy, read from the
// source a chunk at a time and ended by a sync flush (an empty stored block
// on a byte boundary, as makeContinuable leaves it) unless it is the last.
Piece runsPiece(const ByteSource& source, size_t begin, size_t size, bool last) {
  Piece piece;
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -15, 9, Z_RLE) != Z_OK) return piece;
  const auto close = [](z_stream* s) { deflateEnd(s); };
  std::unique_ptr<z_stream, decltype(close)> guard(&z, close);
  RawBytes chunk(std::min(size, kChunkBytes));
  RawBytes& out = piece.bytes;
  // Sized for the whole piece at once: only the pages written are ever touched.
  out.resize(deflateBound(&z, static_cast<uLong>(size)) + 64);
  size_t done = 0;
  for (;;) {
    const size_t step = std::min(size - done, kChunkBytes);
    if (step && !source(begin + done, step, chunk.data())) return Piece();
    piece.adler = libdeflate_adler32(piece.adler, chunk.data(), step);
    done += step;
    const bool end = done == size;
    z.next_in = chunk.data();
    z.avail_in = static_cast<uInt>(step);
    int status;
    do {
      // Room for the chunk's worst case at every call: zlib then never stops for room mid-chunk.
      const size_t room = deflateBound(&z, static_cast<uLong>(step)) + 64;
      if (out.size() - z.total_out < room) out.resize(std::max(z.total_out + room, out.size() + out.size() / 4));
      z.next_out = out.data() + z.total_out;
      z.avail_out = static_cast<uInt>(std::min<size_t>(out.size() - z.total_out, uInt{1} << 30));
      status = deflate(&z, end ? (last ? Z_FINISH : Z_SYNC_FLUSH) : Z_NO_FLUSH);
      if (status == Z_STREAM_ERROR) return Piece();
    } while (z.avail_in > 0 || (end && (last ? status != Z_STREAM_END : z.avail_out == 0)));
    if (end) break;
  }
  out.resize(z.total_out);
  return piece;
}

// A piece coded as matches: libdeflate codes whole buffers only, so the
// piece's data is read at once. Every piece but the last is made continuable.
Piece matchesPieceFrom(const ByteSource& source, size_t begin, size_t size, int level, bool last) {
  Piece piece;
  RawBytes data(size);
  if (size && !source(begin, size, data.data())) return piece;
  piece.adler = libdeflate_adler32(1, data.data(), size);
  piece.bytes = matchesPiece(data.data(), size, level);
  if (!piece.bytes.empty() && !last && !makeContinuable(&piece.bytes)) piece.bytes.clear();
  return piece;
}

ByteSource memorySource(const uint8_t* data) {
  return [data](size_t offset, size_t count, uint8_t* out) {
    std::memcpy(out, data + offset, count);
    return true;
  };
}

// Which coding makes the data smaller. Noisy photographs (every byte a
// little off the byte a pixel or a row before) code smaller and faster as
// runs: libdeflate's short matches there cost more than the literals they
// replace. Drawn artwork, with its repeated shapes, codes smaller as
// matches. Small data is coded both ways and the smaller kept (handed back
// in `whole`, as one complete piece); large data is judged by samples
// spread over it, each coded both ways, at about 3 % of the work.
constexpr size_t kSampleBytes = 64 * 1024, kSamples = 8;

Coding chooseCoding(const ByteSource& source, size_t size, int level, int threads, Piece* whole) {
  if (level == 0) return Coding::kMatches;
  if (size <= kSamples * kSampleBytes) {
    RawBytes data(size);
    if (size && !source(0, size, data.data())) return Coding::kMatches;
    Piece runs = runsPiece(memorySource(data.data()), 0, size, true);
    RawBytes matches = matchesPiece(data.data(), size, level);
    const bool by_runs = !runs.bytes.empty() && (matches.empty() || runs.bytes.size() < matches.size());
    whole->bytes = std::move(by_runs ? runs.bytes : matches);
    whole->adler = libdeflate_adler32(1, data.data(), size);
    return by_runs ? Coding::kRuns : Coding::kMatches;
  }
  // The samples are coded on up to `threads` threads; the sums, and so the
  // choice, do not depend on how many. A sample that cannot be read, or
  // finds no memory, counts for neither coding and stops no other.
  std::atomic<size_t> matches{0}, runs{0};
  // Every item gives ok (a failed sample only counts for neither), so the
  // queue's status says nothing.
  ignoreStatus(runQueue(kSamples, std::clamp(threads, 1, static_cast<int>(kSamples)), [&](size_t i, int) {
    const size_t at = (size - kSampleBytes) * (2 * i + 1) / (2 * kSamples);
    try {
      RawBytes sample(kSampleBytes);
      if (!source(at, kSampleBytes, sample.data())) return Status();
      const size_t by_matches = matchesPiece(sample.data(), kSampleBytes, level).size();
      const size_t by_runs = runsPiece(memorySource(sample.data()), 0, kSampleBytes, true).bytes.size();
      matches += by_matches, runs += by_runs;
    } catch (const std::bad_alloc&) {
    }
    return Status();
  }));
  return runs < matches ? Coding::kRuns : Coding::kMatches;
}

// Empty when the source fails; throws std::bad_alloc when memory runs out.
Piece compressPiece(const ByteSource& source, size_t begin, size_t size, int level, Coding coding, bool last) {
  return coding == Coding::kRuns ? runsPiece(source, begin, size, last)
                                 : matchesPieceFrom(source, begin, size, level, last);
}

// The zlib header for libdeflate's level, as libdeflate writes it.
RawBytes zlibHeader(int level) {
  const unsigned cmf = 0x78, flevel = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned flg = flevel << 6;
  flg += 31 - (cmf * 256 + flg) % 31;
  return {static_cast<uint8_t>(cmf), static_cast<uint8_t>(flg)};
}

// Where the pieces begin (and the last ends): equal shares. The threads
// take the pieces one after another as they get free, so a core that is
// slower (or busier) simply codes fewer of them.
std::vector<size_t> pieceBounds(size_t size, size_t pieces) {
  std::vector<size_t> bounds(pieces + 1, size);
  for (size_t i = 0; i < pieces; ++i) bounds[i] = static_cast<size_t>(uint64_t{size} * i / pieces);
  return bounds;
}

bool compressInPieces(const ByteSource& source, size_t size, int level, int piece_limit, int threads,
                      const PartSink& sink);

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

bool makeContinuable(RawBytes* piece) {
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

bool zlibCompress(const ByteSource& source, size_t size, int level, int pieces, int threads, const PartSink& sink) {
  if (level < 0 || level > 12) return false;
  try {
    return compressInPieces(source, size, level, pieces, threads, sink);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool zlibCompress(const uint8_t* data, size_t size, int level, int pieces, int threads, std::vector<uint8_t>* out) {
  out->clear();
  const bool done = zlibCompress(memorySource(data), size, level, pieces, threads, [out](RawBytes part) {
    out->insert(out->end(), part.begin(), part.end());
    return true;
  });
  if (!done) {
    out->clear();
    out->shrink_to_fit();
  }
  return done;
}

namespace {

bool compressInPieces(const ByteSource& source, size_t size, int level, int piece_limit, int threads,
                      const PartSink& sink) {
  Piece whole;
  const Coding coding = chooseCoding(source, size, level, threads, &whole);
  if (!sink(zlibHeader(level))) return false;
  uint32_t adler = whole.adler;
  if (!whole.bytes.empty()) {
    if (!sink(std::move(whole.bytes))) return false;
  } else {
    const size_t pieces = std::clamp<size_t>(size / kMinPieceBytes, 1, static_cast<size_t>(std::max(piece_limit, 1)));
    const std::vector<size_t> bounds = pieceBounds(size, pieces);
    // Pieces finish in any order; each is handed on as soon as every piece
    // before it has been, by the thread that finished the last one missing,
    // so the stream is written while later pieces are still being coded.
    // `handing` guards the pieces, what has been handed on, and whether
    // anything failed (once it has, nothing more is handed on).
    std::vector<Piece> parts(pieces);
    std::vector<char> finished(pieces, 0);
    Mutex handing;
    size_t handed = 0;
    bool failed = false;
    const Status failure = Status::ioError("a piece could not be coded or written");
    const auto work = [&](size_t i, int) {
      // A piece without memory is never finished: nothing from it on is handed on.
      Piece piece = compressPiece(source, bounds[i], bounds[i + 1] - bounds[i], level, coding, i + 1 == pieces);
      MutexLock lock(&handing);
      if (piece.bytes.empty()) failed = true;
      parts[i] = std::move(piece);
      finished[i] = 1;
      for (; !failed && handed < pieces && finished[handed]; ++handed) {
        failed = true;  // Until the sink has taken the piece (it may run out of memory).
        failed = !sink(std::move(parts[handed].bytes));
        parts[handed].bytes = RawBytes();
      }
      return failed ? failure : Status();
    };
    QueueOptions options;
    options.out_of_memory = failure;
    const Status coded =
        runQueue(pieces, static_cast<int>(std::min(pieces, static_cast<size_t>(std::max(threads, 1)))), work, options);
    if (!coded.ok() || handed != pieces) return false;
    adler = parts[0].adler;
    for (size_t i = 1; i < pieces; ++i)
      adler = static_cast<uint32_t>(
          adler32_combine64(adler, parts[i].adler, static_cast<z_off64_t>(bounds[i + 1] - bounds[i])));
  }
  return sink(RawBytes{static_cast<uint8_t>(adler >> 24), static_cast<uint8_t>(adler >> 16),
                       static_cast<uint8_t>(adler >> 8), static_cast<uint8_t>(adler)});
}

}  // namespace

}  // namespace pixolune
