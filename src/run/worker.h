// The worker runs of the long operations (folder import, list import, list
// export; the conversion worker builds on them) and the record through which
// a worker reports progress to the thread that started it.
#ifndef PIXOLUNE_RUN_WORKER_H_
#define PIXOLUNE_RUN_WORKER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/mutex.h"

namespace pixolune {

/// Shared by a worker and the thread that started it: the worker reports
/// its counts, the starter reads them and asks it to stop. Every operation
/// takes the record's own lock, so both threads may call any of them.
class WorkerProgress {
 public:
  /// The fields read together under one lock.
  struct Snapshot {
    int32_t done_count = 0;    // Items processed so far (conversion: number of the current entry).
    std::string current_path;  // Path being converted.
    int32_t result_count = 0;  // Files added, rows exported or files converted (added at the end).
    bool keep_running = false; // Set before the start; cleared by the starter to stop.
  };

  /// A worker run starts: done_count 0, current_path empty, keep_running
  /// true. result_count is left to the caller.
  void begin() EXCLUDES(progress_lock_);
  /// One more item done.
  void countDone() EXCLUDES(progress_lock_);
  /// The conversion worker is at entry `number`, converting `path`.
  void reportEntry(int32_t number, const std::string& path) EXCLUDES(progress_lock_);
  void addToResult(int32_t count) EXCLUDES(progress_lock_);
  void setResultCount(int32_t count) EXCLUDES(progress_lock_);
  /// Clears keep_running; the worker stops before its next item.
  void requestStop() EXCLUDES(progress_lock_);

  bool keepRunning() const EXCLUDES(progress_lock_);
  int32_t doneCount() const EXCLUDES(progress_lock_);
  int32_t resultCount() const EXCLUDES(progress_lock_);
  Snapshot snapshot() const EXCLUDES(progress_lock_);

 private:
  mutable Mutex progress_lock_;
  int32_t done_count_ GUARDED_BY(progress_lock_) = 0;
  std::string current_path_ GUARDED_BY(progress_lock_);
  int32_t result_count_ GUARDED_BY(progress_lock_) = 0;
  bool keep_running_ GUARDED_BY(progress_lock_) = false;
};

/// The process-wide progress record. One worker at a time.
WorkerProgress& workerProgress();

/// Told of every listed file of a conversion run, on the worker's thread
/// (the console's failure lines and progress display; the engine prints
/// nothing for them itself).
class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  /// `path` is handed to the converter. Files are handed over in list order,
  /// several before the first is finished when helpers convert in parallel.
  virtual void fileStarted(const std::string& path) = 0;
  /// The outcome of `path`, in list order, once for every file handed over
  /// (except those a stop signal cut off): converted to `output_path`, or
  /// not and why (`reason` never empty then, `output_path` empty).
  virtual void fileFinished(const std::string& path, bool converted, const std::string& reason,
                            const std::string& output_path) = 0;
};

/// The observer of the conversion runs that start from now on; null (the
/// default) for none. The caller keeps ownership and keeps it alive while a
/// run may call it.
/// REQUIRES: no worker is running.
void setConversionObserver(ConversionObserver* observer);
ConversionObserver* conversionObserver();

/// "DEBUG" after the console's debug option, "T" in the screenshot mode,
/// otherwise empty. Set before any worker starts.
extern std::string run_tag;

/// Prepares a worker run: done_count 0, current_path empty, keep_running
/// true, the pause gate open. result_count is left to the caller.
/// REQUIRES: no worker is running.
void beginWorkerRun();

/// workerProgress().requestStop(): the worker stops before its next item.
void requestStop();

/// workerProgress().keepRunning(), and no stop signal came (stopSignal(),
/// platform/signals.h; a console run watches for them). A stop signal is
/// not undone by the next beginWorkerRun: the program is ending.
bool keepRunning();

/// Closes the pause gate: the worker waits there before its next item until
/// resumeWorker(). Used while the starter asks whether to stop.
void suspendWorker();
void resumeWorker();

/// Waits while the gate is closed. Workers call it between items.
void passPauseGate();

/// The console form of a worker run: beginWorkerRun, run `worker` on a new
/// thread and block until it ends.
void runWorkerAndWait(const std::function<void()>& worker);

/// Collects job input_folder: every top-level entry (a file, or a sub-folder
/// with its whole tree) counts once in done_count; a stop takes effect before
/// the next top-level entry. Adds the number of files added to result_count.
void importFolderWorker();

/// Collects every path of the list file job input_path: an existing folder is
/// collected with its tree, a file is offered to addInputFile; empty lines and
/// missing paths are skipped uncounted. A stop takes effect before the next
/// line. Adds the number of files added to result_count (nothing when the file
/// cannot be read).
void importListWorker();

/// Writes `rows` as the list file job input_path. A stop takes effect before
/// the next row; the rows written so far are kept. Adds the number of rows
/// written to result_count; when the file cannot be created or written it adds
/// 0 and an existing file is left as it was.
void exportListWorker(const std::vector<std::string>& rows);

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_WORKER_H_
