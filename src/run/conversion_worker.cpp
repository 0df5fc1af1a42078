#include "run/conversion_worker.h"

#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <deque>
#include <set>

#include "run/conversion_job.h"
#include "run/helper_pool.h"
#include "run/helper_protocol.h"
#include "inputs/input_list.h"
#include "run/output_names.h"
#include "run/pipeline.h"
#include "run/stale_temporaries.h"
#include "run/worker.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

void reportEntry(int number, const std::string& path) { workerProgress().reportEntry(number, path); }

void observeStart(const std::string& path) {
  if (ConversionObserver* observer = conversionObserver()) observer->fileStarted(path);
}

// A file not converted is always reported with a reason, if only this one.
void observeOutcome(const std::string& path, bool ok, const std::string& reason) {
  ConversionObserver* observer = conversionObserver();
  if (!observer) return;
  observer->fileFinished(path, ok, ok || !reason.empty() ? reason : "the file could not be converted");
}

// Dates the written file as file_timestamp asks: 1 the input's date, 2 the
// custom date. A failure leaves the file with the date of writing.
void applyFileDate(const ConversionJob& job) {
  const Settings& s = settings();
  if (s.file_timestamp == kTimestampOriginal) {
    int64_t input_time = fileModificationTime(job.input_path);
    if (input_time >= 0) setFileModificationTime(job.output_path, input_time);
  } else if (s.file_timestamp == kTimestampCustom) {
    setFileModificationTime(job.output_path, s.custom_timestamp);
  }
}

void printOutcome(const ConversionJob& job, bool ok, const std::string& wanted) {
  consolePrint("Processing: " + job.input_path);
  consolePrint("Saving As: " + job.output_path);
  if (ok && wanted != job.output_path) consolePrint("Renamed: " + wanted + " was written earlier in this run");
  consolePrint(ok ? "OK" : "Not OK");
  if (!ok && !job.failure_reason.empty()) consolePrint("Reason: " + job.failure_reason);
  if (ok && !job.decode_note.empty()) consolePrint("Note: " + job.decode_note);
}

// Converts in this process, one file at a time: the form unit tests use,
// and the one a helper process runs for its parent.
class InProcessConverter {
 public:
  int slots() const { return 1; }
  int pending() const { return waiting_ ? 1 : 0; }
  void submit(const FileRequest& request, size_t tag) {
    request_ = request;
    tag_ = tag;
    waiting_ = true;
  }
  bool waitForOne(size_t* tag, FileReply* reply) {
    if (stopSignal() != 0) return false;
    applyFileRequest(request_);
    conversionJob().output_path.clear();  // A file that fails before naming shows no stale path.
    bool ok = convertToTemporary();
    *reply = currentFileReply(ok);
    *tag = tag_;
    waiting_ = false;
    return true;
  }

 private:
  FileRequest request_;
  size_t tag_ = 0;
  bool waiting_ = false;
};

// A file handed to the converter, kept until every file before it is done.
struct Pending {
  std::string path;
  std::string subfolder;
  int64_t name_time = 0;
  bool done = false;
  FileReply reply;
  int removal_ticket = -1;  // Its finished temporary file in the signal handler's table.
};

// The folders a run writes into, each cleared of the temporary files that
// ended runs left there the first time the run writes into it.
class SweptFolders {
 public:
  void sweep(const std::string& folder) {
    if (folder.empty() || !swept_.insert(lexicallyNormal(folder)).second) return;
    removeStaleTemporaries(folder);
  }

 private:
  std::set<std::string> swept_;
};

// A finished file waiting for the files before it: a signal ending the
// program removes its temporary file (window mode; a console run stops in
// order and removes it itself).
void guardFinished(Pending& file) {
  if (file.reply.ok && !file.reply.temporary_path.empty())
    file.removal_ticket = removeFileOnSignal(file.reply.temporary_path);
}

void releaseFinished(const Pending& file) { forgetFileOnSignal(file.removal_ticket, file.reply.temporary_path); }

// After a stop signal: the finished files not yet moved to their names are
// removed, not placed; the run ends with the files placed so far.
void dropFinished(const std::deque<Pending>& window) {
  for (const Pending& file : window) {
    if (!file.done || !file.reply.ok || file.reply.temporary_path.empty()) continue;
    unlink(file.reply.temporary_path.c_str());
    releaseFinished(file);
  }
}

// Takes a finished file's outcome in list order: moves it to its name,
// prints the debug lines, tells the observer, advances the counters and
// dates the file. True when it was converted.
bool finishEntry(const Pending& file, OutputNames& names, SweptFolders& swept, bool debug) {
  ConversionJob& job = conversionJob();
  job.input_path = file.path;
  job.source_subfolder = file.subfolder;
  job.name_time = file.name_time;
  applyFileReply(file.reply);
  bool ok = file.reply.ok;
  const std::string wanted = job.output_path;
  if (ok) ok = names.place(file.reply.temporary_path, wanted, &job.output_path, &job.failure_reason);
  releaseFinished(file);
  if (ok) swept.sweep(folderOf(job.output_path));  // The mask may lead into folders of its own.
  if (debug && firstSightOfConfinementNote(file.reply.confinement_note))
    consolePrint("Note: " + file.reply.confinement_note);
  if (debug) printOutcome(job, ok, wanted);
  observeOutcome(file.path, ok, ok ? std::string() : job.failure_reason);
  if (!ok) return false;
  job.random_number = drawRandomNumber();
  job.sequence_number += 1;
  applyFileDate(job);
  return true;
}

class EntryFeed {
 public:
  // The next listed entry, or null at the end or when a stop was asked for.
  const std::pair<const std::string, InputEntry>* next() {
    while (at_ != inputList().end() && at_->second.listed == 0) ++at_;
    if (at_ == inputList().end()) return nullptr;
    passPauseGate();
    if (!keepRunning()) return nullptr;
    return &*at_++;
  }

 private:
  InputList::Entries::const_iterator at_ = inputList().begin();
};

std::vector<std::string> listedInputs() {
  std::vector<std::string> paths;
  for (const auto& [path, entry] : inputList())
    if (entry.listed != 0) paths.push_back(path);
  return paths;
}

// Keeps the converter's slots busy in list order and takes the outcomes in
// list order as they complete. A stop signal ends it at once: no file is
// taken any more and the finished ones not yet placed are removed (the
// converter's owner ends what is in hand). Returns the number of files
// converted and placed.
template <class Converter>
int convertEntries(Converter& converter, bool debug) {
  ConversionJob& job = conversionJob();
  OutputNames names(job.output_folder, listedInputs());
  SweptFolders swept;
  swept.sweep(job.output_folder);
  const bool parallel = converter.slots() > 1;
  std::deque<Pending> window;
  size_t first_tag = 0;
  int number = 0, finished = 0, converted = 0;
  EntryFeed feed;
  bool more = true;
  for (;;) {
    while (more && converter.pending() < converter.slots()) {
      const auto* entry = more ? feed.next() : nullptr;
      if (!entry) {
        more = false;
        break;
      }
      job.input_path = entry->first;
      job.source_subfolder = entry->second.source_subfolder;
      if (!parallel) reportEntry(++number, job.input_path);
      observeStart(job.input_path);
      if (settings().keep_subfolders) {
        ensureOutputSubfolder();
        swept.sweep(job.output_folder + job.source_subfolder);
      }
      job.name_time = static_cast<int64_t>(time(nullptr));
      converter.submit(currentFileRequest(), first_tag + window.size());
      window.emplace_back();
      window.back().path = job.input_path;
      window.back().subfolder = job.source_subfolder;
      window.back().name_time = job.name_time;
    }
    if (window.empty()) break;
    size_t tag = 0;
    FileReply reply;
    if (!converter.waitForOne(&tag, &reply)) {
      dropFinished(window);
      break;
    }
    Pending& done = window[tag - first_tag];
    done.reply = std::move(reply);
    done.done = true;
    guardFinished(done);
    for (; !window.empty() && window.front().done; window.pop_front(), ++first_tag) {
      if (parallel) reportEntry(++finished, window.front().path);
      if (finishEntry(window.front(), names, swept, debug)) ++converted;
    }
  }
  return converted;
}

}  // namespace

bool runNumbersFiles() {
  const Settings& s = settings();
  auto numbers = [](const std::string& text) {
    return findIgnoreCase(text, "%n%") != std::string::npos || findIgnoreCase(text, "%rnd%") != std::string::npos;
  };
  return numbers(s.filename_mask) || (s.do_watermark == kWatermarkText && numbers(s.watermark_text));
}

int filesConvertedAtOnce() {
  const IsolationConfig& isolation = conversionIsolation();
  if (isolation.program.empty() || runNumbersFiles()) return 1;
  return std::max(1, isolation.jobs);
}

void conversionWorker() {
  const bool debug = console_mode && run_tag == "DEBUG";
  const IsolationConfig& isolation = conversionIsolation();
  // Where no stop signal is watched (window mode), an ending signal removes
  // the finished files that wait for their names; the helpers, told of their
  // parent's death, remove what they were writing.
  removeFilesOnEndingSignals(SignalEnd::kResignal);
  int converted = 0;
  if (isolation.program.empty()) {
    InProcessConverter converter;
    converted = convertEntries(converter, debug);
  } else {
    const bool one_by_one = runNumbersFiles();
    HelperPool pool(isolation, currentRunSetup(isolation.memory_limit), filesConvertedAtOnce(), one_by_one ? 1 : 2);
    converted = convertEntries(pool, debug);
  }
  workerProgress().setResultCount(converted);
}

void ensureOutputSubfolder() {
  const ConversionJob& job = conversionJob();
  if (job.source_subfolder.empty()) return;
  // Made from the output folder without following symbolic links: a link
  // planted in it must not lead the folders elsewhere.
  PathFailure failure;
  openFolderBelow(job.output_folder, job.source_subfolder, true, &failure);
}

}  // namespace pixolune
