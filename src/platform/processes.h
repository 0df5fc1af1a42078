#ifndef PIXOLUNE_PLATFORM_PROCESSES_H_
#define PIXOLUNE_PLATFORM_PROCESSES_H_

#include <string>

namespace pixolune {

/// The id of this process.
long currentProcessId();

/// False only when no process `pid` exists (the system says so); a process
/// of another user, or one ended and not yet reaped, still counts.
bool processMayExist(long pid);

/// The file process `pid` runs, without the " (deleted)" mark of a file
/// replaced since it started. False when the system does not tell (another
/// user's process, or one that has ended).
bool processProgram(long pid, std::string* program);

/// The short name the system keeps for process `pid` (what it was started
/// as, at most 15 characters). False when it cannot be read.
bool processName(long pid, std::string* name);

/// Ends the process at once with `code`: no exit handlers, no flushing.
[[noreturn]] void endProcessNow(int code);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_PROCESSES_H_
