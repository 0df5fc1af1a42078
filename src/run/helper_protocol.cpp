#include "run/helper_protocol.h"

#include <cstring>
#include <set>

#include "run/conversion_job.h"
#include "psd/decode.h"
#include "inputs/filename_mask.h"
#include "settings/settings_file.h"

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

class FieldWriter : public SettingsFieldVisitor {
 public:
  explicit FieldWriter(ByteWriter* out) : out_(out) {}
  void field(int32_t& v) override { out_->i32(v); }
  void field(uint8_t& v) override { out_->u8(v); }
  void field(bool& v) override { out_->u8(v ? 1 : 0); }
  void field(float& v) override {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    out_->u32(bits);
  }
  void field(std::string& v) override { out_->text(v); }

 private:
  ByteWriter* out_;
};

class FieldReader : public SettingsFieldVisitor {
 public:
  explicit FieldReader(ByteReader* in) : in_(in) {}
  void field(int32_t& v) override { v = in_->i32(); }
  void field(uint8_t& v) override { v = in_->u8(); }
  void field(bool& v) override { v = in_->u8() != 0; }
  void field(float& v) override {
    uint32_t bits = in_->u32();
    std::memcpy(&v, &bits, sizeof v);
  }
  void field(std::string& v) override { v = in_->text(); }

 private:
  ByteReader* in_;
};

}  // namespace

std::string encodeRunSetup(const RunSetup& setup) {
  ByteWriter out;
  Settings copy = setup.settings;
  FieldWriter fields(&out);
  visitSettingsFields(copy, fields);
  out.text(setup.output_folder);
  out.text(setup.output_extension);
  out.i32(setup.format_id);
  out.i32(setup.target_bpp);
  out.u8(setup.auto_bpp ? 1 : 0);
  out.i32(setup.save_flags);
  out.u64(setup.memory_limit);
  out.u8(setup.layers_always_drawn ? 1 : 0);
  // Run options the settings file does not store.
  out.u8(setup.settings.strip_metadata ? 1 : 0);
  out.u8(setup.settings.fit_inside ? 1 : 0);
  return out.take();
}

bool decodeRunSetup(std::string_view bytes, RunSetup* setup) {
  ByteReader in(bytes);
  FieldReader fields(&in);
  visitSettingsFields(setup->settings, fields);
  setup->output_folder = in.text();
  setup->output_extension = in.text();
  setup->format_id = in.i32();
  setup->target_bpp = in.i32();
  setup->auto_bpp = in.u8() != 0;
  setup->save_flags = in.i32();
  setup->memory_limit = in.u64();
  setup->layers_always_drawn = in.u8() != 0;
  setup->settings.strip_metadata = in.u8() != 0;
  setup->settings.fit_inside = in.u8() != 0;
  return in.finished();
}

std::string encodeFileRequest(const FileRequest& request) {
  ByteWriter out;
  out.text(request.input_path);
  out.text(request.source_subfolder);
  out.i32(request.random_number);
  out.i32(request.sequence_number);
  out.u64(static_cast<uint64_t>(request.name_time));
  return out.take();
}

bool decodeFileRequest(std::string_view bytes, FileRequest* request) {
  ByteReader in(bytes);
  request->input_path = in.text();
  request->source_subfolder = in.text();
  request->random_number = in.i32();
  request->sequence_number = in.i32();
  request->name_time = static_cast<int64_t>(in.u64());
  return in.finished();
}

std::string encodeFileReply(const FileReply& reply) {
  ByteWriter out;
  out.u8(reply.ok ? 1 : 0);
  out.text(reply.output_path);
  out.i32(reply.target_bpp);
  out.i32(reply.source_bpp);
  out.i32(reply.result_width);
  out.i32(reply.result_height);
  out.text(reply.failure_reason);
  out.u8(reply.helper_spent ? 1 : 0);
  out.text(reply.decode_note);
  out.text(reply.confinement_note);
  return out.take();
}

bool decodeFileReply(std::string_view bytes, FileReply* reply) {
  ByteReader in(bytes);
  reply->ok = in.u8() != 0;
  reply->output_path = in.text();
  reply->target_bpp = in.i32();
  reply->source_bpp = in.i32();
  reply->result_width = in.i32();
  reply->result_height = in.i32();
  reply->failure_reason = in.text();
  reply->helper_spent = in.u8() != 0;
  reply->decode_note = in.text();
  reply->confinement_note = in.text();
  return in.finished();
}

RunSetup currentRunSetup(uint64_t memory_limit) {
  const ConversionJob& job = conversionJob();
  RunSetup setup;
  setup.settings = settings();
  setup.output_folder = job.output_folder;
  setup.output_extension = job.output_extension;
  setup.format_id = job.format_id;
  setup.target_bpp = job.target_bpp;
  setup.auto_bpp = job.auto_bpp;
  setup.save_flags = job.save_flags;
  setup.memory_limit = memory_limit;
  setup.layers_always_drawn = layersAlwaysDrawn();
  return setup;
}

void applyRunSetup(const RunSetup& setup) {
  ConversionJob& job = conversionJob();
  std::string path = settings().settings_file_path;
  settings() = setup.settings;
  settings().settings_file_path = path;
  job.output_folder = setup.output_folder;
  job.output_extension = setup.output_extension;
  job.format_id = setup.format_id;
  job.target_bpp = setup.target_bpp;
  job.auto_bpp = setup.auto_bpp;
  job.save_flags = setup.save_flags;
  setLayersAlwaysDrawn(setup.layers_always_drawn);
}

FileRequest currentFileRequest() {
  const ConversionJob& job = conversionJob();
  return {job.input_path, job.source_subfolder, job.random_number, job.sequence_number, job.name_time};
}

void applyFileRequest(const FileRequest& request) {
  ConversionJob& job = conversionJob();
  job.input_path = request.input_path;
  job.source_subfolder = request.source_subfolder;
  job.random_number = request.random_number;
  job.sequence_number = request.sequence_number;
  job.name_time = request.name_time;
}

FileReply currentFileReply(bool ok) {
  const ConversionJob& job = conversionJob();
  return {ok,         job.output_path,    job.target_bpp,     job.source_bpp, job.result_width, job.result_height,
          job.failure_reason, false, job.decode_note, job.temporary_path, ""};
}

void applyFileReply(const FileReply& reply) {
  ConversionJob& job = conversionJob();
  job.output_path = reply.output_path;
  job.target_bpp = reply.target_bpp;
  job.source_bpp = reply.source_bpp;
  job.result_width = reply.result_width;
  job.result_height = reply.result_height;
  job.failure_reason = reply.failure_reason;
  job.decode_note = reply.decode_note;
}

bool firstSightOfConfinementNote(const std::string& note) {
  static std::set<std::string> seen;
  return !note.empty() && seen.insert(note).second;
}

std::string expectedOutputPath(const FileRequest& request, const FileReply& reply) {
  NameFields fields = currentNameFields();
  fields.input_path = request.input_path;
  fields.source_subfolder = request.source_subfolder;
  fields.random_number = request.random_number;
  fields.sequence_number = request.sequence_number;
  fields.name_time = request.name_time;
  fields.target_bpp = reply.target_bpp;
  fields.result_width = reply.result_width;
  fields.result_height = reply.result_height;
  return outputPathFor(fields);
}

}  // namespace pixolune
