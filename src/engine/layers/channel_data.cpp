#include "engine/layers/channel_data.h"

#include <zlib.h>

#include <cstring>

namespace pixolune {

namespace {

ReadStatus readRaw(PsdFile& in, uint64_t pos, uint64_t length, std::vector<uint8_t>* out) {
  if (length < out->size()) return readCorrupt("layer channel: truncated pixel data");
  return in.read(pos, out->size(), out->data(), "layer channel");
}

ReadStatus readPackBits(PsdFile& in, uint64_t pos, uint64_t length, int height, size_t row_bytes, int version,
                        std::vector<uint8_t>* out) {
  const int cb = version == 2 ? 4 : 2;
  const uint64_t table_bytes = static_cast<uint64_t>(height) * cb;
  if (length < table_bytes) return readCorrupt("layer channel: truncated row-length table");
  std::vector<uint8_t> table(static_cast<size_t>(table_bytes));
  ReadStatus st = in.read(pos, table.size(), table.data(), "layer channel");
  if (!st.ok) return st;
  uint64_t total = 0;
  for (int y = 0; y < height; ++y) total += bigEndian(table.data() + static_cast<size_t>(y) * cb, cb);
  if (total > length - table_bytes) return readCorrupt("layer channel: compressed rows run past the channel");
  thread_local std::vector<uint8_t> packed;  // Kept between channels: no allocation per channel.
  packed.resize(static_cast<size_t>(total));
  if (!(st = in.read(pos + table_bytes, packed.size(), packed.data(), "layer channel")).ok) return st;
  size_t at = 0;
  for (int y = 0; y < height; ++y) {
    const size_t n = static_cast<size_t>(bigEndian(table.data() + static_cast<size_t>(y) * cb, cb));
    if (!unpackBits(packed.data() + at, n, out->data() + static_cast<size_t>(y) * row_bytes, row_bytes))
      return readCorrupt("layer channel: malformed compressed row");
    at += n;
  }
  return {};
}

ReadStatus readZip(PsdFile& in, uint64_t pos, uint64_t length, std::vector<uint8_t>* out) {
  std::vector<uint8_t> packed(static_cast<size_t>(length));
  ReadStatus st = in.read(pos, packed.size(), packed.data(), "layer channel");
  if (!st.ok) return st;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return readFault(ReadFault::kIoError, "layer channel: ZIP decoder unavailable");
  z.next_in = packed.data();
  z.avail_in = static_cast<uInt>(packed.size());
  z.next_out = out->data();
  z.avail_out = static_cast<uInt>(out->size());
  const int rc = inflate(&z, Z_FINISH);
  const bool full = z.avail_out == 0;
  inflateEnd(&z);
  if (!full || (rc != Z_STREAM_END && rc != Z_OK && rc != Z_BUF_ERROR))
    return readCorrupt("layer channel: malformed ZIP data");
  return {};
}

// Undoes the per-row difference coding of "ZIP with prediction".
void undoPrediction(std::vector<uint8_t>* data, int width, int height, int depth) {
  const size_t row = static_cast<size_t>(width) * static_cast<size_t>(depth / 8);
  for (int y = 0; y < height; ++y) {
    uint8_t* p = data->data() + static_cast<size_t>(y) * row;
    if (depth == 8) {
      for (int x = 1; x < width; ++x) p[x] = static_cast<uint8_t>(p[x] + p[x - 1]);
      continue;
    }
    uint16_t prev = static_cast<uint16_t>(p[0] << 8 | p[1]);
    for (int x = 1; x < width; ++x) {
      prev = static_cast<uint16_t>(prev + (p[2 * x] << 8 | p[2 * x + 1]));
      p[2 * x] = static_cast<uint8_t>(prev >> 8), p[2 * x + 1] = static_cast<uint8_t>(prev & 0xFF);
    }
  }
}

}  // namespace

bool unpackBits(const uint8_t* src, size_t n, uint8_t* dst, size_t size) {
  size_t i = 0, o = 0;
  while (i < n && o < size) {
    const int8_t code = static_cast<int8_t>(src[i++]);
    if (code >= 0) {
      const size_t len = static_cast<size_t>(code) + 1;
      if (len > n - i || len > size - o) return false;
      std::memcpy(dst + o, src + i, len);
      i += len, o += len;
    } else if (code != -128) {
      const size_t len = static_cast<size_t>(1 - code);
      if (i >= n || len > size - o) return false;
      std::memset(dst + o, src[i++], len);
      o += len;
    }
  }
  return o == size;
}

ReadStatus readChannelPlane(PsdFile& in, const LayerChannel& ch, int width, int height, int depth, int version,
                            ChannelPlane* plane) {
  plane->width = plane->height = 0;  // Empty until decoded; the buffers keep their memory.
  plane->depth = depth;
  if (depth != 8 && depth != 16) return readFault(ReadFault::kUnsupported, "layer channel: unsupported depth");
  if (ch.length < 2) return readCorrupt("layer channel: missing compression");
  uint8_t word[2];
  ReadStatus st = in.read(ch.offset, 2, word, "layer channel");
  if (!st.ok) return st;
  if (width <= 0 || height <= 0) return {};
  const int compression = static_cast<int>(bigEndian(word, 2));
  const size_t row_bytes = static_cast<size_t>(width) * static_cast<size_t>(depth / 8);
  // 8-bit samples are decoded straight into the plane, 16-bit ones through a
  // scratch buffer; both keep their memory from one layer to the next.
  thread_local std::vector<uint8_t> scratch;
  std::vector<uint8_t>& data = depth == 8 ? plane->bytes : scratch;
  data.resize(row_bytes * static_cast<size_t>(height));
  const uint64_t pos = ch.offset + 2, length = ch.length - 2;
  if (compression == 0) st = readRaw(in, pos, length, &data);
  else if (compression == 1) st = readPackBits(in, pos, length, height, row_bytes, version, &data);
  else if (compression == 2 || compression == 3) st = readZip(in, pos, length, &data);
  else return readCorrupt("layer channel: unknown compression");
  if (!st.ok) return st;
  if (compression == 3) undoPrediction(&data, width, height, depth);
  plane->width = width, plane->height = height;
  if (depth == 8) return {};
  plane->words.resize(data.size() / 2);
  for (size_t i = 0; i < plane->words.size(); ++i)
    plane->words[i] = static_cast<uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
  return {};
}

}  // namespace pixolune
