#include "run/worker.h"

#include <thread>

#include "run/conversion_job.h"
#include "inputs/input_list.h"
#include "inputs/list_file.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mutex.h"
#include "platform/signals.h"

namespace pixolune {

std::string run_tag;

namespace {

struct PauseGate {
  Mutex lock;
  CondVar opened;
  bool closed GUARDED_BY(lock) = false;
};

PauseGate& pauseGate() {
  static PauseGate gate;
  return gate;
}

void countDone() { workerProgress().countDone(); }

void addToResult(int count) { workerProgress().addToResult(count); }

// Passes the gate, then tells whether the worker is to go on.
bool mayContinue() {
  passPauseGate();
  return keepRunning();
}

// One top-level item of an import: a folder with its tree, or one file.
int collectItem(const std::string& path, bool is_folder) {
  if (is_folder) return collectFolder(withTrailingSlash(path), conversionJob().input_folder);
  return addInputFile(path, conversionJob().input_folder) ? 1 : 0;
}

}  // namespace

void WorkerProgress::begin() {
  MutexLock hold(&progress_lock_);
  done_count_ = 0;
  current_path_.clear();
  keep_running_ = true;
}

void WorkerProgress::countDone() {
  MutexLock hold(&progress_lock_);
  ++done_count_;
}

void WorkerProgress::reportEntry(int32_t number, const std::string& path) {
  MutexLock hold(&progress_lock_);
  done_count_ = number;
  current_path_ = path;
}

void WorkerProgress::addToResult(int32_t count) {
  MutexLock hold(&progress_lock_);
  result_count_ += count;
}

void WorkerProgress::setResultCount(int32_t count) {
  MutexLock hold(&progress_lock_);
  result_count_ = count;
}

void WorkerProgress::requestStop() {
  MutexLock hold(&progress_lock_);
  keep_running_ = false;
}

bool WorkerProgress::keepRunning() const {
  MutexLock hold(&progress_lock_);
  return keep_running_;
}

int32_t WorkerProgress::doneCount() const {
  MutexLock hold(&progress_lock_);
  return done_count_;
}

int32_t WorkerProgress::resultCount() const {
  MutexLock hold(&progress_lock_);
  return result_count_;
}

WorkerProgress::Snapshot WorkerProgress::snapshot() const {
  MutexLock hold(&progress_lock_);
  return Snapshot{done_count_, current_path_, result_count_, keep_running_};
}

WorkerProgress& workerProgress() {
  static WorkerProgress progress;
  return progress;
}

namespace {
// Set while no worker runs; the worker's thread starts after it, so reads
// there need no lock.
ConversionObserver* conversion_observer = nullptr;
}  // namespace

void setConversionObserver(ConversionObserver* observer) { conversion_observer = observer; }

ConversionObserver* conversionObserver() { return conversion_observer; }

void beginWorkerRun() {
  workerProgress().begin();
  resumeWorker();
}

void requestStop() { workerProgress().requestStop(); }

bool keepRunning() { return stopSignal() == 0 && workerProgress().keepRunning(); }

void suspendWorker() {
  PauseGate& gate = pauseGate();
  MutexLock hold(&gate.lock);
  gate.closed = true;
}

void resumeWorker() {
  PauseGate& gate = pauseGate();
  {
    MutexLock hold(&gate.lock);
    gate.closed = false;
  }
  gate.opened.notifyAll();
}

void passPauseGate() {
  PauseGate& gate = pauseGate();
  MutexLock hold(&gate.lock);
  while (gate.closed) gate.opened.wait(&gate.lock);
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
