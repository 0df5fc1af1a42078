#include "psd/layers/layer_records.h"

#include <algorithm>
#include <cstring>

#include "psd/layers/descriptor.h"
#include "psd/psd_document.h"
#include "psd/psd_file.h"

namespace pixolune {

namespace {

// A bounds-checked cursor over bytes held in memory.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t pos() const { return pos_; }
  size_t left() const { return size_ - pos_; }
  bool has(size_t n) const { return n <= left(); }
  void skip(size_t n) { pos_ += n; }
  const uint8_t* here() const { return data_ + pos_; }
  uint64_t number(int bytes) {
    uint64_t v = bigEndian(here(), bytes);
    pos_ += static_cast<size_t>(bytes);
    return v;
  }
  int32_t signed32() { return static_cast<int32_t>(static_cast<uint32_t>(number(4))); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

bool plausibleRect(const LayerRect& r) {
  auto side = [](int64_t a, int64_t b) { return b - a >= 0 && b - a <= kMaxLayerSide; };
  return side(r.top, r.bottom) && side(r.left, r.right);
}

LayerRect readRect(Cursor& c) {
  LayerRect r;
  r.top = c.signed32(), r.left = c.signed32(), r.bottom = c.signed32(), r.right = c.signed32();
  return r;
}

// Mask data: the first rectangle, default colour and flags; then, when the
// layer has both a pixel mask and a vector mask, the real pixel mask's.
Status parseMaskData(Cursor c, LayerRecord* layer) {
  const size_t size = c.left();
  if (size == 0) return {};
  if (size < 18) return readCorrupt("layer records: mask data too short");
  LayerMask first;
  first.present = true;
  first.rect = readRect(c);
  first.default_colour = c.number(1) ? 255 : 0;
  const int flags = static_cast<int>(c.number(1));
  first.disabled = (flags & 2) != 0;
  first.channel = kChannelUserMask;
  int user_density = 255, vector_density = 255;
  if ((flags & 16) && c.has(1)) {  // The parameters may take the place of the padding.
    const int params = static_cast<int>(c.number(1));
    if ((params & 1) && c.has(1)) user_density = static_cast<int>(c.number(1));
    if ((params & 2) && c.has(8)) c.skip(8);
    if ((params & 4) && c.has(1)) vector_density = static_cast<int>(c.number(1));
    if ((params & 8) && c.has(8)) c.skip(8);
  }
  if (!plausibleRect(first.rect)) return readCorrupt("layer records: impossible mask rectangle");
  if (size >= 36 && c.left() >= 18) {
    // The first mask is the vector mask's rendering; the real one is the
    // user's. A rendering made from other data (flag 8) already holds the
    // user's mask too: drawing both would apply it twice.
    LayerMask real;
    real.present = true;
    const int real_flags = static_cast<int>(c.number(1));
    real.default_colour = c.number(1) ? 255 : 0;
    real.rect = readRect(c);
    real.disabled = (real_flags & 2) != 0;
    real.channel = kChannelRealUserMask;
    real.density = user_density;
    if (!plausibleRect(real.rect)) return readCorrupt("layer records: impossible mask rectangle");
    first.density = vector_density;
    layer->vector_mask = first;
    if (!(flags & 8)) layer->user_mask = real;
    return {};
  }
  first.density = (flags & 8) ? vector_density : user_density;
  if (flags & 8) layer->vector_mask = first;  // Rendered from other data: the vector mask.
  else layer->user_mask = first;
  return {};
}

// Additional layer information blocks of one record.
Status parseBlocks(Cursor c, int version, std::vector<LayerBlock>* blocks) {
  while (c.left() >= 12) {
    const uint8_t* sig = c.here();
    if (std::memcmp(sig, "8BIM", 4) != 0 && std::memcmp(sig, "8B64", 4) != 0) {
      if (sig[0] == 0) {  // Padding some writers leave between blocks.
        c.skip(1);
        continue;
      }
      return readCorrupt("layer records: bad block signature");
    }
    LayerBlock block;
    block.key.assign(reinterpret_cast<const char*>(sig + 4), 4);
    c.skip(8);
    const int length_bytes = (version == 2 && longLengthKey(sig + 4)) ? 8 : 4;
    if (!c.has(static_cast<size_t>(length_bytes))) return readCorrupt("layer records: truncated block");
    const uint64_t size = c.number(length_bytes);
    if (size > c.left()) return readCorrupt("layer records: a block runs past its layer");
    block.data.assign(c.here(), c.here() + size);
    c.skip(static_cast<size_t>(size));
    blocks->push_back(std::move(block));
  }
  return {};
}

// Without a vector mask of its own, a rendered mask is the user's.
void settleMasks(LayerRecord* layer) {
  if (layer->block("vmsk") || layer->block("vsms") || !layer->vector_mask.present) return;
  layer->user_mask = layer->vector_mask;
  layer->vector_mask = LayerMask();
}

void takeBlocks(LayerRecord* layer) {
  for (const LayerBlock& b : layer->blocks) {
    if (b.key == "iOpa" && !b.data.empty()) layer->fill_opacity = b.data[0];
    if (b.key == "tsly" && !b.data.empty()) layer->transparency_shapes = b.data[0] != 0;
    if (b.key == "knko" && !b.data.empty()) layer->knockout = b.data[0] <= 2 ? b.data[0] : 0;
    if ((b.key == "lsct" || b.key == "lsdk") && b.data.size() >= 4) {
      const uint64_t type = bigEndian(b.data.data(), 4);
      layer->section = type == 1 ? SectionKind::kOpenGroup
                       : type == 2 ? SectionKind::kClosedGroup
                       : type == 3 ? SectionKind::kGroupEnd
                                   : SectionKind::kNone;
      if (b.data.size() >= 12) layer->section_blend_key.assign(reinterpret_cast<const char*>(b.data.data() + 8), 4);
    }
    if (b.key == "luni" && b.data.size() >= 4) {
      // The name in UTF-16, which replaces the Pascal name (in the system's
      // code page) when it is whole.
      const uint64_t n = bigEndian(b.data.data(), 4);
      if (n > 0 && n <= (b.data.size() - 4) / 2) layer->name = utf8FromUtf16(b.data.data() + 4, static_cast<size_t>(n));
    }
  }
}

// The part of a record after its blend flags: masks, ranges, name, blocks.
Status parseExtra(Cursor c, int version, LayerRecord* layer) {
  if (!c.has(4)) return readCorrupt("layer records: truncated mask data");
  uint64_t n = c.number(4);
  if (n > c.left()) return readCorrupt("layer records: mask data runs past its layer");
  Status st = parseMaskData(Cursor(c.here(), static_cast<size_t>(n)), layer);
  if (!st.ok()) return st;
  c.skip(static_cast<size_t>(n));
  if (!c.has(4)) return readCorrupt("layer records: truncated blending ranges");
  n = c.number(4);
  if (n > c.left()) return readCorrupt("layer records: blending ranges run past their layer");
  layer->blend_ranges.assign(c.here(), c.here() + n);
  c.skip(static_cast<size_t>(n));
  if (!c.has(1)) return readCorrupt("layer records: truncated layer name");
  const size_t name_length = c.here()[0];
  const size_t field = (name_length + 1 + 3) & ~size_t{3};
  if (!c.has(name_length + 1)) return readCorrupt("layer records: truncated layer name");
  layer->name.assign(reinterpret_cast<const char*>(c.here() + 1), name_length);
  c.skip(field <= c.left() ? field : c.left());
  if (!(st = parseBlocks(c, version, &layer->blocks)).ok()) return st;
  takeBlocks(layer);
  settleMasks(layer);
  return {};
}

// Reads `n` bytes at *pos (within end) into *bytes and advances *pos.
Status take(const PsdFile& in, uint64_t* pos, uint64_t end, uint64_t n, std::vector<uint8_t>* bytes) {
  if (n > end - *pos) return readCorrupt("layer records: a layer record runs past the layer info");
  bytes->resize(static_cast<size_t>(n));
  Status st = in.read(*pos, bytes->size(), bytes->data(), "layer records");
  *pos += n;
  return st;
}

// One layer record at *pos, read piece by piece so that no length is
// trusted before it has been checked against the layer info.
Status parseRecord(const PsdFile& in, uint64_t* pos, uint64_t end, int version, LayerRecord* layer) {
  std::vector<uint8_t> bytes;
  Status st = take(in, pos, end, 18, &bytes);
  if (!st.ok()) return st;
  Cursor head(bytes.data(), bytes.size());
  layer->rect = readRect(head);
  // Photoshop writes inverted or empty rectangles for some layers without
  // pixels (vector shapes drawn from their path): such a layer is empty, and
  // its channels are passed over by their lengths. Sides longer than any
  // layer can be, either way round, are damage.
  const LayerRect& r = layer->rect;
  const LayerRect turned{std::min(r.top, r.bottom), std::min(r.left, r.right), std::max(r.top, r.bottom),
                         std::max(r.left, r.right)};
  if (!plausibleRect(turned)) return readCorrupt("layer records: impossible layer rectangle");
  if (r.bottom <= r.top || r.right <= r.left) layer->rect = LayerRect();
  const int channels = static_cast<int>(head.number(2));
  if (channels > kMaxLayerChannels) return readCorrupt("layer records: too many channels in a layer");
  const int length_bytes = version == 2 ? 8 : 4;
  if (!(st = take(in, pos, end, static_cast<uint64_t>(channels) * (2 + length_bytes) + 16, &bytes)).ok()) return st;
  Cursor c(bytes.data(), bytes.size());
  for (int i = 0; i < channels; ++i) {
    LayerChannel ch;
    ch.id = static_cast<int16_t>(static_cast<uint16_t>(c.number(2)));
    ch.length = c.number(length_bytes);
    layer->channels.push_back(ch);
  }
  if (std::memcmp(c.here(), "8BIM", 4) != 0) return readCorrupt("layer records: bad blend-mode signature");
  layer->blend_key.assign(reinterpret_cast<const char*>(c.here() + 4), 4);
  c.skip(8);
  layer->opacity = static_cast<int>(c.number(1));
  layer->clipped = c.number(1) != 0;
  const int flags = static_cast<int>(c.number(1));
  layer->visible = (flags & 2) == 0;
  c.skip(1);
  const uint64_t extra = c.number(4);
  if (!(st = take(in, pos, end, extra, &bytes)).ok()) return st;
  return parseExtra(Cursor(bytes.data(), bytes.size()), version, layer);
}

// Gives every channel its file offset: the channel data follows the records,
// layer by layer, channel by channel, in the order of the records.
Status placeChannels(uint64_t start, uint64_t end, LayerSet* set) {
  uint64_t pos = start;
  for (LayerRecord& layer : set->layers)
    for (LayerChannel& ch : layer.channels) {
      if (ch.length > end - pos) return readCorrupt("layer records: channel data runs past the layer info");
      ch.offset = pos;
      pos += ch.length;
    }
  return {};
}

Status readGlobalBlocks(const PsdFile& in, const PsdHeader& header, LayerSet* set) {
  if (header.global_blocks_offset == 0 || header.global_blocks_end <= header.global_blocks_offset) return {};
  const uint64_t n = header.global_blocks_end - header.global_blocks_offset;
  std::vector<uint8_t> bytes(static_cast<size_t>(n));
  Status st = in.read(header.global_blocks_offset, bytes.size(), bytes.data(), "layer section");
  if (!st.ok()) return st;
  std::vector<LayerBlock> blocks;
  if (!(st = parseBlocks(Cursor(bytes.data(), bytes.size()), header.version, &blocks)).ok()) return st;
  for (LayerBlock& b : blocks)
    if (b.key != "Lr16" && b.key != "Lr32" && b.key != "Layr") set->global_blocks.push_back(std::move(b));
  return {};
}

}  // namespace

const LayerBlock* LayerRecord::block(const char* key) const {
  for (const LayerBlock& b : blocks)
    if (b.key == key) return &b;
  return nullptr;
}

Status readLayerRecords(const PsdDocument& document, LayerSet* set) {
  const PsdFile in = document.file();
  const PsdHeader& header = document.header();
  *set = LayerSet();
  if (header.layer_info_offset == 0 || header.layer_info_length < 2) return {};
  Status st;
  uint8_t count_bytes[2];
  if (!(st = in.read(header.layer_info_offset, 2, count_bytes, "layer records")).ok()) return st;
  const int count = static_cast<int16_t>(static_cast<uint16_t>(bigEndian(count_bytes, 2)));
  set->first_alpha_is_transparency = count < 0;
  const int layers = count < 0 ? -count : count;
  if (layers > kMaxLayers) return readCorrupt("layer records: too many layers");
  uint64_t pos = header.layer_info_offset + 2;
  const uint64_t end = header.layer_info_offset + header.layer_info_length;
  if (!in.fits(header.layer_info_offset, header.layer_info_length))
    return readCorrupt("layer records: the layer info runs past the end of the file");
  if (static_cast<uint64_t>(layers) * 34 > end - pos) return readCorrupt("layer records: too many layers for the layer info");
  set->layers.resize(static_cast<size_t>(layers));
  for (LayerRecord& layer : set->layers)
    if (!(st = parseRecord(in, &pos, end, header.version, &layer)).ok()) return st;
  if (!(st = placeChannels(pos, end, set)).ok()) return st;
  return readGlobalBlocks(in, header, set);
}

}  // namespace pixolune
