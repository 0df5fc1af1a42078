#include "run/helper_protocol.h"

#include <cstring>
#include <set>

#include "inputs/filename_mask.h"

namespace pixolune {

namespace {

class ByteWriter {
 public:
  void u64(uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void u8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); }
  void text(const std::string& s) {
    u32(static_cast<uint32_t>(s.size()));
    bytes_ += s;
  }
  std::string take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}
  uint64_t u64() {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(byte()) << (8 * i);
    return v;
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(byte()) << (8 * i);
    return v;
  }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  uint8_t u8() { return byte(); }
  std::string text() {
    uint32_t size = u32();
    if (!ok_ || size > bytes_.size() - at_) {
      ok_ = false;
      return {};
    }
    std::string s(bytes_.substr(at_, size));
    at_ += size;
    return s;
  }
  /// Marks the payload as malformed.
  void fail() { ok_ = false; }
  /// True when every read was in bounds and nothing is left over.
  bool finished() const { return ok_ && at_ == bytes_.size(); }

 private:
  uint8_t byte() {
    if (at_ >= bytes_.size()) {
      ok_ = false;
      return 0;
    }
    return static_cast<uint8_t>(bytes_[at_++]);
  }
  std::string_view bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

// Writes or reads every field of a record in one order: `Io` is Out or In.
class Out {
 public:
  explicit Out(ByteWriter* out) : out_(out) {}
  void operator()(int32_t v) { out_->i32(v); }
  void operator()(int64_t v) { out_->u64(static_cast<uint64_t>(v)); }
  void operator()(uint8_t v) { out_->u8(v); }
  void operator()(bool v) { out_->u8(v ? 1 : 0); }
  void operator()(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    out_->u32(bits);
  }
  void operator()(const std::string& v) { out_->text(v); }
  void operator()(const Status& v) {
    out_->u8(static_cast<uint8_t>(v.code()));
    out_->text(v.message());
  }

 private:
  ByteWriter* out_;
};

class In {
 public:
  explicit In(ByteReader* in) : in_(in) {}
  void operator()(int32_t& v) { v = in_->i32(); }
  void operator()(int64_t& v) { v = static_cast<int64_t>(in_->u64()); }
  void operator()(uint8_t& v) { v = in_->u8(); }
  void operator()(bool& v) { v = in_->u8() != 0; }
  void operator()(float& v) {
    uint32_t bits = in_->u32();
    std::memcpy(&v, &bits, sizeof v);
  }
  void operator()(std::string& v) { v = in_->text(); }
  void operator()(Status& v) {
    const uint8_t code = in_->u8();
    std::string message = in_->text();
    if (code > static_cast<uint8_t>(Status::Code::kInvalid)) in_->fail();
    v = Status::withCode(static_cast<Status::Code>(code), std::move(message));
  }

 private:
  ByteReader* in_;
};

// `int` fields travel as 32 bits.
template <class Io>
void number(Io& io, int& v) {
  int32_t w = v;
  io(w);
  v = w;
}

template <class Io>
void fields(Io& io, TransformOptions& o) {
  io(o.rotate);
  number(io, o.rotation_type);
  number(io, o.rotation);
  io(o.rotation_back_color);
  io(o.resize);
  number(io, o.width);
  number(io, o.width_unit);
  number(io, o.height);
  number(io, o.height_unit);
  io(o.keep_aspect_ratio);
  io(o.fit_inside);
  number(io, o.resize_type);
  number(io, o.resize_algorithm);
  io(o.flip_horizontal);
  io(o.flip_vertical);
}

template <class Io>
void fields(Io& io, AdjustOptions& o) {
  io(o.correct);
  number(io, o.brightness);
  number(io, o.contrast);
  io(o.gamma);
  io(o.invert);
  io(o.greyscale);
  io(o.threshold);
  number(io, o.threshold_level);
}

template <class Io>
void fields(Io& io, FrameOptions& o) {
  io(o.enabled);
  for (int* side : {&o.left, &o.right, &o.top, &o.bottom}) number(io, *side);
  for (std::string* colour : {&o.left_color, &o.right_color, &o.top_color, &o.bottom_color}) io(*colour);
  number(io, o.opacity);
}

template <class Io>
void fields(Io& io, WatermarkPlacement& o) {
  number(io, o.rotation);
  io(o.boundary);
  number(io, o.position);
  number(io, o.off_x);
  number(io, o.off_y);
}

template <class Io>
void fields(Io& io, WatermarkOptions& o) {
  number(io, o.kind);
  io(o.text);
  io(o.font.family);
  number(io, o.font.size_points);
  io(o.font.bold);
  io(o.font.italic);
  io(o.font.underline);
  io(o.font.strike_out);
  TextLayerOptions& t = o.text_layer;
  number(io, t.padding);
  number(io, t.leading);
  number(io, t.alignment);
  io(t.antialiasing);
  io(t.font_color);
  number(io, t.text_opacity);
  io(t.back_color);
  number(io, t.back_opacity);
  fields(io, o.text_placement);
  io(o.picture.path);
  io(o.picture.greyscale);
  number(io, o.picture.opacity);
  fields(io, o.picture_placement);
}

template <class Io>
void fields(Io& io, DepthOptions& o) {
  io(o.format_key);
  number(io, o.format_id);
  number(io, o.fixed_bpp);
}

template <class Io>
void fields(Io& io, RunOptions& o) {
  fields(io, o.stages.transform);
  fields(io, o.stages.adjust);
  fields(io, o.stages.frame);
  fields(io, o.stages.watermark);
  fields(io, o.stages.depth);
  io(o.naming.filename_mask);
  io(o.naming.keep_subfolders);
  io(o.exporting.kind);
  io(o.exporting.canvas_bounds);
  io(o.exporting.hidden);
  io(o.exporting.depth);
  io(o.exporting.manifest);
  io(o.output_extension);
  io(o.format_id);
  io(o.save_flags);
  io(o.load_flags);
  io(o.strip_metadata);
  io(o.file_timestamp);
  io(o.custom_timestamp);
}

template <class Io>
void fields(Io& io, RunSetup& o) {
  fields(io, o.options);
  io(o.output_folder);
  int64_t limit = static_cast<int64_t>(o.memory_limit);
  io(limit);
  o.memory_limit = static_cast<uint64_t>(limit);
  io(o.layers_always_drawn);
}

template <class Io>
void fields(Io& io, ConversionRequest& o) {
  io(o.input_path);
  io(o.source_subfolder);
  io(o.output_folder);
  io(o.random_number);
  io(o.sequence_number);
  io(o.name_time);
  io(o.threads);
  io(o.piece);
  io(o.piece_name);
  int32_t groups = static_cast<int32_t>(o.piece_groups.size());
  io(groups);
  // A count no document holds leaves the rest unread: the decode fails.
  o.piece_groups.resize(groups >= 0 && groups <= 1024 ? static_cast<size_t>(groups) : 0);
  for (std::string& group : o.piece_groups) io(group);
  io(o.piece_index);
  io(o.piece_is_comp);
}

// The temporary path is not sent (see FileReply).
template <class Io>
void fields(Io& io, FileReply& o) {
  ConversionResult& r = o.result;
  io(r.status);
  io(r.output_path);
  io(r.source_bpp);
  io(r.target_bpp);
  io(r.result_width);
  io(r.result_height);
  io(r.decode_note);
  io(r.colour_note);
  io(r.piece_left);
  io(r.piece_top);
  io(r.piece_width);
  io(r.piece_height);
  io(r.piece_empty);
  io(o.helper_spent);
  io(o.confinement_note);
}

template <class R>
std::string encode(R record) {
  ByteWriter bytes;
  Out out(&bytes);
  fields(out, record);
  return bytes.take();
}

template <class R>
bool decode(std::string_view payload, R* record) {
  ByteReader bytes(payload);
  In in(&bytes);
  fields(in, *record);
  return bytes.finished();
}

}  // namespace

std::string encodeRunSetup(const RunSetup& setup) { return encode(setup); }
bool decodeRunSetup(std::string_view bytes, RunSetup* setup) { return decode(bytes, setup); }
std::string encodeFileRequest(const FileRequest& request) { return encode(request); }
bool decodeFileRequest(std::string_view bytes, FileRequest* request) { return decode(bytes, request); }
std::string encodeFileReply(const FileReply& reply) { return encode(reply); }
bool decodeFileReply(std::string_view bytes, FileReply* reply) { return decode(bytes, reply); }

bool firstSightOfConfinementNote(const std::string& note) {
  static std::set<std::string> seen;
  return !note.empty() && seen.insert(note).second;
}

std::string expectedOutputPath(const FileRequest& request, const RunOptions& run, const FileReply& reply) {
  return outputPathFor(nameFieldsOf(request, run, reply.result), run.naming);
}

}  // namespace pixolune
