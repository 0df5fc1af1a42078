// The run-time record of the current run and the current file.
#ifndef PIXOLUNE_RUN_CONVERSION_JOB_H_
#define PIXOLUNE_RUN_CONVERSION_JOB_H_

#include <cstdint>
#include <string>

namespace pixolune {

/// Shared by the run driver, the pipeline, its stages and the file-name mask.
/// Not persisted. The run-wide fields must not change while a run is active.
struct ConversionJob {
  std::string input_path;        // Full path of the input file (per file).
  std::string source_subfolder;  // Sub folder below the collected root, ending in "/", or empty.
  std::string output_folder;     // Output folder ending in "/" (per run).
  std::string input_folder;      // Folder the current import collects from.
  std::string output_extension;  // Output format key, e.g. "png" (prepareRun).
  int format_id = -1;            // FreeImage format of the output (prepareRun).
  int target_bpp = 0;            // Depth the bit-depth stage produces.
  bool auto_bpp = true;          // Depth chosen per file when the format's setting is 0.
  int save_flags = 0;            // Flags word of the save call (prepareRun).
  int source_bpp = 0;            // Depth of the decoded input, before any stage.
  int result_width = 0;          // Size after rotation and resizing.
  int result_height = 0;
  std::string output_path;       // Full path of the written file.
  int random_number = 1;         // "%rnd%": 1..99999, new after each converted file.
  int sequence_number = 1;       // "%n%": 1 at start, +1 after each converted file.
  int64_t name_time = 0;         // Moment the file's date tokens show (Unix time); 0: the clock.
  std::string temporary_path;    // Finished file waiting to be moved to output_path, or empty.
  std::string failure_reason;    // Why the last convertFile failed (debug output), or empty.
  std::string decode_note;       // What decoding left out, e.g. layer effects (debug output), or empty.
};

/// The process-wide job record.
ConversionJob& conversionJob();

/// A uniformly drawn number in 1..99999.
int drawRandomNumber();

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_CONVERSION_JOB_H_
