// The conversion worker: converts every entry of the input list.
#ifndef PIXOLUNE_RUN_CONVERSION_WORKER_H_
#define PIXOLUNE_RUN_CONVERSION_WORKER_H_

#include <string>

namespace pixolune {

// run/pipeline.h, stages/watermark.h and inputs/filename_mask.h; not
// included here, so the window's files may include this before the toolkit.
struct RunOptions;
struct NamingOptions;
struct WatermarkOptions;

/// Converts every listed entry in store order with `run` into
/// `output_folder` (ending in "/"), as convertFile does: in helper
/// processes when conversionIsolation() names a program (both run modes),
/// else in this process. Outcomes are taken in list order: after each
/// converted file the name counters (nameCounters()) advance and the file's
/// date is set by file_timestamp; with console_mode and run_tag "DEBUG" each file's debug
/// lines are printed together. result_count becomes the number converted.
/// When the file-name mask or a text watermark numbers files ("%n%",
/// "%rnd%") files are converted one at a time, done_count is the number of
/// the entry being converted and a stop takes effect after it. Otherwise a
/// helper is handed the next file before it finishes the current one (and
/// several helpers may work at once): done_count counts finished files and a
/// stop takes effect after the files in hand. A stop signal (stopSignal(),
/// platform/signals.h) takes effect at once: the helpers are ended, and what
/// they were writing and the finished files not yet moved to their names
/// are removed; result_count is the number placed until then. Before it
/// writes into a folder (the output folder, a kept sub-folder, a folder the
/// mask names) the run removes the temporary files that ended runs left
/// there (removeStaleTemporaries). While it runs, a signal that ends the
/// program and that nothing watches (window mode; SIGHUP) first removes
/// the finished files waiting for their names.
/// REQUIRES: prepareRun() has made `run`; nothing changes the list.
void conversionWorker(const RunOptions& run, const std::string& output_folder);

/// True when the file-name mask or a text watermark numbers files ("%n%",
/// "%rnd%", letter case ignored). Those numbers advance only after a
/// converted file, in list order, so such a run converts one file at a time.
bool runNumbersFiles(const NamingOptions& naming, const WatermarkOptions& watermark);

/// Helper processes a run with these options keeps busy: 1 when it
/// numbers files or converts in-process, else conversionIsolation().jobs.
int filesConvertedAtOnce(const NamingOptions& naming, const WatermarkOptions& watermark);

/// Creates output_folder + source_subfolder level by level when missing,
/// never following a symbolic link below the output folder. Failures are
/// ignored: the save then fails with their reason and the file counts as
/// failed.
void ensureOutputSubfolder(const std::string& output_folder, const std::string& source_subfolder);

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_CONVERSION_WORKER_H_
