#include "psd/psd_header.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "psd/psd_file.h"

namespace pixolune {

namespace {

constexpr uint64_t kHeaderSize = 26;
constexpr int kMaxChannels = 56;
constexpr int kMaxSideV1 = 30000;
constexpr int kMaxSideV2 = 300000;
constexpr uint16_t kAlphaIdsResource = 1053;
constexpr uint16_t kVersionInfoResource = 1057;
constexpr uint16_t kIccProfileResource = 1039;
constexpr uint16_t kGlobalAngleResource = 1037;
constexpr uint16_t kLayerCompsResource = 1065;
constexpr uint16_t kExifResource = 1058;
constexpr uint16_t kExifResource3 = 1059;

Status fault(Status::Code kind, const std::string& message) { return readFault(kind, message); }
Status corrupt(const std::string& message) { return readCorrupt(message); }

using FileReader = const PsdFile;

// Reads a big-endian length of `bytes` bytes at *pos and advances *pos.
Status readLength(FileReader& in, uint64_t* pos, int bytes, uint64_t* value, const char* what) {
  uint8_t buf[8];
  Status st = in.read(*pos, static_cast<size_t>(bytes), buf, what);
  if (!st.ok()) return st;
  *value = bigEndian(buf, bytes);
  *pos += static_cast<uint64_t>(bytes);
  return {};
}

bool knownMode(int mode) {
  switch (mode) {
    case kModeBitmap: case kModeGrey: case kModeIndexed: case kModeRgb:
    case kModeCmyk: case kModeMultichannel: case kModeDuotone: case kModeLab: return true;
    default: return false;
  }
}

Status parseFileHeader(FileReader& in, PsdHeader* h) {
  uint8_t b[kHeaderSize];
  if (in.size() < kHeaderSize) return corrupt("header: the file is too short for a Photoshop document");
  Status st = in.read(0, kHeaderSize, b, "header");
  if (!st.ok()) return st;
  if (std::memcmp(b, "8BPS", 4) != 0) return corrupt("header: not a Photoshop document (bad signature)");
  h->version = static_cast<int>(bigEndian(b + 4, 2));
  if (h->version != 1 && h->version != 2)
    return fault(Status::Code::kUnsupported, "header: unknown version " + std::to_string(h->version));
  h->channels = static_cast<int>(bigEndian(b + 12, 2));
  h->height = static_cast<int>(std::min<uint64_t>(bigEndian(b + 14, 4), 0x7FFFFFFF));
  h->width = static_cast<int>(std::min<uint64_t>(bigEndian(b + 18, 4), 0x7FFFFFFF));
  h->depth = static_cast<int>(bigEndian(b + 22, 2));
  h->mode = static_cast<int>(bigEndian(b + 24, 2));
  h->file_size = in.size();
  const int max_side = h->version == 1 ? kMaxSideV1 : kMaxSideV2;
  if (h->channels < 1 || h->channels > kMaxChannels) return corrupt("header: impossible channel count");
  if (h->width < 1 || h->height < 1 || h->width > max_side || h->height > max_side)
    return corrupt("header: impossible image size");
  if (h->depth != 1 && h->depth != 8 && h->depth != 16 && h->depth != 32)
    return corrupt("header: impossible bit depth");
  if (!knownMode(h->mode)) return fault(Status::Code::kUnsupported, "header: unknown colour mode");
  if (h->channels < colourChannelCount(h->mode)) return corrupt("header: too few channels for the colour mode");
  return {};
}

// The TIFF structure of EXIF data: every directory (the first, the ones
// after it and the EXIF, GPS and interoperability directories they name)
// and every value longer than four bytes must lie within the data. Ok when
// it does, else kCorrupt saying what does not.
Status checkExif(const std::vector<uint8_t>& d) {
  if (d.size() < 8) return Status::corrupt("too short");
  const bool little = d[0] == 'I' && d[1] == 'I';
  if (!little && !(d[0] == 'M' && d[1] == 'M')) return Status::corrupt("unknown byte order");
  auto number = [&](size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t{d[at + static_cast<size_t>(i)]} << (8 * (little ? i : bytes - 1 - i));
    return v;
  };
  if (number(2, 2) != 42) return Status::corrupt("bad signature");
  static constexpr unsigned kTypeBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  std::vector<uint64_t> pending = {number(4, 4)}, seen;
  while (!pending.empty()) {
    const uint64_t at = pending.back();
    pending.pop_back();
    if (at == 0 || std::find(seen.begin(), seen.end(), at) != seen.end()) continue;
    if (seen.size() == 64) return Status::corrupt("too many directories");
    seen.push_back(at);
    if (at > d.size() - 2) return Status::corrupt("a directory lies outside the data");
    const uint64_t entries = number(static_cast<size_t>(at), 2);
    if (entries * 12 > d.size() - at - 2) return Status::corrupt("a directory runs past the data");
    for (uint64_t e = 0; e < entries; ++e) {
      const size_t entry = static_cast<size_t>(at + 2 + 12 * e);
      const uint64_t tag = number(entry, 2), type = number(entry + 2, 2), count = number(entry + 4, 4);
      if (type == 0 || type >= std::size(kTypeBytes)) continue;  // Unknown types are skipped.
      const uint64_t bytes = count * kTypeBytes[type], value = number(entry + 8, 4);
      if (bytes > 4 && (value > d.size() || bytes > d.size() - value)) return Status::corrupt("a value lies outside the data");
      if ((tag == 0x8769 || tag == 0x8825 || tag == 0xA005) && (type == 4 || type == 13)) pending.push_back(value);
    }
    const uint64_t next = at + 2 + 12 * entries;
    if (next + 4 <= d.size()) pending.push_back(number(static_cast<size_t>(next), 4));
  }
  return Status();
}

void takeResource(PsdHeader* h, uint16_t id, const std::vector<uint8_t>& data) {
  if (id == kAlphaIdsResource) {
    h->alpha_ids.clear();
    for (size_t i = 0; i + 4 <= data.size(); i += 4)
      h->alpha_ids.push_back(static_cast<uint32_t>(bigEndian(data.data() + i, 4)));
  } else if (id == kVersionInfoResource && data.size() >= 5) {
    h->has_version_info = true;
    h->has_real_merged_data = data[4] != 0;
  } else if ((id == kExifResource || id == kExifResource3) && h->library_fault.ok()) {
    const Status exif = checkExif(data);
    if (!exif.ok())
      h->library_fault =
          Status::corrupt("image resources: the EXIF data (" + std::to_string(id) + ") is damaged: " + exif.message());
  }
}

bool resourceSignature(const uint8_t* p) {
  static const char* const kSignatures[] = {"8BIM", "MeSa", "AgHg", "PHUT", "DCSR"};
  for (const char* s : kSignatures)
    if (std::memcmp(p, s, 4) == 0) return true;
  return false;
}

// Walks the image resources in [pos, end) and keeps the ones we need.
Status parseResources(FileReader& in, uint64_t pos, uint64_t end, PsdHeader* h) {
  while (pos < end) {
    uint8_t b[8];
    if (end - pos < 12) return corrupt("image resources: truncated resource");
    Status st = in.read(pos, 8, b, "image resources");
    if (!st.ok()) return st;
    if (!resourceSignature(b)) return corrupt("image resources: bad resource signature");
    const uint16_t id = static_cast<uint16_t>(bigEndian(b + 4, 2));
    const uint64_t name_field = (static_cast<uint64_t>(b[6]) + 2) & ~uint64_t{1};  // Pascal string, even.
    pos += 6 + name_field;
    uint64_t size = 0;
    if (pos > end || end - pos < 4) return corrupt("image resources: truncated resource");
    if (!(st = readLength(in, &pos, 4, &size, "image resources")).ok()) return st;
    if (size > end - pos) return corrupt("image resources: a resource runs past its section");
    if (id == kIccProfileResource) h->icc_offset = pos, h->icc_length = size;  // Read when it is needed.
    if (id == kLayerCompsResource) h->comps_offset = pos, h->comps_length = size;
    if (id == kGlobalAngleResource && size >= 4) {
      uint8_t angle[4];
      if (!(st = in.read(pos, 4, angle, "image resources")).ok()) return st;
      h->global_angle = static_cast<int32_t>(static_cast<uint32_t>(bigEndian(angle, 4)));
    }
    if (id == kAlphaIdsResource || id == kVersionInfoResource || id == kExifResource || id == kExifResource3) {
      std::vector<uint8_t> data(static_cast<size_t>(size));
      if (!(st = in.read(pos, data.size(), data.data(), "image resources")).ok()) return st;
      if (id == kVersionInfoResource && size < 5) return corrupt("image resources: version info too short");
      takeResource(h, id, data);
    }
    pos += size + (size & 1);
  }
  return {};
}

bool isKey(const uint8_t* key, const char* name) { return std::memcmp(key, name, 4) == 0; }

// Reads the signed layer count at pos (when there is room for it).
Status readLayerCount(FileReader& in, uint64_t pos, uint64_t length, int* count) {
  if (length < 2) return {};
  uint8_t b[2];
  Status st = in.read(pos, 2, b, "layer section");
  if (!st.ok()) return st;
  *count = static_cast<int16_t>(static_cast<uint16_t>(bigEndian(b, 2)));
  return {};
}

// Walks the additional layer information blocks in [pos, end).
Status parseLayerBlocks(FileReader& in, uint64_t pos, uint64_t end, PsdHeader* h) {
  while (end - pos >= 12) {
    uint8_t b[8];
    Status st = in.read(pos, 8, b, "layer section");
    if (!st.ok()) return st;
    if (std::memcmp(b, "8BIM", 4) != 0 && std::memcmp(b, "8B64", 4) != 0) {
      if (b[0] == 0) {  // Padding some writers leave between blocks.
        ++pos;
        continue;
      }
      return corrupt("layer section: bad block signature");
    }
    pos += 8;
    const int length_bytes = (h->version == 2 && longLengthKey(b + 4)) ? 8 : 4;
    uint64_t size = 0;
    if (end - pos < static_cast<uint64_t>(length_bytes)) return corrupt("layer section: truncated block");
    if (!(st = readLength(in, &pos, length_bytes, &size, "layer section")).ok()) return st;
    if (size > end - pos) return corrupt("layer section: a block runs past its section");
    if (isKey(b + 4, "Mtrn") || isKey(b + 4, "Mt16") || isKey(b + 4, "Mt32")) h->merged_transparency = true;
    if ((isKey(b + 4, "Lr16") || isKey(b + 4, "Lr32")) && h->layer_count == 0) {
      if (!(st = readLayerCount(in, pos, size, &h->layer_count)).ok()) return st;
      h->layer_info_offset = pos, h->layer_info_length = size;
    }
    if (h->global_blocks_offset == 0) h->global_blocks_offset = pos - 8 - length_bytes;
    pos += size;
  }
  return {};
}

// The layer and mask section starting at pos; sets *next to the offset after it.
Status parseLayerSection(FileReader& in, uint64_t pos, PsdHeader* h, uint64_t* next) {
  const int length_bytes = h->version == 2 ? 8 : 4;
  uint64_t section = 0;
  Status st = readLength(in, &pos, length_bytes, &section, "layer section");
  if (!st.ok()) return st;
  if (!in.fits(pos, section)) return corrupt("layer section: length runs past the end of the file");
  const uint64_t end = pos + section;
  *next = end;
  if (section == 0) return {};
  uint64_t info = 0;
  if (end - pos < static_cast<uint64_t>(length_bytes)) return corrupt("layer section: truncated layer info");
  if (!(st = readLength(in, &pos, length_bytes, &info, "layer section")).ok()) return st;
  if (info > end - pos) return corrupt("layer section: layer info runs past its section");
  if (!(st = readLayerCount(in, pos, info, &h->layer_count)).ok()) return st;
  h->layer_info_offset = pos, h->layer_info_length = info;
  pos += info;
  if (end - pos < 4) return {};  // No global mask information: nothing more to learn.
  uint64_t mask = 0;
  if (!(st = readLength(in, &pos, 4, &mask, "layer section")).ok()) return st;
  if (mask > end - pos) return corrupt("layer section: global mask runs past its section");
  h->global_blocks_end = end;
  return parseLayerBlocks(in, pos + mask, end, h);
}

uint64_t rowBytes(const PsdHeader& h) {
  return h.depth == 1 ? (static_cast<uint64_t>(h.width) + 7) / 8
                      : static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.depth / 8);
}

int countBytes(const PsdHeader& h) { return h.version == 2 ? 4 : 2; }

// Reads the PackBits row-length table of the composite.
Status readRowCounts(FileReader& in, const PsdHeader& h, std::vector<uint64_t>* counts) {
  const uint64_t rows = static_cast<uint64_t>(h.channels) * static_cast<uint64_t>(h.height);
  const int cb = countBytes(h);
  if (!in.fits(h.image_data_offset + 2, rows * cb)) return corrupt("composite image: truncated row-length table");
  std::vector<uint8_t> table(static_cast<size_t>(rows * cb));
  Status st = in.read(h.image_data_offset + 2, table.size(), table.data(), "composite image");
  if (!st.ok()) return st;
  counts->resize(static_cast<size_t>(rows));
  for (size_t i = 0; i < counts->size(); ++i) (*counts)[i] = bigEndian(table.data() + i * cb, cb);
  return {};
}

// Checks that the composite's image data lies within the file.
Status checkImageData(FileReader& in, PsdHeader* h) {
  uint8_t b[2];
  Status st = in.read(h->image_data_offset, 2, b, "composite image");
  if (!st.ok()) return st;
  h->compression = static_cast<int>(bigEndian(b, 2));
  const uint64_t start = h->image_data_offset + 2;
  const uint64_t rows = static_cast<uint64_t>(h->channels) * static_cast<uint64_t>(h->height);
  if (h->compression == 0) {
    if (!in.fits(start, rows * rowBytes(*h))) return corrupt("composite image: truncated image data");
    return {};
  }
  if (h->compression != 1) {
    if (h->compression > 3) return corrupt("composite image: unknown compression");
    return {};
  }
  std::vector<uint64_t> counts;
  if (!(st = readRowCounts(in, *h, &counts)).ok()) return st;
  uint64_t total = 0;
  for (uint64_t c : counts) total += c;
  if (!in.fits(start + rows * countBytes(*h), total)) return corrupt("composite image: truncated image data");
  return {};
}

}  // namespace

std::string readIccProfile(const PsdFile& in, const PsdHeader& header) {
  std::string icc;
  if (header.icc_length == 0 || !in.fits(header.icc_offset, header.icc_length)) return icc;
  icc.resize(static_cast<size_t>(header.icc_length));
  if (!in.read(header.icc_offset, icc.size(), icc.data(), "colour profile").ok()) icc.clear();
  return icc;
}

int colourChannelCount(int mode) {
  switch (mode) {
    case kModeRgb:
    case kModeLab: return 3;
    case kModeCmyk: return 4;
    default: return 1;
  }
}

int extraChannelCount(const PsdHeader& header) {
  return std::max(0, header.channels - colourChannelCount(header.mode));
}

bool firstExtraIsTransparency(const PsdHeader& header) {
  if (extraChannelCount(header) == 0) return false;
  if (header.merged_transparency || header.layer_count < 0) return true;
  if (header.layer_count > 0) return false;
  return header.alpha_ids.empty() || header.alpha_ids[0] == 0;
}

Status readPsdHeader(const PsdFile& in, PsdHeader* header, PsdSections* sections) {
  *header = PsdHeader();
  PsdSections found;
  Status st = parseFileHeader(in, header);
  if (!st.ok()) return st;
  uint64_t pos = kHeaderSize, length = 0;
  if (!(st = readLength(in, &pos, 4, &length, "colour mode data")).ok()) return st;
  if (!in.fits(pos, length)) return corrupt("colour mode data: length runs past the end of the file");
  found.colour_mode_data = {pos, length};
  pos += length;
  if (!(st = readLength(in, &pos, 4, &length, "image resources")).ok()) return st;
  if (!in.fits(pos, length)) return corrupt("image resources: length runs past the end of the file");
  found.image_resources = {pos, length};
  if (!(st = parseResources(in, pos, pos + length, header)).ok()) return st;
  pos += length;
  if (!(st = parseLayerSection(in, pos, header, &header->image_data_offset)).ok()) return st;
  const uint64_t layer_start = pos + (header->version == 2 ? 8 : 4);
  found.layer_and_mask = {layer_start, header->image_data_offset - layer_start};
  found.image_data = {header->image_data_offset, in.size() - header->image_data_offset};
  if (!(st = checkImageData(in, header)).ok()) return st;
  if (sections) *sections = found;
  return {};
}

Status readPsdHeader(const std::string& path, PsdHeader* header) {
  MappedFile file;
  Status st = file.open(path);
  if (!st.ok()) return st;
  return readPsdHeader(PsdFile(file), header);
}

Status compositeRowStarts(const PsdFile& in, const PsdHeader& header, std::vector<uint64_t>* starts) {
  std::vector<uint64_t> counts;
  Status st = readRowCounts(in, header, &counts);
  if (!st.ok()) return st;
  starts->resize(counts.size() + 1);
  uint64_t at = header.image_data_offset + 2 + counts.size() * static_cast<uint64_t>(countBytes(header));
  for (size_t i = 0; i < counts.size(); ++i) (*starts)[i] = at, at += counts[i];
  (*starts)[counts.size()] = at;
  if (!in.fits(at, 0)) return corrupt("composite image: truncated image data");
  return {};
}

Status readCompositePlane(const PsdFile& in, const PsdHeader& header, int channel, std::vector<uint8_t>* plane) {
  if (channel < 0 || channel >= header.channels) return corrupt("composite image: no such channel");
  if (header.compression > 1) return fault(Status::Code::kUnsupported, "composite image: compressed with ZIP");
  Status st;
  const uint64_t row = rowBytes(header), height = static_cast<uint64_t>(header.height);
  plane->assign(static_cast<size_t>(row * height), 0);
  uint64_t pos = header.image_data_offset + 2;
  if (header.compression == 0)
    return in.read(pos + static_cast<uint64_t>(channel) * height * row, plane->size(), plane->data(), "composite image");
  std::vector<uint64_t> starts;
  if (!(st = compositeRowStarts(in, header, &starts)).ok()) return st;
  const size_t first = static_cast<size_t>(channel) * static_cast<size_t>(height);
  std::vector<uint8_t> packed;
  for (uint64_t y = 0; y < height; ++y) {
    packed.resize(static_cast<size_t>(starts[first + y + 1] - starts[first + y]));
    if (!(st = in.read(starts[first + y], packed.size(), packed.data(), "composite image")).ok()) return st;
    if (!unpackBits(packed.data(), packed.size(), plane->data() + y * row, static_cast<size_t>(row)))
      return corrupt("composite image: malformed compressed row");
  }
  return {};
}

}  // namespace pixolune
