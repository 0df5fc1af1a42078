// The single-image conversion pipeline: decode, stages, name, save.
#ifndef PIXOLUNE_RUN_PIPELINE_H_
#define PIXOLUNE_RUN_PIPELINE_H_

#include <cstdint>
#include <string>

#include "image/image_library.h"  // initImageLibrary, for the callers of the pipeline.
#include "inputs/filename_mask.h"
#include "platform/status.h"
#include "psd/layers/layer_export.h"
#include "run/saving_observer.h"
#include "settings/settings.h"
#include "stages/adjust.h"
#include "stages/bit_depth.h"
#include "stages/frame.h"
#include "stages/transform.h"
#include "stages/watermark.h"

namespace pixolune {

/// What every stage of the pipeline does, built once per run.
struct StageOptions {
  TransformOptions transform;
  AdjustOptions adjust;
  FrameOptions frame;
  WatermarkOptions watermark;
  DepthOptions depth;
  bool operator==(const StageOptions&) const = default;
};

/// REQUIRES: buildFormatTable() has run (for the depth's format).
StageOptions stageOptionsFrom(const Settings& settings);

/// Everything a run's conversions read, built once per run from Settings
/// (prepareRun) and handed to every file; helpers get a copy.
struct RunOptions {
  StageOptions stages;
  NamingOptions naming;
  ExportOptions exporting;               // What is written of each document: it whole, or its pieces.
  std::string output_extension = "png";  // Output format key.
  int32_t format_id = -1;                // FreeImage format of the output.
  int32_t save_flags = 0;                // Flags word of the save call.
  int32_t load_flags = 0;                // Flags word of the document's load call.
  bool strip_metadata = false;
  uint8_t file_timestamp = kTimestampCurrent;  // The written file's date: now, the input's, custom_timestamp.
  int32_t custom_timestamp = 0;
  bool operator==(const RunOptions&) const = default;
};

/// The run options of `settings` without the watermark's preparation.
/// Fails (kInvalid) when the output format is unknown.
/// REQUIRES: buildFormatTable() has run.
Status runOptionsFrom(const Settings& settings, RunOptions* options);

/// Once per run, before the first file: runOptionsFrom, then the watermark
/// is prepared (prepareWatermarkRun). Fails (kInvalid) when the output
/// format is unknown, or as prepareWatermarkRun says; then the run must not
/// start. REQUIRES: buildFormatTable() has run; no worker is running.
Status prepareRun(const Settings& settings, RunOptions* options);

/// One file to convert and the numbers it is named with.
struct ConversionRequest {
  std::string input_path;        // Full path of the input file.
  std::string source_subfolder;  // Sub folder below the collected root, ending in "/", or empty.
  std::string output_folder;     // Output folder of the run, ending in "/".
  int32_t random_number = 1;     // "%rnd%".
  int32_t sequence_number = 1;   // "%n%".
  int64_t name_time = 0;         // Moment the file's date tokens show (Unix time); 0: the clock.
  int32_t threads = 0;           // Threads the conversion may use; 0: the cores this process may run on.
  // Exporting: which piece of the document this file is (0 from the
  // bottom; -1 when its pieces could not be listed, and the conversion
  // says why), and what it is called.
  int32_t piece = -1;
  std::string piece_name;                 // The layer's, group's or comp's name as stored.
  std::vector<std::string> piece_groups;  // The groups it lies in, outermost first.
  int32_t piece_index = 0;                // 1 from the bottom.
  bool piece_is_comp = false;
};

/// The export mask used when the user's mask names none of the pieces'
/// tokens, which would give every piece of a document one name.
inline constexpr char kExportMask[] = "%filename%/%group%/%layer%.%ext%";

/// The mask a run with this mask and export kind names its files by:
/// `mask`, or kExportMask when exporting with a mask that names no piece.
std::string maskForExport(const std::string& mask, uint8_t export_kind);

/// What converting one file gave.
struct ConversionResult {
  Status status;               // Ok when the file was written; else why not (the failure reason).
  std::string output_path;     // Full path of the written file (empty when the file failed before naming).
  std::string temporary_path;  // Finished file waiting to be moved to output_path, or empty.
  int32_t source_bpp = 0;      // Depth of the decoded input, before any stage.
  int32_t target_bpp = 0;      // Depth the bit-depth stage produced.
  int32_t result_width = 0;    // Size after rotation and resizing.
  int32_t result_height = 0;
  std::string decode_note;     // What decoding left out, e.g. layer effects (debug output), or empty.
  std::string colour_note;     // How the document's colours were made sRGB or encoded (debug output), or empty.
  // An exported piece: where its picture lies on the document's canvas.
  int32_t piece_left = 0, piece_top = 0, piece_width = 0, piece_height = 0;
  bool piece_empty = false;    // The piece was not written because nothing of it shows.

  bool ok() const { return status.ok(); }
  const std::string& failureReason() const { return status.message(); }
};

/// The naming fields of `request` with the size and depth `result` reports.
NameFields nameFieldsOf(const ConversionRequest& request, const RunOptions& run, const ConversionResult& result);

/// Converts request.input_path to the output named by the mask. ok only
/// when the file was written. On failure nothing is left at the output path
/// by this call and the status says which step failed. Runs on the worker
/// thread.
ConversionResult convertFile(const ConversionRequest& request, const RunOptions& run);

/// convertFile without the last step: the file is written to a temporary
/// name beside output_path (in temporary_path) and left there for the
/// caller to move (the conversion worker does it in list order, so names
/// are decided the same way however many files are converted at once).
/// Refuses an output path outside output_folder or equal to the input.
/// On failure nothing is left behind and temporary_path is empty.
ConversionResult convertToTemporary(const ConversionRequest& request, const RunOptions& run);

/// What the temporary file of output path P is called while it is written
/// by process `pid`: P + this suffix (".pxl-<pid>-<number>").
std::string temporarySuffix(long pid, unsigned number);

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_PIPELINE_H_
