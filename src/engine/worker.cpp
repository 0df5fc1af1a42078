#include "engine/worker.h"

#include <condition_variable>
#include <thread>

#include "engine/conversion_job.h"
#include "engine/input_list.h"
#include "engine/list_file.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace pixolune {

std::mutex progress_lock;
std::string run_tag;

namespace {

struct PauseGate {
  std::mutex lock;
  std::condition_variable opened;
  bool closed = false;
};

PauseGate& pauseGate() {
  static PauseGate gate;
  return gate;
}

void countDone() {
  std::lock_guard<std::mutex> hold(progress_lock);
  ++workerProgress().done_count;
}

void addToResult(int count) {
  std::lock_guard<std::mutex> hold(progress_lock);
  workerProgress().result_count += count;
}

// Passes the gate, then tells whether the worker is to go on.
bool mayContinue() {
  passPauseGate();
  return keepRunning();
}

// One top-level item of an import: a folder with its tree, or one file.
int collectItem(const std::string& path, bool is_folder) {
  if (is_folder) return collectFolder(withTrailingSlash(path));
  return addInputFile(path) ? 1 : 0;
}

}  // namespace

WorkerProgress& workerProgress() {
  static WorkerProgress progress;
  return progress;
}

void beginWorkerRun() {
  {
    std::lock_guard<std::mutex> hold(progress_lock);
    WorkerProgress& progress = workerProgress();
    progress.done_count = 0;
    progress.current_path.clear();
    progress.keep_running = true;
  }
  resumeWorker();
}

void requestStop() {
  std::lock_guard<std::mutex> hold(progress_lock);
  workerProgress().keep_running = false;
}

bool keepRunning() {
  std::lock_guard<std::mutex> hold(progress_lock);
  return workerProgress().keep_running;
}

void suspendWorker() {
  std::lock_guard<std::mutex> hold(pauseGate().lock);
  pauseGate().closed = true;
}

void resumeWorker() {
  {
    std::lock_guard<std::mutex> hold(pauseGate().lock);
    pauseGate().closed = false;
  }
  pauseGate().opened.notify_all();
}

void passPauseGate() {
  std::unique_lock<std::mutex> hold(pauseGate().lock);
  pauseGate().opened.wait(hold, [] { return !pauseGate().closed; });
}

void runWorkerAndWait(const std::function<void()>& worker) {
  beginWorkerRun();
  std::thread thread(worker);
  thread.join();
}

void importFolderWorker() {
  const std::string folder = withTrailingSlash(conversionJob().input_folder);
  std::vector<FolderEntry> entries;
  listFolder(folder, &entries);
  int added = 0;
  for (const FolderEntry& entry : entries) {
    if (!mayContinue()) break;
    countDone();
    added += collectItem(folder + entry.name, entry.is_folder);
  }
  addToResult(added);
}

void importListWorker() {
  std::vector<std::string> lines;
  int added = 0;
  if (readListFile(conversionJob().input_path, &lines)) {
    for (const std::string& line : lines) {
      if (!mayContinue()) break;
      const std::string path = absolutePath(line);  // A relative line is taken from the working folder.
      if (!pathExists(path)) continue;
      countDone();
      added += collectItem(path, isFolder(path));
    }
  }
  addToResult(added);
}

void exportListWorker(const std::vector<std::string>& rows) {
  ListFileWriter writer;
  int written = 0;
  if (writer.open(conversionJob().input_path)) {
    for (const std::string& row : rows) {
      if (!mayContinue()) break;
      countDone();
      if (!writer.writeLine(row)) break;
      ++written;
    }
    if (!writer.commit()) written = 0;
  }
  addToResult(written);
}

}  // namespace pixolune
