// What a conversion helper may still do once it has its run's settings: it
// reads any file, but writes only below the run's output folder, opens no
// network connection and starts no other program.
#ifndef PIXOLUNE_PLATFORM_SANDBOX_H_
#define PIXOLUNE_PLATFORM_SANDBOX_H_

#include <cstdint>
#include <string>

namespace pixolune {

/// Which of the confinements took effect (the kernel may lack some).
struct Confinement {
  bool limits = false;          // Address space, core dumps, open files.
  bool system_calls = false;    // seccomp: no sockets, no new processes, no programs.
  bool writes = false;          // Landlock: new or changed files only below the folder.
};

/// Confines the calling process for good (it cannot be undone), in this
/// order: resource limits (`memory_bytes` of address space when not 0, no
/// core dumps, at most 256 open files), a seccomp filter that refuses
/// socket creation, fork, vfork, clone without CLONE_THREAD, clone3 and
/// execve with an error (threads still work), and, where the kernel has
/// Landlock, a rule set under which files and folders may be created,
/// written, renamed or removed only below `writable_folder` (empty: nowhere).
/// Reading stays open everywhere: inputs, fonts and libraries lie anywhere.
/// REQUIRES: called in a process of its own, before it reads untrusted data.
Confinement confineProcess(uint64_t memory_bytes, const std::string& writable_folder);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_SANDBOX_H_
