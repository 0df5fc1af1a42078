// The worker runs of the long operations (folder import, list import, list
// export; the conversion worker builds on them) and the record through which
// a worker reports progress to the thread that started it.
#ifndef PIXOLUNE_ENGINE_WORKER_H_
#define PIXOLUNE_ENGINE_WORKER_H_

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace pixolune {

/// Shared by a worker and the thread that started it. After the worker has
/// started, every read or write of a field holds progress_lock.
struct WorkerProgress {
  int32_t done_count = 0;    // Items processed so far (conversion: number of the current entry).
  std::string current_path;  // Path being converted.
  int32_t result_count = 0;  // Files added, rows exported or files converted (added at the end).
  bool keep_running = false; // Set before the start; cleared by the starter to stop.
};

/// The process-wide progress record and its lock. One worker at a time.
WorkerProgress& workerProgress();
extern std::mutex progress_lock;

/// "DEBUG" after the console's debug option, "T" in the screenshot mode,
/// otherwise empty. Set before any worker starts.
extern std::string run_tag;

/// Prepares a worker run: done_count 0, current_path empty, keep_running
/// true, the pause gate open. result_count is left to the caller.
/// REQUIRES: no worker is running.
void beginWorkerRun();

/// Clears keep_running under the lock; the worker stops before its next item.
void requestStop();

/// keep_running, read under the lock.
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

#endif  // PIXOLUNE_ENGINE_WORKER_H_
