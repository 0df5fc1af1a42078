// The single-image conversion pipeline: decode, stages, name, save.
#ifndef PIXOLUNE_ENGINE_PIPELINE_H_
#define PIXOLUNE_ENGINE_PIPELINE_H_

#include <string>

namespace pixolune {

/// Once per run, before the first file: fills the run-wide part of the job
/// (output key, FreeImage format, bit depth, save flags) from Settings and
/// prepares the watermark. False when the output format is unknown or a
/// watermark check fails; then the run must not start.
/// REQUIRES: buildFormatTable() has run.
bool prepareRun();

/// Converts conversionJob().input_path to the output named by the mask.
/// True only when the file was written. On failure nothing is left at the
/// output path by this call and failure_reason says which step failed.
/// Runs on the worker thread; reads Settings, writes ConversionJob.
bool convertFile();

/// Called with the temporary file's path just before convertFile writes it
/// (null: nobody is told). A conversion helper tells its parent, which
/// removes the file if the helper dies before renaming or removing it.
using SavingObserver = void (*)(const std::string& temporary_path);
void setSavingObserver(SavingObserver observer);

/// Starts FreeImage once for the process (safe to call again).
void initImageLibrary();

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_PIPELINE_H_
