// The choices a run or an import starts from, and the numbers that go on
// from one run to the next. The run's own options and each file's request
// and result are records of their own (run/pipeline.h).
#ifndef PIXOLUNE_RUN_CONVERSION_JOB_H_
#define PIXOLUNE_RUN_CONVERSION_JOB_H_

#include <string>

namespace pixolune {

/// What the window's boxes and dialogs or the console's options chose for
/// the next run or import. Not persisted; read when a run or an import
/// starts, never by the pipeline.
struct ConversionJob {
  std::string output_folder;     // Output folder of the next run, ending in "/" once checked.
  std::string input_folder;      // Folder the current import collects from.
  std::string input_path;        // The list file an import or export uses; the file last chosen in a dialog.
  std::string output_extension;  // Output format key the console's option named, or empty.
};

/// The process-wide choices.
ConversionJob& conversionJob();

/// What "%rnd%" and "%n%" give the next converted file. They go on from
/// one run to the next in a process (the window's runs, the console's
/// passes). Owned by the conversion worker, which advances them after each
/// converted file; nothing else changes them while a run is active.
struct NameCounters {
  int random_number = 1;    // 1..99999, new after each converted file.
  int sequence_number = 1;  // 1 at start, +1 after each converted file.
};

NameCounters& nameCounters();

/// A uniformly drawn number in 1..99999.
int drawRandomNumber();

/// Empties the run state: the job record (texts empty), the name counters
/// (a new random_number, sequence_number 1), then the inputs' part
/// (resetInputState: console_mode, the entry store, the input extensions).
/// REQUIRES: no worker is running.
void resetRunState();

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_CONVERSION_JOB_H_
