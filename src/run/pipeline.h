// The single-image conversion pipeline: decode, stages, name, save.
#ifndef PIXOLUNE_RUN_PIPELINE_H_
#define PIXOLUNE_RUN_PIPELINE_H_

#include <string>

#include "platform/status.h"

namespace pixolune {

/// Once per run, before the first file: fills the run-wide part of the job
/// (output key, FreeImage format, bit depth, save flags) from Settings and
/// prepares the watermark. Fails (kInvalid) when the output format is
/// unknown, or as prepareWatermarkRun says; then the run must not start.
/// REQUIRES: buildFormatTable() has run.
Status prepareRun();

/// Converts conversionJob().input_path to the output named by the mask.
/// True only when the file was written. On failure nothing is left at the
/// output path by this call and failure_reason says which step failed.
/// Runs on the worker thread; reads Settings, writes ConversionJob.
bool convertFile();

/// convertFile without the last step: the file is written to a temporary
/// name beside output_path (in temporary_path) and left there for the
/// caller to move (the conversion worker does it in list order, so names
/// are decided the same way however many files are converted at once).
/// Refuses an output path outside output_folder or equal to the input.
/// On failure nothing is left behind and temporary_path is empty.
bool convertToTemporary();

/// What the temporary file of output path P is called while it is written
/// by process `pid`: P + this suffix (".pxl-<pid>-<number>").
std::string temporarySuffix(long pid, unsigned number);

/// Called with the temporary file's path just before convertFile writes it
/// (null: nobody is told). A conversion helper tells its parent, which
/// removes the file if the helper dies before renaming or removing it.
using SavingObserver = void (*)(const std::string& temporary_path);
void setSavingObserver(SavingObserver observer);

/// Starts FreeImage once for the process (safe to call again).
void initImageLibrary();

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_PIPELINE_H_
