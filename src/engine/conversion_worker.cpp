#include "engine/conversion_worker.h"

#include "engine/conversion_job.h"
#include "engine/input_list.h"
#include "engine/pipeline.h"
#include "engine/worker.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

void reportEntry(int number, const std::string& path) {
  std::lock_guard<std::mutex> hold(progress_lock);
  workerProgress().done_count = number;
  workerProgress().current_path = path;
}

// Dates the written file as file_timestamp asks: 1 the input's date, 2 the
// custom date. A failure leaves the file with the date of writing.
void applyFileDate(const ConversionJob& job) {
  const Settings& s = settings();
  if (s.file_timestamp == 1) {
    int64_t input_time = fileModificationTime(job.input_path);
    if (input_time >= 0) setFileModificationTime(job.output_path, input_time);
  } else if (s.file_timestamp == 2) {
    setFileModificationTime(job.output_path, localDateToUtc(s.custom_timestamp));
  }
}

void printOutcome(const ConversionJob& job, bool ok) {
  consolePrint("Saving As: " + job.output_path);
  consolePrint(ok ? "OK" : "Not OK");
  if (!ok && !job.failure_reason.empty()) consolePrint("Reason: " + job.failure_reason);
}

// Converts the current job file; true when it was written.
bool convertEntry(bool debug) {
  ConversionJob& job = conversionJob();
  if (settings().keep_subfolders) ensureOutputSubfolder();
  if (debug) consolePrint("Processing: " + job.input_path);
  job.output_path.clear();  // A file that fails before naming shows no stale path.
  bool ok = convertFile();
  if (debug) printOutcome(job, ok);
  if (!ok) return false;
  job.random_number = drawRandomNumber();
  job.sequence_number += 1;
  applyFileDate(job);
  return true;
}

}  // namespace

void conversionWorker() {
  const bool debug = console_mode && run_tag == "DEBUG";
  ConversionJob& job = conversionJob();
  int number = 0;
  int converted = 0;
  for (const auto& [path, entry] : inputList()) {
    if (entry.listed == 0) continue;
    passPauseGate();
    if (!keepRunning()) break;
    ++number;
    job.input_path = path;
    job.source_subfolder = entry.source_subfolder;
    reportEntry(number, path);
    if (convertEntry(debug)) ++converted;
  }
  std::lock_guard<std::mutex> hold(progress_lock);
  workerProgress().result_count = converted;
}

void ensureOutputSubfolder() {
  const ConversionJob& job = conversionJob();
  if (isFolder(job.output_folder + job.source_subfolder)) return;
  std::string path = job.output_folder;
  std::vector<std::string> steps = split(job.source_subfolder, '/');
  for (size_t i = 0; i + 1 < steps.size(); ++i) {
    path += steps[i] + "/";
    if (!isFolder(path)) makeFolders(path);
  }
}

}  // namespace pixolune
