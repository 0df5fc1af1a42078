#include "psd/layers/channel_data.h"

#include <zlib.h>

#include <cstring>
#include <memory>

namespace pixolune {

namespace {

// Where a channel's decoded rows go: only the part inside `keep` (relative
// to the channel's rectangle) is kept, so a layer reaching far beyond the
// document costs no more memory than the part of it inside.
class RowKeeper {
 public:
  RowKeeper(const LayerRect& keep, size_t sample_bytes, uint8_t* out) : keep_(keep), bps_(sample_bytes), out_(out) {}
  const LayerRect& keep() const { return keep_; }
  size_t keptBytes() const { return static_cast<size_t>(keep_.width()) * bps_; }
  // The kept part of row y, whose full row is at `row`.
  void take(int y, const uint8_t* row) const {
    if (y < keep_.top || y >= keep_.bottom) return;
    std::memcpy(out_ + static_cast<size_t>(y - keep_.top) * keptBytes(), row + static_cast<size_t>(keep_.left) * bps_,
                keptBytes());
  }
  uint8_t* keptRow(int y) const { return out_ + static_cast<size_t>(y - keep_.top) * keptBytes(); }

 private:
  LayerRect keep_;
  size_t bps_;
  uint8_t* out_;
};

Status readRaw(PsdFile& in, uint64_t pos, uint64_t length, int height, size_t row_bytes, size_t bps,
                   const RowKeeper& rows) {
  if (length < static_cast<uint64_t>(height) * row_bytes) return readCorrupt("layer channel: truncated pixel data");
  for (int y = rows.keep().top; y < rows.keep().bottom; ++y) {
    const uint64_t at = pos + static_cast<uint64_t>(y) * row_bytes + static_cast<uint64_t>(rows.keep().left) * bps;
    Status st = in.read(at, rows.keptBytes(), rows.keptRow(y), "layer channel");
    if (!st.ok()) return st;
  }
  return {};
}

Status readPackBits(PsdFile& in, uint64_t pos, uint64_t length, int height, size_t row_bytes, int version,
                        const RowKeeper& rows) {
  const int cb = version == 2 ? 4 : 2;
  const uint64_t table_bytes = static_cast<uint64_t>(height) * cb;
  if (length < table_bytes) return readCorrupt("layer channel: truncated row-length table");
  std::vector<uint8_t> table(static_cast<size_t>(table_bytes));
  Status st = in.read(pos, table.size(), table.data(), "layer channel");
  if (!st.ok()) return st;
  auto count = [&](int y) { return bigEndian(table.data() + static_cast<size_t>(y) * cb, cb); };
  uint64_t total = 0, skipped = 0, kept = 0;
  for (int y = 0; y < height; ++y) {
    total += count(y);
    if (y < rows.keep().top) skipped += count(y);
    else if (y < rows.keep().bottom) kept += count(y);
  }
  if (total > length - table_bytes) return readCorrupt("layer channel: compressed rows run past the channel");
  thread_local std::vector<uint8_t> packed, row;  // Kept between channels: no allocation per channel.
  packed.resize(static_cast<size_t>(kept));
  row.resize(row_bytes);
  if (!(st = in.read(pos + table_bytes + skipped, packed.size(), packed.data(), "layer channel")).ok()) return st;
  size_t at = 0;
  for (int y = rows.keep().top; y < rows.keep().bottom; ++y) {
    const size_t n = static_cast<size_t>(count(y));
    if (!unpackBits(packed.data() + at, n, row.data(), row_bytes)) return readCorrupt("layer channel: malformed compressed row");
    rows.take(y, row.data());
    at += n;
  }
  return {};
}

// Undoes the difference coding of "ZIP with prediction" in one row. For
// 32-bit samples the row holds all first bytes, then all second bytes, and
// so on, and the differences run over that whole row of bytes.
void undoPrediction(uint8_t* p, int width, int depth) {
  if (depth == 32) {
    const size_t n = static_cast<size_t>(width) * 4;
    for (size_t i = 1; i < n; ++i) p[i] = static_cast<uint8_t>(p[i] + p[i - 1]);
    std::vector<uint8_t> planar(p, p + n);
    for (size_t x = 0; x < static_cast<size_t>(width); ++x)
      for (size_t b = 0; b < 4; ++b) p[4 * x + b] = planar[b * static_cast<size_t>(width) + x];
    return;
  }
  if (depth == 8) {
    for (int x = 1; x < width; ++x) p[x] = static_cast<uint8_t>(p[x] + p[x - 1]);
    return;
  }
  uint16_t prev = static_cast<uint16_t>(p[0] << 8 | p[1]);
  for (int x = 1; x < width; ++x) {
    prev = static_cast<uint16_t>(prev + (p[2 * x] << 8 | p[2 * x + 1]));
    p[2 * x] = static_cast<uint8_t>(prev >> 8), p[2 * x + 1] = static_cast<uint8_t>(prev & 0xFF);
  }
}

struct InflateEnd {
  void operator()(z_stream* z) const { inflateEnd(z); }
};

// Inflates row after row up to the last kept one; the rows after it are never made.
Status readZip(PsdFile& in, uint64_t pos, uint64_t length, int width, int depth, bool predicted,
                   const RowKeeper& rows) {
  std::vector<uint8_t> packed(static_cast<size_t>(length));
  Status st = in.read(pos, packed.size(), packed.data(), "layer channel");
  if (!st.ok()) return st;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return readFault(Status::Code::kIoError, "layer channel: ZIP decoder unavailable");
  std::unique_ptr<z_stream, InflateEnd> end(&z);
  z.next_in = packed.data();
  z.avail_in = static_cast<uInt>(packed.size());
  std::vector<uint8_t> row(static_cast<size_t>(width) * static_cast<size_t>(depth / 8));
  for (int y = 0; y < rows.keep().bottom; ++y) {
    z.next_out = row.data();
    z.avail_out = static_cast<uInt>(row.size());
    while (z.avail_out > 0) {
      const int rc = inflate(&z, Z_NO_FLUSH);
      if (rc == Z_STREAM_END && z.avail_out > 0) return readCorrupt("layer channel: truncated ZIP data");
      if (rc != Z_OK && rc != Z_STREAM_END) return readCorrupt("layer channel: malformed ZIP data");
    }
    if (predicted) undoPrediction(row.data(), width, depth);
    rows.take(y, row.data());
  }
  return {};
}

}  // namespace

Status readChannelPlane(PsdFile& in, const LayerChannel& ch, int width, int height, int depth, int version,
                            const LayerRect& keep, ChannelPlane* plane) {
  plane->width = plane->height = 0;  // Empty until decoded; the buffers keep their memory.
  plane->depth = depth;
  if (depth != 8 && depth != 16 && depth != 32) return readFault(Status::Code::kUnsupported, "layer channel: unsupported depth");
  if (ch.length < 2) return readCorrupt("layer channel: missing compression");
  uint8_t word[2];
  Status st = in.read(ch.offset, 2, word, "layer channel");
  if (!st.ok()) return st;
  const LayerRect kept = intersect(keep, LayerRect{0, 0, height, width});
  if (width <= 0 || height <= 0 || kept.empty()) return {};
  const int compression = static_cast<int>(bigEndian(word, 2));
  const size_t bps = static_cast<size_t>(depth / 8), row_bytes = static_cast<size_t>(width) * bps;
  // 8-bit samples are decoded straight into the plane, deeper ones through a
  // scratch buffer; both keep their memory from one layer to the next.
  thread_local std::vector<uint8_t> scratch;
  std::vector<uint8_t>& data = depth == 8 ? plane->bytes : scratch;
  data.resize(static_cast<size_t>(kept.width()) * kept.height() * bps);
  const RowKeeper rows(kept, bps, data.data());
  const uint64_t pos = ch.offset + 2, length = ch.length - 2;
  if (compression == 0) st = readRaw(in, pos, length, height, row_bytes, bps, rows);
  else if (compression == 1) st = readPackBits(in, pos, length, height, row_bytes, version, rows);
  else if (compression == 2 || compression == 3) st = readZip(in, pos, length, width, depth, compression == 3, rows);
  else return readCorrupt("layer channel: unknown compression");
  if (!st.ok()) return st;
  plane->width = kept.width(), plane->height = kept.height();
  if (depth == 8) return {};
  if (depth == 32) {
    plane->floats.resize(data.size() / 4);
    for (size_t i = 0; i < plane->floats.size(); ++i) {
      const uint32_t bits = static_cast<uint32_t>(bigEndian(data.data() + 4 * i, 4));
      std::memcpy(&plane->floats[i], &bits, 4);
    }
    return {};
  }
  plane->words.resize(data.size() / 2);
  for (size_t i = 0; i < plane->words.size(); ++i)
    plane->words[i] = static_cast<uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
  return {};
}

}  // namespace pixolune
