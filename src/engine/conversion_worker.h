// The conversion worker: converts every entry of the input list.
#ifndef PIXOLUNE_ENGINE_CONVERSION_WORKER_H_
#define PIXOLUNE_ENGINE_CONVERSION_WORKER_H_

namespace pixolune {

/// Converts every listed entry in store order with convertFile. done_count is
/// the number of the entry being converted; result_count becomes the number
/// converted. After each converted file the mask counters advance and the
/// file's date is set by file_timestamp. A stop takes effect after the
/// current file. With console_mode and run_tag "DEBUG" it prints debug lines.
/// REQUIRES: prepareRun() has succeeded; nothing changes Settings or the list.
void conversionWorker();

/// Creates output_folder + source_subfolder level by level when missing.
/// Failures are ignored: the save then fails and the file counts as failed.
void ensureOutputSubfolder();

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_CONVERSION_WORKER_H_
