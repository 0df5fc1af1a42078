// The single-image conversion pipeline: decode, stages, name, save.
#ifndef PIXOLUNE_ENGINE_PIPELINE_H_
#define PIXOLUNE_ENGINE_PIPELINE_H_

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

/// Starts FreeImage once for the process (safe to call again).
void initImageLibrary();

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_PIPELINE_H_
