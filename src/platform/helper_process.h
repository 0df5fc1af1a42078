// Child processes of this program that do risky work for it (decoding
// untrusted files), connected to the parent by one stream socket that
// carries length-prefixed frames.
#ifndef PIXOLUNE_PLATFORM_HELPER_PROCESS_H_
#define PIXOLUNE_PLATFORM_HELPER_PROCESS_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sandbox.h"

namespace pixolune {

/// The running program's own executable, for starting helpers of it.
inline constexpr char kSelfExecutable[] = "/proc/self/exe";

/// The descriptor on which a helper finds its end of the socket.
inline constexpr int kHelperSocketFd = 3;

/// Outcome of reading one frame.
enum class FrameRead {
  kFrame,    // A whole frame was read.
  kClosed,   // The other side closed the socket or sent a broken frame.
  kTimeout,  // The deadline passed first.
};

/// Writes one frame (kind, 32-bit length, payload) to a socket. False when
/// the other side is gone; never raises SIGPIPE.
bool writeFrame(int fd, uint8_t kind, std::string_view payload);

/// Reads one frame from a socket, waiting at most until `deadline_ms`
/// (a monotonicMilliseconds() value; negative: no limit). Frames longer than
/// 64 MiB count as broken.
FrameRead readFrame(int fd, int64_t deadline_ms, uint8_t* kind, std::string* payload);

/// Milliseconds of a clock that never jumps.
int64_t monotonicMilliseconds();

/// Half of the machine's physical memory, in bytes (at least 256 MiB).
uint64_t defaultMemoryLimit();

/// How a helper process ended.
struct HelperExit {
  bool exited = false;   // Ended by exiting; then `code` holds the status.
  int code = 0;
  int signal = 0;        // The signal that ended it, when not exited.
};

/// One running helper. Not copyable; the destructor closes the socket,
/// kills the process if it is still there and reaps it.
class HelperProcess {
 public:
  HelperProcess() = default;
  ~HelperProcess();
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  /// Starts `program` with `args` (args[0] is the program name shown), with
  /// the socket on kHelperSocketFd, standard input, output and error on
  /// /dev/null and no other descriptor. Safe to call while other
  /// threads run (no fork of a threaded process without exec). False, with
  /// *err, when it cannot be started.
  bool start(const std::string& program, const std::vector<std::string>& args, std::string* err);

  bool running() const { return pid_ > 0; }
  int socket() const { return fd_; }
  pid_t pid() const { return pid_; }

  /// Kills the process (SIGKILL) without waiting for it.
  void kill();

  /// Closes the socket, waits for the process to end (killing it when it
  /// has not ended within `grace_ms`) and says how it ended.
  HelperExit finish(int grace_ms);

  /// Waits for the process to end like finish(), but leaves the socket
  /// open, so what the process sent before it ended can still be read.
  HelperExit reap(int grace_ms);

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

/// Helper side: asks for a signal ending the helper when its parent dies, caps its
/// address space at `bytes` (0: no cap) and confines it as confineProcess
/// says: writes only below `writable_folder`, no capabilities, no sockets,
/// no programs, no signals to other processes. The result says which
/// layers took effect. REQUIRES: the helper has one thread.
Confinement confineHelperProcess(uint64_t bytes, const std::string& writable_folder);

/// Waits up to `timeout_ms` until one of `fds` can be read (or was closed at
/// the other end), or a signal came; `readable` tells which, one per
/// descriptor. A negative descriptor is ignored.
void pollReadable(const std::vector<int>& fds, int timeout_ms, std::vector<bool>* readable);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_HELPER_PROCESS_H_
