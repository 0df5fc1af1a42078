#include "support/psd_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

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

  if (doc.write_layers || !doc.layer_blocks.empty()) writeLayerSection(out, doc);
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

}  // namespace pixolune::testing
