// Reading a PNG file's chunks in tests: what a file holds beside its pixels
// (colour type, profile, texts).
#ifndef PIXOLUNE_TESTS_SUPPORT_PNG_CHUNKS_H_
#define PIXOLUNE_TESTS_SUPPORT_PNG_CHUNKS_H_

#include <string>
#include <vector>

namespace pixolune::testing {

struct Chunk {
  std::string type;
  std::string data;
};

/// The chunks of a PNG file in their order; empty when it is no PNG.
std::vector<Chunk> chunksOf(const std::string& path);

std::vector<Chunk> chunksOfType(const std::vector<Chunk>& chunks, const std::string& type);

/// A zlib stream inflated; "(corrupt)" when it is none.
std::string inflated(const std::string& stream);

/// The bit depth and colour type of the file's IHDR; {0, -1} when it has none.
struct PngKind {
  int bit_depth = 0;
  int colour_type = -1;
};
PngKind pngKindOf(const std::vector<Chunk>& chunks);

/// The profile of the file's iCCP chunk, inflated; empty when it has none.
std::string pngProfileOf(const std::vector<Chunk>& chunks);

}  // namespace pixolune::testing

#endif  // PIXOLUNE_TESTS_SUPPORT_PNG_CHUNKS_H_
