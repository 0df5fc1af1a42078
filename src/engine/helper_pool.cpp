#include "engine/helper_pool.h"

#include <poll.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include "engine/conversion_helper.h"
#include "platform/helper_process.h"

namespace pixolune {

namespace {

// How long a healthy helper gets to leave after its socket closes.
constexpr int kGraceMs = 2000;

FileReply failedReply(const std::string& reason) {
  FileReply reply;
  reply.failure_reason = reason;
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

}  // namespace

IsolationConfig& conversionIsolation() {
  static IsolationConfig config;
  return config;
}

struct HelperPool::Slot {
  std::unique_ptr<HelperProcess> process;
  bool busy = false;
  size_t tag = 0;
  int64_t deadline = 0;
  std::string temporary_path;  // What the helper said it is writing, until it replies.
  FileRequest request;         // The file in hand, for a second try.
  int files_done = 0;          // Files this helper process has finished.
  bool second_try = false;
};

HelperPool::HelperPool(const IsolationConfig& config, const RunSetup& setup, int slots) : config_(config) {
  RunSetup copy = setup;
  if (copy.memory_limit == 0) copy.memory_limit = config_.memory_limit ? config_.memory_limit : defaultMemoryLimit();
  config_.memory_limit = copy.memory_limit;
  setup_bytes_ = encodeRunSetup(copy);
  for (int i = 0; i < std::max(1, slots); ++i) slots_.push_back(std::make_unique<Slot>());
}

HelperPool::~HelperPool() {
  for (auto& slot : slots_)
    if (slot->process) slot->process->finish(slot->busy ? 0 : kGraceMs);
}

int HelperPool::pending() const {
  int busy = static_cast<int>(ready_.size());
  for (const auto& slot : slots_) busy += slot->busy ? 1 : 0;
  return busy;
}

bool HelperPool::startHelper(Slot& slot, std::string* err) {
  slot.process = std::make_unique<HelperProcess>();
  if (!slot.process->start(config_.program, {config_.program, kConversionHelperArgument}, err)) return false;
  // A helper that died at once shows up as a closed socket when its reply is
  // read, and is then told apart by how it ended.
  writeFrame(slot.process->socket(), kFrameRunSetup, setup_bytes_);
  return true;
}

void HelperPool::submit(const FileRequest& request, size_t tag) {
  auto free_slot = std::find_if(slots_.begin(), slots_.end(), [](const auto& s) { return !s->busy; });
  Slot& slot = **free_slot;
  slot.tag = tag;
  slot.request = request;
  slot.second_try = false;
  std::string failure;
  if (!sendRequest(slot, &failure)) ready_.emplace_back(tag, failedReply(failure));
}

bool HelperPool::sendRequest(Slot& slot, std::string* failure) {
  std::string err;
  if (!(slot.process && slot.process->running())) {
    slot.files_done = 0;
    if (!startHelper(slot, &err)) {
      slot.process.reset();
      *failure = "crashed: the conversion helper could not be started: " + err;
      return false;
    }
  }
  slot.busy = true;
  slot.deadline = monotonicMilliseconds() + config_.time_limit_ms;
  slot.temporary_path.clear();
  // A helper that died since its last file shows up as a closed socket.
  writeFrame(slot.process->socket(), kFrameFileRequest, encodeFileRequest(slot.request));
  return true;
}

// Ends a helper that died, hung or broke the protocol. A helper that had
// finished files before may have been damaged by one of them (a corrupted
// heap can fail later), so its file gets one more try in a fresh helper.
// True when the slot's file is done (*reply says how it failed).
bool HelperPool::endHelper(Slot& slot, bool timed_out, FileReply* reply) {
  if (timed_out) slot.process->kill();
  HelperExit end = slot.process->finish(timed_out ? 0 : kGraceMs);
  slot.process.reset();
  if (!slot.temporary_path.empty()) unlink(slot.temporary_path.c_str());
  slot.temporary_path.clear();
  slot.busy = false;
  *reply = failedReply(describeEnd(end, timed_out, config_, config_.memory_limit));
  if (slot.files_done == 0 || slot.second_try) return true;
  slot.second_try = true;
  std::string failure;
  if (sendRequest(slot, &failure)) return false;
  reply->failure_reason = failure;
  return true;
}

// Ends a helper whose decoder failed on a file: whatever that file did to
// the decoder's memory must not touch the next one.
void HelperPool::retireHelper(Slot& slot) {
  slot.process->finish(kGraceMs);
  slot.process.reset();
}

// Reads what a busy helper sent, or ends it when its time is up. True when
// the slot's file is done (*reply holds the outcome).
bool HelperPool::serviceSlot(Slot& slot, bool readable, FileReply* reply) {
  if (!readable) {
    if (monotonicMilliseconds() < slot.deadline) return false;
    return endHelper(slot, true, reply);
  }
  uint8_t kind = 0;
  std::string payload;
  FrameRead r = readFrame(slot.process->socket(), slot.deadline, &kind, &payload);
  if (r == FrameRead::kFrame && kind == kFrameSavingNotice) {
    slot.temporary_path = payload;
    return false;
  }
  if (r == FrameRead::kFrame && kind == kFrameFileReply && decodeFileReply(payload, reply)) {
    slot.busy = false;
    slot.temporary_path.clear();
    ++slot.files_done;
    if (reply->helper_spent) retireHelper(slot);
    return true;
  }
  return endHelper(slot, r == FrameRead::kTimeout, reply);
}

void HelperPool::waitForOne(size_t* tag, FileReply* reply) {
  if (!ready_.empty()) {
    *tag = ready_.front().first;
    *reply = std::move(ready_.front().second);
    ready_.erase(ready_.begin());
    return;
  }
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<Slot*> busy;
    int64_t first_deadline = INT64_MAX;
    for (auto& slot : slots_) {
      if (!slot->busy) continue;
      fds.push_back({slot->process->socket(), POLLIN, 0});
      busy.push_back(slot.get());
      first_deadline = std::min(first_deadline, slot->deadline);
    }
    int64_t wait = std::max<int64_t>(0, first_deadline - monotonicMilliseconds());
    poll(fds.data(), fds.size(), static_cast<int>(std::min<int64_t>(wait, 1000000)));
    for (size_t i = 0; i < busy.size(); ++i) {
      if (serviceSlot(*busy[i], fds[i].revents != 0, reply)) {
        *tag = busy[i]->tag;
        return;
      }
    }
  }
}

}  // namespace pixolune
