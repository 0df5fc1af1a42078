// Signals that end a run. A console run stops in order on SIGINT or
// SIGTERM: the handlers only note the signal and wake the threads waiting
// for it. Any process may also name files that a signal ending it removes
// first, so that an interrupted write leaves nothing behind.
#ifndef PIXOLUNE_PLATFORM_SIGNALS_H_
#define PIXOLUNE_PLATFORM_SIGNALS_H_

#include <string>

namespace pixolune {

/// Installs handlers for SIGINT and SIGTERM that only note the signal: the
/// first one's number is kept for stopSignal(), and stopSignalFd() becomes
/// readable so that a thread blocked in poll() wakes up wherever the signal
/// was delivered. The handlers are async-signal-safe (an atomic store and a
/// write to a non-blocking pipe). A signal the program was started with
/// ignored stays ignored. Calling it again changes nothing. False,
/// with the actions left as they were, when the pipe cannot be made.
/// REQUIRES: called before the threads that wait for the signal start.
bool watchStopSignals();

/// SIGINT or SIGTERM, whichever came first since watchStopSignals(); 0 when
/// none came or nothing watches. Any thread.
int stopSignal();

/// A descriptor that is readable once a stop signal came (it is never
/// drained, so it stays readable); -1 before watchStopSignals(). Any thread.
int stopSignalFd();

/// How a process ends once removeFilesOnEndingSignals' handler has removed
/// the files.
enum class SignalEnd {
  kExit,      // _exit(128 + signal): for confined helpers, whose system calls are few.
  kResignal,  // By the signal itself, with its default action.
};

/// Paths that the handler of removeFilesOnEndingSignals removes (unlink,
/// never following a link in the last step) before the process ends. The
/// table has kRemovalSlots places; when all are taken the path added
/// longest ago is forgotten. Returns a ticket for forgetFileOnSignal, or -1
/// when the path is too long to keep.
/// REQUIRES: one thread adds and forgets (the handler may run on any).
inline constexpr int kRemovalSlots = 256;
int removeFileOnSignal(const std::string& path);

/// Takes `path` (added under `ticket`) out of the table, for a file that was
/// renamed or removed. Does nothing when its place was taken over since.
void forgetFileOnSignal(int ticket, const std::string& path);

/// Unlinks every path in the table now, as the handler would: for a helper
/// whose parent went away without a word.
void removeFilesOnSignalListNow();

/// Installs, for SIGTERM, SIGINT and SIGHUP, a handler that unlinks every
/// path in the table and then ends the process as `end` says. Signals that
/// watchStopSignals() has taken are left to it, and ignored ones stay
/// ignored. The handler makes no call
/// but unlink, _exit and the return from the handler (kResignal also resets
/// the action and raises the signal again).
void removeFilesOnEndingSignals(SignalEnd end);

/// Ignores the signal of a write past the file size limit, so that the write
/// fails (EFBIG) and is named instead of ending the process.
void ignoreFileSizeSignal();

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_SIGNALS_H_
