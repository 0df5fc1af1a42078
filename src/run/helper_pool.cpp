#include "run/helper_pool.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "run/conversion_helper.h"
#include "run/output_names.h"
#include "platform/cores.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/helper_process.h"
#include "platform/signals.h"

namespace pixolune {

namespace {

// How long a healthy helper gets to leave after its socket closes.
constexpr int kGraceMs = 2000;

// How long the parent reads what an ended helper left in its socket. The
// helper is gone by then, so everything it sent is there at once; the bound
// only matters should something else still hold the socket's other end.
constexpr int kDrainMs = 2000;

FileReply failedReply(const std::string& reason) {
  FileReply reply;
  reply.result.status = Status::ioError(reason);
  return reply;
}

std::string describeEnd(const HelperExit& end, bool timed_out, const IsolationConfig& config, uint64_t memory) {
  if (timed_out) {
    const int ms = config.time_limit_ms;
    return "timed out: the conversion took longer than " +
           (ms % 1000 == 0 ? std::to_string(ms / 1000) + " seconds" : std::to_string(ms) + " milliseconds");
  }
  if (end.exited && end.code == kHelperOutOfMemoryExit)
    return "out of memory: the image needs more than the " + std::to_string(memory >> 20) + " MiB a helper may use";
  if (end.signal != 0)
    return "crashed: the decoder ended with signal " + std::to_string(end.signal) + " (" + strsignal(end.signal) + ")";
  return "crashed: the conversion helper ended with status " + std::to_string(end.code);
}

// What a temporary file name announced by a helper is.
enum class TemporaryName {
  kOwn,         // A name the helper may write.
  kForeign,     // Not its own: the helper is not to be trusted.
  kFolderGone,  // Its own name, but the folder it lies in no longer exists.
};

// Whether `path` is a name the helper with process id `pid` may write while
// it converts: a ".pxl-<pid>-<number>" file inside the output folder whose
// folder is reached from the output folder without passing a symbolic link.
// For kFolderGone, *gone says which folder went (pathFailureReason).
TemporaryName checkHelperTemporary(const std::string& path, long pid, const std::string& output_folder,
                                   std::string* gone) {
  if (!isInsideFolder(path, output_folder)) return TemporaryName::kForeign;
  const std::string name = fileNameOf(path);
  const std::string marker = ".pxl-" + std::to_string(pid) + "-";
  const size_t at = name.rfind(marker);
  if (at == std::string::npos || at + marker.size() == name.size()) return TemporaryName::kForeign;
  for (size_t i = at + marker.size(); i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return TemporaryName::kForeign;
  std::string steps;
  if (!stepsBelow(folderOf(path), output_folder, &steps)) return TemporaryName::kForeign;
  PathFailure failure;
  if (openFolderBelow(output_folder, steps, false, &failure)) return TemporaryName::kOwn;
  if (failure.error != ENOENT) return TemporaryName::kForeign;  // A link, or a file where a folder should be.
  *gone = pathFailureReason(failure, output_folder);
  return TemporaryName::kFolderGone;
}

bool isHelperTemporary(const std::string& path, long pid, const std::string& output_folder) {
  std::string gone;
  return checkHelperTemporary(path, pid, output_folder, &gone) == TemporaryName::kOwn;
}

// Lets a helper that has nothing in hand go: it is told first that every
// file it converted has been dealt with, so it leaves them alone.
void endIdleHelper(HelperProcess& process) {
  writeFrame(process.socket(), kFrameEnd, "");
  process.finish(kGraceMs);
}

}  // namespace

IsolationConfig& conversionIsolation() {
  static IsolationConfig config;
  return config;
}

struct HelperPool::Slot {
  struct Queued {
    FileRequest request;
    size_t tag = 0;
    bool second_try = false;
  };
  std::unique_ptr<HelperProcess> process;
  std::deque<Queued> files;    // Sent to the helper; the first is being converted.
  int64_t deadline = 0;        // When the first file's time is up.
  std::string temporary_path;  // What the helper said it is writing, until it replies.
  std::string temporary_gone;  // Why the folder of temporary_path was gone when it was announced; "" if it was there.
  int files_done = 0;          // Files this helper process has finished.
};

HelperPool::HelperPool(const IsolationConfig& config, const RunSetup& setup, int helpers, int depth)
    : config_(config), depth_(std::max(1, depth)) {
  RunSetup copy = setup;
  if (copy.memory_limit == 0) copy.memory_limit = config_.memory_limit ? config_.memory_limit : defaultMemoryLimit();
  config_.memory_limit = copy.memory_limit;
  setup_bytes_ = encodeRunSetup(copy);
  output_folder_ = copy.output_folder;
  run_ = copy.options;
  for (int i = 0; i < std::max(1, helpers); ++i) slots_.push_back(std::make_unique<Slot>());
}

HelperPool::~HelperPool() {
  for (auto& slot : slots_) {
    if (!slot->process) continue;
    if (slot->files.empty()) endIdleHelper(*slot->process);
    else retireHelper(*slot, 0);
  }
}

// Ends a helper that may be in the middle of a file (killed at once when
// `grace_ms` is 0) and waits until it is gone. Then every temporary file it
// announced is removed, including announcements the parent had not read
// yet (all it sent is in the socket once it is gone: read until the socket
// closes), so nothing it was writing, or had written for a reply the parent
// never read, is left behind.
HelperExit HelperPool::retireHelper(Slot& slot, int grace_ms) {
  const long pid = slot.process->pid();
  if (grace_ms == 0) slot.process->kill();
  HelperExit end = slot.process->reap(grace_ms);
  uint8_t kind = 0;
  std::string payload;
  const int64_t drain_deadline = monotonicMilliseconds() + kDrainMs;
  // Removing the retired helper's temporaries is best effort: a file left
  // behind is swept as a stale temporary later.
  while (readFrame(slot.process->socket(), drain_deadline, &kind, &payload) == FrameRead::kFrame)
    if (kind == kFrameSavingNotice && isHelperTemporary(payload, pid, output_folder_)) (void)realFileSystem().removeFile(payload);
  if (!slot.temporary_path.empty()) (void)realFileSystem().removeFile(slot.temporary_path);
  slot.temporary_path.clear();
  slot.process.reset();
  return end;
}

int HelperPool::pending() const {
  size_t count = ready_.size();
  for (const auto& slot : slots_) count += slot->files.size();
  return static_cast<int>(count);
}

Status HelperPool::startHelper(Slot& slot) {
  slot.process = std::make_unique<HelperProcess>();
  slot.files_done = 0;
  std::string err;
  if (!slot.process->start(config_.program, {config_.program, kConversionHelperArgument}, &err)) {
    slot.process.reset();
    return Status::ioError(err);
  }
  // A helper that died at once fails this write and the next ones; how it
  // ended then decides the outcome of its first file (endHelper).
  writeFrame(slot.process->socket(), kFrameRunSetup, setup_bytes_);
  return Status();
}

// Sends the slot's files, from `from` on, to its helper. False when the
// helper is gone.
bool HelperPool::sendQueue(Slot& slot, size_t from) {
  for (size_t i = from; i < slot.files.size(); ++i)
    if (!writeFrame(slot.process->socket(), kFrameFileRequest, encodeFileRequest(slot.files[i].request))) return false;
  return true;
}

// Starts a fresh helper for the files still queued on the slot and sends
// them again; when none can be started they all fail.
void HelperPool::restartWithQueue(Slot& slot) {
  if (slot.process) {
    if (slot.files.empty()) endIdleHelper(*slot.process);
    else retireHelper(slot, 0);  // It may already be writing a file that the fresh helper will convert again.
  }
  slot.process.reset();
  slot.temporary_path.clear();
  if (slot.files.empty()) return;
  const Status started = startHelper(slot);
  if (!started.ok()) {
    for (const auto& file : slot.files)
      ready_.emplace_back(file.tag,
                          failedReply("crashed: the conversion helper could not be started: " + started.message()));
    slot.files.clear();
    return;
  }
  slot.deadline = monotonicMilliseconds() + config_.time_limit_ms;
  if (!sendQueue(slot, 0)) failFirstFile(slot);
}

// The helper is gone before it took its files: its first file fails as
// its end says (the rest go to a fresh helper).
void HelperPool::failFirstFile(Slot& slot) {
  size_t tag = 0;
  FileReply reply;
  if (endHelper(slot, false, &tag, &reply)) ready_.emplace_back(tag, std::move(reply));
}

void HelperPool::submit(const FileRequest& request, size_t tag) {
  auto least = std::min_element(slots_.begin(), slots_.end(),
                                [](const auto& a, const auto& b) { return a->files.size() < b->files.size(); });
  Slot& slot = **least;
  // The file may use the cores the other helpers are not busy on.
  int others_busy = 0;
  for (const auto& other : slots_)
    if (other.get() != &slot && !other->files.empty()) ++others_busy;
  FileRequest sent = request;
  sent.threads = std::max(1, processCores() - others_busy);
  slot.files.push_back({sent, tag, false});
  if (!(slot.process && slot.process->running())) {
    restartWithQueue(slot);
    return;
  }
  if (slot.files.size() == 1) slot.deadline = monotonicMilliseconds() + config_.time_limit_ms;
  if (!sendQueue(slot, slot.files.size() - 1)) failFirstFile(slot);  // It died since its last file.
}

// Ends a helper that died, hung or broke the protocol; its first file
// fails. A helper that had finished files before may have been damaged by
// one of them (a corrupted heap can fail later), so that file gets one more
// try in a fresh helper. Files queued behind it go to the fresh helper.
// True when the first file is done (*tag, *reply say how it failed).
bool HelperPool::endHelper(Slot& slot, bool timed_out, size_t* tag, FileReply* reply) {
  HelperExit end = retireHelper(slot, timed_out ? 0 : kGraceMs);
  Slot::Queued& first = slot.files.front();
  const bool retry = slot.files_done > 0 && !first.second_try;
  if (retry) {
    first.second_try = true;
  } else {
    *tag = first.tag;
    *reply = failedReply(describeEnd(end, timed_out, config_, config_.memory_limit));
    slot.files.pop_front();
  }
  restartWithQueue(slot);
  return !retry;
}

// Ends a helper that said something it must not (a file name outside its
// own): the parent trusts nothing more from it. Its first file fails with
// `reason`, without a second try; the temporary file it named is removed
// only when it was one of its own.
bool HelperPool::refuseHelper(Slot& slot, const std::string& reason, size_t* tag, FileReply* reply) {
  retireHelper(slot, 0);
  *tag = slot.files.front().tag;
  *reply = failedReply("the conversion helper was stopped: " + reason);
  slot.files.pop_front();
  restartWithQueue(slot);
  return true;
}

// Checks a reply against what the parent expects for the file: the output
// path the mask gives for it, written under the temporary name the helper
// announced. Empty when it holds.
Status HelperPool::checkReply(const Slot& slot, const FileReply& reply) const {
  if (!reply.result.ok()) return Status();
  const std::string expected = expectedOutputPath(slot.files.front().request, run_, reply);
  if (reply.result.output_path != expected)
    return Status::invalid("it reported the output \"" + reply.result.output_path + "\" where \"" + expected +
                           "\" was expected");
  const std::string& tmp = slot.temporary_path;
  if (tmp.size() <= expected.size() || tmp.compare(0, expected.size(), expected) != 0 ||
      !isHelperTemporary(tmp, slot.process->pid(), output_folder_))
    return Status::invalid("it reported a converted file without a temporary file of its own");
  return Status();
}

// Reads what a busy helper sent, or ends it when its time is up. True when
// a file is done (*tag and *reply hold its outcome).
bool HelperPool::serviceSlot(Slot& slot, bool readable, size_t* tag, FileReply* reply) {
  if (!readable) {
    if (monotonicMilliseconds() < slot.deadline) return false;
    return endHelper(slot, true, tag, reply);
  }
  uint8_t kind = 0;
  std::string payload;
  FrameRead r = readFrame(slot.process->socket(), slot.deadline, &kind, &payload);
  if (r == FrameRead::kFrame && kind == kFrameSavingNotice) {
    slot.temporary_gone.clear();
    if (checkHelperTemporary(payload, slot.process->pid(), output_folder_, &slot.temporary_gone) ==
        TemporaryName::kForeign)
      return refuseHelper(slot, "it named the temporary file \"" + payload + "\", which is not its own", tag, reply);
    slot.temporary_path = payload;
    return false;
  }
  if (r != FrameRead::kFrame || kind != kFrameFileReply || !decodeFileReply(payload, reply))
    return endHelper(slot, r == FrameRead::kTimeout, tag, reply);
  if (reply->result.ok() && !slot.temporary_path.empty()) {
    // A folder removed while the run goes on fails the file, and is no fault of the helper.
    std::string gone = slot.temporary_gone;
    if (gone.empty() && checkHelperTemporary(slot.temporary_path, slot.process->pid(), output_folder_, &gone) !=
                            TemporaryName::kFolderGone)
      gone.clear();
    if (!gone.empty()) reply->result.status = Status::ioError(gone);
  }
  const Status checked = checkReply(slot, *reply);
  if (!checked.ok()) return refuseHelper(slot, checked.message(), tag, reply);
  if (reply->result.ok()) {
    reply->result.temporary_path = slot.temporary_path;
  } else if (!slot.temporary_path.empty()) {
    (void)realFileSystem().removeFile(slot.temporary_path);  // Best effort: the file's own failure is reported.
  }
  *tag = slot.files.front().tag;
  slot.files.pop_front();
  slot.temporary_path.clear();
  slot.deadline = monotonicMilliseconds() + config_.time_limit_ms;
  ++slot.files_done;
  // A helper whose decoder failed on a file may carry damage from it.
  if (reply->helper_spent) restartWithQueue(slot);
  return true;
}

bool HelperPool::waitForOne(size_t* tag, FileReply* reply) {
  for (;;) {
    if (stopSignal() != 0) return false;
    if (!ready_.empty()) {
      *tag = ready_.front().first;
      *reply = std::move(ready_.front().second);
      ready_.erase(ready_.begin());
      return true;
    }
    std::vector<int> fds;
    std::vector<Slot*> busy;
    int64_t first_deadline = INT64_MAX;
    for (auto& slot : slots_) {
      if (slot->files.empty()) continue;
      fds.push_back(slot->process->socket());
      busy.push_back(slot.get());
      first_deadline = std::min(first_deadline, slot->deadline);
    }
    fds.push_back(stopSignalFd());  // Ignored by the wait while nothing watches for stop signals.
    int64_t wait = std::max<int64_t>(0, first_deadline - monotonicMilliseconds());
    std::vector<bool> readable;
    pollReadable(fds, static_cast<int>(std::min<int64_t>(wait, 1000000)), &readable);
    // A helper that took the same signal may have ended already: its file
    // is not failed for that.
    if (stopSignal() != 0) return false;
    for (size_t i = 0; i < busy.size(); ++i)
      if (serviceSlot(*busy[i], readable[i], tag, reply)) return true;
  }
}

}  // namespace pixolune
