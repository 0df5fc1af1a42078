#include "platform/sandbox.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <stddef.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace pixolune {

namespace {

std::string lastError() { return std::strerror(errno); }

void noteMissing(Confinement* done, const std::string& layer, const std::string& why) {
  if (!done->missing.empty()) done->missing += ", ";
  done->missing += layer + " (" + why + ")";
}

bool setLimit(int resource, rlim_t value) {
  rlimit limit{value, value};
  return setrlimit(resource, &limit) == 0;
}

bool applyLimits(uint64_t memory_bytes, std::string* why) {
  bool ok = setLimit(RLIMIT_CORE, 0) && setLimit(RLIMIT_NOFILE, 256);
  if (memory_bytes != 0) ok = setLimit(RLIMIT_AS, static_cast<rlim_t>(memory_bytes)) && ok;
  if (!ok) *why = "setrlimit: " + lastError();
  return ok;
}

// The process's thread count from /proc, or 0 when it cannot be read.
int threadCount() {
  FILE* status = std::fopen("/proc/self/status", "re");
  if (!status) return 0;
  char line[256];
  int threads = 0;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "Threads: %d", &threads) == 1) break;
  std::fclose(status);
  return threads;
}

bool capabilitySets(__user_cap_data_struct (&data)[_LINUX_CAPABILITY_U32S_3]) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(SYS_capget, &header, data) == 0;
}

bool holds(const __user_cap_data_struct (&data)[_LINUX_CAPABILITY_U32S_3], int capability) {
  return (data[capability / 32].effective >> (capability % 32)) & 1;
}

// no_new_privs, then the bounding set (dropping from it needs CAP_SETPCAP,
// which the next step removes), the ambient set and last the effective,
// permitted and inheritable sets. Raw system calls: no libcap.
bool dropPrivileges(std::string* why) {
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    *why = "no_new_privs: " + lastError();
    return false;
  }
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  const bool may_bound = capabilitySets(data) && holds(data, CAP_SETPCAP);
  int kept = -1;
  for (int capability = 0; capability < 64; ++capability) {
    const int present = prctl(PR_CAPBSET_READ, capability, 0, 0, 0);
    if (present < 0) break;  // Past the last capability this kernel knows.
    if (present == 1 && prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && may_bound) kept = capability;
  }
  prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);  // Kernels before 4.3 have no ambient set.
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capset, &header, none) != 0) {
    *why = "capset: " + lastError();
    return false;
  }
  if (kept >= 0) {
    *why = "the bounding set kept capability " + std::to_string(kept);
    return false;
  }
  if (!capabilitySets(data)) {
    *why = "capget: " + lastError();
    return false;
  }
  for (const auto& set : data)
    if (set.effective || set.permitted || set.inheritable) {
      *why = "capabilities remained after capset";
      return false;
    }
  return true;
}

// Landlock as its versions define it, for kernel headers older than the
// running kernel (Debian 12's stop at version 2, so the rights of later
// versions are defined here by number).
constexpr uint32_t kCreateRulesetVersion = 1u << 0;
constexpr int kRulePathBeneath = 1;
constexpr uint64_t kFsWriteFile = 1ull << 1;
constexpr uint64_t kFsRemoveDir = 1ull << 4;
constexpr uint64_t kFsRemoveFile = 1ull << 5;
constexpr uint64_t kFsMakeChar = 1ull << 6;
constexpr uint64_t kFsMakeDir = 1ull << 7;
constexpr uint64_t kFsMakeReg = 1ull << 8;
constexpr uint64_t kFsMakeSock = 1ull << 9;
constexpr uint64_t kFsMakeFifo = 1ull << 10;
constexpr uint64_t kFsMakeBlock = 1ull << 11;
constexpr uint64_t kFsMakeSym = 1ull << 12;
constexpr uint64_t kFsRefer = 1ull << 13;     // Version 2.
constexpr uint64_t kFsTruncate = 1ull << 14;  // Version 3.
constexpr uint64_t kFsIoctlDev = 1ull << 15;  // Version 5.
constexpr uint64_t kNetBindTcp = 1ull << 0;   // Version 4.
constexpr uint64_t kNetConnectTcp = 1ull << 1;
constexpr uint64_t kScopeAbstractUnixSocket = 1ull << 0;  // Version 6.
constexpr uint64_t kScopeSignal = 1ull << 1;

// The rule set attribute of version 6; earlier versions know a prefix of it.
struct RulesetAttr {
  uint64_t handled_access_fs = 0;
  uint64_t handled_access_net = 0;  // Version 4.
  uint64_t scoped = 0;              // Version 6.
};

struct __attribute__((packed)) PathBeneathAttr {
  uint64_t allowed_access;
  int32_t parent_fd;
};

size_t rulesetAttrSize(long abi) {
  if (abi >= 6) return sizeof(RulesetAttr);
  return abi >= 4 ? offsetof(RulesetAttr, scoped) : offsetof(RulesetAttr, handled_access_net);
}

// The write rights of the Landlock version the kernel speaks.
uint64_t writeRights(long abi) {
  uint64_t rights = kFsWriteFile | kFsRemoveDir | kFsRemoveFile | kFsMakeChar | kFsMakeDir | kFsMakeReg |
                    kFsMakeSock | kFsMakeFifo | kFsMakeBlock | kFsMakeSym;
  if (abi >= 2) rights |= kFsRefer;
  if (abi >= 3) rights |= kFsTruncate;
  if (abi >= 5) rights |= kFsIoctlDev;
  return rights;
}

RulesetAttr rulesetFor(long abi) {
  RulesetAttr attr;
  attr.handled_access_fs = writeRights(abi);
  if (abi >= 4) attr.handled_access_net = kNetBindTcp | kNetConnectTcp;  // No rule: no port at all.
  if (abi >= 6) attr.scoped = kScopeAbstractUnixSocket | kScopeSignal;
  return attr;
}

bool allowBeneath(int ruleset, const std::string& folder, uint64_t rights, std::string* why) {
  PathBeneathAttr beneath{rights, open(folder.c_str(), O_PATH | O_CLOEXEC | O_DIRECTORY)};
  if (beneath.parent_fd < 0) {
    *why = "cannot open " + folder + ": " + lastError();
    return false;
  }
  const bool ok = syscall(SYS_landlock_add_rule, ruleset, kRulePathBeneath, &beneath, 0) == 0;
  if (!ok) *why = "the rule for " + folder + " was refused: " + lastError();
  close(beneath.parent_fd);
  return ok;
}

// REQUIRES: no_new_privs is set.
void restrictWrites(const std::string& folder, Confinement* done) {
  const char* layer = "the Landlock write rules";
  const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, kCreateRulesetVersion);
  if (abi < 1) {
    noteMissing(done, layer, errno == EOPNOTSUPP ? "Landlock is disabled in this kernel"
                                                 : "this kernel offers no Landlock: " + lastError());
    return;
  }
  done->landlock_abi = static_cast<int>(abi);
  const RulesetAttr attr = rulesetFor(abi);
  const int ruleset = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attr, rulesetAttrSize(abi), 0));
  if (ruleset < 0) {
    noteMissing(done, layer, "the rule set was refused: " + lastError());
    return;
  }
  std::string why;
  bool ok = folder.empty() || allowBeneath(ruleset, folder, attr.handled_access_fs, &why);
  if (ok && syscall(SYS_landlock_restrict_self, ruleset, 0) != 0) {
    why = "landlock_restrict_self: " + lastError();
    ok = false;
  }
  close(ruleset);
  if (!ok) {
    noteMissing(done, layer, why);
    return;
  }
  done->writes = true;
  done->truncation = abi >= 3;
  done->network = abi >= 4;
  done->scopes = abi >= 6;
  if (!done->truncation)
    noteMissing(done, "the Landlock truncation rule", "Landlock " + std::to_string(abi) + " predates it");
}

#if defined(__x86_64__)
constexpr uint32_t kAuditArch = 0xC000003E;  // AUDIT_ARCH_X86_64
constexpr uint32_t kX32Bit = 0x40000000;     // __X32_SYSCALL_BIT
#elif defined(__aarch64__)
constexpr uint32_t kAuditArch = 0xC00000B7;  // AUDIT_ARCH_AARCH64
#else
constexpr uint32_t kAuditArch = 0;
#endif

// System calls newer than the C library's headers; from 424 on every
// architecture numbers them alike.
constexpr long kFchmodat2 = 452;
constexpr long kSetxattrat = 463;
constexpr long kRemovexattrat = 466;

constexpr uint32_t kNamespaceFlags = CLONE_NEWNS | CLONE_NEWCGROUP | CLONE_NEWUTS | CLONE_NEWIPC | CLONE_NEWUSER |
                                     CLONE_NEWPID | CLONE_NEWNET;

// A classic BPF program over seccomp_data, built rule by rule. Each rule
// that looks at an argument (its low 32 bits, all the kernel reads of a
// pid, flag word or ioctl request) ends in a return, so the accumulator
// holds the system call number at the start of every rule.
class FilterProgram {
 public:
  FilterProgram() {
    load(offsetof(seccomp_data, arch));
    jump(BPF_JEQ, kAuditArch, 1, 0);
    ret(SECCOMP_RET_KILL_PROCESS);
    load(offsetof(seccomp_data, nr));
#if defined(__x86_64__)
    jump(BPF_JGE, kX32Bit, 0, 1);  // The x32 numbering would slip past every rule below.
    ret(SECCOMP_RET_ERRNO | ENOSYS);
#endif
  }

  // `numbers` at once, before any other rule: the calls a conversion makes
  // most, none of which a rule refuses.
  void allowFirst(std::initializer_list<long> numbers) {
    const auto n = static_cast<uint8_t>(numbers.size());
    uint8_t i = 0;
    for (long number : numbers) jump(BPF_JEQ, static_cast<uint32_t>(number), static_cast<uint8_t>(n - i++), 0);
    code_.push_back(BPF_STMT(BPF_JMP | BPF_JA, 1));
    ret(SECCOMP_RET_ALLOW);
  }

  void refuse(long number, int error) {
    jump(BPF_JEQ, static_cast<uint32_t>(number), 0, 1);
    ret(SECCOMP_RET_ERRNO | static_cast<uint32_t>(error));
  }

  // `number` only when argument `arg` is one of `values`; otherwise `error`.
  void allowOnly(long number, int arg, std::initializer_list<uint32_t> values, int error) {
    argumentRule(number, arg, values, SECCOMP_RET_ALLOW, SECCOMP_RET_ERRNO | static_cast<uint32_t>(error));
  }

  // `error` when argument `arg` is one of `values`; otherwise allowed.
  void refuseWhen(long number, int arg, std::initializer_list<uint32_t> values, int error) {
    argumentRule(number, arg, values, SECCOMP_RET_ERRNO | static_cast<uint32_t>(error), SECCOMP_RET_ALLOW);
  }

  // clone: a thread (CLONE_THREAD) without namespace flags, nothing else.
  void threadsOnly(long number, int error) {
    jump(BPF_JEQ, static_cast<uint32_t>(number), 0, 5);
    load(offsetof(seccomp_data, args[0]));
    jump(BPF_JSET, CLONE_THREAD, 0, 2);
    jump(BPF_JSET, kNamespaceFlags, 1, 0);
    ret(SECCOMP_RET_ALLOW);
    ret(SECCOMP_RET_ERRNO | static_cast<uint32_t>(error));
  }

  // Installs the program, ending in "allow", for every thread of the process.
  bool install(std::string* why) {
    ret(SECCOMP_RET_ALLOW);
    sock_fprog program{static_cast<unsigned short>(code_.size()), code_.data()};
    const long r = syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_TSYNC, &program);
    if (r == 0) return true;
    *why = r > 0 ? "thread " + std::to_string(r) + " has a filter of its own" : "seccomp: " + lastError();
    return false;
  }

 private:
  void load(uint32_t offset) { code_.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)); }
  void ret(uint32_t action) { code_.push_back(BPF_STMT(BPF_RET | BPF_K, action)); }
  void jump(uint16_t test, uint32_t k, uint8_t yes, uint8_t no) {
    code_.push_back(BPF_JUMP(BPF_JMP | test | BPF_K, k, yes, no));
  }
  // Layout: number test, argument load, one test per value (a match jumps
  // to `on_match`), `otherwise`, `on_match`.
  void argumentRule(long number, int arg, std::initializer_list<uint32_t> values, uint32_t on_match,
                    uint32_t otherwise) {
    const auto n = static_cast<uint8_t>(values.size());
    jump(BPF_JEQ, static_cast<uint32_t>(number), 0, static_cast<uint8_t>(n + 3));
    load(offsetof(seccomp_data, args) + 8 * arg);
    uint8_t i = 0;
    for (uint32_t value : values) jump(BPF_JEQ, value, static_cast<uint8_t>(n - i++), 0);
    ret(otherwise);
    ret(on_match);
  }

  std::vector<sock_filter> code_;
};

void refuseAll(FilterProgram* p, std::initializer_list<long> numbers, int error) {
  for (long number : numbers) p->refuse(number, error);
}

void refuseProcessesAndPrograms(FilterProgram* p) {
  refuseAll(p, {SYS_socket, SYS_socketpair, SYS_execve, SYS_execveat}, EACCES);
#ifdef SYS_fork
  refuseAll(p, {SYS_fork, SYS_vfork}, EACCES);
#endif
  p->refuse(SYS_clone3, ENOSYS);  // The C library then falls back to clone, checked next.
  p->threadsOnly(SYS_clone, EACCES);
  refuseAll(p, {SYS_unshare, SYS_setns}, EPERM);
  refuseAll(p, {SYS_io_uring_setup, SYS_io_uring_enter, SYS_io_uring_register}, ENOSYS);
}

// Signals reach this process only: kill and tgkill name it (raise, abort
// and a handler that ends the process still work), pidfds never exist.
void refuseSignalsToOthers(FilterProgram* p, uint32_t self) {
  p->allowOnly(SYS_kill, 0, {self}, EPERM);
  p->allowOnly(SYS_tgkill, 0, {self}, EPERM);
  p->allowOnly(SYS_rt_sigqueueinfo, 0, {self}, EPERM);
  p->allowOnly(SYS_rt_tgsigqueueinfo, 0, {self}, EPERM);
  refuseAll(p, {SYS_tkill, SYS_pidfd_open, SYS_pidfd_send_signal, SYS_pidfd_getfd}, EPERM);
  p->allowOnly(SYS_prlimit64, 0, {0, self}, EPERM);
}

// What Landlock leaves open on files: their modes, owners, dates and
// extended attributes anywhere (the parent dates the files it renamed).
void refuseMetadataChanges(FilterProgram* p) {
#ifdef SYS_chmod
  refuseAll(p, {SYS_chmod, SYS_chown, SYS_lchown, SYS_utime, SYS_utimes, SYS_futimesat}, EPERM);
#endif
  refuseAll(p, {SYS_fchmod, SYS_fchmodat, kFchmodat2, SYS_fchown, SYS_fchownat, SYS_utimensat}, EPERM);
  p->refuse(SYS_truncate, EPERM);  // By path: ftruncate needs a descriptor open for writing.
  refuseAll(p, {SYS_setxattr, SYS_lsetxattr, SYS_fsetxattr, kSetxattrat, SYS_removexattr, SYS_lremovexattr,
                SYS_fremovexattr, kRemovexattrat},
            EPERM);
}

// Unused and dangerous: tracing, mounts, kernel objects, the machine's
// settings, memory and queues shared with other processes, and typing into
// the terminal.
void refuseKernelSurface(FilterProgram* p) {
  refuseAll(p, {SYS_ptrace, SYS_process_vm_readv, SYS_process_vm_writev, SYS_kcmp, SYS_perf_event_open,
                SYS_userfaultfd, SYS_bpf, SYS_keyctl, SYS_add_key, SYS_request_key},
            EPERM);
  refuseAll(p, {SYS_mount, SYS_umount2, SYS_pivot_root, SYS_chroot, SYS_open_tree, SYS_move_mount, SYS_fsopen,
                SYS_fsconfig, SYS_fsmount, SYS_fspick, SYS_mount_setattr, SYS_name_to_handle_at,
                SYS_open_by_handle_at, SYS_quotactl, SYS_quotactl_fd, SYS_swapon, SYS_swapoff, SYS_acct},
            EPERM);
  refuseAll(p, {SYS_init_module, SYS_finit_module, SYS_delete_module, SYS_kexec_load, SYS_kexec_file_load,
                SYS_reboot, SYS_settimeofday, SYS_clock_settime, SYS_clock_adjtime, SYS_adjtimex,
                SYS_sethostname, SYS_setdomainname},
            EPERM);
#ifdef SYS_iopl
  refuseAll(p, {SYS_iopl, SYS_ioperm, SYS_modify_ldt, SYS_uselib}, EPERM);
#endif
  refuseAll(p, {SYS_shmget, SYS_shmat, SYS_shmctl, SYS_msgget, SYS_msgsnd, SYS_msgrcv, SYS_msgctl, SYS_semget,
                SYS_semop, SYS_semtimedop, SYS_semctl, SYS_mq_open},
            EPERM);
  p->refuseWhen(SYS_ioctl, 1, {TIOCSTI, TIOCLINUX}, EPERM);
}

bool applySystemCallFilter(std::string* why) {
  if (kAuditArch == 0) {
    *why = "no filter is written for this processor";
    return false;
  }
  FilterProgram p;
  p.allowFirst({SYS_read, SYS_write, SYS_pread64, SYS_pwrite64, SYS_futex, SYS_mmap, SYS_munmap, SYS_mprotect,
                SYS_madvise, SYS_brk, SYS_close, SYS_lseek, SYS_fstat, SYS_newfstatat, SYS_sendto, SYS_recvfrom});
  refuseProcessesAndPrograms(&p);
  refuseSignalsToOthers(&p, static_cast<uint32_t>(getpid()));
  refuseMetadataChanges(&p);
  refuseKernelSurface(&p);
  return p.install(why);
}

}  // namespace

Confinement confineProcess(uint64_t memory_bytes, const std::string& writable_folder) {
  Confinement done;
  std::string why;
  done.limits = applyLimits(memory_bytes, &why);
  if (!done.limits) noteMissing(&done, "the resource limits", why);
  done.privileges = dropPrivileges(&why);
  if (!done.privileges) noteMissing(&done, "the privilege removal", why);
  // Landlock before the filter: its set-up opens the folder, which the
  // filter allows anyway. It needs no_new_privs, set above.
  restrictWrites(writable_folder, &done);
  done.system_calls = applySystemCallFilter(&done.system_calls_problem);
  if (!done.system_calls) noteMissing(&done, "the system call filter", done.system_calls_problem);
  const int threads = threadCount();
  if (threads > 1 && (done.privileges || done.writes)) {
    // Capabilities and Landlock bind the calling thread only.
    done.privileges = done.writes = done.truncation = done.network = done.scopes = false;
    noteMissing(&done, "the privilege removal and Landlock rules in other threads",
                std::to_string(threads - 1) + " more threads were running");
  }
  return done;
}

}  // namespace pixolune
