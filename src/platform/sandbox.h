// What a conversion helper may still do once it has its run's settings: it
// reads any file, but writes only below the run's output folder, opens no
// network connection, starts no other program, signals no other process and
// holds no privilege.
#ifndef PIXOLUNE_PLATFORM_SANDBOX_H_
#define PIXOLUNE_PLATFORM_SANDBOX_H_

#include <cstdint>
#include <string>

namespace pixolune {

/// Which of the confinements took effect (the kernel may lack some).
struct Confinement {
  bool limits = false;        // Address space, core dumps, open files.
  bool privileges = false;    // No capability in any set, no new privileges (no_new_privs).
  bool system_calls = false;  // seccomp: no sockets, processes, programs, namespaces, io_uring,
                              // signals to others, file modes, owners, dates or attributes.
  bool writes = false;        // Landlock: new or changed files only below the folder.
  bool truncation = false;    // Landlock 3: truncating only below the folder.
  bool network = false;       // Landlock 4: no TCP bind or connect.
  bool scopes = false;        // Landlock 6: no signal or abstract socket beyond the process.
  int landlock_abi = 0;       // The kernel's Landlock version; 0: none.
  /// For each of limits, privileges, system_calls, writes and truncation
  /// that did not take effect, "<what the process runs without> (<why>)",
  /// ", " apart; empty when all did. Network and scopes are not named: the
  /// system call filter covers what they add.
  std::string missing;
  /// Why the system call filter did not take effect; empty when it did.
  std::string system_calls_problem;
};

/// Confines the calling process for good (it cannot be undone), in this
/// order: resource limits (no core dumps, at most 256 open files, then
/// `memory_bytes` of address space when not 0); no_new_privs, then no
/// capabilities: first the bounding set emptied where the process may change
/// it (that takes CAP_SETPCAP, which the next steps remove; a process
/// without CAP_SETPCAP cannot use the bounding set anyway under
/// no_new_privs), then the ambient set and last the effective, permitted and
/// inheritable sets cleared; where the kernel
/// has Landlock, a rule set of every right its version knows under which
/// files and folders may be created, written, truncated, renamed or removed
/// and devices driven only below `writable_folder` (empty: nowhere), with no
/// TCP bind or connect and no signal or abstract unix socket beyond this
/// process; last a seccomp filter (all threads) that refuses with an error:
/// sockets, fork, vfork, clone other than a thread or with namespace flags,
/// clone3 (the C library then uses clone), execve, unshare, setns, io_uring,
/// kill, tgkill and signal queueing to other processes, tkill, pidfd
/// calls, changes of file modes, owners, dates and extended attributes
/// (Landlock does not cover them), path truncate, tracing, mounts, BPF,
/// keys, modules, System V IPC and message queues, terminal input
/// injection, other processes' resource limits and x32 system calls.
/// Reading stays open everywhere: inputs, fonts and libraries lie anywhere.
/// The result says which layers took effect (Confinement::missing).
/// REQUIRES: called in a process of its own while it has one thread (the
/// capability and Landlock layers bind the calling thread only), before it
/// reads untrusted data.
Confinement confineProcess(uint64_t memory_bytes, const std::string& writable_folder);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_SANDBOX_H_
