// What the conversion worker and its helper processes say to each other.
//
// The parent sends one RunSetup when a helper starts, then one FileRequest
// per file; for each request the helper sends a SavingNotice naming its
// temporary file just before it writes it (so the parent can remove it when
// the helper dies mid-save), then one FileReply.
#ifndef PIXOLUNE_RUN_HELPER_PROTOCOL_H_
#define PIXOLUNE_RUN_HELPER_PROTOCOL_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace pixolune {

/// Frame kinds on the helper socket.
enum HelperFrame : uint8_t {
  kFrameRunSetup = 1,
  kFrameFileRequest = 2,
  kFrameSavingNotice = 3,
  kFrameFileReply = 4,
  // The parent is done with the helper: every file it converted has been
  // renamed or removed. A helper whose socket closes without it knows its
  // parent is gone, and removes the files it announced.
  kFrameEnd = 5,
};

/// Everything a helper needs to convert files of the current run.
struct RunSetup {
  Settings settings;
  std::string output_folder;
  std::string output_extension;
  int32_t format_id = -1;
  int32_t target_bpp = 0;
  bool auto_bpp = true;
  int32_t save_flags = 0;
  uint64_t memory_limit = 0;  // Bytes a helper may map; 0: no cap.
  bool layers_always_drawn = false;  // See setLayersAlwaysDrawn.
};

/// One file to convert, with the mask counters it is to be named with.
struct FileRequest {
  std::string input_path;
  std::string source_subfolder;
  int32_t random_number = 1;
  int32_t sequence_number = 1;
  int64_t name_time = 0;  // Unix time the date tokens of its name show; 0: the helper's clock.
};

/// What converting one file gave.
struct FileReply {
  bool ok = false;
  std::string output_path;
  int32_t target_bpp = 0;
  int32_t source_bpp = 0;
  int32_t result_width = 0;
  int32_t result_height = 0;
  std::string failure_reason;
  bool helper_spent = false;  // The helper should not be trusted with another file.
  std::string decode_note;    // What decoding left out (debug output), or empty.
  // The converted file waiting under its temporary name to be moved to
  // output_path. Not sent: the parent takes it from the saving notice it
  // checked, never from the reply.
  std::string temporary_path;
  // What confinement the helper runs without, as the debug note says it
  // ("the conversion helpers run without ..."); empty when it has all.
  std::string confinement_note;
};

/// Byte forms of the messages. A decode fails (false) on a payload that is
/// short, has bytes left over or holds a text longer than what remains.
std::string encodeRunSetup(const RunSetup& setup);
bool decodeRunSetup(std::string_view bytes, RunSetup* setup);
std::string encodeFileRequest(const FileRequest& request);
bool decodeFileRequest(std::string_view bytes, FileRequest* request);
std::string encodeFileReply(const FileReply& reply);
bool decodeFileReply(std::string_view bytes, FileReply* reply);

/// The run-wide part of the process-wide Settings and ConversionJob.
RunSetup currentRunSetup(uint64_t memory_limit);

/// Makes `setup` this process's Settings and run-wide ConversionJob fields.
void applyRunSetup(const RunSetup& setup);

/// The per-file request for the job's current input_path and counters.
FileRequest currentFileRequest();

/// Sets the job's per-file input fields and counters from `request`.
void applyFileRequest(const FileRequest& request);

/// The reply for the job's current file after convertFile returned `ok`.
FileReply currentFileReply(bool ok);

/// Copies a reply's outcome fields into the process-wide job.
void applyFileReply(const FileReply& reply);

/// True the first time this process meets `note`, a reply's non-empty
/// confinement_note, so the parent's debug output names what the helpers
/// lack once rather than for every file. A console run is one run per
/// process, so that is once per run. Conversion worker thread only.
bool firstSightOfConfinementNote(const std::string& note);

/// The output path the parent expects for `request` given the size and
/// depth `reply` reports: the file-name mask expanded with the run-wide job
/// fields of this process.
std::string expectedOutputPath(const FileRequest& request, const FileReply& reply);

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_HELPER_PROTOCOL_H_
