#include "support/png_chunks.h"

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>

namespace pixolune::testing {

std::vector<Chunk> chunksOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<Chunk> chunks;
  if (bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return chunks;
  for (size_t at = 8; at + 12 <= bytes.size();) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
    const size_t length = size_t{p[0]} << 24 | size_t{p[1]} << 16 | size_t{p[2]} << 8 | p[3];
    if (at + 12 + length > bytes.size()) break;
    chunks.push_back({bytes.substr(at + 4, 4), bytes.substr(at + 8, length)});
    at += 12 + length;
  }
  return chunks;
}

std::vector<Chunk> chunksOfType(const std::vector<Chunk>& chunks, const std::string& type) {
  std::vector<Chunk> found;
  for (const Chunk& c : chunks)
    if (c.type == type) found.push_back(c);
  return found;
}

std::string inflated(const std::string& stream) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return "(corrupt)";
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  std::string out;
  char buffer[16384];
  int status;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    status = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
  } while (status == Z_OK);
  inflateEnd(&z);
  return status == Z_STREAM_END ? out : "(corrupt)";
}

PngKind pngKindOf(const std::vector<Chunk>& chunks) {
  if (chunks.empty() || chunks[0].type != "IHDR" || chunks[0].data.size() < 10) return {};
  return {static_cast<uint8_t>(chunks[0].data[8]), static_cast<uint8_t>(chunks[0].data[9])};
}

std::string pngProfileOf(const std::vector<Chunk>& chunks) {
  const std::vector<Chunk> profile = chunksOfType(chunks, "iCCP");
  if (profile.empty()) return {};
  const size_t name_end = profile[0].data.find('\0');
  if (name_end == std::string::npos) return "(corrupt)";
  return inflated(profile[0].data.substr(name_end + 2));  // The name, its end and the method byte.
}

}  // namespace pixolune::testing
