// The parent side of isolated conversion: helper processes that convert the
// files of a run, each watched for crashes, hangs and memory exhaustion.
#ifndef PIXOLUNE_RUN_HELPER_POOL_H_
#define PIXOLUNE_RUN_HELPER_POOL_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "run/helper_protocol.h"
#include "platform/helper_process.h"
#include "platform/status.h"

namespace pixolune {

/// How the conversion worker isolates files.
struct IsolationConfig {
  std::string program;        // Executable started as helper (this program); empty: convert in-process.
  int time_limit_ms = 60000;  // A file taking longer ends its helper and fails.
  uint64_t memory_limit = 0;  // Address space a helper may map, bytes; 0: half the machine's memory.
  int jobs = 1;               // Helpers converting at once.
};

/// The process-wide isolation settings. Start-up points `program` at this
/// executable for both run modes; unit tests leave it empty.
/// REQUIRES: no conversion is running when it is changed.
IsolationConfig& conversionIsolation();

class HelperProcess;

/// Up to `slots` helpers converting one file each. Helpers are started on
/// first use and reused while healthy; one whose decoder failed on a file
/// is ended and replaced, so damage a bad file did to its memory never
/// reaches the next file. One that crashed, timed out or
/// ran out of memory is killed (any temporary file it was writing is
/// removed); when it had converted files before, the file gets a second try
/// in a fresh helper, since an earlier file may have caused the failure.
/// Used by one thread.
class HelperPool {
 public:
  /// `setup` goes to every helper before its first file. Each of the
  /// `helpers` holds up to `depth` files: the one it converts and the next
  /// ones already sent, so it never waits for the parent between files.
  HelperPool(const IsolationConfig& config, const RunSetup& setup, int helpers, int depth = 1);
  /// Ends the helpers: idle ones are let go, busy ones killed, and every
  /// temporary file a killed helper announced is removed. Files already
  /// returned by waitForOne are the caller's.
  ~HelperPool();
  HelperPool(const HelperPool&) = delete;
  HelperPool& operator=(const HelperPool&) = delete;

  /// Files that may be in hand at once (helpers times depth).
  int slots() const { return static_cast<int>(slots_.size()) * depth_; }
  /// Files submitted and not yet returned by waitForOne.
  int pending() const;

  /// Hands `request` to a free helper, remembering `tag` for the result.
  /// The request's threads are set to the cores this process may use that
  /// no other helper of the pool is busy on (at least one).
  /// A helper that cannot be started makes the result a failure at once.
  /// REQUIRES: pending() < slots().
  void submit(const FileRequest& request, size_t tag);

  /// Blocks until one submitted file is done and returns its tag and reply.
  /// A file whose helper failed has ok false and a failure_reason beginning
  /// "crashed", "timed out" or "out of memory". A helper is trusted with
  /// nothing outside the run's output folder: one that names a temporary
  /// file other than its own ".pxl-<pid>-<n>" file there, or reports an
  /// output path other than the mask gives for the file, is killed and the
  /// file fails ("the conversion helper was stopped: ..."); no other file is
  /// removed or touched. An ok reply carries the checked temporary_path.
  /// False, with nothing taken, once a stop signal came (stopSignal(),
  /// platform/signals.h): the caller ends the pool, whose destructor ends the
  /// helpers and removes what they were writing.
  /// REQUIRES: pending() > 0.
  bool waitForOne(size_t* tag, FileReply* reply);

 private:
  struct Slot;
  /// Starts the slot's helper and sends it the run; kIoError saying why when it cannot start.
  Status startHelper(Slot& slot);
  void restartWithQueue(Slot& slot);
  bool serviceSlot(Slot& slot, bool readable, size_t* tag, FileReply* reply);
  bool endHelper(Slot& slot, bool timed_out, size_t* tag, FileReply* reply);
  bool refuseHelper(Slot& slot, const std::string& reason, size_t* tag, FileReply* reply);
  /// Ok unless the helper's reply for the slot's first file claims an output
  /// it may not have made (kInvalid, saying how).
  Status checkReply(const Slot& slot, const FileReply& reply) const;
  bool sendQueue(Slot& slot, size_t from);
  void failFirstFile(Slot& slot);
  HelperExit retireHelper(Slot& slot, int grace_ms);

  IsolationConfig config_;
  int depth_ = 1;
  std::string setup_bytes_;
  std::string output_folder_;  // The run's; every temporary file a helper names lies inside it.
  RunOptions run_;             // The run's, for the output path a reply must name.
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<std::pair<size_t, FileReply>> ready_;  // Failed before reaching a helper.
};

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_HELPER_POOL_H_
