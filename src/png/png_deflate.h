// The zlib stream of a PNG file, optionally in pieces compressed at once.
// Each piece is coded the way that makes it smaller: with libdeflate's match
// finder at the chosen level (drawn artwork), or with zlib's run-length
// strategy (photographs, whose filtered rows are noise that short matches
// only make longer); the choice is made on samples of the piece. libdeflate compresses whole buffers only and ends each one
// with a final block, so pieces are joined the way a sync flush would join
// them: the final block of every piece but the last is made non-final (its
// BFINAL bit is found by walking the piece's blocks) and followed by an
// empty stored block, which ends the piece on a byte boundary. The pieces
// then read as one deflate stream, behind one zlib header and one Adler-32
// over all the data.
#ifndef PIXOLUNE_PNG_PNG_DEFLATE_H_
#define PIXOLUNE_PNG_PNG_DEFLATE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "png/raw_bytes.h"

namespace pixolune {

/// Where the last block of a raw deflate stream lies, in bits from the
/// stream's first byte (bits count from the least significant bit).
struct FinalBlock {
  size_t header_bit = 0;  // The block's BFINAL bit.
  size_t end_bit = 0;     // The first bit after its end-of-block code.
};

/// Walks the blocks of the raw deflate stream in `data` and finds its final
/// block. False when the stream is malformed, or ends before a final block.
bool findFinalBlock(const uint8_t* data, size_t size, FinalBlock* found);

/// Turns the complete raw deflate stream `piece` into one that a following
/// stream can continue: the final block becomes non-final and an empty
/// stored block follows it. False (piece unchanged) when it is malformed.
bool makeContinuable(RawBytes* piece);

/// Where the data to compress comes from: writes bytes [offset, offset +
/// count) of it to `out` and returns true, or false when it cannot (out of
/// memory). Called from several threads at once, for ranges in any order.
using ByteSource = std::function<bool(size_t offset, size_t count, uint8_t* out)>;

/// Receives the stream's parts in their order (the header, the compressed
/// pieces, the Adler-32) as soon as each is ready, from whichever thread
/// finished it, one call at a time; false stops the compression.
using PartSink = std::function<bool(RawBytes part)>;

/// Compresses `size` bytes read from `source` as one zlib stream at
/// libdeflate level `level` (0..12, 0 stores; pieces coded as runs where
/// that is smaller), cut into up to `pieces` pieces (pieces of less than
/// kMinPieceBytes are not worth it) that up to `threads` threads read and
/// compress at once; each piece reads only its own bytes. The parts go to
/// `sink` as they are ready, so they can be written while later pieces are
/// still being compressed. The bytes depend on the data, the level and
/// `pieces` only, never on `threads`, so a file comes out the same however
/// busy the machine is. False when out of memory, the source or the sink
/// fails, or the level is invalid. Thread-safe: each call uses compressors
/// of its own.
bool zlibCompress(const ByteSource& source, size_t size, int level, int pieces, int threads, const PartSink& sink);

/// The same for data in memory, with the stream joined into `out` (empty
/// on failure).
bool zlibCompress(const uint8_t* data, size_t size, int level, int pieces, int threads, std::vector<uint8_t>* out);

/// The smallest piece zlibCompress hands to a thread of its own.
constexpr size_t kMinPieceBytes = 256 * 1024;

}  // namespace pixolune

#endif  // PIXOLUNE_PNG_PNG_DEFLATE_H_
