#include "support/psd_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include <zlib.h>

namespace pixolune::testing {

namespace {

class Out {
 public:
  void u8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); }
  void u16(uint16_t v) { u8(v >> 8), u8(v & 0xFF); }
  void u32(uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); }
  void raw(const std::string& s) { bytes_ += s; }
  void zeros(size_t n) { bytes_.append(n, '\0'); }
  size_t size() const { return bytes_.size(); }
  // Writes a 32-bit length placeholder; patch() fills it later.
  size_t placeholder() {
    size_t at = bytes_.size();
    u32(0);
    return at;
  }
  void patch(size_t at) {
    uint32_t len = static_cast<uint32_t>(bytes_.size() - at - 4);
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<char>((len >> (24 - 8 * i)) & 0xFF);
  }
  std::string& bytes() { return bytes_; }

 private:
  std::string bytes_;
};

// One row of one channel in the document's sample format (big-endian).
std::string encodeRow(const PsdDocument& doc, const std::vector<double>& plane, int y, bool invert) {
  std::string row;
  const int w = doc.width;
  if (doc.depth == 1) {
    row.assign(static_cast<size_t>((w + 7) / 8), '\0');
    for (int x = 0; x < w; ++x)
      if (plane[static_cast<size_t>(y) * w + x] >= 0.5) row[x / 8] |= static_cast<char>(0x80 >> (x % 8));
    return row;
  }
  for (int x = 0; x < w; ++x) {
    double v = plane[static_cast<size_t>(y) * w + x];
    if (doc.depth == 8) {
      int b = static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0)));
      row += static_cast<char>(invert ? 255 - b : b);
    } else if (doc.depth == 16) {
      int s = static_cast<int>(std::lround(std::clamp(v, 0.0, 65535.0)));
      if (invert) s = 65535 - s;
      row += static_cast<char>(s >> 8);
      row += static_cast<char>(s & 0xFF);
    } else {
      float f = static_cast<float>(invert ? 1.0 - v : v);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      for (int i = 3; i >= 0; --i) row += static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
  }
  return row;
}


bool invertedChannel(const PsdDocument& doc, size_t c) { return doc.mode == PsdMode::kCmyk && c < 4; }

// Image data of `planes`: a compression word, then raw rows or RLE counts and rows.
void writeImageData(Out& out, const PsdDocument& doc, const std::vector<size_t>& planes, bool with_compression) {
  if (with_compression) out.u16(doc.rle ? 1 : 0);
  if (!doc.rle) {
    for (size_t c : planes)
      for (int y = 0; y < doc.height; ++y) out.raw(encodeRow(doc, doc.channels[c], y, invertedChannel(doc, c)));
    return;
  }
  std::vector<std::string> packed;
  for (size_t c : planes)
    for (int y = 0; y < doc.height; ++y) packed.push_back(packBits(encodeRow(doc, doc.channels[c], y, invertedChannel(doc, c))));
  for (const std::string& row : packed) out.u16(static_cast<uint16_t>(row.size()));
  for (const std::string& row : packed) out.raw(row);
}

void writeLayerRecord(Out& out, const PsdDocument& doc, size_t colour, bool alpha) {
  out.u32(0), out.u32(0), out.u32(static_cast<uint32_t>(doc.height)), out.u32(static_cast<uint32_t>(doc.width));
  size_t count = colour + (alpha ? 1 : 0);
  out.u16(static_cast<uint16_t>(count));
  size_t row_bytes = encodeRow(doc, doc.channels[0], 0, false).size();
  uint32_t channel_len = static_cast<uint32_t>(2 + row_bytes * doc.height);
  if (alpha) out.u16(0xFFFF), out.u32(channel_len);
  for (size_t c = 0; c < colour; ++c) out.u16(static_cast<uint16_t>(c)), out.u32(channel_len);
  out.raw("8BIMnorm");
  out.u8(255), out.u8(0), out.u8(0), out.u8(0);
  size_t extra = out.placeholder();
  out.u32(0);  // layer mask data
  out.u32(0);  // blending ranges
  out.u8(3), out.raw("Lyr");  // name, padded to a multiple of 4 with its length byte
  out.patch(extra);
}

// A channel's samples as stored: big-endian rows of the document's depth.
std::string channelRows(const PsdDocument& doc, const std::vector<double>& samples, int width, int height) {
  PsdDocument shape = doc;
  shape.width = width;
  std::string rows;
  for (int y = 0; y < height; ++y) rows += encodeRow(shape, samples, y, false);
  return rows;
}

std::string zip(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
           static_cast<uLong>(data.size()));
  out.resize(size);
  return out;
}

// Differences along each row, as "ZIP with prediction" stores them; 32-bit
// rows first put all first bytes, then all second bytes, and so on.
std::string predicted(std::string rows, int width, int height, int depth) {
  const size_t row = static_cast<size_t>(width) * (depth / 8);
  for (int y = 0; y < height; ++y) {
    char* p = rows.data() + static_cast<size_t>(y) * row;
    if (depth == 32) {
      std::string planar(row, '\0');
      for (size_t x = 0; x < static_cast<size_t>(width); ++x)
        for (size_t b = 0; b < 4; ++b) planar[b * static_cast<size_t>(width) + x] = p[4 * x + b];
      for (size_t i = row - 1; i > 0; --i) planar[i] = static_cast<char>(planar[i] - planar[i - 1]);
      std::copy(planar.begin(), planar.end(), p);
      continue;
    }
    for (int x = width - 1; x > 0; --x) {
      if (depth == 8) {
        p[x] = static_cast<char>(p[x] - p[x - 1]);
        continue;
      }
      auto at = [&](int i) { return static_cast<uint16_t>(static_cast<uint8_t>(p[2 * i]) << 8 | static_cast<uint8_t>(p[2 * i + 1])); };
      const uint16_t d = static_cast<uint16_t>(at(x) - at(x - 1));
      p[2 * x] = static_cast<char>(d >> 8), p[2 * x + 1] = static_cast<char>(d & 0xFF);
    }
  }
  return rows;
}

// One channel's data: compression word, then its rows as asked.
std::string channelData(const PsdDocument& doc, const PsdLayer& layer, const PsdLayerChannel& ch) {
  const bool mask = ch.id <= -2;
  const int w = mask ? layer.mask_right - layer.mask_left : layer.right - layer.left;
  const int h = mask ? layer.mask_bottom - layer.mask_top : layer.bottom - layer.top;
  Out out;
  out.u16(static_cast<uint16_t>(ch.compression));
  if (w <= 0 || h <= 0) return out.bytes();
  const std::string rows = channelRows(doc, ch.samples, w, h);
  if (ch.compression == 0) out.raw(rows);
  if (ch.compression == 2) out.raw(zip(rows));
  if (ch.compression == 3) out.raw(zip(predicted(rows, w, h, doc.depth)));
  if (ch.compression == 1) {
    const size_t row = rows.size() / static_cast<size_t>(h);
    std::vector<std::string> packed;
    for (int y = 0; y < h; ++y) packed.push_back(packBits(rows.substr(static_cast<size_t>(y) * row, row)));
    for (const std::string& r : packed) out.u16(static_cast<uint16_t>(r.size()));
    for (const std::string& r : packed) out.raw(r);
  }
  return out.bytes();
}

void writeBlock(Out& out, const std::string& key, const std::string& data) {
  out.raw("8BIM");
  out.raw(key.substr(0, 4));
  out.u32(static_cast<uint32_t>(data.size()));
  out.raw(data);
}

void writeOwnLayerRecord(Out& out, const PsdLayer& layer, const std::vector<std::string>& data) {
  for (int v : {layer.top, layer.left, layer.bottom, layer.right}) out.u32(static_cast<uint32_t>(v));
  out.u16(static_cast<uint16_t>(layer.channels.size()));
  for (size_t i = 0; i < layer.channels.size(); ++i)
    out.u16(static_cast<uint16_t>(layer.channels[i].id)), out.u32(static_cast<uint32_t>(data[i].size()));
  out.raw("8BIM");
  out.raw(layer.blend_key.substr(0, 4));
  out.u8(static_cast<uint8_t>(layer.opacity)), out.u8(layer.clipped ? 1 : 0), out.u8(layer.hidden ? 2 : 0), out.u8(0);
  size_t extra = out.placeholder();
  if (layer.has_mask) {
    out.u32(20);
    for (int v : {layer.mask_top, layer.mask_left, layer.mask_bottom, layer.mask_right}) out.u32(static_cast<uint32_t>(v));
    const bool density = layer.mask_density >= 0;
    out.u8(static_cast<uint8_t>(layer.mask_default)), out.u8(static_cast<uint8_t>(layer.mask_flags | (density ? 16 : 0)));
    if (density) out.u8(1), out.u8(static_cast<uint8_t>(layer.mask_density));  // In place of the padding.
    else out.u16(0);
  } else {
    out.u32(0);
  }
  out.u32(static_cast<uint32_t>(layer.blend_ranges.size()));
  out.raw(layer.blend_ranges);
  std::string name = layer.name.substr(0, 255);
  out.u8(static_cast<uint8_t>(name.size())), out.raw(name);
  while ((name.size() + 1) % 4) out.u8(0), name += ' ';
  if (layer.fill_opacity >= 0) writeBlock(out, "iOpa", std::string(1, static_cast<char>(layer.fill_opacity)) + std::string(3, '\0'));
  if (layer.section >= 0) {
    Out sec;
    sec.u32(static_cast<uint32_t>(layer.section));
    if (!layer.section_blend_key.empty()) sec.raw("8BIM"), sec.raw(layer.section_blend_key.substr(0, 4));
    writeBlock(out, "lsct", sec.bytes());
  }
  for (const auto& [key, bytes] : layer.blocks) writeBlock(out, key, bytes);
  out.patch(extra);
}

// The layer info of the document's own layers: count, records, channel data.
std::string ownLayerInfo(const PsdDocument& doc) {
  Out out;
  const size_t colour = static_cast<size_t>(colourChannels(doc.mode));
  const bool negative = doc.channels.size() > colour && doc.layer_count < 0;
  const int count = static_cast<int>(doc.layers.size());
  out.u16(static_cast<uint16_t>(negative ? -count : count));
  std::vector<std::vector<std::string>> data;
  for (const PsdLayer& layer : doc.layers) {
    data.emplace_back();
    for (const PsdLayerChannel& ch : layer.channels) data.back().push_back(channelData(doc, layer, ch));
    writeOwnLayerRecord(out, layer, data.back());
  }
  for (const auto& channels : data)
    for (const std::string& d : channels) out.raw(d);
  if (out.size() % 2) out.u8(0);
  return out.bytes();
}

void writeOwnLayerSection(Out& out, const PsdDocument& doc) {
  size_t section = out.placeholder();
  const std::string info = ownLayerInfo(doc);
  if (doc.layers_in_deep_block) {
    out.u32(0);  // empty layer info
    out.u32(0);  // global layer mask info
    writeBlock(out, doc.depth == 32 ? "Lr32" : "Lr16", info);
  } else {
    out.u32(static_cast<uint32_t>(info.size()));
    out.raw(info);
    out.u32(0);
  }
  for (const std::string& key : doc.layer_blocks) writeBlock(out, key, "");
  out.patch(section);
}

void writeLayerSection(Out& out, const PsdDocument& doc) {
  size_t section = out.placeholder();
  size_t info = out.placeholder();
  size_t colour = static_cast<size_t>(colourChannels(doc.mode));
  bool alpha = doc.channels.size() > colour;
  int layers = std::abs(static_cast<int>(doc.layer_count));
  out.u16(static_cast<uint16_t>(doc.layer_count));
  for (int i = 0; i < layers; ++i) writeLayerRecord(out, doc, colour, alpha);
  PsdDocument raw_doc = doc;
  raw_doc.rle = false;
  for (int i = 0; i < layers; ++i) {
    if (alpha) writeImageData(out, raw_doc, {colour}, true);
    for (size_t c = 0; c < colour; ++c) writeImageData(out, raw_doc, {c}, true);
  }
  if ((out.size() - info - 4) % 2) out.u8(0);
  out.patch(info);
  out.u32(0);  // global layer mask info
  for (const std::string& key : doc.layer_blocks) {
    out.raw("8BIM");
    out.raw(key.substr(0, 4));
    out.u32(0);
  }
  out.patch(section);
}

}  // namespace

int colourChannels(PsdMode mode) {
  switch (mode) {
    case PsdMode::kRgb:
    case PsdMode::kLab: return 3;
    case PsdMode::kCmyk: return 4;
    default: return 1;
  }
}

std::string encodePsd(const PsdDocument& doc) {
  Out out;
  out.raw("8BPS");
  out.u16(1);
  out.zeros(6);
  out.u16(static_cast<uint16_t>(doc.channels.size()));
  out.u32(static_cast<uint32_t>(doc.height));
  out.u32(static_cast<uint32_t>(doc.width));
  out.u16(static_cast<uint16_t>(doc.depth));
  out.u16(static_cast<uint16_t>(doc.mode));

  size_t mode_data = out.placeholder();
  if (doc.mode == PsdMode::kIndexed) {
    std::vector<uint8_t> pal = doc.palette;
    pal.resize(768, 0);
    for (uint8_t b : pal) out.u8(b);
  }
  out.patch(mode_data);

  size_t resources = out.placeholder();
  std::vector<PsdResource> all = doc.resources;
  // Photoshop stores the number of palette entries of an indexed document.
  if (doc.mode == PsdMode::kIndexed &&
      std::none_of(all.begin(), all.end(), [](const PsdResource& r) { return r.id == 1046; }))
    all.push_back({1046, std::string("\x01\x00", 2)});
  for (const PsdResource& r : all) {
    out.raw("8BIM");
    out.u16(r.id);
    out.u16(0);  // empty name, padded to even
    out.u32(static_cast<uint32_t>(r.data.size()));
    out.raw(r.data);
    if (r.data.size() % 2) out.u8(0);
  }
  out.patch(resources);

  if (!doc.layers.empty()) writeOwnLayerSection(out, doc);
  else if (doc.write_layers || !doc.layer_blocks.empty()) writeLayerSection(out, doc);
  else out.u32(0);

  std::vector<size_t> planes(doc.channels.size());
  for (size_t c = 0; c < planes.size(); ++c) planes[c] = c;
  writeImageData(out, doc, planes, true);
  return out.bytes();
}

bool writePsdFile(const std::string& path, const PsdDocument& doc) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  std::string bytes = encodePsd(doc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

PsdDocument makeDocument(PsdMode mode, int depth, int width, int height, int extra,
                         const std::function<double(int c, int x, int y)>& value) {
  PsdDocument doc;
  doc.mode = mode;
  doc.depth = depth;
  doc.width = width;
  doc.height = height;
  int count = colourChannels(mode) + extra;
  doc.channels.assign(static_cast<size_t>(count), std::vector<double>(static_cast<size_t>(width) * height));
  for (int c = 0; c < count; ++c)
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) doc.channels[c][static_cast<size_t>(y) * width + x] = value(c, x, y);
  return doc;
}

PsdResource alphaIdentifiers(const std::vector<uint32_t>& ids) {
  Out out;
  for (uint32_t id : ids) out.u32(id);
  return {1053, out.bytes()};
}

PsdResource versionInfo(bool has_real_merged_data) {
  Out out;
  out.u32(1);
  out.u8(has_real_merged_data ? 1 : 0);
  const std::string writer = "Adobe Photoshop";
  out.u32(static_cast<uint32_t>(writer.size()));
  for (char c : writer) out.u16(static_cast<uint16_t>(c));
  const std::string reader = "Adobe Photoshop CS";
  out.u32(static_cast<uint32_t>(reader.size()));
  for (char c : reader) out.u16(static_cast<uint16_t>(c));
  out.u32(1);
  return {1057, out.bytes()};
}

std::string packBits(const std::string& row) {
  std::string out;
  size_t i = 0;
  while (i < row.size()) {
    size_t run = 1;
    while (i + run < row.size() && run < 128 && row[i + run] == row[i]) ++run;
    if (run >= 2) {
      out += static_cast<char>(static_cast<int8_t>(1 - static_cast<int>(run)));
      out += row[i];
      i += run;
      continue;
    }
    size_t lit = 1;
    while (i + lit < row.size() && lit < 128 &&
           !(i + lit + 1 < row.size() && row[i + lit] == row[i + lit + 1]))
      ++lit;
    out += static_cast<char>(lit - 1);
    out.append(row, i, lit);
    i += lit;
  }
  return out;
}

}  // namespace pixolune::testing
